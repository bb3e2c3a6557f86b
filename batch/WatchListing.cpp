#include "batch/WatchListing.h"

#include <cmath>
#include <cstdio>
#include <iterator>

#include "sync/Scheduler.h"
#include "watch/EventLog.h"
#include "watch/WatchNames.h"

namespace tessel {

namespace {

template <std::size_t N>
std::string named(const std::array<std::string_view, N>& names, std::int64_t value) {
    const auto name = nameOf(names, value);
    return name ? std::string(*name) : "unknown(" + std::to_string(value) + ")";
}

std::string periodName(const TWatchRec& watch) {
    std::string name = named(kPeriodNames, watch.Period);
    if (watch.Period == pdOnTime) {
        char time[32];
        std::snprintf(time, sizeof time, " %02d:%02d", hourOf(watch.OnTime), minuteOf(watch.OnTime));
        name += time;
    }
    return name;
}

std::string flagNames(const TWatchRec& watch, bool keepsVersions, bool paused) {
    std::string names;
    const auto add = [&](std::uint8_t flag, const char* name) {
        if (!isOn(flag)) return;
        if (!names.empty()) names += ",";
        names += name;
    };
    add(watch.WideLog, "wide-log");
    add(watch.CopyWithRoot, "with-root");
    add(watch.BiDirect, "bidirect");
    add(watch.DeleteAbsent, "delete-absent");
    add(keepsVersions ? 1 : 0, "versions");
    add(paused ? 1 : 0, "paused");
    return names.empty() ? "-" : names;
}

std::string isoLocalTime(TDateTime value) {
    if (!std::isfinite(value)) return "invalid";
    const platform::LocalTime local = decodeDateTime(value);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", local.year, local.month, local.day,
                  local.hour, local.minute, local.second);
    return text;
}

// A tab or line break inside a damaged text field would break the one-line-per-watch layout.
std::string printable(const TextField& field) {
    return escapeControls(getText(field));
}

}  // namespace

std::string watchListLine(std::size_t index, const TWatchRec& watch, bool keepsVersions,
                          const std::string& name, const std::optional<LastRunResult>& lastResult,
                          TDateTime now, const Watch* readable) {
    const bool onChange = readable != nullptr && readable->schedule.mode == WatchRunMode::OnChange;
    const std::string mode = onChange ? std::string(kOnChangeName) : named(kRunModeNames, watch.RunMode);
    std::string line =
        std::to_string(index) + "\t" + mode + "\t" + periodName(watch) + "\t" +
        named(kFileActionNames, watch.FileAction) + "\t" + named(kTuneModeNames, watch.TuneMode) + "\t" +
        flagNames(watch, keepsVersions, onChange && readable->followPaused) + "\t" +
        isoLocalTime(watch.LastRunTime) + "\t" + printable(watch.SourceDir) + "\t" +
        printable(watch.DestDir) + "\t" + printable(watch.FileMask) + "\t" + escapeControls(name);
    if (lastResult)
        line += "\t" + std::string(wordOf(lastResult->outcome())) + "\t" + isoLocalTime(lastResult->endedAt);
    else
        line += "\t-\t-";
    const std::optional<TDateTime> next = nextRunTime(watch, now);
    line += "\t" + (watch.RunMode != rmTimer ? std::string("-")
                    : !next                  ? std::string("never")
                    : *next <= now           ? std::string("due")
                                             : isoLocalTime(*next));
    const bool problem = lastResult && !lastResult->firstProblem.empty();
    return line + "\t" + (problem ? escapeControls(lastResult->firstProblem) : std::string("-"));
}

}  // namespace tessel
