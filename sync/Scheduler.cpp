#include "sync/Scheduler.h"

#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "platform/FileIo.h"
#include "platform/FileLock.h"
#include "platform/Paths.h"
#include "sync/SyncWatch.h"
#include "watch/EventLog.h"
#include "watch/WatchCheck.h"
#include "watch/WatchFile.h"
#include "watch/WatchStore.h"

namespace tessel {

namespace {

constexpr double kMinute = 60'000.0;  // in milliseconds
constexpr double kHour = 60 * kMinute;
constexpr double kDay = 24 * kHour;

int minuteOfDay(TDateTime value) {
    return hourOf(value) * 60 + minuteOf(value);
}

// Today's moment of a daily watch's time of day (its OnTime's hour and minute; seconds do not count).
TDateTime setMomentOfDay(const TWatchRec& watch, TDateTime now) {
    platform::LocalTime moment = decodeDateTime(now);
    moment.hour = hourOf(watch.OnTime);
    moment.minute = minuteOf(watch.OnTime);
    moment.second = 0;
    moment.millisecond = 0;
    return encodeDateTime(moment);
}

// A daily watch is due from its time of day on, once a day: when its last run came before today's set
// moment. Comparing the times of day alone would leave a watch that the timer ran at its time (or that
// ran later in the day) never due again. A last run in the future (a clock set back) or not a number
// does not hold the watch back.
bool dailyWatchDue(const TWatchRec& watch, TDateTime now) {
    if (minuteOfDay(now) < minuteOfDay(watch.OnTime)) return false;
    const TDateTime last = watch.LastRunTime;
    if (std::isnan(last)) return true;
    // In whole milliseconds, as the spans of the other periods.
    return std::round((setMomentOfDay(watch, now) - last) * kDay) > 0 || std::round((last - now) * kDay) > 0;
}

std::string folderPair(const TWatchRec& watch) {
    return getText(watch.SourceDir) + " with folder " + getText(watch.DestDir);
}

bool sameWatch(const TWatchRec& a, const TWatchRec& b) {
    return a.WatchIndex >= 0 && getText(a.SourceDir) == getText(b.SourceDir) &&
           getText(a.DestDir) == getText(b.DestDir);
}

// Runs the watch whose record `record` was read at `position`, with what the text file beside the watch
// file keeps for it (its excludes, hidden files and links), both read under the watch file's lock. A
// watch whose settings cannot be read is not run: with the wrong ones, a run could copy or delete what
// they leave out. That is one error line (for a preview, its error) and a failure. `name` is the watch's
// name when it could be read (empty otherwise).
RunResult runStored(RunContext& context, const TWatchRec& record, std::int32_t position, std::string& name,
                    Doing doing = Doing::Run, const RunInputs& inputs = {}) {
    WatchList list;
    FileProblem problem;
    name.clear();
    if (loadWatches(context.WatchFilePath, list, problem) && position >= 0 &&
        static_cast<std::size_t>(position) < list.watches.size() &&
        sameWatch(list.watches[static_cast<std::size_t>(position)].record, record)) {
        name = list.watches[static_cast<std::size_t>(position)].watch.name;
        return runWatch(context, list.watches[static_cast<std::size_t>(position)].watch, doing, inputs);
    }
    const std::string line = "Error reading the settings of Synhro folder " + folderPair(record) + ": " +
                             (problem.path.empty() ? "the watch changed in the watch file" : problem.text()) +
                             "; the watch was not run";
    if (doing == Doing::Preview) {
        if (context.observer != nullptr) context.observer->error(escapeControls(line));
    } else {
        WriteLogLine(context, line);
    }
    RunResult result;
    result.failed = 1;
    return result;
}

// One watch's run as the scheduler sees it: what it did and how long it took.
struct WatchRun {
    RunResult result;
    double seconds = 0;
    std::string name;  // as read when it started; empty when its settings could not be read
};

WatchRun runTimed(RunContext& context, const TWatchRec& watch, std::int32_t position,
                  const RunInputs& inputs = {}) {
    // The first problem of this run, not of an earlier one.
    context.firstProblemLine.clear();
    const auto started = std::chrono::steady_clock::now();
    WatchRun run;
    run.result = runStored(context, watch, position, run.name, Doing::Run, inputs);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return run;
}

// Runs the watch with its row showing the running mark, then its own status picture again.
WatchRun runMarked(RunContext& context, int row, const TWatchRec& watch, const RunInputs& inputs = {}) {
    context.display.setRowPicture(row, kRunningPicture);
    const WatchRun run = runTimed(context, watch, row, inputs);
    context.display.setRowPicture(row, GetSinhroWatchType(watch));
    return run;
}

// Counts a run; true when the user stopped it (and the stop line is logged).
bool account(RunContext& context, SchedulerReport& report, const WatchRun& run, const TWatchRec& watch) {
    ++report.ran;
    if (run.result.stopped) WriteLogLine(context, kStoppedLine + folderPair(watch));
    return run.result.stopped;
}

// Stores the end of the run as LastRunTime, at the position the record was read from (a damaged
// WatchIndex must not make it land on another watch), and only while that is still the same watch.
void storeRunTime(RunContext& context, SchedulerReport& report, WatchRun& run, const TWatchRec& watch,
                  std::int32_t position) {
    std::error_code error;
    const StoreResult stored = storeLastRunTime(context, position, watch, Now(), error);
    if (stored == StoreResult::Stored) return;
    // The watch runs again before its time: said in the log, and counted as a failure of the run.
    WriteLogLine(context,
                 "Error saving the last run time of Synhro folder " + folderPair(watch) + ": " +
                     (stored == StoreResult::Changed ? "the watch changed in the watch file during the run"
                                                     : error.message()));
    ++report.unsaved;
    ++run.result.failed;
}

// The end of every watch's run, however it was started: its last result kept with the watch, the
// summary line the run ends with, and the run in the report.
void endRun(RunContext& context, SchedulerReport& report, WatchRun& run, const TWatchRec& watch,
            std::int32_t position) {
    LastRunResult last{Now(), run.seconds, run.result, context.firstProblemLine};
    std::string name;
    FileProblem problem;
    if (storeLastResult(context.WatchFilePath, position, watch, last, name, problem) == StoreResult::Failed) {
        // Said, and counted in what the summary and the report tell, though not in what could not be kept.
        WriteLogLine(context, kResultNotSavedLine + folderPair(watch) + ": " + problem.text());
        ++report.unsavedResults;
        ++last.counts.failed;
        last.firstProblem = context.firstProblemLine;
    }
    // The name the run started with when the text file cannot be read now; when it never could be, the
    // position, which no name can be (a name proposed from the folder might be another watch's).
    if (name.empty()) name = run.name;
    if (name.empty()) name = std::to_string(position);
    WriteLogLine(context, summaryMessage(name, last),
                 needsAttention(last.outcome()) ? LogLineKind::ProblemSummary : LogLineKind::Summary);
    report.result += last.counts;
    report.runs.push_back({position, std::move(name), std::move(last)});
}

// Two runs of one watch never overlap, in one process or in several (the window and tessel-batch, two
// cron ticks): a lock per pair of folders, held for the whole run, the after-sync program included.
// False, after logging it, when another run holds it. Without a place for the lock the run goes ahead.
bool lockRun(RunContext& context, SchedulerReport& report, const TWatchRec& watch, platform::FileLock& lock) {
    std::error_code error;
    if (lock.acquire(runLockPath(watch), platform::FileLock::Mode::Exclusive, false, true, error) !=
        platform::FileLock::State::Busy)
        return true;
    WriteLogLine(context, kAlreadyRunningLine + folderPair(watch));
    ++report.busy;
    return false;
}

// "<kind>-<16 hexadecimal digits>" in the user's lock folder, the digits a hash of the two trees.
std::string lockPathFor(const char* kind, const TWatchRec& watch) {
    // Keyed by the two trees the run works on, as the two-way state is: watches that reach the same
    // pair by other paths (with or without "Copy with root folder") never run at once.
    const WatchRoots roots =
        watchRoots(getText(watch.SourceDir), getText(watch.DestDir), isOn(watch.CopyWithRoot));
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a of the two roots
    for (const std::string& path : {platform::withTrailingSlash(roots.source), std::string(1, '\0'),
                                    platform::withTrailingSlash(roots.destination)})
        for (const char c : path) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char name[64];
    std::snprintf(name, sizeof name, "%s-%016llx", kind, static_cast<unsigned long long>(hash));
    return platform::userLockPath(name);
}

}  // namespace

std::string runLockPath(const TWatchRec& watch) {
    return lockPathFor("tessel-run", watch);
}

std::string followLockPath(const TWatchRec& watch) {
    return lockPathFor("tessel-follow", watch);
}

std::string followKey(const TWatchRec& watch) {
    char edited[24];
    std::snprintf(edited, sizeof edited, "#%016llx",
                  static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(watch.EditTime)));
    return runLockPath(watch) + edited;
}

bool CheckWatchStatus(const TWatchRec& Watch, TDateTime now) {
    if (Watch.RunMode != rmTimer) return false;
    // Spans are compared in whole milliseconds, the finest step of a stored time, so that exactly one
    // hour counts as one hour although day fractions are not exact in binary. A damaged time (NaN or
    // infinite) gives an infinite span: the watch runs and gets a sound LastRunTime.
    double span = std::round(std::fabs(now - Watch.LastRunTime) * kDay);
    if (std::isnan(span)) span = std::numeric_limits<double>::infinity();
    switch (Watch.Period) {
        case pd10Minutes:
            return span > 9 * kMinute;
        case pd1Hour:
            return span >= kHour;
        case pd1Day:
            return span >= kDay;
        case pd1Week:
            return span > 6 * kDay;
        case pd10Days:
            return span > 9 * kDay;
        case pd1Month:
            return span > 29 * kDay;
        case pdOnTime:
            return dailyWatchDue(Watch, now);
        default:
            return false;
    }
}

bool CheckWatchStatus(const TWatchRec& Watch) {
    return CheckWatchStatus(Watch, Now());
}

std::optional<TDateTime> nextRunTime(const TWatchRec& Watch, TDateTime now) {
    if (Watch.RunMode != rmTimer) return std::nullopt;
    if (CheckWatchStatus(Watch, now)) return now;
    // The spans of CheckWatchStatus, in milliseconds, and whether it wants more than the span.
    struct Span {
        double milliseconds;
        bool beyond;
    };
    Span span{};
    switch (Watch.Period) {
        case pd10Minutes:
            span = {9 * kMinute, true};
            break;
        case pd1Hour:
            span = {kHour, false};
            break;
        case pd1Day:
            span = {kDay, false};
            break;
        case pd1Week:
            span = {6 * kDay, true};
            break;
        case pd10Days:
            span = {9 * kDay, true};
            break;
        case pd1Month:
            span = {29 * kDay, true};
            break;
        case pdOnTime: {
            // Not due now: it becomes due only at a set moment, the next one (today's when it is still
            // to come, else tomorrow's), or the one after that for a last run at exactly that moment.
            const TDateTime today = setMomentOfDay(Watch, now);
            const TDateTime first = minuteOfDay(now) < minuteOfDay(Watch.OnTime) ? today : today + 1;
            for (const TDateTime moment : {first, first + 1})
                if (CheckWatchStatus(Watch, moment)) return moment;
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
    // Not due now, so the span is still to come: counted from the last run, whether that lies behind
    // or (a clock set back) ahead.
    return Watch.LastRunTime + (span.milliseconds + (span.beyond ? 1 : 0)) / kDay;
}

int GetSinhroWatchType(const TWatchRec& Watch) {
    switch (Watch.RunMode) {
        case rmStop:
            return 0;
        case rmOnStart:
            return 1;
        case rmManual:
            return 2;
        case rmTimer:
            return Watch.Period <= pdOnTime ? 3 + Watch.Period : 0;
        default:
            return 0;
    }
}

SchedulerReport& SchedulerReport::operator+=(const SchedulerReport& other) {
    ran += other.ran;
    missing += other.missing;
    unsaved += other.unsaved;
    unsavedResults += other.unsavedResults;
    busy += other.busy;
    result += other.result;
    runs.insert(runs.end(), other.runs.begin(), other.runs.end());
    return *this;
}

SchedulerReport runDueWatches(RunContext& context) {
    SchedulerReport report;
    if (!platform::fileExists(context.WatchFilePath)) return report;
    const std::int32_t count = GetCountWatchRec(context, context.WatchFilePath);
    for (std::int32_t i = 0; i < count; ++i) {
        const TWatchRec seen = ReadWatchRec(context, i);
        if (!CheckWatchStatus(seen)) continue;
        platform::FileLock lock;
        if (!lockRun(context, report, seen, lock)) continue;
        // Another process may have run it between the reading and the lock.
        const TWatchRec watch = ReadWatchRec(context, i);
        if (!sameWatch(watch, seen) || !CheckWatchStatus(watch)) continue;
        WatchRun run = runMarked(context, i, watch);
        const bool stopped = account(context, report, run, watch);
        if (!stopped) {
            storeRunTime(context, report, run, watch, i);
            WriteLogLine(context, "Synhro folder " + folderPair(watch));
        }
        endRun(context, report, run, watch, i);
        if (stopped) break;
    }
    return report;
}

SchedulerReport runOnStartWatches(RunContext& context) {
    SchedulerReport report;
    std::vector<TWatchRec> watches;
    // Read in full first: a run may change the watch file (a watch whose destination holds it).
    readAllWatchRecs(context.WatchFilePath, watches);
    for (std::size_t position = 0; position < watches.size(); ++position) {
        const TWatchRec& watch = watches[position];
        if (watch.RunMode != rmOnStart) continue;
        platform::FileLock lock;
        if (!lockRun(context, report, watch, lock)) continue;
        const auto row = static_cast<std::int32_t>(position);
        WatchRun run = runMarked(context, row, watch);
        const bool stopped = account(context, report, run, watch);
        endRun(context, report, run, watch, row);
        if (stopped) break;
    }
    return report;
}

SchedulerReport checkWatchNow(RunContext& context, std::int32_t index, const RunInputs& inputs) {
    SchedulerReport report;
    const TWatchRec watch = ReadWatchRec(context, index);
    WriteLogLine(context, "Start Manual Synhro folder " + folderPair(watch));
    if (watch.WatchIndex < 0) {
        ++report.missing;
        return report;
    }
    platform::FileLock lock;
    if (!lockRun(context, report, watch, lock)) return report;
    WatchRun run = runTimed(context, watch, index, inputs);
    context.display.setRowPicture(index, GetSinhroWatchType(watch));
    if (!account(context, report, run, watch)) {
        storeRunTime(context, report, run, watch, index);
        WriteLogLine(context, "End Manual Synhro folder " + folderPair(watch));
    }
    endRun(context, report, run, watch, index);
    return report;
}

SchedulerReport runFollowedWatch(RunContext& context, std::int32_t index, const std::string& key,
                                 const RunScope* scope) {
    SchedulerReport report;
    const TWatchRec seen = ReadWatchRec(context, index);
    if (seen.WatchIndex < 0 || followKey(seen) != key) {
        ++report.missing;
        return report;
    }
    platform::FileLock lock;
    std::error_code error;
    if (lock.acquire(runLockPath(seen), platform::FileLock::Mode::Exclusive, false, true, error) ==
        platform::FileLock::State::Busy) {
        ++report.busy;
        return report;
    }
    // Another process may have changed it between the reading and the lock.
    const TWatchRec watch = ReadWatchRec(context, index);
    if (watch.WatchIndex < 0 || followKey(watch) != key) {
        ++report.missing;
        return report;
    }
    RunInputs inputs;
    inputs.scope = scope;
    WatchRun run = runMarked(context, index, watch, inputs);
    if (!account(context, report, run, watch)) {
        storeRunTime(context, report, run, watch, index);
        WriteLogLine(context, "Synhro folder " + folderPair(watch));
    }
    endRun(context, report, run, watch, index);
    return report;
}

SchedulerReport previewWatchNow(RunContext& context, std::int32_t index, RunObserver& observer) {
    SchedulerReport report;
    const TWatchRec watch = ReadWatchRec(context, index);
    if (watch.WatchIndex < 0) {
        ++report.missing;
        return report;
    }
    RunObserver* const observing = context.observer;
    context.observer = &observer;
    std::string name;
    report.result = runStored(context, watch, index, name, Doing::Preview);
    context.observer = observing;
    report.ran = 1;
    return report;
}

}  // namespace tessel
