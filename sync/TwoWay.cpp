#include "sync/TwoWay.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <deque>
#include <optional>
#include <utility>

#include "platform/Clock.h"
#include "platform/FileCompare.h"
#include "platform/FileCopy.h"
#include "platform/Wildcard.h"
#include "sync/CopyDecision.h"
#include "sync/DeleteAbsent.h"
#include "sync/OrderedPool.h"
#include "sync/WalkSupport.h"
#include "watch/EventLog.h"
#include "watch/SyncState.h"

namespace tessel {

namespace {

using platform::EntryKind;
using platform::FileInfo;
using platform::Folder;
using platform::ListedName;
using platform::ListedType;
using platform::SharedFolder;

// The two sides: the watch's source and destination.
constexpr int kSource = 0;
constexpr int kDestination = 1;
constexpr int kSides[] = {kSource, kDestination};

// One name of a folder, as the listings of both sides have it.
struct Entry {
    const std::string* name = nullptr;
    bool on[2] = {false, false};
    ListedType type[2] = {ListedType::Unknown, ListedType::Unknown};
};

// Both listings (each in name order) as one, in name order.
std::vector<Entry> merge(const std::vector<ListedName> (&names)[2]) {
    std::vector<Entry> merged;
    merged.reserve(std::max(names[0].size(), names[1].size()));
    std::size_t i = 0, j = 0;
    while (i < names[0].size() || j < names[1].size()) {
        const int order = i == names[0].size()   ? 1
                          : j == names[1].size() ? -1
                                                 : names[0][i].name.compare(names[1][j].name);
        Entry entry;
        if (order <= 0) {
            entry.name = &names[0][i].name;
            entry.on[kSource] = true;
            entry.type[kSource] = names[0][i++].type;
        }
        if (order >= 0) {
            entry.name = &names[1][j].name;
            entry.on[kDestination] = true;
            entry.type[kDestination] = names[1][j++].type;
        }
        merged.push_back(entry);
    }
    return merged;
}

SideRecord sideRecord(const FileInfo& info) {
    return {info.size, info.modified.seconds, info.device, info.inode};
}

// Whether a file is as the last run left it: the same size and modification time (in two-second steps).
bool unchanged(const FileInfo& now, const SideRecord& last) {
    return now.size == last.size && timeStep(now.modified) == timeStep(platform::FileTime{last.modified, 0});
}

RunAction::Side newerSide(const FileInfo (&info)[2], const Comparison& comparison) {
    return isNewer(info[kSource], info[kDestination], comparison)   ? RunAction::Side::Source
           : isNewer(info[kDestination], info[kSource], comparison) ? RunAction::Side::Destination
                                                                    : RunAction::Side::None;
}

// Work a pool thread does for the walk, which waits for it: set once, when everything is in place.
class Finished {
  public:
    void set() {
        m_done.store(true, std::memory_order_release);
        m_done.notify_one();
    }
    void wait() const { m_done.wait(false, std::memory_order_acquire); }

  private:
    std::atomic<bool> m_done{false};
};

std::string conflictStamp(const platform::LocalTime& start) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", start.year, start.month, start.day,
                  start.hour, start.minute, start.second);
    return stamp;
}

class TwoWayWalk {
  public:
    TwoWayWalk(RunState& run, const std::string& source, const std::string& destination,
               const std::vector<std::string>& masks, const TWatchRec& watch)
        : m_run(run),
          m_masks(masks),
          m_tuneMode(watch.TuneMode),
          m_deleteAbsent(isOn(watch.DeleteAbsent)),
          m_wideLog(isOn(watch.WideLog)),
          m_stamp(conflictStamp(platform::toLocalTime(platform::clockNow()))) {
        m_sides[kSource].root = withTrailingSlash(source);
        m_sides[kDestination].root = withTrailingSlash(destination);
    }

    void run();

  private:
    struct Side {
        std::string root;                  // with a trailing "/"
        std::optional<FolderChain> chain;  // none while the root is missing (in a preview)
        SharedFolder rootFolder;
        platform::VersionKeeper* versions = nullptr;
        DeletionPlan deletions;                          // what the other side's deletions delete here
        std::vector<std::vector<std::size_t>> deleting;  // their state entries, group by group
        std::int64_t held = 0;                           // files at the start of the run
    };
    // What the walk knows of the folder it is in; the copies into it and its finishing share it.
    struct Here : std::enable_shared_from_this<Here> {
        bool on[2] = {true, true};  // false where a preview has not made the folder
        bool written[2] = {false, false};
        FileInfo info[2];  // the folder on each side before the walk wrote in it
        SharedFolder folder[2];
        std::vector<ListedName> names[2];
    };

    bool loadState();
    void saveState();
    // What a look at both sides finds of one name: done by the pool's threads.
    struct Seen {
        FileInfo info[2];
        std::error_code error[2];
        bool counted[2] = {false, false};  // a file for the mass-deletion guard
        bool takesPart = false;
    };
    struct LookPiece;
    // Pieces of a large folder looked at by the pool's threads ahead of the walk's decisions.
    static constexpr std::size_t kLookPiece = 64;
    static constexpr std::size_t kPiecesAhead = 16;
    void decideLargeFolder(Here& here, const std::vector<Entry>& entries);
    class CopyTask;
    class CopyBatch;
    class FinishTask;
    // Copies handed to the pool together: fewer hand-overs, and still a share for every thread.
    static constexpr std::size_t kCopiesInBatch = 16;
    // Hands the copies decided so far to the pool: before anything else of the walk's reaches the log.
    void flushCopies();
    static constexpr std::size_t kPooledFolder = 256;
    struct Ahead;
    // Subfolders handed ahead at once, over all levels: each holds up to two folders open.
    static constexpr std::size_t kFoldersAhead = 16;
    // A folder with more names is read when the walk comes to it, and looked at in pieces: what is
    // held ahead stays small.
    static constexpr std::size_t kReadAhead = 512;
    // A folder whose own size says it holds many more is not even listed ahead (a hint only: file
    // systems count a folder's size differently, and the count of names decides).
    static constexpr std::uint64_t kReadAheadBytes = 64 * 1024;
    bool walkFolder(Here& here, Ahead* ahead);
    Seen look(const Folder& source, const Folder& destination, const Entry& entry) const;
    void handleFile(Here& here, const Entry& entry, Seen& seen);
    bool mayGoAhead(const Here& here, const Entry& entry) const;
    std::shared_ptr<Ahead> goAhead(const Entry& entry, std::size_t index);
    void readAhead(Ahead& ahead) const;
    bool walkSubfolder(Here& here, const Entry& entry, Ahead* ahead);
    void copyAcross(Here& here, int from, const std::string& name, const FileInfo (&info)[2],
                    std::size_t index);
    void conflict(Here& here, const std::string& name, const FileInfo (&info)[2], std::size_t index);
    void refuse(int from, const std::string& name, const FileInfo (&info)[2], std::size_t index);
    void planDeletion(Here& here, int side, const std::string& name, const FileInfo& info, std::size_t index);
    void runDeletions();
    bool failedAtOrAbove(const std::string& relative) const;
    std::string conflictName(const Here& here, const std::string& name);
    void failFolder(const char* doing, const std::string& path, const std::string& relative,
                    const std::error_code& error);

    bool matches(const std::string& name) const {
        for (const std::string& mask : m_masks)
            if (platform::matchesMask(mask, name)) return true;
        return false;
    }
    bool validTuneMode() const {
        return m_tuneMode == tmSyncAll || m_tuneMode == tmUpdateOld || m_tuneMode == tmAbsentOnly;
    }
    std::string pathOn(int side, const std::string& name) const {
        return m_sides[side].root + m_relative + name;
    }
    void remember(std::size_t index, const std::string& path, const FileInfo& source,
                  const FileInfo& destination) {
        if (!m_run.preview() && !m_statePath.empty())
            m_state.record(index, path, {sideRecord(source), sideRecord(destination)});
    }

    RunState& m_run;
    const std::vector<std::string>& m_masks;
    const std::int32_t m_tuneMode;
    const bool m_deleteAbsent;
    const bool m_wideLog;
    const std::string m_stamp;
    Side m_sides[2];
    Comparison m_comparison;  // what both sides keep, from the probe of their file systems
    SyncState m_state;
    std::string m_statePath;     // the state file; empty when the run keeps none
    bool m_remembering = false;  // the last run's state is known
    std::string m_relative;      // the folder the walk is in, below the roots, with a trailing "/"
    std::string m_fileRelative;  // the file being decided, below the roots
    std::vector<std::string> m_conflictNames;  // chosen in the folder the walk is in
    std::size_t m_foldersAhead = 0;            // handed ahead and not yet come to
    std::unique_ptr<CopyBatch> m_copies;       // decided, not yet handed to the pool
};

// A subfolder, opened, listed and looked at on the pool's threads while the walk is still in the
// folders before it, so the walk only decides when it comes to it. Where one side lacks it, the walk
// makes it there, empty. Anything amiss (a folder that cannot be opened or listed, one root inside
// the other, a folder that appeared meanwhile) and the walk does it all again itself, with the usual
// errors.
struct TwoWayWalk::Ahead {
    std::string name;
    std::size_t index = 0;  // in the parent's names
    bool present[2] = {false, false};
    SharedFolder parent[2];
    Folder child[2];
    FileInfo info[2];
    std::vector<ListedName> names[2];
    std::vector<Entry> entries;
    std::vector<Seen> seen;
    bool complete = false;
    Finished done;
};

bool TwoWayWalk::loadState() {
    const std::string& folder = m_run.context.options.stateFolder;
    if (folder.empty()) return true;
    m_statePath = SyncState::filePath(folder, m_sides[kSource].root, m_sides[kDestination].root);
    std::string why;
    switch (m_state.load(m_statePath, m_sides[kSource].root, m_sides[kDestination].root, why)) {
        case SyncState::Loaded::Read:
            m_remembering = true;
            return true;
        case SyncState::Loaded::Missing:
            return true;
        case SyncState::Loaded::Damaged:
            break;
    }
    // Without it a deletion cannot be told from a creation: the run keeps the files of both sides.
    m_run.failure("Error reading the state file " + m_statePath + ": " + why +
                  "; this run deletes nothing and keeps the files of both sides");
    return false;
}

void TwoWayWalk::saveState() {
    if (m_statePath.empty() || m_run.preview()) return;
    std::error_code error;
    if (!m_state.save(m_statePath, m_sides[kSource].root, m_sides[kDestination].root, !m_run.stopRequested(),
                      error))
        m_run.failure("saving the state file", m_statePath, error);
}

void TwoWayWalk::run() {
    loadState();
    const std::shared_ptr<Here> root = std::make_shared<Here>();
    Here& here = *root;
    std::error_code error;
    Side& source = m_sides[kSource];
    Side& destination = m_sides[kDestination];
    Folder sourceRoot = m_run.openRoot(source.root, error);
    if (!sourceRoot.valid()) return m_run.failure("opening folder", source.root, error);
    bool destinationCreated = false;
    if (!platform::isExistingFolder(destination.root)) {
        if (m_run.preview()) {
            here.on[kDestination] = false;
        } else if (!platform::ForceFolders(destination.root, error)) {
            return m_run.failure("creating folder", destination.root, error);
        }
        destinationCreated = true;
        m_run.report(RunAction::Kind::CreateFolder, destination.root);
        // The last run left files there: a root that has to be made anew is an unplugged disk or a
        // removed mount point, not a user who deleted everything. Nothing is deleted on either side.
        if (m_remembering) {
            // As a first run: the union of both sides, nothing deleted.
            m_remembering = false;
            m_run.markFolderFailed("");
            m_run.failure("Error opening folder " + destination.root +
                          ": it was missing although the last run left files there; it is made anew and "
                          "filled from the source, and nothing is deleted in this run");
        }
    }
    source.chain.emplace(std::move(sourceRoot));
    if (here.on[kDestination]) {
        Folder destinationRoot = m_run.openRoot(destination.root, error);
        if (!destinationRoot.valid()) return m_run.failure("opening folder", destination.root, error);
        destination.chain.emplace(std::move(destinationRoot));
    }
    for (const int side : kSides) {
        Side& s = m_sides[side];
        if (!here.on[side]) continue;
        s.rootFolder = s.chain->shared(error);
        if (!s.rootFolder->info(here.info[side], error))
            return m_run.failure("opening folder", s.root, error);
        s.versions = m_run.versionKeeper(s.root);
    }
    if (destinationCreated) here.info[kDestination] = here.info[kSource];
    const Folder imagined;
    const auto traitsOf = [&](int side) -> const platform::FileSystemTraits& {
        return m_run.fileSystems().of(m_sides[side].rootFolder ? *m_sides[side].rootFolder : imagined);
    };
    m_comparison = comparisonFor(traitsOf(kSource), traitsOf(kDestination));

    for (const int side : kSides) {
        // Asked once here: the threads that read ahead compare folders with the roots.
        std::uint64_t device = 0, inode = 0;
        if (m_sides[side].rootFolder) m_sides[side].rootFolder->identity(device, inode);
    }
    walkFolder(here, nullptr);
    m_run.pool().drain();
    if (!m_run.preview()) {
        for (const int side : kSides) {
            // A root the run made gets the times of the one it mirrors, even with nothing in it.
            const bool created = side == kDestination && destinationCreated;
            if (!here.written[side] && !created) continue;
            if (!platform::finishFolder(*m_sides[side].rootFolder, here.info[side], created, error))
                m_run.failure("creating folder", m_sides[side].root, error);
        }
    }
    if (!m_run.stopRequested()) runDeletions();
    saveState();
}

void TwoWayWalk::failFolder(const char* doing, const std::string& path, const std::string& relative,
                            const std::error_code& error) {
    // What is below a folder the run could not walk keeps its state, and nothing in it is deleted.
    m_run.markFolderFailed(relative);
    m_state.keepBelow(relative);
    m_run.failure(doing, path, error);
}

// One copy across, done on any thread and accounted for on the walk's.
class TwoWayWalk::CopyTask : public OrderedPool::Task {
  public:
    CopyTask(TwoWayWalk& walk, Here& here, int from, const std::string& name, const FileInfo (&info)[2],
             std::size_t index)
        : m_walk(walk),
          m_here(here.shared_from_this()),
          m_folder{here.folder[0], here.folder[1]},
          m_from(from),
          m_name(name),
          m_info{info[0], info[1]},
          m_index(index),
          m_relative(walk.m_relative),
          m_fileRelative(walk.m_fileRelative) {
        m_version.keeper = walk.m_sides[1 - from].versions;
        m_version.relativeFolder = m_relative;
    }
    std::string fromPath, toPath;
    RunAction::Kind kind = RunAction::Kind::Copy;
    RunAction::Side newer = RunAction::Side::None;
    bool inHand = false;  // done at once by the walk, which finishes the file in hand at a stop

    void run() override {
        // A stop leaves the files not begun as they are.
        if (!inHand && m_walk.m_run.stopRequested()) return;
        m_begun = true;
        const int to = 1 - m_from;
        const bool replace = m_info[to].kind == EntryKind::File;
        m_done =
            platform::copyFile(*m_folder[m_from], m_name, m_info[m_from], *m_folder[to], m_name,
                               replace ? &m_info[to] : nullptr, m_walk.m_run.fileSystems().of(*m_folder[to]),
                               m_error, m_version.keeper != nullptr ? &m_version : nullptr, &m_dropped);
        // Remembered as the copy is now: it carries the source's times, and has an identity of its own.
        std::error_code error;
        m_copyFound = m_done && platform::examine(*m_folder[to], m_name, ListedType::Unknown, m_copy,
                                                  error) == EntryKind::File;
    }
    void release() override {
        RunState& run = m_walk.m_run;
        SyncState& state = m_walk.m_state;
        if (!m_begun) return state.keep(m_index);
        if (!m_done) {
            run.markFolderFailed(m_relative);
            state.keep(m_index);
            if (m_version.keepFailed) return run.failure("keeping a version of", toPath, m_error);
            return run.failure("copying file", fromPath, m_error);
        }
        m_here->written[1 - m_from] = true;
        run.dropped.add(m_dropped);
        ++run.result.copied;
        run.result.bytesCopied += m_info[m_from].size;
        run.report(kind, fromPath, toPath, m_info[m_from].size, newer);
        if (m_walk.m_wideLog)
            WriteLogLine(run.context,
                         "Copied file " + fromPath + (kind == RunAction::Kind::Replace ? "" : " "));
        run.accountVersion(m_version, toPath, m_walk.m_wideLog);
        run.showStatus("  Copy file :" + fromPath);
        if (!m_copyFound) return state.keep(m_index);
        if (m_from == kSource)
            m_walk.remember(m_index, m_fileRelative, m_info[kSource], m_copy);
        else
            m_walk.remember(m_index, m_fileRelative, m_copy, m_info[kDestination]);
    }

  private:
    TwoWayWalk& m_walk;
    const std::shared_ptr<Here> m_here;
    const SharedFolder m_folder[2];  // the walk lets go of them before the copies are done
    const int m_from;
    const std::string m_name;
    const FileInfo m_info[2];
    const std::size_t m_index;
    const std::string m_relative;
    const std::string m_fileRelative;
    platform::VersionPlace m_version;
    bool m_begun = false;
    bool m_done = false;
    std::error_code m_error;
    platform::Dropped m_dropped;
    FileInfo m_copy;
    bool m_copyFound = false;
};

class TwoWayWalk::CopyBatch : public OrderedPool::Task {
  public:
    std::vector<std::unique_ptr<CopyTask>> copies;
    void run() override {
        for (const auto& copy : copies) copy->run();
    }
    void release() override {
        for (const auto& copy : copies) copy->release();
    }
};

// Gives a folder its times (and, where the walk made it, its permissions) once everything in it is
// done: released after every piece submitted before it.
class TwoWayWalk::FinishTask : public OrderedPool::Task {
  public:
    FinishTask(TwoWayWalk& walk, std::shared_ptr<Here> here) : m_walk(walk), m_here(std::move(here)) {}
    SharedFolder folder[2];
    std::error_code error[2];  // why a folder put aside could not be opened again
    bool created[2] = {false, false};
    std::string path[2];

    void run() override {}
    void release() override {
        if (m_walk.m_run.preview()) return;
        for (const int side : kSides) {
            if (!m_here->on[side] || !m_here->written[side]) continue;
            std::error_code failure = error[side];
            if (!folder[side] || !folder[side]->valid() ||
                !platform::finishFolder(*folder[side], m_here->info[side], created[side], failure))
                m_walk.m_run.failure("creating folder", path[side], failure);
        }
    }

  private:
    TwoWayWalk& m_walk;
    std::shared_ptr<Here> m_here;
};

void TwoWayWalk::flushCopies() {
    if (m_copies) m_run.pool().submit(std::move(m_copies));
}

// Names of a large folder, looked at on a pool thread while the walk decides the ones before them.
struct TwoWayWalk::LookPiece {
    std::size_t first = 0, end = 0;  // the entries it covers
    std::vector<Seen> seen;
    Finished done;
};

void TwoWayWalk::decideLargeFolder(Here& here, const std::vector<Entry>& entries) {
    std::deque<std::shared_ptr<LookPiece>> pieces;
    std::size_t next = 0;
    const SharedFolder source = here.folder[kSource], destination = here.folder[kDestination];
    const auto lookAhead = [&] {
        for (; pieces.size() < kPiecesAhead && next < entries.size(); next += kLookPiece) {
            auto piece = std::make_shared<LookPiece>();
            piece->first = next;
            piece->end = std::min(next + kLookPiece, entries.size());
            pieces.push_back(piece);
            m_run.pool().aside([this, piece, source, destination, &entries] {
                piece->seen.resize(piece->end - piece->first);
                for (std::size_t i = piece->first; i < piece->end && !m_run.stopRequested(); ++i)
                    if (!platform::isHiddenName(*entries[i].name))
                        piece->seen[i - piece->first] = look(*source, *destination, entries[i]);
                piece->done.set();
            });
        }
    };
    lookAhead();
    while (!pieces.empty()) {
        const std::shared_ptr<LookPiece> piece = std::move(pieces.front());
        pieces.pop_front();
        piece->done.wait();
        for (std::size_t i = piece->first; i < piece->end && !m_run.stopRequested(); ++i)
            if (!platform::isHiddenName(*entries[i].name))
                handleFile(here, entries[i], piece->seen[i - piece->first]);
        if (!m_run.stopRequested()) lookAhead();
    }
}

bool TwoWayWalk::walkFolder(Here& here, Ahead* ahead) {
    for (const int side : kSides) {
        if (!here.on[side]) {
            here.folder[side] = std::make_shared<const Folder>();
            continue;
        }
        std::error_code error;
        here.folder[side] = m_sides[side].chain->shared(error);
        if (!here.folder[side]->valid()) {
            failFolder("opening folder", m_sides[side].root + m_relative, m_relative, error);
            return true;
        }
        if (ahead != nullptr) {
            here.names[side] = std::move(ahead->names[side]);
            continue;
        }
        if (!platform::listFolder(*here.folder[side], here.names[side], error)) {
            failFolder("reading folder", m_sides[side].root + m_relative, m_relative, error);
            return true;
        }
        // Both sides are written to: clear away what a killed run left half-copied in either.
        if (!m_run.preview()) platform::removeStaleTemporaries(*here.folder[side], here.names[side]);
    }
    m_run.countFiles(here.names[kSource]);
    // The names of a folder read ahead moved here whole: the entries still point at them.
    const std::vector<Entry> entries = ahead != nullptr ? std::move(ahead->entries) : merge(here.names);
    m_conflictNames.clear();
    if (ahead != nullptr) {
        for (std::size_t i = 0; i < entries.size() && !m_run.stopRequested(); ++i)
            if (!platform::isHiddenName(*entries[i].name)) handleFile(here, entries[i], ahead->seen[i]);
    } else if (m_run.pool().parallel() && entries.size() >= kPooledFolder) {
        decideLargeFolder(here, entries);
    } else {
        // What to do is decided here, in name order, as the state and the log need, and the folder's
        // files are done before its subfolders are entered. For a small folder the walk looks itself:
        // it would only wait for the threads, and waking them costs more than the looks.
        for (std::size_t i = 0; i < entries.size() && !m_run.stopRequested(); ++i) {
            if (platform::isHiddenName(*entries[i].name)) continue;
            Seen seen = look(*here.folder[kSource], *here.folder[kDestination], entries[i]);
            handleFile(here, entries[i], seen);
        }
    }
    // The copies into this folder go on while the walk goes below it; the folder is finished after them.
    flushCopies();
    if (m_run.stopRequested()) return false;
    // The subfolders both sides have are read ahead on the pool's threads, a few at a time, while the
    // walk is in the ones before them: the walk then finds them listed and looked at.
    std::deque<std::shared_ptr<Ahead>> aheads;
    std::size_t next = 0;  // the first name not yet considered for reading ahead
    const auto readAheadMore = [&](std::size_t from) {
        for (next = std::max(next, from); next < entries.size() && m_foldersAhead < kFoldersAhead; ++next)
            if (mayGoAhead(here, entries[next])) aheads.push_back(goAhead(entries[next], next));
    };
    // The chains keep what the subfolders need; a folder held here for every level would not be bounded.
    readAheadMore(0);
    for (const int side : kSides) here.folder[side].reset();
    bool finished = true;
    for (std::size_t i = 0; i < entries.size() && finished; ++i) {
        if (m_run.stopRequested()) finished = false;
        if (!finished || platform::isHiddenName(*entries[i].name)) continue;
        std::shared_ptr<Ahead> mine;
        if (!aheads.empty() && aheads.front()->index == i) {
            mine = std::move(aheads.front());
            aheads.pop_front();
            --m_foldersAhead;
        }
        finished = walkSubfolder(here, entries[i], mine.get());
        readAheadMore(i + 1);
    }
    // Those not come to (the run stopped) use this walk: they end before it does.
    for (const std::shared_ptr<Ahead>& ahead : aheads) ahead->done.wait();
    m_foldersAhead -= aheads.size();
    // The folder's finishing may wait in the pool a while: it needs none of its names.
    for (const int side : kSides) here.names[side] = {};
    return finished;
}

bool TwoWayWalk::mayGoAhead(const Here& here, const Entry& entry) const {
    if (!m_run.pool().parallel() || platform::isHiddenName(*entry.name)) return false;
    // A folder on each side that has the name; the sides without it get it new.
    for (const int side : kSides)
        if (entry.on[side] && (!here.on[side] || entry.type[side] != ListedType::Folder)) return false;
    return entry.on[kSource] || entry.on[kDestination];
}

std::shared_ptr<TwoWayWalk::Ahead> TwoWayWalk::goAhead(const Entry& entry, std::size_t index) {
    auto ahead = std::make_shared<Ahead>();
    ahead->name = *entry.name;
    ahead->index = index;
    for (const int side : kSides) {
        ahead->present[side] = entry.on[side];
        std::error_code error;
        if (entry.on[side]) ahead->parent[side] = m_sides[side].chain->shared(error);
    }
    ++m_foldersAhead;
    m_run.pool().aside([this, ahead] {
        if (!m_run.stopRequested()) readAhead(*ahead);
        for (const int side : kSides) ahead->parent[side].reset();
        ahead->done.set();
    });
    return ahead;
}

// On a pool thread: touches only the ahead's own folders and what does not change during the walk.
void TwoWayWalk::readAhead(Ahead& ahead) const {
    for (const int side : kSides) {
        if (!ahead.present[side]) continue;
        std::error_code error;
        if (!ahead.parent[side]->valid()) return;
        ahead.child[side] = Folder::openChild(*ahead.parent[side], ahead.name, error);
        if (!ahead.child[side].valid()) return;
        const SharedFolder& otherRoot = m_sides[1 - side].rootFolder;
        if (otherRoot && ahead.child[side].sameFolderAs(*otherRoot)) return;
        if (!ahead.child[side].info(ahead.info[side], error) || ahead.info[side].size > kReadAheadBytes)
            return;
    }
    for (const int side : kSides) {
        std::error_code error;
        if (ahead.present[side] && !platform::listFolder(ahead.child[side], ahead.names[side], error)) return;
    }
    if (ahead.names[kSource].size() > kReadAhead || ahead.names[kDestination].size() > kReadAhead) {
        for (const int side : kSides) ahead.names[side] = {};
        return;
    }
    for (const int side : kSides)
        if (ahead.present[side] && !m_run.preview())
            platform::removeStaleTemporaries(ahead.child[side], ahead.names[side]);
    ahead.entries = merge(ahead.names);
    ahead.seen.resize(ahead.entries.size());
    for (std::size_t i = 0; i < ahead.entries.size(); ++i)
        if (!platform::isHiddenName(*ahead.entries[i].name))
            ahead.seen[i] = look(ahead.child[kSource], ahead.child[kDestination], ahead.entries[i]);
    ahead.complete = true;
}

TwoWayWalk::Seen TwoWayWalk::look(const Folder& source, const Folder& destination, const Entry& entry) const {
    const Folder* const folder[2] = {&source, &destination};
    Seen seen;
    const std::string& name = *entry.name;
    seen.takesPart = matches(name);
    for (const int side : kSides) {
        if (!entry.on[side]) continue;
        if (entry.type[side] == ListedType::Folder) {
            seen.info[side].kind = EntryKind::Folder;
            continue;
        }
        // Every file counts for the mass-deletion guard; only those that take part need a look.
        if (!seen.takesPart && entry.type[side] == ListedType::File) {
            seen.counted[side] = true;
            continue;
        }
        seen.counted[side] = platform::examine(*folder[side], name, entry.type[side], seen.info[side],
                                               seen.error[side]) == EntryKind::File;
    }
    return seen;
}

void TwoWayWalk::handleFile(Here& here, const Entry& entry, Seen& seen) {
    const std::string& name = *entry.name;
    // A link is looked at through, and what it points at may be a file this run has just copied: it is
    // looked at again once the copies before it are done, as one thread would have found it.
    if ((seen.info[kSource].viaLink || seen.info[kDestination].viaLink) && m_run.pool().parallel()) {
        flushCopies();
        m_run.pool().drain();
        seen = look(*here.folder[kSource], *here.folder[kDestination], entry);
    }
    for (const int side : kSides)
        if (seen.counted[side]) ++m_sides[side].held;
    if (!seen.takesPart) {
        // Another watch of the pair, with other masks, may remember it: the state keeps it.
        if (m_remembering) m_state.keep(m_state.find(m_fileRelative.assign(m_relative).append(name)));
        return;
    }
    FileInfo(&info)[2] = seen.info;
    std::error_code(&error)[2] = seen.error;

    m_fileRelative.assign(m_relative).append(name);
    const std::size_t index = m_remembering ? m_state.find(m_fileRelative) : SyncState::kNone;
    for (const int side : kSides) {
        if (info[side].kind != EntryKind::Unreadable) continue;
        m_run.markFolderFailed(m_relative);
        m_state.keep(index);
        flushCopies();
        m_run.failure("reading file", pathOn(side, name), error[side]);
        return;
    }
    const bool file[2] = {info[kSource].kind == EntryKind::File, info[kDestination].kind == EntryKind::File};
    if (!file[kSource] && !file[kDestination]) return;  // devices, pipes, links to folders: left alone
    m_run.context.display.stepProgress();

    if (file[kSource] != file[kDestination]) {
        const int from = file[kSource] ? kSource : kDestination;
        const int to = 1 - from;
        if (info[to].kind != EntryKind::Missing) return refuse(from, name, info, index);
        // Gone from the other side since the last run, and unchanged here: the user deleted it there.
        if (index != SyncState::kNone && m_deleteAbsent) {
            const PairRecord last = m_state.at(index);
            if (unchanged(info[from], from == kSource ? last.source : last.destination))
                return planDeletion(here, from, name, info[from], index);
        }
        // New here, changed here (a change beats a deletion), or deleted there without deletions on.
        return copyAcross(here, from, name, info, index);
    }

    if (!m_remembering) {
        // No state: as the one-way passes decide, except that an older file never replaces a newer one.
        const bool alike = looksCopied(info[kSource], info[kDestination], m_comparison) &&
                           looksCopied(info[kDestination], info[kSource], m_comparison);
        const RunAction::Side newer = newerSide(info, m_comparison);
        const bool act = (m_tuneMode == tmSyncAll && !alike) ||
                         (m_tuneMode == tmUpdateOld && newer != RunAction::Side::None);
        if (act)
            return copyAcross(here, newer == RunAction::Side::Destination ? kDestination : kSource, name,
                              info, index);
        ++m_run.result.skipped;
        return remember(index, m_fileRelative, info[kSource], info[kDestination]);
    }

    bool changed[2] = {true, true};  // a file the state lacks was created on both sides
    if (index != SyncState::kNone) {
        const PairRecord last = m_state.at(index);
        changed[kSource] = !unchanged(info[kSource], last.source);
        changed[kDestination] = !unchanged(info[kDestination], last.destination);
    }
    if (changed[kSource] != changed[kDestination])
        return copyAcross(here, changed[kSource] ? kSource : kDestination, name, info, index);
    bool same = !changed[kSource];
    if (!same) {
        std::error_code failure;
        if (!platform::sameContent(*here.folder[kSource], name, *here.folder[kDestination], name, same,
                                   failure)) {
            m_run.markFolderFailed(m_relative);
            m_state.keep(index);
            flushCopies();
            return m_run.failure("reading file", pathOn(kSource, name), failure);
        }
    }
    if (!same) return conflict(here, name, info, index);
    ++m_run.result.skipped;
    remember(index, m_fileRelative, info[kSource], info[kDestination]);
}

void TwoWayWalk::refuse(int from, const std::string& name, const FileInfo (&info)[2], std::size_t index) {
    const int to = 1 - from;
    m_state.keep(index);
    // A folder, link to a folder or special entry holds the name on the other side: never replaced.
    const CopyDecision decision = decideCopy(m_tuneMode, false, info[from], info[to], m_comparison);
    if (decision != CopyDecision::Refuse) {
        ++m_run.result.skipped;
        return;
    }
    m_run.markFolderFailed(m_relative);
    const std::error_code error = info[to].kind == EntryKind::Special
                                      ? std::error_code(platform::WalkError::DestinationNotRegular)
                                      : std::make_error_code(std::errc::is_a_directory);
    flushCopies();
    m_run.failure("copying file", pathOn(from, name), error);
}

void TwoWayWalk::copyAcross(Here& here, int from, const std::string& name, const FileInfo (&info)[2],
                            std::size_t index) {
    const int to = 1 - from;
    const bool replace = info[to].kind == EntryKind::File;
    // The watch's TuneMode: "Copy only absent files" never replaces, "Update only old files" never adds.
    if (!validTuneMode() || (replace && m_tuneMode == tmAbsentOnly) ||
        (!replace && m_tuneMode == tmUpdateOld)) {
        ++m_run.result.skipped;
        return m_state.keep(index);
    }
    const std::string fromPath = pathOn(from, name);
    const std::string toPath = pathOn(to, name);
    const RunAction::Kind kind = replace ? RunAction::Kind::Replace : RunAction::Kind::Copy;
    const RunAction::Side newer = replace ? newerSide(info, m_comparison) : RunAction::Side::None;
    if (m_run.preview()) {
        ++m_run.result.copied;
        m_run.result.bytesCopied += info[from].size;
        return m_run.report(kind, fromPath, toPath, info[from].size, newer);
    }
    auto task = std::make_unique<CopyTask>(*this, here, from, name, info, index);
    task->fromPath = fromPath;
    task->toPath = toPath;
    task->kind = kind;
    task->newer = newer;
    // On the pool's threads, and accounted for in walk order.
    if (m_run.pool().parallel()) {
        if (!m_copies) m_copies = std::make_unique<CopyBatch>();
        m_copies->copies.push_back(std::move(task));
        if (m_copies->copies.size() == kCopiesInBatch) flushCopies();
        return;
    }
    task->inHand = true;
    task->run();
    task->release();
}

std::string TwoWayWalk::conflictName(const Here& here, const std::string& name) {
    const std::size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string base = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    const auto taken = [&](const std::string& candidate) {
        for (const int side : kSides) {
            const std::vector<ListedName>& names = here.names[side];
            const auto found = std::lower_bound(
                names.begin(), names.end(), candidate,
                [](const ListedName& listed, const std::string& wanted) { return listed.name < wanted; });
            if (found != names.end() && found->name == candidate) return true;
        }
        return std::find(m_conflictNames.begin(), m_conflictNames.end(), candidate) != m_conflictNames.end();
    };
    // Decided from the listings alone, so a preview names it as the run will.
    for (int attempt = 1;; ++attempt) {
        std::string candidate = base;
        candidate += ".conflict-";
        candidate += m_stamp;
        if (attempt > 1) {
            candidate += '-';
            candidate += std::to_string(attempt);
        }
        candidate += extension;
        if (taken(candidate)) continue;
        m_conflictNames.push_back(candidate);
        return candidate;
    }
}

void TwoWayWalk::conflict(Here& here, const std::string& name, const FileInfo (&info)[2], std::size_t index) {
    // Its lines go to the log at once: the copies before it are accounted for first.
    flushCopies();
    m_run.pool().drain();
    ++m_run.result.conflicts;
    const RunAction::Side newer = newerSide(info, m_comparison);
    // The newer file wins; of two with the same time, the source's.
    const int winner = newer == RunAction::Side::Destination ? kDestination : kSource;
    const int loser = 1 - winner;
    const std::string winnerPath = pathOn(winner, name);
    const std::string loserPath = pathOn(loser, name);
    if (!validTuneMode() || m_tuneMode == tmAbsentOnly) {
        // This watch never replaces a file: both stay as they are until the user settles it.
        m_state.keep(index);
        m_run.report(RunAction::Kind::Conflict, pathOn(kSource, name), pathOn(kDestination, name),
                     info[kSource].size, newer);
        const std::string line = "Conflict " + pathOn(kSource, name) + " and " + pathOn(kDestination, name) +
                                 ": both changed since the last run; left as they are";
        if (!m_run.preview()) WriteLogLine(m_run.context, line);
        return m_run.showStatus(line);
    }
    // A read-only file is never replaced: no conflict copy either, which every run would make anew.
    if ((info[loser].mode & 0200) == 0) {
        m_run.markFolderFailed(m_relative);
        m_state.keep(index);
        return m_run.failure("copying file", winnerPath, std::make_error_code(std::errc::permission_denied));
    }
    const std::string keptName = conflictName(here, name);
    const std::string keptPath = m_sides[loser].root + m_relative + keptName;
    if (!m_run.preview()) {
        std::error_code error;
        if (!platform::copyFile(*here.folder[loser], name, info[loser], *here.folder[loser], keptName,
                                nullptr, m_run.fileSystems().of(*here.folder[loser]), error)) {
            m_run.markFolderFailed(m_relative);
            m_state.keep(index);
            return m_run.failure("copying file", loserPath, error);
        }
        here.written[loser] = true;
    }
    m_run.report(RunAction::Kind::Conflict, loserPath, keptPath, info[loser].size, newer);
    const std::string line = "Conflict " + loserPath + ": both sides changed since the last run; kept as " +
                             keptPath + ", replaced by the newer " + winnerPath;
    if (!m_run.preview()) WriteLogLine(m_run.context, line);
    m_run.showStatus(line);
    copyAcross(here, winner, name, info, index);
}

void TwoWayWalk::planDeletion(Here& here, int side, const std::string& name, const FileInfo& info,
                              std::size_t index) {
    Side& s = m_sides[side];
    if (s.deletions.groups.empty() || s.deletions.groups.back().relative != m_relative) {
        DeletionPlan::Group& group = s.deletions.groups.emplace_back();
        group.relative = m_relative;
        here.folder[side]->identity(group.device, group.inode);
        group.sourceInfo = here.info[side];  // the folder gets its own times back
        s.deleting.emplace_back();
    }
    s.deletions.groups.back().files.push_back({name, info});
    s.deleting.back().push_back(index);
    m_state.keep(index);  // until it is gone
}

bool TwoWayWalk::failedAtOrAbove(const std::string& relative) const {
    if (m_run.folderFailed("")) return true;
    for (std::size_t slash = relative.find('/'); slash != std::string::npos;
         slash = relative.find('/', slash + 1))
        if (m_run.folderFailed(relative.substr(0, slash + 1))) return true;
    return false;
}

void TwoWayWalk::runDeletions() {
    // The destination first, as the one-way passes delete.
    for (const int side : {kDestination, kSource}) {
        Side& s = m_sides[side];
        const Side& other = m_sides[1 - side];
        DeletionPlan& plan = s.deletions;
        plan.sourceRoot = other.root;
        plan.destinationRoot = s.root;
        // Nothing is deleted in or below a folder where something failed in this run.
        for (std::size_t group = 0; group < plan.groups.size(); ++group) {
            if (!failedAtOrAbove(plan.groups[group].relative)) continue;
            plan.groups[group].files.clear();
            s.deleting[group].clear();
        }
        if (plan.fileCount() == 0 || !deletionsAllowed(m_run, plan, plan.fileCount(), s.held, other.held))
            continue;
        if (m_run.preview()) {
            for (const DeletionPlan::Group& group : plan.groups)
                for (const DeletionPlan::Candidate& file : group.files) {
                    ++m_run.result.deleted;
                    m_run.report(RunAction::Kind::Delete, s.root + group.relative + file.name, {},
                                 file.info.size);
                }
            continue;
        }
        executeDeletions(m_run, plan, m_wideLog);
        // Forgotten only once gone: a deletion that failed or was cut short is decided again next time.
        for (std::size_t group = 0; group < plan.groups.size(); ++group) {
            std::error_code error;
            const Folder folder = Folder::open(s.root + plan.groups[group].relative, error);
            if (!folder.valid()) continue;
            for (std::size_t i = 0; i < plan.groups[group].files.size(); ++i) {
                FileInfo now;
                if (platform::examine(folder, plan.groups[group].files[i].name, ListedType::Unknown, now,
                                      error) == EntryKind::Missing)
                    m_state.forget(s.deleting[group][i]);
            }
        }
    }
}

bool TwoWayWalk::walkSubfolder(Here& here, const Entry& entry, Ahead* ahead) {
    const std::string& name = *entry.name;
    if (ahead != nullptr) {
        ahead->done.wait();
        if (!ahead->complete) ahead = nullptr;
    }
    if (!(entry.on[kSource] && mayBeFolder(entry.type[kSource])) &&
        !(entry.on[kDestination] && mayBeFolder(entry.type[kDestination])))
        return true;
    enum class Found { Absent, Opened, NotFolder, Failed };
    Found found[2] = {Found::Absent, Found::Absent};
    Folder child[2];
    std::error_code error[2];
    for (const int side : kSides) {
        if (!entry.on[side]) continue;
        if (ahead != nullptr) {
            child[side] = std::move(ahead->child[side]);
            found[side] = Found::Opened;
            continue;
        }
        // Asked of the chain each time: a deep walk puts folders aside while it is below them.
        const Folder& parent = m_sides[side].chain->current(error[side]);
        if (parent.valid()) child[side] = Folder::openChild(parent, name, error[side]);
        if (child[side].valid())
            found[side] = Found::Opened;
        else if (error[side] == platform::WalkError::SymbolicLink ||
                 error[side] == std::errc::not_a_directory)
            found[side] = Found::NotFolder;
        else if (error[side] == std::errc::no_such_file_or_directory)
            found[side] = Found::Absent;  // gone since the listing
        else
            found[side] = Found::Failed;
    }
    // Where one root lies inside the other, the walk does not enter it.
    for (const int side : kSides) {
        const SharedFolder& otherRoot = m_sides[1 - side].rootFolder;
        if (found[side] == Found::Opened && otherRoot && child[side].sameFolderAs(*otherRoot)) return true;
    }
    const std::string relative = m_relative + name + "/";
    for (const int side : kSides) {
        if (found[side] != Found::Failed) continue;
        failFolder("opening folder", m_sides[side].root + relative, relative, error[side]);
        return true;
    }
    // Links to folders on the side they are read from are never entered, and files are no folders.
    if (found[kSource] != Found::Opened && found[kDestination] != Found::Opened) return true;

    const std::shared_ptr<Here> shared = std::make_shared<Here>();
    Here& below = *shared;
    bool created[2] = {false, false};
    for (const int side : kSides) {
        if (found[side] != Found::Opened) continue;
        if (ahead != nullptr) {
            below.info[side] = ahead->info[side];
            continue;
        }
        if (!child[side].info(below.info[side], error[side])) {
            failFolder("opening folder", m_sides[side].root + relative, relative, error[side]);
            return true;
        }
    }
    for (const int side : kSides) {
        if (found[side] == Found::Opened) continue;
        const int other = 1 - side;
        const std::string path = m_sides[side].root + m_relative + name;
        // A link or a file where the folder is needed: never followed, never replaced.
        if (found[side] == Found::NotFolder) {
            failFolder("creating folder", path, relative, error[side]);
            return true;
        }
        below.info[side] = below.info[other];  // what the folder it mirrors has, it gets
        if (m_run.preview()) {
            below.on[side] = false;
            m_run.report(RunAction::Kind::CreateFolder, path);
            continue;
        }
        std::error_code failure;
        const Folder& parent = m_sides[side].chain->current(failure);
        if (!parent.valid() ||
            !platform::makeChildFolder(parent, name, below.info[other].mode, created[side], failure)) {
            failFolder("creating folder", path, relative, failure);
            return true;
        }
        if (created[side]) {
            // Both are written: the parent gets its times back, the new folder its own and its mode.
            here.written[side] = true;
            below.written[side] = true;
            m_run.report(RunAction::Kind::CreateFolder, path);
        } else {
            // There already (made meanwhile, or the same folder under another case on a file system that
            // ignores case): what it holds is listed now, once the copies into it are done.
            ahead = nullptr;
            flushCopies();
            m_run.pool().drain();
        }
        child[side] = Folder::openChild(m_sides[side].chain->current(failure), name, failure);
        if (!child[side].valid()) {
            failFolder("opening folder", path, relative, failure);
            return true;
        }
    }

    const std::size_t length = m_relative.size();
    m_relative = relative;
    for (const int side : kSides)
        if (below.on[side]) m_sides[side].chain->enter(name, std::move(child[side]));
    const bool finished = walkFolder(below, ahead);
    // Its own times once the walk and the copies have done writing in it (a folder it made gets those
    // it mirrors).
    auto finish = std::make_unique<FinishTask>(*this, shared);
    for (const int side : kSides) {
        if (!below.on[side]) continue;
        finish->folder[side] = m_sides[side].chain->shared(finish->error[side]);
        finish->created[side] = created[side];
        finish->path[side] = m_sides[side].root + m_relative;
        m_sides[side].chain->leave();
    }
    m_run.pool().submit(std::move(finish));
    m_relative.resize(length);
    return finished;
}

}  // namespace

void syncTwoWay(RunState& run, const std::string& source, const std::string& destination,
                const std::vector<std::string>& masks, const TWatchRec& watch) {
    TwoWayWalk walk(run, source, destination, masks, watch);
    walk.run();
}

}  // namespace tessel
