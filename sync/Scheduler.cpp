#include "sync/Scheduler.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/FileIo.h"
#include "sync/SyncWatch.h"
#include "watch/EventLog.h"
#include "watch/WatchFile.h"

namespace tessel {

namespace {

constexpr double kMinute = 60'000.0;  // in milliseconds
constexpr double kHour = 60 * kMinute;
constexpr double kDay = 24 * kHour;

int minuteOfDay(TDateTime value) {
    return hourOf(value) * 60 + minuteOf(value);
}

std::string folderPair(const TWatchRec& watch) {
    return getText(watch.SourceDir) + " with folder " + getText(watch.DestDir);
}

RunResult runWatch(RunContext& context, const TWatchRec& watch) {
    return SyncWatch(context, getText(watch.SourceDir), getText(watch.DestDir), getText(watch.FileMask),
                     getText(watch.RunFile), watch.FileAction, watch);
}

// Runs the watch with its row showing the running mark, then its own status picture again.
RunResult runMarked(RunContext& context, int row, const TWatchRec& watch) {
    context.display.setRowPicture(row, kRunningPicture);
    const RunResult result = runWatch(context, watch);
    context.display.setRowPicture(row, GetSinhroWatchType(watch));
    return result;
}

// Adds a run to the report; true when the user stopped it (and the stop line is logged).
bool account(RunContext& context, SchedulerReport& report, const RunResult& result, const TWatchRec& watch) {
    ++report.ran;
    report.result += result;
    if (result.stopped) WriteLogLine(context, kStoppedLine + folderPair(watch));
    return result.stopped;
}

// Stores the end of the run as LastRunTime. The record goes back to the position it was read from:
// a damaged WatchIndex must not make it overwrite some other watch.
bool storeLastRunTime(RunContext& context, TWatchRec watch, std::int32_t position) {
    watch.WatchIndex = position;
    watch.LastRunTime = Now();
    return WriteWatchRec(context, watch);
}

}  // namespace

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
        case pdOnTime: {
            // Only the time of day counts: due from the set minute on, when the last run came earlier
            // in the day than that.
            const int last = minuteOfDay(Watch.LastRunTime);
            const int set = minuteOfDay(Watch.OnTime);
            return last < set && set <= minuteOfDay(now);
        }
        default:
            return false;
    }
}

bool CheckWatchStatus(const TWatchRec& Watch) {
    return CheckWatchStatus(Watch, Now());
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

SchedulerReport runDueWatches(RunContext& context) {
    SchedulerReport report;
    if (!platform::fileExists(context.WatchFilePath)) return report;
    const std::int32_t count = GetCountWatchRec(context, context.WatchFilePath);
    for (std::int32_t i = 0; i < count; ++i) {
        const TWatchRec watch = ReadWatchRec(context, i);
        if (!CheckWatchStatus(watch)) continue;
        if (account(context, report, runMarked(context, i, watch), watch)) break;
        if (!storeLastRunTime(context, watch, i)) ++report.unsaved;
        WriteLogLine(context, "Synhro folder " + folderPair(watch));
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
        if (account(context, report, runMarked(context, static_cast<int>(position), watch), watch)) break;
    }
    return report;
}

SchedulerReport checkWatchNow(RunContext& context, std::int32_t index) {
    SchedulerReport report;
    const TWatchRec watch = ReadWatchRec(context, index);
    WriteLogLine(context, "Start Manual Synhro folder " + folderPair(watch));
    if (watch.WatchIndex < 0) {
        ++report.missing;
        return report;
    }
    const RunResult result = runWatch(context, watch);
    context.display.setRowPicture(index, GetSinhroWatchType(watch));
    if (account(context, report, result, watch)) return report;
    if (!storeLastRunTime(context, watch, index)) ++report.unsaved;
    WriteLogLine(context, "End Manual Synhro folder " + folderPair(watch));
    return report;
}

}  // namespace tessel
