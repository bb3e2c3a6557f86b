#pragma once
// When watches run, and the bookkeeping around each run: the row's status picture, LastRunTime written
// back to the watch file, the log lines that frame the run, its summary line and the last result the
// watch keeps. The window and tessel-batch run every watch through here, each with its settings from
// the text file beside the watch file (excludes, hidden files, links: WatchStore), read under the watch
// file's lock; a watch whose settings cannot be read is not run.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sync/RunContext.h"
#include "sync/RunScope.h"
#include "sync/SyncWatch.h"
#include "watch/DateTime.h"
#include "watch/RunSummary.h"
#include "watch/WatchRec.h"

namespace tessel {

// The status picture that marks a watch being run.
inline constexpr int kRunningPicture = 3;

// The lock a run of `watch` holds, for as long as it runs: one per pair of folders and user.
std::string runLockPath(const TWatchRec& watch);
// The lock the program that follows `watch` (sync/FollowSession.h) holds for as long as it follows it,
// keyed as the run lock is: one follower per pair of folders and user.
std::string followLockPath(const TWatchRec& watch);

// What tells a followed watch, with its settings, from any other: the trees it runs on and the moment
// it was last saved (a watch saved anew is followed anew).
std::string followKey(const TWatchRec& watch);

// Whether a timed watch is due at `now`. Only rmTimer watches ever are. A LastRunTime that is not a
// number (a damaged record) counts as long ago, so the watch runs and gets a sound one.
bool CheckWatchStatus(const TWatchRec& Watch, TDateTime now);
// The same at the platform clock's current time.
bool CheckWatchStatus(const TWatchRec& Watch);

// The watch's status picture, 0..9, from its RunMode and Period.
int GetSinhroWatchType(const TWatchRec& Watch);

// Whether a timed watch is due, as CheckWatchStatus decides it, from which moment on: `now` for a watch
// due now, a later moment for one that will be (it runs at the first pass from then on), nothing for a
// watch that the timer never runs (not on the timer, or a period of no meaning). A daily watch is due
// once a day, from its time of day on, when it has not run since that moment of the day.
std::optional<TDateTime> nextRunTime(const TWatchRec& Watch, TDateTime now);

// What one scheduler call did: the window shows it, the headless runner reports it.
struct SchedulerReport {
    int ran = 0;             // watches run
    int missing = 0;         // record numbers that named no record
    int unsaved = 0;         // runs whose LastRunTime could not be written back
    int unsavedResults = 0;  // runs whose last result could not be kept with the watch
    int busy = 0;            // watches skipped because another run of theirs was going on
    RunResult result;        // what the runs did, added together
    // Each watch's run in the order they ran: its name, its last result, its summary line's counts.
    std::vector<WatchRunSummary> runs;

    // Adds another call's report to this one (Check All adds its watches' Check Now).
    SchedulerReport& operator+=(const SchedulerReport& other);
};

// Logged instead of the end line when the user stopped the run; LastRunTime then stays as it was, so
// a timed watch runs again at the next pass.
inline constexpr const char* kStoppedLine = "Stopped Synhro folder ";
// Logged, with the file and the reason, when a run's last result cannot be kept with its watch (the
// text file beside the watch file cannot be written); counted as a failure of the run.
inline constexpr const char* kResultNotSavedLine = "Error saving the last result of Synhro folder ";
// Logged instead of a run when another run of the same watch is going on (here or in another
// process); the watch is skipped, which is no failure.
inline constexpr const char* kAlreadyRunningLine = "Already running Synhro folder ";

// Every watch run below ends the same way, whoever started it: its last result (LastRunResult) is kept
// with the watch in the text file beside the watch file (storeLastResult), and the run's last log line
// is its summary (summaryMessage; a ProblemSummary when the run failed or met a conflict, else a
// Summary), also when it was stopped. The report lists each run (SchedulerReport::runs).

// One timer pass over context.WatchFilePath: every due watch runs in file order with its row showing the
// running mark, then gets LastRunTime := now written back and the line "Synhro folder ..." logged.
// Nothing happens when the watch file is missing. A stop request ends the pass after the stopped run.
SchedulerReport runDueWatches(RunContext& context);

// The start-up pass: every rmOnStart watch of context.WatchFilePath runs in file order with its row showing
// the running mark, then gets its status picture back. Nothing is written to the watch file (LastRunTime
// stays) and nothing is logged besides what the runs log and their summaries. Nothing happens when the
// watch file is missing; a read error ends the pass after the watches read until then.
SchedulerReport runOnStartWatches(RunContext& context);

// Check Now for the record at position `index`: runs it whatever its RunMode, between the lines
// "Start Manual Synhro folder ..." and "End Manual Synhro folder ...", and writes LastRunTime back.
// For a position with no record only the start line is logged. With `inputs.plan`, it runs that edited
// plan of the watch's preview (sync/EditedPlan.h).
SchedulerReport checkWatchNow(RunContext& context, std::int32_t index, const RunInputs& inputs = {});

// A run a follower asked for (sync/Follower.h): the watch at position `index`, while it is still the
// watch `key` names (followKey), over `scope` (null: all of it), with its row showing the running mark,
// LastRunTime written back and the line "Synhro folder ..." logged, as the timer pass runs a watch.
// When another run of the watch holds its lock, nothing is run or logged and `busy` says so: the
// follower asks again. A position that holds another watch now runs nothing (`missing`).
SchedulerReport runFollowedWatch(RunContext& context, std::int32_t index, const std::string& key,
                                 const RunScope* scope);

// A preview of Check Now for the record at position `index`: what the run would do, told to
// `observer` in the order the run would do it. Nothing changes on disk, nothing is logged, LastRunTime
// stays. `missing` is counted for a position with no record.
SchedulerReport previewWatchNow(RunContext& context, std::int32_t index, RunObserver& observer);

}  // namespace tessel
