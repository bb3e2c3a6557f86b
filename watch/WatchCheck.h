#pragma once
// What people type for a watch, read and checked in one place for tessel-batch's options, the text
// format and the editor: the words of each choice, the rules for names, and checkWatch, which every
// writer of a watch passes before anything is written.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "watch/Watch.h"

namespace tessel {

// The key of `field` in the text format ("both-directions"); tessel-batch's option is the same with
// "--" before it.
std::string_view keyOf(WatchField field);
std::string optionOf(WatchField field);
// The field whose key is `key`; nothing for a key no field has.
std::optional<WatchField> fieldOfKey(std::string_view key);

// The words of each choice, as options and the text format write them.
std::string_view wordOf(WatchRunMode mode);   // "stop", "on-start", "manual", "timer", "on-change"
std::string_view wordOf(WatchAction action);  // "copy", "move"
std::string_view wordOf(WatchTune tune);      // "sync-all", "update-old", "absent-only", "none"
std::string_view wordOf(HiddenFiles hidden);  // "skip", "include"
std::string_view wordOf(LinkHandling links);  // "follow", "copy", "skip"
// "10min", "1h", "1d", "1w", "10d", "1month", or the daily time "HH:MM".
std::string periodText(const WatchSchedule& schedule);

// The values a command, an import entry or the editor sets; a field left empty keeps what the watch has.
struct WatchEdit {
    std::optional<std::string> name, source, destination, program, programArgs;
    std::optional<std::vector<std::string>> masks, excludes;
    std::optional<HiddenFiles> hidden;
    std::optional<LinkHandling> links;
    std::optional<WatchAction> action;
    std::optional<bool> bothDirections, deleteAbsentFiles, withRootFolder, logEachFile;
    std::optional<WatchTune> tune;
    std::optional<WatchRunMode> runMode;
    std::optional<WatchPeriod> period;
    std::optional<DailyTime> dailyAt;
    std::optional<int> changeDelay;
    std::optional<TDateTime> lastRun;
    // Whether following an OnChange watch is paused: no option sets it (tessel-batch follow does), but
    // import reads it with the rest.
    std::optional<bool> followPaused;

    void applyTo(Watch& watch) const;
    bool sets(WatchField field) const;
    bool operator==(const WatchEdit&) const = default;
};

// How a value is read: as an option or key takes it from people, or as the text format writes it
// (which also knows the tune mode "none" of an old record).
enum class ValueSource { Typed, Exported };

// Reads the typed value of `field` into `edit`: a word of its choice, "yes" or "no", a period, a
// folder, a ";"-separated list (WatchField::LastRun is not typed). False, with `problem` saying what is
// wanted, for a value that is not one.
bool readFieldValue(WatchField field, std::string_view text, WatchEdit& edit, std::string& problem,
                    ValueSource source = ValueSource::Typed);

// Looks at arguments[i]: a watch option ("--source DIR" or "--source=DIR") is read into `edit`, `i`
// stepped past its value, and Taken comes back; anything else gives NotOne. Invalid, with `problem`
// naming the option, for a value that is missing or wrong, or an option given twice.
enum class WatchOption { NotOne, Taken, Invalid };
WatchOption takeWatchOption(const std::vector<std::string_view>& arguments, std::size_t& i, WatchEdit& edit,
                            std::string& problem);

// The words of tessel-batch's commands, which no watch may be named: a cron line "tessel-batch show"
// must never mean a watch.
inline constexpr std::string_view kCommandWords[] = {"add",    "set",      "remove",  "show",  "export",
                                                     "import", "versions", "restore", "follow"};

// Whether `text` is UTF-8 throughout.
bool isUtf8(std::string_view text);

// Whether two names are the same name: letter case is ignored for the Latin, Greek and Cyrillic
// letters.
bool sameName(std::string_view a, std::string_view b);
// A name for a watch of `source` that no name of `taken` is: the source folder's own name, with "-2",
// "-3" ... after it where that is taken, made valid where it is not ("watch" for "/").
std::string proposeName(std::string_view source, const std::vector<std::string>& taken);

struct WatchProblem {
    enum class Kind {
        Empty,                 // a name, folder or mask list with nothing in it
        NotAbsolute,           // a folder not given by its full path
        TooLong,               // longer than the 255 bytes a record field (or a name) holds
        NotUtf8,               // a name that is not UTF-8 text
        ControlCharacter,      // a name with a control character
        AllDigits,             // a name that would read as a watch's position
        BlankAtEnd,            // a name that starts or ends with a blank
        StartsWithDash,        // a name that would read as an option
        CommandWord,           // a name that is one of tessel-batch's commands
        NameTaken,             // a name another watch of the file has (detail: that name)
        MaskWithSlash,         // a mask with a "/", which no file name holds (detail: the mask)
        MoveWithDeleteAbsent,  // the next run would delete the only copies of what an earlier run moved
        OutOfRange,            // a number outside its range (detail: the number)
    };
    WatchField field;
    Kind kind;
    std::string detail;
};

// Checks `watch` before it is written, beside the other watches of its file (`others` without the
// watch itself). Nothing when every value is sound.
std::optional<WatchProblem> checkWatch(const Watch& watch, const std::vector<const Watch*>& others);
// The problem of a name alone (the name rules of checkWatch, without the other watches).
std::optional<WatchProblem> checkName(std::string_view name);

// The problem in English, to follow the option or key it is about: "must be a full path (starting
// with /), not \"docs\"".
std::string describe(const WatchProblem& problem);

}  // namespace tessel
