#include "watch/WatchCheck.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>

namespace tessel {

namespace {

struct FieldKey {
    WatchField field;
    std::string_view key;
};
constexpr FieldKey kKeys[] = {
    {WatchField::Name, "name"},
    {WatchField::Source, "source"},
    {WatchField::Destination, "destination"},
    {WatchField::Masks, "mask"},
    {WatchField::Excludes, "exclude"},
    {WatchField::Hidden, "hidden"},
    {WatchField::Links, "links"},
    {WatchField::Action, "action"},
    {WatchField::BothDirections, "both-directions"},
    {WatchField::DeleteAbsent, "delete-absent"},
    {WatchField::Tune, "tune"},
    {WatchField::RunMode, "run-mode"},
    {WatchField::Period, "period"},
    {WatchField::ChangeDelay, "change-delay"},
    {WatchField::WithRootFolder, "copy-with-root"},
    {WatchField::WideLog, "wide-log"},
    {WatchField::Program, "program"},
    {WatchField::ProgramArgs, "program-args"},
    {WatchField::LastRun, "last-run"},
};

constexpr std::array<std::string_view, 5> kRunModeWords = {"stop", "on-start", "manual", "timer",
                                                           "on-change"};
constexpr std::array<std::string_view, 2> kActionWords = {"copy", "move"};
constexpr std::array<std::string_view, 4> kTuneWords = {"sync-all", "update-old", "absent-only", "none"};
constexpr std::array<std::string_view, 2> kHiddenWords = {"skip", "include"};
constexpr std::array<std::string_view, 3> kLinkWords = {"follow", "copy", "skip"};
constexpr std::array<std::string_view, 6> kPeriodWords = {"10min", "1h", "1d", "1w", "10d", "1month"};

char lowered(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowered(x) == lowered(y); });
}

// The position of `text` among `words`, letter case ignored.
template <std::size_t N>
std::optional<std::size_t> wordIndex(const std::array<std::string_view, N>& words, std::string_view text) {
    for (std::size_t i = 0; i < N; ++i)
        if (sameWord(words[i], text)) return i;
    return std::nullopt;
}

template <std::size_t N>
std::string choices(const std::array<std::string_view, N>& words, std::size_t count = N) {
    std::string said;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) said += i + 1 == count ? " or " : ", ";
        said += words[i];
    }
    return said;
}

// One UTF-8 character from the front of `text`; false (and one byte taken) for bytes that are not one.
bool nextCharacter(std::string_view& text, char32_t& character) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = lead < 0x80           ? 1
                         : (lead >> 5) == 0x6  ? 2
                         : (lead >> 4) == 0xE  ? 3
                         : (lead >> 3) == 0x1E ? 4
                                               : 0;
    if (length == 0 || length > text.size()) {
        text.remove_prefix(1);
        return false;
    }
    character = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            text.remove_prefix(1);
            return false;
        }
        character = (character << 6) | (byte(i) & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    text.remove_prefix(length);
    return character >= kSmallest[length] && character <= 0x10FFFF &&
           (character < 0xD800 || character > 0xDFFF);
}

// The small letter of `c` for the Latin, Greek and Cyrillic letters that have one.
char32_t folded(char32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    if ((c >= 0x100 && c <= 0x137 && c != 0x130) || (c >= 0x14A && c <= 0x177)) return c | 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) != 0 ? c + 1 : c;
    if (c == 0x178) return 0xFF;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
    if (c == 0x3C2) return 0x3C3;  // final sigma
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

std::u32string foldedName(std::string_view name) {
    std::u32string result;
    while (!name.empty()) {
        char32_t character = 0;
        const unsigned char first = static_cast<unsigned char>(name.front());
        // A byte that is no character stands for itself, above every character.
        result += nextCharacter(name, character) ? folded(character) : 0x110000 + first;
    }
    return result;
}

bool isControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool allDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isCommandWord(std::string_view name) {
    return std::any_of(std::begin(kCommandWords), std::end(kCommandWords),
                       [&](std::string_view word) { return sameWord(word, name); });
}

std::optional<bool> yesOrNo(std::string_view text) {
    if (sameWord(text, "yes")) return true;
    if (sameWord(text, "no")) return false;
    return std::nullopt;
}

std::optional<DailyTime> dailyTime(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon < 1 || colon > 2 || text.size() != colon + 3)
        return std::nullopt;
    const std::string_view hour = text.substr(0, colon), minute = text.substr(colon + 1);
    if (!allDigits(hour) || !allDigits(minute)) return std::nullopt;
    DailyTime time;
    for (const char c : hour) time.hour = time.hour * 10 + (c - '0');
    time.minute = (minute[0] - '0') * 10 + (minute[1] - '0');
    if (time.hour > 23 || time.minute > 59) return std::nullopt;
    return time;
}

std::string quoted(std::string_view text) {
    // Appended, not added with +: GCC 12 warns wrongly about a literal of one character before a string.
    std::string result(1, '"');
    result.append(text);
    result += '"';
    return result;
}

}  // namespace

bool isUtf8(std::string_view text) {
    char32_t character = 0;
    while (!text.empty())
        if (!nextCharacter(text, character)) return false;
    return true;
}

std::string_view keyOf(WatchField field) {
    for (const FieldKey& key : kKeys)
        if (key.field == field) return key.key;
    return {};
}

std::string optionOf(WatchField field) {
    return "--" + std::string(keyOf(field));
}

std::optional<WatchField> fieldOfKey(std::string_view key) {
    for (const FieldKey& known : kKeys)
        if (known.key == key) return known.field;
    return std::nullopt;
}

std::string_view wordOf(WatchRunMode mode) {
    return kRunModeWords[static_cast<std::size_t>(mode)];
}
std::string_view wordOf(WatchAction action) {
    return kActionWords[static_cast<std::size_t>(action)];
}
std::string_view wordOf(WatchTune tune) {
    return kTuneWords[static_cast<std::size_t>(tune)];
}
std::string_view wordOf(HiddenFiles hidden) {
    return kHiddenWords[static_cast<std::size_t>(hidden)];
}
std::string_view wordOf(LinkHandling links) {
    return kLinkWords[static_cast<std::size_t>(links)];
}

std::string periodText(const WatchSchedule& schedule) {
    if (schedule.every != WatchPeriod::Daily)
        return std::string(kPeriodWords[static_cast<std::size_t>(schedule.every)]);
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", schedule.dailyAt.hour % 100, schedule.dailyAt.minute % 100);
    return text;
}

void WatchEdit::applyTo(Watch& watch) const {
    if (name) watch.name = *name;
    if (source) watch.source = *source;
    if (destination) watch.destination = *destination;
    if (masks) watch.masks = *masks;
    if (excludes) watch.excludes = *excludes;
    if (hidden) watch.hidden = *hidden;
    if (links) watch.links = *links;
    if (action) watch.action = *action;
    if (bothDirections) watch.bothDirections = *bothDirections;
    if (deleteAbsentFiles) watch.deleteAbsentFiles = *deleteAbsentFiles;
    if (tune) watch.tune = *tune;
    if (runMode) watch.schedule.mode = *runMode;
    if (period) watch.schedule.every = *period;
    if (dailyAt) watch.schedule.dailyAt = *dailyAt;
    if (changeDelay) watch.schedule.changeDelaySeconds = *changeDelay;
    if (withRootFolder) watch.withRootFolder = *withRootFolder;
    if (logEachFile) watch.logEachFile = *logEachFile;
    if (program) watch.program = *program;
    if (programArgs) watch.programArgs = *programArgs;
    if (lastRun) watch.lastRun = *lastRun;
    if (followPaused) watch.followPaused = *followPaused;
}

bool WatchEdit::sets(WatchField field) const {
    switch (field) {
        case WatchField::Name:
            return name.has_value();
        case WatchField::Source:
            return source.has_value();
        case WatchField::Destination:
            return destination.has_value();
        case WatchField::Masks:
            return masks.has_value();
        case WatchField::Excludes:
            return excludes.has_value();
        case WatchField::Hidden:
            return hidden.has_value();
        case WatchField::Links:
            return links.has_value();
        case WatchField::Action:
            return action.has_value();
        case WatchField::BothDirections:
            return bothDirections.has_value();
        case WatchField::DeleteAbsent:
            return deleteAbsentFiles.has_value();
        case WatchField::Tune:
            return tune.has_value();
        case WatchField::RunMode:
            return runMode.has_value();
        case WatchField::Period:
            return period.has_value();
        case WatchField::ChangeDelay:
            return changeDelay.has_value();
        case WatchField::WithRootFolder:
            return withRootFolder.has_value();
        case WatchField::WideLog:
            return logEachFile.has_value();
        case WatchField::Program:
            return program.has_value();
        case WatchField::ProgramArgs:
            return programArgs.has_value();
        case WatchField::LastRun:
            return lastRun.has_value();
    }
    return false;
}

bool readFieldValue(WatchField field, std::string_view text, WatchEdit& edit, std::string& problem,
                    ValueSource source) {
    const auto refuse = [&](const std::string& wanted) {
        problem = "say " + wanted + ", not " + quoted(text);
        return false;
    };
    const auto flag = [&](std::optional<bool>& value) {
        value = yesOrNo(text);
        return value.has_value() || refuse("yes or no");
    };
    switch (field) {
        case WatchField::Name:
            edit.name = std::string(text);
            return true;
        case WatchField::Source:
            edit.source = std::string(text);
            return true;
        case WatchField::Destination:
            edit.destination = std::string(text);
            return true;
        case WatchField::Program:
            edit.program = std::string(text);
            return true;
        case WatchField::ProgramArgs:
            edit.programArgs = std::string(text);
            return true;
        case WatchField::Masks:
            edit.masks = splitMasks(text);
            return true;
        case WatchField::Excludes:
            edit.excludes = splitExcludes(text);
            return true;
        case WatchField::Hidden:
            if (const auto index = wordIndex(kHiddenWords, text)) {
                edit.hidden = static_cast<HiddenFiles>(*index);
                return true;
            }
            return refuse("include or skip");
        case WatchField::Links:
            if (const auto index = wordIndex(kLinkWords, text)) {
                edit.links = static_cast<LinkHandling>(*index);
                return true;
            }
            return refuse(choices(kLinkWords));
        case WatchField::Action:
            if (const auto index = wordIndex(kActionWords, text)) {
                edit.action = static_cast<WatchAction>(*index);
                return true;
            }
            return refuse(choices(kActionWords));
        case WatchField::Tune: {
            const std::size_t known = source == ValueSource::Exported ? kTuneWords.size() : 3;
            const auto index = wordIndex(kTuneWords, text);
            if (index && *index < known) {
                edit.tune = static_cast<WatchTune>(*index);
                return true;
            }
            return refuse(choices(kTuneWords, 3));
        }
        case WatchField::RunMode:
            if (const auto index = wordIndex(kRunModeWords, text)) {
                edit.runMode = static_cast<WatchRunMode>(*index);
                return true;
            }
            return refuse(choices(kRunModeWords));
        case WatchField::ChangeDelay: {
            int seconds = 0;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
            if (text.empty() || error != std::errc() || end != text.data() + text.size() || seconds < 1 ||
                seconds > kLongestChangeDelay)
                return refuse("a number of seconds from 1 to " + std::to_string(kLongestChangeDelay));
            edit.changeDelay = seconds;
            return true;
        }
        case WatchField::Period:
            if (const auto index = wordIndex(kPeriodWords, text)) {
                edit.period = static_cast<WatchPeriod>(*index);
                return true;
            }
            if (const auto time = dailyTime(text)) {
                edit.period = WatchPeriod::Daily;
                edit.dailyAt = *time;
                return true;
            }
            return refuse(choices(kPeriodWords) + " or a daily time HH:MM");
        case WatchField::BothDirections:
            return flag(edit.bothDirections);
        case WatchField::DeleteAbsent:
            return flag(edit.deleteAbsentFiles);
        case WatchField::WithRootFolder:
            return flag(edit.withRootFolder);
        case WatchField::WideLog:
            return flag(edit.logEachFile);
        case WatchField::LastRun:
            break;
    }
    problem = "cannot be given";
    return false;
}

WatchOption takeWatchOption(const std::vector<std::string_view>& arguments, std::size_t& i, WatchEdit& edit,
                            std::string& problem) {
    const std::string_view argument = arguments[i];
    if (!argument.starts_with("--")) return WatchOption::NotOne;
    const std::string_view spelled = argument.substr(
        2, argument.find('=') == std::string_view::npos ? std::string_view::npos : argument.find('=') - 2);
    const std::optional<WatchField> field = fieldOfKey(spelled);
    if (!field || *field == WatchField::LastRun) return WatchOption::NotOne;
    const std::string option = optionOf(*field);
    std::string_view value;
    if (argument.size() > option.size()) {
        value = argument.substr(option.size() + 1);
    } else if (i + 1 < arguments.size()) {
        value = arguments[++i];
    } else {
        problem = option + " needs a value";
        return WatchOption::Invalid;
    }
    // The lists add up when given more than once; any other value is said once.
    const bool list = *field == WatchField::Masks || *field == WatchField::Excludes;
    if (edit.sets(*field) && !list) {
        problem = option + " is given twice";
        return WatchOption::Invalid;
    }
    std::vector<std::string> earlier;
    if (list) earlier = (*field == WatchField::Masks ? edit.masks : edit.excludes).value_or(earlier);
    if (!readFieldValue(*field, value, edit, problem)) {
        problem = option + ": " + problem;
        return WatchOption::Invalid;
    }
    if (list) {
        std::vector<std::string>& items = *(*field == WatchField::Masks ? edit.masks : edit.excludes);
        items.insert(items.begin(), earlier.begin(), earlier.end());
    }
    return WatchOption::Taken;
}

bool sameName(std::string_view a, std::string_view b) {
    return foldedName(a) == foldedName(b);
}

std::string proposeName(std::string_view source, const std::vector<std::string>& taken) {
    while (source.size() > 1 && source.back() == '/') source.remove_suffix(1);
    std::string_view folder =
        source.substr(source.rfind('/') == std::string_view::npos ? 0 : source.rfind('/') + 1);
    // A valid name from the folder's: UTF-8 text without control characters, blanks or dashes at its ends.
    std::string base;
    while (!folder.empty() && base.size() < 200) {
        const std::string_view rest = folder;
        char32_t character = 0;
        if (!nextCharacter(folder, character))
            base += '_';
        else if (!(character < 0x20 || character == 0x7F))
            base.append(rest.substr(0, rest.size() - folder.size()));
    }
    while (!base.empty() && (base.front() == ' ' || base.front() == '-' || base.front() == '\t'))
        base.erase(0, 1);
    while (!base.empty() && (base.back() == ' ' || base.back() == '\t')) base.pop_back();
    if (base.empty() || base == "." || base == "..") base = "watch";
    if (allDigits(base) || isCommandWord(base)) base = "watch-" + base;
    const auto isTaken = [&](const std::string& name) {
        return std::any_of(taken.begin(), taken.end(),
                           [&](const std::string& other) { return sameName(name, other); });
    };
    std::string name = base;
    for (int number = 2; isTaken(name); ++number) name = base + "-" + std::to_string(number);
    return name;
}

std::optional<WatchProblem> checkName(std::string_view name) {
    using Kind = WatchProblem::Kind;
    const auto problem = [&](Kind kind) { return WatchProblem{WatchField::Name, kind, std::string(name)}; };
    if (name.empty()) return problem(Kind::Empty);
    if (name.size() > kMaxTextLength) return problem(Kind::TooLong);
    if (!isUtf8(name)) return problem(Kind::NotUtf8);
    if (std::any_of(name.begin(), name.end(), isControl)) return problem(Kind::ControlCharacter);
    if (allDigits(name)) return problem(Kind::AllDigits);
    if (name.front() == ' ' || name.back() == ' ') return problem(Kind::BlankAtEnd);
    if (name.front() == '-') return problem(Kind::StartsWithDash);
    if (isCommandWord(name)) return problem(Kind::CommandWord);
    return std::nullopt;
}

std::optional<WatchProblem> checkWatch(const Watch& watch, const std::vector<const Watch*>& others) {
    using Kind = WatchProblem::Kind;
    if (auto problem = checkName(watch.name)) return problem;
    for (const Watch* other : others)
        if (sameName(other->name, watch.name))
            return WatchProblem{WatchField::Name, Kind::NameTaken, other->name};
    for (const auto& [field, folder] : {std::pair{WatchField::Source, &watch.source},
                                        std::pair{WatchField::Destination, &watch.destination}}) {
        // An empty folder would mean "/", a relative one the folder Tessel happens to be started from.
        if (folder->empty()) return WatchProblem{field, Kind::Empty, {}};
        if (folder->front() != '/') return WatchProblem{field, Kind::NotAbsolute, *folder};
    }
    if (watch.masks.empty()) return WatchProblem{WatchField::Masks, Kind::Empty, {}};
    for (const std::string& mask : watch.masks)
        if (mask.find('/') != std::string::npos)
            return WatchProblem{WatchField::Masks, Kind::MaskWithSlash, mask};
    if (watch.schedule.changeDelaySeconds < 1 || watch.schedule.changeDelaySeconds > kLongestChangeDelay)
        return WatchProblem{WatchField::ChangeDelay, Kind::OutOfRange,
                            std::to_string(watch.schedule.changeDelaySeconds)};
    if (watch.action == WatchAction::Move && watch.deleteAbsentFiles)
        return WatchProblem{WatchField::DeleteAbsent, Kind::MoveWithDeleteAbsent, {}};
    TWatchRec record;
    WatchField tooLong = WatchField::Source;
    if (!recordFromWatch(watch, record, tooLong)) return WatchProblem{tooLong, Kind::TooLong, {}};
    return std::nullopt;
}

std::string describe(const WatchProblem& problem) {
    using Kind = WatchProblem::Kind;
    switch (problem.kind) {
        case Kind::Empty:
            return problem.field == WatchField::Masks
                       ? "needs at least one mask: an empty list matches no file"
                       : "must not be empty";
        case Kind::NotAbsolute:
            return "must be a full path, starting with /, not " + quoted(problem.detail);
        case Kind::TooLong:
            return "is longer than " + std::to_string(kMaxTextLength) + " bytes, the most a watch can keep";
        case Kind::NotUtf8:
            return "must be UTF-8 text";
        case Kind::ControlCharacter:
            return "must not hold control characters";
        case Kind::AllDigits:
            return quoted(problem.detail) +
                   " is all digits, which tessel-batch would read as a watch's position";
        case Kind::BlankAtEnd:
            return "must not start or end with a blank";
        case Kind::StartsWithDash:
            return quoted(problem.detail) + " starts with \"-\", which tessel-batch would read as an option";
        case Kind::CommandWord:
            return quoted(problem.detail) + " is a command of tessel-batch";
        case Kind::NameTaken:
            return "another watch is named " + quoted(problem.detail) + " (letter case does not count)";
        case Kind::MaskWithSlash:
            return quoted(problem.detail) + " holds a \"/\", which no file name does";
        case Kind::MoveWithDeleteAbsent:
            return "cannot be yes for a watch that moves its files: the next run would delete the only "
                   "copies "
                   "of what an earlier run moved";
        case Kind::OutOfRange:
            return "must be a number of seconds from 1 to " + std::to_string(kLongestChangeDelay) + ", not " +
                   problem.detail;
    }
    return "is not valid";
}

}  // namespace tessel
