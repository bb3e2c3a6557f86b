#pragma once
// The ledger of one watch run: what it did (its result, the actions it reports), what it must not
// delete (the files it failed or was not allowed to copy, the folders where something failed), and the
// lines it logs. Paths here are relative to the two roots of the run ("a/b/" for a folder, "a/b/c.txt"
// for a file), so they mean the same place on both sides.
//
// Threads: the ledger belongs to the walk thread, the thread the run was started on. The pool's
// threads never touch it: what they did reaches it when the pool releases their work on the walk
// thread, in walk order. What the walk thread says while work before it is still in the pool (a line, an
// action) waits its turn (OrderedPool::later), so the log comes out as from one thread. The only parts
// another thread may touch are the context's stop request (atomic) and the pool itself. Debug builds
// assert the thread on every change.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/FileCopy.h"
#include "platform/FileSystemTraits.h"
#include "platform/Folders.h"
#include "platform/Paths.h"
#include "platform/Versions.h"
#include "sync/OrderedPool.h"
#include "sync/RunContext.h"

namespace tessel {

using platform::withTrailingSlash;

class RunScope;

class RunState {
  public:
    // Where the lines of the run go: into the log (a run), or only to the observer (a preview, which
    // writes nothing at all).
    enum class Output { Log, ObserverOnly };

    // `fileSystems`, when given, are those another run in the same trees has tried (a count beside a run
    // shares the run's): two probes in one folder at once would each set its times back to a moment the
    // other's probe changed.
    explicit RunState(RunContext& context, Output output = Output::Log,
                      platform::FileSystems* fileSystems = nullptr);
    ~RunState();
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

    RunContext& context;
    RunResult result;

    bool stopRequested() const { return context.stopRequested(); }
    bool logs() const { return m_output == Output::Log; }

    // The root that "Copy with root folder" makes below the chosen destination (with a trailing "/"):
    // a link there is never followed, for writing or for reading.
    std::string madeRoot;
    platform::Folder openRoot(const std::string& root, std::error_code& error) const;
    // The threads that do the work of the walks (RunOptions::jobs), made with the first use.
    OrderedPool& pool();

    // The part of the trees the run covers (the folders that changed, for a followed watch); null for
    // all of it. Every walk of the run keeps to it (TreeWalk).
    const RunScope* scope = nullptr;
    // The new files the run's copies and moves made (replacements not counted): a run that counts what
    // a tree held only once it has copied into it takes them away again.
    std::int64_t filesMade = 0;

    // Told of every action the run reports, as the observer is, whether or not there is one (a plan's
    // applier ticks off its rows with it).
    std::function<void(RunAction::Kind, const std::string&)> heard;
    // Tells the observer, if any, of an action done (or, in a preview, decided).
    void report(RunAction::Kind kind, const std::string& path, const std::string& target = {},
                std::uint64_t size = 0, RunAction::Side newer = RunAction::Side::None);
    // A line of the log (not in a preview), after what the pool still holds.
    void log(const std::string& line);

    // A deletion never deletes a protected file, and never anything in a folder in which something
    // failed.
    //
    // Protected are the files this run moved (the move itself took them out of the other side) and the
    // files whose copy or move failed or was refused (the other side lacks them because of this run,
    // not because the user deleted them), and the files the watch's rules kept from crossing (a new file
    // under "Update only old files"): without the protection, a deletion pass that runs after the
    // copies would take them for files the other side no longer has and delete the only copy. A file
    // this run copied needs no entry: it is on both sides when the deletion looks.
    void protectFile(const std::string& relativePath);
    // Whether a deletion pass comes after the copies; without one, nothing needs protecting.
    bool deletionsFollow = true;
    bool isProtected(const std::string& relativePath) const;
    // A folder in which a listing, a copy or a folder creation failed is not known well enough to
    // delete anything in it or below it (on either side).
    void markFolderFailed(const std::string& relativeFolder);
    bool folderFailed(const std::string& relativeFolder) const;
    // The folder or one above it failed.
    bool failedAtOrAbove(const std::string& relativeFolder) const;

    // A file a deletion plan of this run holds already (by its full path): with several masks, the
    // plans are all made before any deletion, and a file two masks cover is planned once.
    bool planDeletionOnce(const std::string& path);

    // A move changes its source folders as their files go, and a later pass (another mask) would find
    // them with the run's time. Where a run moves, the folders it mirrors are remembered as it first
    // found them, and every pass mirrors that (by full path; `found` is what the folder is now).
    bool rememberFolders = false;
    platform::FileInfo folderAsFound(const std::string& path, const platform::FileInfo& found);

    // Logs the line, shows it as the status text and counts a failure.
    void failure(const std::string& line);
    // "Error <doing> <path>: <reason>", logged and counted.
    void failure(const char* doing, const std::string& path, const std::error_code& reason);
    // A replacement or deletion of `path` that did not happen because its version could not be kept:
    // logged and counted, except that a versions folder that is not private is said once per tree.
    void versionFailure(const platform::VersionPlace& version, const std::string& path,
                        const std::error_code& reason);
    void showStatus(const std::string& text);

    // What a copy or move of `source` to `target` did, as every pass says it: counted, reported, the
    // wide log's line, its version and what the copy could not carry over.
    struct Copied {
        RunAction::Kind kind = RunAction::Kind::Copy;
        std::string source, target;
        std::uint64_t size = 0;
        RunAction::Side newer = RunAction::Side::None;
        const platform::VersionPlace* version = nullptr;
        const platform::Dropped* dropped = nullptr;
        bool wideLog = false;
    };
    void accountCopy(const Copied& copied);
    // What a copy or a folder the run made could not carry over: said once per run, not once per file.
    void noteDropped(const platform::Dropped& dropped, const std::string& path);
    // A deletion of `path` done: counted, reported and logged ("Delete file ..."), with its version.
    // A file given the other side's spelling of its name (`from` and `to` differ only in letter case), or a
    // file or folder renamed as it was renamed on the other side: reported and logged ("Renamed file ...").
    enum class Renamed { File, Folder };
    void accountRename(const std::string& from, const std::string& to, Renamed what = Renamed::File);
    void accountDeletion(const std::string& path, std::uint64_t size, const platform::VersionPlace* version,
                         bool wideLog);

    // What the file systems of the run can do, tried once per device on the first ask. The one part of
    // the ledger any thread may ask (it has its own lock).
    platform::FileSystems& fileSystems() { return *m_fileSystems; }

    // The keeper of versions for the tree at `root`, or null when versions are not kept. One versions
    // folder per run and tree, named after the run's start.
    platform::VersionKeeper* versionKeeper(const std::string& root);

    // Tessel's own files (the log, the watch file, the settings and the states of two-way watches)
    // may lie in a tree a run deletes in: they are never deleted. Worked out again before deletions
    // are planned, since the log may appear during the run.
    void learnOwnFiles();
    void addOwnFile(const std::string& path);
    bool isOwnFile(const platform::FileInfo& file) const;

  private:
    void assertWalkThread() const;
    void accountVersion(const platform::VersionPlace& versions, const std::string& path, bool wideLog);

    Output m_output;
    std::thread::id m_walkThread;
    std::string m_stamp;
    std::map<std::string, std::unique_ptr<platform::VersionKeeper>> m_keepers;
    std::unordered_set<std::string> m_protected;
    std::unordered_set<std::string> m_failedFolders;
    std::unordered_set<std::string> m_plannedDeletions;
    std::unordered_map<std::string, platform::FileInfo> m_foldersAsFound;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_ownFiles;  // device and inode
    platform::Dropped m_noted;  // what copies could not carry over, said once per run
    std::unordered_set<std::string> m_privateVersionsRefused;  // versions folders already said
    platform::FileSystems m_ownFileSystems;
    platform::FileSystems* m_fileSystems;  // its own, or those it was given
    // Last, so it goes first: its threads are done before what their work uses goes.
    std::unique_ptr<OrderedPool> m_pool;
};

}  // namespace tessel
