#include "watch/Watch.h"

namespace tessel {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<std::string> splitAt(std::string_view text, std::string_view separators) {
    std::vector<std::string> items;
    for (;;) {
        const std::size_t end = text.find_first_of(separators);
        const std::string_view item = trimmed(text.substr(0, end));
        if (!item.empty()) items.emplace_back(item);
        if (end == std::string_view::npos) return items;
        text.remove_prefix(end + 1);
    }
}

WatchRunMode runModeOf(std::uint8_t stored) {
    switch (stored) {
        case rmStop:
            return WatchRunMode::Stop;
        case rmOnStart:
            return WatchRunMode::OnStart;
        case rmTimer:
            return WatchRunMode::Timer;
        default:
            return WatchRunMode::Manual;
    }
}

std::uint8_t storedRunMode(WatchRunMode mode) {
    switch (mode) {
        case WatchRunMode::Stop:
            return rmStop;
        case WatchRunMode::OnStart:
            return rmOnStart;
        case WatchRunMode::Timer:
            return rmTimer;
        case WatchRunMode::Manual:
        case WatchRunMode::OnChange:
            break;
    }
    return rmManual;
}

WatchTune tuneOf(std::int32_t stored) {
    switch (stored) {
        case tmSyncAll:
            return WatchTune::SyncAll;
        case tmUpdateOld:
            return WatchTune::UpdateOld;
        case tmAbsentOnly:
            return WatchTune::AbsentOnly;
        default:
            return WatchTune::None;
    }
}

}  // namespace

std::int32_t storedTune(WatchTune tune) {
    switch (tune) {
        case WatchTune::SyncAll:
            return tmSyncAll;
        case WatchTune::UpdateOld:
            return tmUpdateOld;
        case WatchTune::AbsentOnly:
            return tmAbsentOnly;
        case WatchTune::None:
            break;
    }
    return -1;
}

Watch newWatch() {
    Watch watch;
    watch.masks = {"*.*"};
    watch.excludes.assign(std::begin(kDefaultExcludes), std::end(kDefaultExcludes));
    watch.hidden = HiddenFiles::Include;
    watch.links = LinkHandling::Follow;
    watch.lastRun = Now();
    watch.editedAt = watch.lastRun;
    return watch;
}

Watch watchFromRecord(const TWatchRec& record, const WatchExtras& extras) {
    Watch watch;
    watch.name = extras.name;
    watch.excludes = extras.excludes;
    watch.hidden = extras.hidden;
    watch.links = extras.links;
    watch.lastResult = extras.lastResult;
    watch.source = getText(record.SourceDir);
    watch.destination = getText(record.DestDir);
    watch.masks = splitMasks(getText(record.FileMask));
    // A run moves whenever the action is not Copy.
    watch.action = record.FileAction == faCopy ? WatchAction::Copy : WatchAction::Move;
    watch.bothDirections = isOn(record.BiDirect);
    watch.deleteAbsentFiles = isOn(record.DeleteAbsent);
    watch.tune = tuneOf(record.TuneMode);
    watch.schedule.mode = runModeOf(record.RunMode);
    // A record another program set to anything but Manual is what it says.
    if (extras.onChange && record.RunMode == rmManual) watch.schedule.mode = WatchRunMode::OnChange;
    watch.schedule.changeDelaySeconds = extras.changeDelaySeconds;
    watch.followPaused = extras.followPaused;
    watch.schedule.every =
        record.Period <= pdOnTime ? static_cast<WatchPeriod>(record.Period) : WatchPeriod::OneHour;
    if (watch.schedule.every == WatchPeriod::Daily)
        watch.schedule.dailyAt = {hourOf(record.OnTime), minuteOf(record.OnTime)};
    watch.withRootFolder = isOn(record.CopyWithRoot);
    watch.logEachFile = isOn(record.WideLog);
    watch.program = getText(record.RunFile);
    watch.programArgs = getText(record.RunParams);
    watch.lastRun = record.LastRunTime;
    watch.editedAt = record.EditTime;
    return watch;
}

bool recordFromWatch(const Watch& watch, TWatchRec& record, WatchField& tooLong) {
    InitWatchRec(record);
    record.EditTime = watch.editedAt;
    record.LastRunTime = watch.lastRun;
    record.RunMode = storedRunMode(watch.schedule.mode);
    record.FileAction = watch.action == WatchAction::Copy ? faCopy : faMove;
    record.Period = static_cast<std::uint8_t>(watch.schedule.every);
    record.TuneMode = storedTune(watch.tune);
    if (watch.schedule.every == WatchPeriod::Daily) {
        platform::LocalTime time;  // 1899-12-30, day zero: a time of day alone
        time.hour = watch.schedule.dailyAt.hour;
        time.minute = watch.schedule.dailyAt.minute;
        record.OnTime = encodeDateTime(time);
    } else {
        record.OnTime = watch.editedAt;
    }
    record.WideLog = watch.logEachFile ? 1 : 0;
    record.CopyWithRoot = watch.withRootFolder ? 1 : 0;
    record.BiDirect = watch.bothDirections ? 1 : 0;
    record.DeleteAbsent = watch.deleteAbsentFiles ? 1 : 0;
    struct Text {
        TextField* field;
        std::string text;
        WatchField which;
    };
    const Text texts[] = {{&record.SourceDir, watch.source, WatchField::Source},
                          {&record.DestDir, watch.destination, WatchField::Destination},
                          {&record.FileMask, joinList(watch.masks), WatchField::Masks},
                          {&record.RunFile, watch.program, WatchField::Program},
                          {&record.RunParams, watch.programArgs, WatchField::ProgramArgs}};
    for (const Text& text : texts) {
        if (!setText(*text.field, text.text)) {
            tooLong = text.which;
            return false;
        }
    }
    return true;
}

WatchExtras extrasOf(const Watch& watch) {
    const bool onChange = watch.schedule.mode == WatchRunMode::OnChange;
    return {watch.name,
            watch.excludes,
            watch.hidden,
            watch.links,
            watch.lastResult,
            onChange,
            watch.schedule.changeDelaySeconds,
            onChange && watch.followPaused};
}

std::vector<std::string> splitMasks(std::string_view text) {
    return splitAt(text, ";,:");
}

std::vector<std::string> splitExcludes(std::string_view text) {
    return splitAt(text, ";");
}

std::string joinList(const std::vector<std::string>& items) {
    std::string joined;
    for (const std::string& item : items) {
        if (!joined.empty()) joined += ';';
        joined += item;
    }
    return joined;
}

}  // namespace tessel
