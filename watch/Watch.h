#pragma once
// A watch as the rest of Tessel reads it: every field of its 1328-byte record in readable form, plus
// what the record has no room for and the watch file's text file keeps (its name, excludes, hidden
// files, links). Made at the watch file's edge from a record and its extras (watchFromRecord) and
// turned back into them only there (recordFromWatch, extrasOf).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "watch/DateTime.h"
#include "watch/RunBasics.h"
#include "watch/RunSummary.h"
#include "watch/WatchRec.h"

namespace tessel {

// When the watch runs. OnChange: whenever its trees change (sync/Follower.h); its record says Manual, so
// that a reader of the record alone never runs it by itself, and the text file says OnChange.
enum class WatchRunMode : std::uint8_t { Stop, OnStart, Manual, Timer, OnChange };
enum class WatchPeriod : std::uint8_t { TenMinutes, OneHour, OneDay, OneWeek, TenDays, OneMonth, Daily };
enum class WatchAction : std::uint8_t { Copy, Move };
// Which files a run copies. None: the record holds no tune mode (an editor with nothing chosen, a
// damaged record), and a run copies nothing.
enum class WatchTune : std::uint8_t { SyncAll, UpdateOld, AbsentOnly, None };
// Names that start with a dot. Skip is the rule of every watch made before the setting existed.
enum class HiddenFiles : std::uint8_t { Skip, Include };
// Symbolic links on the side a run reads: followed (the file a link names is copied), copied as links,
// or left out.
enum class LinkHandling : std::uint8_t { Follow, CopyAsLinks, Skip };

// The fields of a watch, for telling which one a value or a check is about. Each has its option of
// tessel-batch and its key in the text format (WatchCheck.h: keyOf).
enum class WatchField {
    Name,
    Source,
    Destination,
    Masks,
    Excludes,
    Hidden,
    Links,
    Action,
    BothDirections,
    DeleteAbsent,
    Tune,
    RunMode,
    Period,
    ChangeDelay,
    WithRootFolder,
    WideLog,
    Program,
    ProgramArgs,
    LastRun,
};

struct DailyTime {
    int hour = 0;    // 0..23
    int minute = 0;  // 0..59
    bool operator==(const DailyTime&) const = default;
};

// The quiet time an OnChange watch waits for after a change before it runs, in seconds.
inline constexpr int kDefaultChangeDelay = 2;
inline constexpr int kLongestChangeDelay = 3600;

struct WatchSchedule {
    WatchRunMode mode = WatchRunMode::Manual;
    WatchPeriod every = WatchPeriod::OneHour;      // counts only for Timer, but is kept for the others too
    DailyTime dailyAt;                             // counts only for Daily
    int changeDelaySeconds = kDefaultChangeDelay;  // counts only for OnChange, 1 to kLongestChangeDelay
    bool operator==(const WatchSchedule&) const = default;
};

// What a watch's record has no room for: its entry in the text file beside the watch file.
struct WatchExtras {
    std::string name;
    std::vector<std::string> excludes;
    HiddenFiles hidden = HiddenFiles::Skip;
    LinkHandling links = LinkHandling::Follow;
    std::optional<LastRunResult> lastResult;
    // The run mode OnChange with its delay (the record says Manual), and whether following it is paused.
    bool onChange = false;
    int changeDelaySeconds = kDefaultChangeDelay;
    bool followPaused = false;
    bool operator==(const WatchExtras&) const = default;
};

struct Watch {
    std::string name;
    std::string source;
    std::string destination;
    std::vector<std::string> masks;     // the file masks, each without blanks at its ends
    std::vector<std::string> excludes;  // masks of names and of paths below the root left out
    HiddenFiles hidden = HiddenFiles::Skip;
    LinkHandling links = LinkHandling::Follow;
    WatchAction action = WatchAction::Copy;
    bool bothDirections = false;
    bool deleteAbsentFiles = false;
    WatchTune tune = WatchTune::SyncAll;
    WatchSchedule schedule;
    bool withRootFolder = false;  // "Copy with root folder"
    bool logEachFile = false;     // "Wide log"
    std::string program;          // started after each run; empty for none
    std::string programArgs;
    TDateTime lastRun = 0;
    // The record's EditTime: when the watch was last saved. The text file's entry is keyed by it.
    TDateTime editedAt = 0;
    // What the last run came to (the window's, tessel-batch's, by hand or on the timer); nothing for a
    // watch that has not run since results were kept. Stored in the text file, not in the record.
    std::optional<LastRunResult> lastResult;
    // An OnChange watch whose following the user paused: it runs only when asked, until resumed.
    bool followPaused = false;

    bool operator==(const Watch&) const = default;
};

// What a new watch starts with, in the editor and for tessel-batch add: copy every file ("*.*") by
// hand, once an hour when put on the timer, hidden files included, links followed, and the excludes
// of kDefaultExcludes.
Watch newWatch();
inline constexpr std::string_view kDefaultExcludes[] = {
    ".Trash-*",  ".tessel-versions", "System Volume Information", "$RECYCLE.BIN", ".DS_Store",
    "Thumbs.db", "desktop.ini"};

// The watch a record and its extras describe. Values a damaged record holds outside their range read
// as the runs treat them: a run mode as Manual (never started by itself), a file action as Move, a
// period as One hour (as the editor shows it), a tune mode as None; a flag is on only when it is 1.
Watch watchFromRecord(const TWatchRec& record, const WatchExtras& extras);
// The record's TuneMode for a tune (-1, which no record's reader takes for a mode, for None).
std::int32_t storedTune(WatchTune tune);

// The record of `watch` as the editor would save it: Interval 600, OnTime the daily time on day
// zero (or the edit time for the other periods), the masks joined by ";", WatchIndex -1. False, with
// the field in `tooLong`, when a text does not fit its 255 bytes; the record is then incomplete.
bool recordFromWatch(const Watch& watch, TWatchRec& record, WatchField& tooLong);
WatchExtras extrasOf(const Watch& watch);

// A mask list as people type it: split at ";" (and at "," and ":", which runs always took as ";"),
// blanks at the ends of each mask dropped, empty masks left out.
std::vector<std::string> splitMasks(std::string_view text);
// An exclude list as typed: split at ";" only, blanks at the ends dropped, empty items left out.
std::vector<std::string> splitExcludes(std::string_view text);
// The list as the record and the editor keep it: the items joined by ";".
std::string joinList(const std::vector<std::string>& items);

}  // namespace tessel
