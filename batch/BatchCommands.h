#pragma once
// What tessel-batch does when asked: list, preview and run watches, print them, and make, change,
// remove and import them. Each says what went wrong on standard error and gives the exit status.

#include <string>
#include <vector>

#include "batch/BatchConsole.h"
#include "batch/BatchOptions.h"
#include "sync/RunContext.h"
#include "sync/Scheduler.h"
#include "watch/WatchStore.h"

namespace tessel::batch {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Reads the watches with their names; false, after saying what went wrong with which file (and line).
bool loadOrSay(const std::string& watchFile, WatchList& list, Console& console);

// --list: one line per watch (watchListLine).
int listWatches(RunContext& context, Console& console);
// --preview: what a run of each watch would do now; changes nothing.
int previewWatches(RunContext& context, Console& console, const std::vector<std::string>& watches);
// WATCH ...: Check Now of each, in order, until a stop; `unreadable` when the watch file could not be
// read (said).
// Runs the watch's preview as a user edited it in `file` (tessel-batch --plan); a plan that cannot be
// read is said, and counted as unreadable (the file) or missing (no plan in it).
SchedulerReport runPlan(RunContext& context, Console& console, const std::string& file, bool& unreadable);

SchedulerReport runWatches(RunContext& context, Console& console, const std::vector<std::string>& watches,
                           bool& unreadable);
// show and export.
int printWatches(RunContext& context, Console& console, const Command& command);
// add, set, remove and import: the changes checked and written together, or a refusal that leaves
// both files as they were.
int changeCommand(RunContext& context, Console& console, const Command& command);

}  // namespace tessel::batch
