#pragma once
// What the tree walks of the engine share: the state of one watch run (its result and what it must
// not delete), the chain of open folders a walk is in, and the error lines.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "platform/FileCopy.h"
#include "platform/FileSystemTraits.h"
#include "platform/Folders.h"
#include "platform/Paths.h"
#include "platform/Versions.h"
#include "sync/OrderedPool.h"
#include "watch/RunContext.h"

namespace tessel {

using platform::withTrailingSlash;

// One watch run in progress. Paths here are relative to the two roots of the run ("a/b/" for a folder,
// "a/b/c.txt" for a file), so they mean the same place on both sides.
class RunState {
  public:
    explicit RunState(RunContext& context);
    ~RunState();

    RunContext& context;
    RunResult result;

    bool stopRequested() const { return context.stopRequested(); }
    // The root that "Copy with root folder" makes below the chosen destination (with a trailing "/"):
    // a link there is never followed, for writing or for reading.
    std::string madeRoot;
    platform::Folder openRoot(const std::string& root, std::error_code& error) const;
    // The threads that do the work of the walks (RunOptions::jobs), made with the first use.
    OrderedPool& pool();

    // With several threads the progress bar is not sized by a reading of the source tree ahead of the
    // run: the first pass counts its files as it lists them, and the bar's maximum grows with it.
    bool countingFiles = false;
    void countFiles(const std::vector<platform::ListedName>& names);
    // Deciding without doing (RunContext::preview).
    bool preview() const { return context.preview; }
    // Tells the observer, if any, of an action done (or, in a preview, decided).
    void report(RunAction::Kind kind, const std::string& path, const std::string& target = {},
                std::uint64_t size = 0, RunAction::Side newer = RunAction::Side::None);

    // A deletion pass never deletes a protected file, and never enters a folder in which something
    // failed: the reasons are in protectFile and folderFailed below.
    //
    // Protected are the files this run moved (the move itself took them out of the other side) and the
    // files whose copy or move failed or was refused (the other side lacks them because of this run,
    // not because the user deleted them), and the files the watch's rules kept from crossing (a new file
    // under "Update only old files"): without the protection, a deletion pass that runs after the
    // copies would take them for files the other side no longer has and delete the only copy. A file
    // this run copied needs no entry: it is on both sides when the deletion looks.
    void protectFile(const std::string& relativePath) {
        if (deletionsFollow) m_protected.insert(relativePath);
    }
    // Whether a deletion pass comes after the copies; without one, nothing needs protecting.
    bool deletionsFollow = true;
    bool isProtected(const std::string& relativePath) const { return m_protected.contains(relativePath); }
    // A folder in which a listing, a copy or a folder creation failed is not known well enough to
    // delete anything in it or below it (on either side).
    void markFolderFailed(const std::string& relativeFolder) { m_failedFolders.insert(relativeFolder); }
    bool folderFailed(const std::string& relativeFolder) const {
        return m_failedFolders.contains(relativeFolder);
    }

    // Logs the line, shows it as the status text and counts a failure.
    void failure(const std::string& line);
    // "Error <doing> <path>: <reason>", logged and counted.
    void failure(const char* doing, const std::string& path, const std::error_code& reason);
    void showStatus(const std::string& text);

    // The keeper of versions for the tree at `root`, or null when versions are not kept. One versions
    // folder per run and tree, named after the run's start.
    platform::VersionKeeper* versionKeeper(const std::string& root);
    // What a copy or deletion did about a version: counted, and with the wide log, logged.
    void accountVersion(const platform::VersionPlace& versions, const std::string& path, bool wideLog);

    // What the file systems of the run can do, probed once per device on the first ask (any thread).
    platform::FileSystems& fileSystems() { return m_fileSystems; }
    // What the run's copies left behind because their destination cannot hold it (extended attributes,
    // ACLs); added up on the walk's thread as each copy is accounted for.
    platform::Dropped dropped;

    // A preview changes nothing, so a later pass would not see what an earlier one decided. The preview
    // keeps it here instead, by root (with its trailing "/") and path below the root ("a/b.txt", a
    // folder as "a/b/"), and the walks look here first.
    struct Imagined {
        bool present = false;
        platform::FileInfo info;  // a file's; kind Folder for a folder
        static Imagined folder() {
            Imagined entry{true, {}};
            entry.info.kind = platform::EntryKind::Folder;
            return entry;
        }
    };
    void imagine(const std::string& root, const std::string& relative, const Imagined& entry);
    const Imagined* imagined(const std::string& root, const std::string& relative) const;
    // Adds what the preview imagines in the folder `relativeFolder` to its listing `names` (in name
    // order) and takes out what it imagines gone.
    void imagineListing(const std::string& root, const std::string& relativeFolder,
                        std::vector<platform::ListedName>& names) const;

  private:
    std::int64_t m_counted = 0;
    // Written only by the walk's thread, read by the pool's too.
    mutable std::shared_mutex m_imaginedMutex;
    std::atomic<bool> m_imagining{false};
    std::map<std::string, std::map<std::string, Imagined>> m_imagined;
    std::string m_stamp;
    std::map<std::string, std::unique_ptr<platform::VersionKeeper>> m_keepers;
    std::unordered_set<std::string> m_protected;
    std::unordered_set<std::string> m_failedFolders;
    platform::FileSystems m_fileSystems;
    // Last, so it goes first: its threads are done before what their work uses goes.
    std::unique_ptr<OrderedPool> m_pool;
};

// The folders from a walk's root down to the folder it is in, on one side. Only the upper levels
// and the current one keep their folders open: a tree of any depth needs a bounded number of
// descriptors. A level put aside is opened again from the nearest open one, never through a link, and
// must still be the same folder.
class FolderChain {
  public:
    static constexpr std::size_t kOpenLevels = 32;

    // A root that is not valid is one a preview imagines.
    explicit FolderChain(platform::Folder root);

    // The folder the walk is in.
    const platform::Folder& current(std::error_code& error);
    platform::SharedFolder shared(std::error_code& error);
    std::size_t depth() const { return m_levels.size() - 1; }

    // Entering a folder that is not valid enters one that a preview imagines: it has no descriptor, and
    // the walk finds in it only what the preview imagines there.
    void enter(const std::string& name, platform::Folder folder);
    void leave();
    bool imaginary() const { return m_levels.back().imaginary; }

  private:
    struct Level {
        std::string name;
        platform::SharedFolder folder;  // null while put aside
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        bool imaginary = false;
    };
    bool reopen(std::error_code& error);
    std::vector<Level> m_levels;
};

// The parts of a walk both the copy and the deletion walk make the same way.
struct SubfolderStep {
    platform::Folder source;
    platform::FileInfo sourceInfo;
    platform::Folder destination;
    bool created = false;
};

// Opens the source subfolder `name` (never through a link) and makes and opens its counterpart in
// `destination` (never through a link either). False when there is nothing to walk: a link or not a
// folder (silently), the excluded folder, or a failure, which is logged and marks the folder failed.
bool stepInto(RunState& run, const platform::Folder& source, const platform::Folder& destination,
              const std::string& name, const std::string& sourcePath, const std::string& destinationPath,
              const std::string& relativeFolder, const platform::Folder& excluded, SubfolderStep& step);

// What a walk sees of one folder of one side: the folder itself, and in a preview what the run would
// have changed in it by now. `folder` is not valid for a folder the preview imagines.
struct SideFolder {
    const platform::Folder& folder;
    const std::string& root;      // with its trailing "/"
    const std::string& relative;  // below the root, "" or "a/b/"
};
// Lists it in name order; false (with the reason) when a real folder cannot be read.
bool listSide(const RunState& run, const SideFolder& side, std::vector<platform::ListedName>& names,
              std::error_code& error);
// What `name` in it is.
platform::EntryKind examineSide(const RunState& run, const SideFolder& side, const std::string& name,
                                platform::ListedType listed, platform::FileInfo& info,
                                std::error_code& error);
// Whether `name` in it is there as anything but a folder.
platform::Presence presenceSide(const RunState& run, const SideFolder& side, const std::string& name);

// Whether a listed entry may be a folder the walks enter (links to folders are never entered).
inline bool mayBeFolder(platform::ListedType type) {
    return type == platform::ListedType::Folder || type == platform::ListedType::Unknown;
}

}  // namespace tessel
