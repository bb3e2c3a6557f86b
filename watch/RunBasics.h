#pragma once
// What Tessel's stored files know of runs: how they behave (the settings file gives the options) and
// what one did (a watch keeps its last run's counts).

#include <cstdint>
#include <string>
#include <thread>

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

}  // namespace tessel
