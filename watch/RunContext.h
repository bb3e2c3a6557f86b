#pragma once
// What every operation of the core works with: where it shows progress, how it talks to the user, the
// two files it keeps and the run's stop request. The main window and the headless runner each own one.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>

#include "watch/RunDisplay.h"

namespace tessel {

// What one watch run did. A run returns it; the scheduler adds the runs of a pass together.
struct RunResult {
    int copied = 0;
    int moved = 0;
    int deleted = 0;
    int skipped = 0;           // files examined that needed nothing
    int failed = 0;            // copies, moves, deletions and folders that failed, each logged
    int refusedDeletions = 0;  // deletions held back to protect files (each refusal logged)
    int conflicts = 0;         // files changed on both sides of a two-way watch
    int versionsKept = 0;      // replaced or deleted files kept in a versions folder
    std::uint64_t bytesCopied = 0;
    bool stopped = false;  // the user stopped the run before its end

    bool operator==(const RunResult&) const = default;

    RunResult& operator+=(const RunResult& other) {
        copied += other.copied;
        moved += other.moved;
        deleted += other.deleted;
        skipped += other.skipped;
        failed += other.failed;
        refusedDeletions += other.refusedDeletions;
        conflicts += other.conflicts;
        versionsKept += other.versionsKept;
        bytesCopied += other.bytesCopied;
        stopped = stopped || other.stopped;
        return *this;
    }
    // Something the user should look at: a failure, a refused deletion or a conflict.
    bool needsAttention() const { return failed > 0 || refusedDeletions > 0 || conflicts > 0; }
};

// How runs behave, from the settings file (Tessel.ini, section Main).
struct RunOptions {
    // The mass-deletion guard: a run deletes nothing when it would delete more than this share of the
    // files a tree holds (and at least kMinimumGuardedDeletions). 100 turns the guard off.
    int deleteLimitPercent = 50;
    // Files a run replaces or deletes are first kept in a versions folder at the root of their tree,
    // and versions folders older than versionDays are removed by the runs that visit the root.
    bool keepVersions = true;
    int versionDays = 30;
    // Threads that copy, examine and delete at once; 1 does everything on the run's own thread.
    int jobs = 1;
    // Where watches with both directions keep what their last run left (stateFolderFor of the data
    // folder). Empty: nowhere, so every such run is a first run, which deletes nothing.
    std::string stateFolder;
    // The settings file these options come from, where there is one: like the watch file, the log and
    // the states of two-way watches, never deleted by a run whose trees hold it.
    std::string settingsFile;
    // A watch that runs on change also runs in full every rescanHours, and every fallbackMinutes where
    // its changes cannot all be followed (sync/Follower.h).
    int rescanHours = 24;
    int fallbackMinutes = 10;
};

// The threads a run uses unless told otherwise: one per core, at most eight.
inline int defaultJobs() {
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(cores < 1 ? 1 : cores > 8 ? 8 : cores);
}
inline constexpr int kMinimumGuardedDeletions = 10;

// One thing a run does, or, in a preview, would do.
struct RunAction {
    enum class Kind {
        Copy,
        Replace,
        Move,
        Delete,
        CreateFolder,
        Conflict,
        RefusedDeletion,
        RemoveOldVersions,
        Rename  // a file given the spelling its name has on the other side (a change of letter case)
    };
    enum class Side { None, Source, Destination };
    Kind kind = Kind::Copy;
    std::string path;    // the file (the source file of a copy or move) or folder acted on
    std::string target;  // where a copy, move or conflict's other file goes; empty for the rest
    std::uint64_t size = 0;
    Side newer = Side::None;  // the side whose file is the newer one, where both have one
};

// Hears of every action of a run as it is done (or, in a preview, decided), in walk order.
class RunObserver {
  public:
    virtual ~RunObserver() = default;
    virtual void action(const RunAction& action) = 0;
    // An error line the run logs (in a preview: would log), as it is logged.
    virtual void error(const std::string& /*line*/) {}
};

struct RunContext {
    RunContext(RunDisplay& display, UserMessages& messages, std::string watchFile = {},
               std::string logFile = {})
        : display(display),
          messages(messages),
          WatchFilePath(std::move(watchFile)),
          LogFilePath(std::move(logFile)) {}
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    RunDisplay& display;
    UserMessages& messages;
    std::string WatchFilePath;
    std::string LogFilePath;
    RunOptions options;
    RunObserver* observer = nullptr;
    // The first line logged since it was last emptied that tells of a problem (reportsFailure), without
    // its time stamp: the scheduler empties it before each watch's run and keeps it in the watch's last
    // result. WriteLogLine fills it, on the thread that logs.
    std::string firstProblemLine;

    // Asks the run in progress to end at the next file; another thread may call it. The request stays
    // until clearStop().
    void requestStop() { m_stop.store(true, std::memory_order_relaxed); }
    void clearStop() { m_stop.store(false, std::memory_order_relaxed); }
    bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }

  private:
    std::atomic<bool> m_stop{false};
};

}  // namespace tessel
