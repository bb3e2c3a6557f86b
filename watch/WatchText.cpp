#include "watch/WatchText.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <sstream>
#include <type_traits>

// The one place Tessel reads and writes TOML; toml++ is used header-only, so nothing of it is linked.
#include <toml++/toml.h>

namespace tessel {

namespace {

// Strings always in double quotes on one line: what people expect to see and to type.
constexpr toml::format_flags kFormat =
    toml::toml_formatter::default_flags & ~toml::format_flags::allow_literal_strings &
    ~toml::format_flags::allow_multi_line_strings & ~toml::format_flags::indent_sub_tables;

std::string formatted(const toml::node& node) {
    std::ostringstream out;
    if (const toml::table* table = node.as_table(); table != nullptr && !table->is_inline()) {
        toml::table inlined = *table;
        inlined.is_inline(true);
        out << toml::toml_formatter{inlined, kFormat};
    } else {
        out << toml::toml_formatter{node, kFormat};
    }
    return out.str();
}

std::string keyText(std::string_view key) {
    const bool bare = !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
               c == '_';
    });
    return bare ? std::string(key) : formatted(toml::value<std::string>(std::string(key)));
}

std::string hexOf(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        hex += kDigits[static_cast<unsigned char>(c) >> 4];
        hex += kDigits[static_cast<unsigned char>(c) & 0xF];
    }
    return hex;
}

std::optional<std::string> bytesOfHex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
        if (error != std::errc() || end != hex.data() + i + 2) return std::nullopt;
        bytes += static_cast<char>(value);
    }
    return bytes;
}

// Texts as TOML: strings, or { bytes = "<hex>" } for bytes that are not UTF-8.
toml::array textArray(const std::vector<std::string>& texts) {
    toml::array array;
    for (const std::string& text : texts) {
        if (isUtf8(text)) {
            array.push_back(text);
        } else {
            toml::table bytes{{"bytes", hexOf(text)}};
            bytes.is_inline(true);
            array.push_back(std::move(bytes));
        }
    }
    return array;
}

std::string textValue(std::string_view text) {
    if (isUtf8(text)) return formatted(toml::value<std::string>(std::string(text)));
    toml::table bytes{{"bytes", hexOf(text)}};
    bytes.is_inline(true);
    return formatted(bytes);
}

// A local date and time of the text (no offset), as Tessel keeps times.
std::optional<TDateTime> localDateTimeOf(const toml::node& node) {
    const auto* moment = node.as_date_time();
    if (moment == nullptr || moment->get().offset) return std::nullopt;
    const toml::date_time value = moment->get();
    platform::LocalTime local;
    local.year = value.date.year;
    local.month = value.date.month;
    local.day = value.date.day;
    local.hour = value.time.hour;
    local.minute = value.time.minute;
    local.second = value.time.second;
    local.millisecond = static_cast<int>(value.time.nanosecond / 1'000'000);
    return encodeDateTime(local);
}

// Reading: each problem names the line of the value it is about.
class Reader {
  public:
    explicit Reader(FileProblem& problem) : m_problem(problem) {}

    bool fail(const toml::node& node, const std::string& reason) {
        m_problem.line = static_cast<int>(node.source().begin.line);
        m_problem.reason = reason;
        return false;
    }

    bool text(const toml::node& node, std::string_view key, std::string& text) {
        if (const auto* string = node.as_string()) {
            text = string->get();
        } else if (const auto* table = node.as_table();
                   table != nullptr && table->size() == 1 && (*table)["bytes"].is_string()) {
            const auto bytes = bytesOfHex(**(*table)["bytes"].as_string());
            if (!bytes) return fail(node, std::string(key) + ": bytes must be hexadecimal digits in pairs");
            text = *bytes;
        } else {
            return fail(node, std::string(key) + " must be a text in quotes");
        }
        if (text.find('\0') != std::string::npos)
            return fail(node, std::string(key) + " must not hold a zero byte");
        return true;
    }

    // A list: an array of texts, or one text with its items separated as the option takes them.
    bool list(const toml::node& node, WatchField field, std::vector<std::string>& items) {
        const std::string key(keyOf(field));
        items.clear();
        if (const auto* array = node.as_array()) {
            for (const toml::node& element : *array) {
                std::string item;
                if (!text(element, key, item)) return false;
                const std::vector<std::string> split =
                    field == WatchField::Masks ? splitMasks(item) : splitExcludes(item);
                items.insert(items.end(), split.begin(), split.end());
            }
            return true;
        }
        std::string joined;
        if (!text(node, key, joined))
            return fail(node, key + " must be a list of texts in quotes: [\"*.txt\", \"*.doc\"]");
        items = field == WatchField::Masks ? splitMasks(joined) : splitExcludes(joined);
        return true;
    }

    bool word(const toml::node& node, WatchField field, WatchEdit& edit) {
        std::string said, problem;
        const std::string key(keyOf(field));
        if (!text(node, key, said)) return false;
        return readFieldValue(field, said, edit, problem, ValueSource::Exported) ||
               fail(node, key + ": " + problem);
    }

    bool flag(const toml::node& node, std::string_view key, std::optional<bool>& value) {
        if (const auto* boolean = node.as_boolean()) {
            value = boolean->get();
            return true;
        }
        return fail(node, std::string(key) + " must be true or false");
    }

    bool version(const toml::table& root) {
        const toml::node* node = root.get("version");
        if (node == nullptr) return true;
        const auto* number = node->as_integer();
        if (number == nullptr) return fail(*node, "version must be a whole number");
        if (number->get() > kWatchTextVersion || number->get() < 1)
            return fail(*node, "format version " + std::to_string(number->get()) +
                                   ": this Tessel reads version " + std::to_string(kWatchTextVersion) +
                                   " (a later Tessel wrote it)");
        return true;
    }

    // The [[watch]] tables of `root`; none when it has no "watch".
    bool watchTables(const toml::table& root, std::vector<const toml::table*>& tables) {
        tables.clear();
        const toml::node* node = root.get("watch");
        if (node == nullptr) return true;
        const auto* array = node->as_array();
        if (array == nullptr || !array->is_array_of_tables())
            return fail(*node, "watch must be a list of [[watch]] tables");
        for (const toml::node& element : *array) tables.push_back(element.as_table());
        return true;
    }

    // The values of one watch's keys into `edit`; a key of no field goes to `unknown` (or fails).
    bool field(WatchField which, const toml::node& node, WatchEdit& edit) {
        std::string text;
        const std::string key(keyOf(which));
        switch (which) {
            case WatchField::Name:
            case WatchField::Source:
            case WatchField::Destination:
            case WatchField::Program:
            case WatchField::ProgramArgs:
                if (!this->text(node, key, text)) return false;
                (which == WatchField::Name          ? edit.name
                 : which == WatchField::Source      ? edit.source
                 : which == WatchField::Destination ? edit.destination
                 : which == WatchField::Program     ? edit.program
                                                    : edit.programArgs) = text;
                return true;
            case WatchField::Masks:
                return list(node, which, edit.masks.emplace());
            case WatchField::Excludes:
                return list(node, which, edit.excludes.emplace());
            case WatchField::BothDirections:
                return flag(node, key, edit.bothDirections);
            case WatchField::DeleteAbsent:
                return flag(node, key, edit.deleteAbsentFiles);
            case WatchField::WithRootFolder:
                return flag(node, key, edit.withRootFolder);
            case WatchField::WideLog:
                return flag(node, key, edit.logEachFile);
            case WatchField::ChangeDelay: {
                const auto* number = node.as_integer();
                std::string problem;
                if (number == nullptr || !readFieldValue(which, std::to_string(number->get()), edit, problem))
                    return fail(node, key + " must be a number of seconds from 1 to " +
                                          std::to_string(kLongestChangeDelay));
                return true;
            }
            case WatchField::LastRun:
                edit.lastRun = localDateTimeOf(node);
                return edit.lastRun.has_value() ||
                       fail(node, "last-run must be a local date and time: 2026-05-01T08:30:15");
            default:
                return word(node, which, edit);
        }
    }

  private:
    FileProblem& m_problem;
};

bool parse(std::string_view text, const std::string& path, toml::table& root, FileProblem& problem) {
    problem = {path, 0, {}};
    try {
        root = toml::parse(text, std::string_view(path));
    } catch (const toml::parse_error& error) {
        problem.line = static_cast<int>(error.source().begin.line);
        problem.reason = std::string(error.description());
        return false;
    }
    return true;
}

std::string unknownLine(std::string_view key, const toml::node& node) {
    return keyText(key) + " = " + formatted(node);
}

std::string dateTimeText(TDateTime value) {
    const platform::LocalTime local = decodeDateTime(value);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", local.year, local.month, local.day,
                  local.hour, local.minute, local.second);
    std::string result = text;
    if (local.millisecond != 0) {
        std::snprintf(text, sizeof text, ".%03d", local.millisecond);
        result += text;
    }
    return result;
}

// The last result of a watch's run, on one line of its entry:
// last-result = { time = 2026-12-08T10:30:00, result = "failed", copied = 3, ..., first-problem = "..." }.
// The keys are written in this order; a reader takes those it knows and skips the others.
constexpr const char* kLastResultKey = "last-result";
// An OnChange watch whose following is paused; written only when it is.
constexpr const char* kFollowPausedKey = "follow-paused";

struct CountKey {
    const char* key;
    int RunResult::*count;
};
constexpr CountKey kCountKeys[] = {
    {"copied", &RunResult::copied},           {"moved", &RunResult::moved},
    {"deleted", &RunResult::deleted},         {"versions-kept", &RunResult::versionsKept},
    {"conflicts", &RunResult::conflicts},     {"failed", &RunResult::failed},
    {"refused", &RunResult::refusedDeletions}};

std::string lastResultText(const LastRunResult& result) {
    std::string text = "{ time = " + dateTimeText(result.endedAt) + ", result = \"" +
                       std::string(wordOf(result.outcome())) + "\"";
    for (const CountKey& count : kCountKeys)
        text += ", " + std::string(count.key) + " = " + std::to_string(result.counts.*count.count);
    // The shortest text that reads back as the same number, with a point or an exponent: TOML reads
    // "2" as a whole number.
    char seconds[48];
    const double clamped = result.seconds >= 0 && result.seconds < 1e12 ? result.seconds : 0.0;
    std::string secondsText(seconds, std::to_chars(seconds, seconds + sizeof seconds, clamped).ptr);
    if (secondsText.find_first_of(".e") == std::string::npos) secondsText += ".0";
    text += ", bytes = " + std::to_string(result.counts.bytesCopied) + ", seconds = " + secondsText;
    if (result.counts.stopped) text += ", stopped = true";
    if (!result.firstProblem.empty()) text += ", first-problem = " + textValue(result.firstProblem);
    return text + " }";
}

// Nothing for a value this Tessel cannot read (a later one's): the line is then kept as it is.
std::optional<LastRunResult> lastResultOf(const toml::node& node) {
    const toml::table* table = node.as_table();
    if (table == nullptr) return std::nullopt;
    LastRunResult result;
    const toml::node* time = table->get("time");
    const std::optional<TDateTime> endedAt = time != nullptr ? localDateTimeOf(*time) : std::nullopt;
    if (!endedAt) return std::nullopt;
    result.endedAt = *endedAt;
    const auto count = [&](const char* key, auto& value) {
        const toml::node* found = table->get(key);
        if (found == nullptr) return true;
        const auto* number = found->as_integer();
        if (number == nullptr || number->get() < 0 ||
            static_cast<std::uint64_t>(number->get()) >
                std::numeric_limits<std::decay_t<decltype(value)>>::max())
            return false;
        value = static_cast<std::decay_t<decltype(value)>>(number->get());
        return true;
    };
    for (const CountKey& key : kCountKeys)
        if (!count(key.key, result.counts.*key.count)) return std::nullopt;
    if (!count("bytes", result.counts.bytesCopied)) return std::nullopt;
    if (const toml::node* seconds = table->get("seconds")) {
        const std::optional<double> value = seconds->value<double>();
        if (!value || !(*value >= 0)) return std::nullopt;
        result.seconds = *value;
    }
    // "result" is for the people who read the file: the outcome follows from the counts.
    if (const toml::node* stopped = table->get("stopped")) {
        if (!stopped->is_boolean()) return std::nullopt;
        result.counts.stopped = stopped->as_boolean()->get();
    }
    if (const toml::node* problem = table->get("first-problem")) {
        FileProblem ignored;
        Reader reader(ignored);
        if (!reader.text(*problem, "first-problem", result.firstProblem)) return std::nullopt;
    }
    return result;
}

constexpr const char* kTextFileHeader =
    "# What the watch file has no room for, one [[watch]] per watch, written by Tessel under the watch\n"
    "# file's lock. An entry belongs to the record with this edit-time, source and destination.\n";
constexpr const char* kWatchesHeader = "# Tessel watches: tessel-batch import reads them back.\n";

}  // namespace

std::string FileProblem::text() const {
    return line > 0 ? path + ", line " + std::to_string(line) + ": " + reason : path + ": " + reason;
}

std::string textFilePath(const std::string& watchFile) {
    constexpr std::string_view kEnding = ".wth";
    const std::size_t slash = watchFile.rfind('/');
    const std::string_view name =
        std::string_view(watchFile).substr(slash == std::string::npos ? 0 : slash + 1);
    if (name.size() > kEnding.size() && name.ends_with(kEnding))
        return watchFile.substr(0, watchFile.size() - kEnding.size()) + ".toml";
    return watchFile + ".toml";
}

WatchKey watchKeyOf(const TWatchRec& record) {
    return {std::bit_cast<std::uint64_t>(record.EditTime), getText(record.SourceDir),
            getText(record.DestDir)};
}

bool readTextFile(std::string_view text, const std::string& path, TextFile& file, FileProblem& problem) {
    file = {};
    toml::table root;
    if (!parse(text, path, root, problem)) return false;
    Reader reader(problem);
    std::vector<const toml::table*> tables;
    if (!reader.version(root) || !reader.watchTables(root, tables)) return false;
    for (auto&& [key, node] : root)
        if (key != "version" && key != "watch") file.unknownLines.push_back(unknownLine(key.str(), node));
    for (const toml::table* table : tables) {
        TextFileEntry entry;
        entry.line = static_cast<int>(table->source().begin.line);
        bool keyed[3] = {false, false, false};
        WatchEdit edit;
        for (auto&& [key, node] : *table) {
            if (key == "edit-time") {
                const auto* hex = node.as_string();
                const auto bytes =
                    hex != nullptr && hex->get().size() == 16 ? bytesOfHex(hex->get()) : std::nullopt;
                if (!bytes) return reader.fail(node, "edit-time must be 16 hexadecimal digits");
                std::from_chars(hex->get().data(), hex->get().data() + 16, entry.key.editTime, 16);
                keyed[0] = true;
                continue;
            }
            const std::optional<WatchField> field = fieldOfKey(key.str());
            if (field == WatchField::Source || field == WatchField::Destination) {
                std::string& folder = *field == WatchField::Source ? entry.key.source : entry.key.destination;
                if (!reader.text(node, key.str(), folder)) return false;
                keyed[*field == WatchField::Source ? 1 : 2] = true;
            } else if (field == WatchField::Name || field == WatchField::Excludes ||
                       field == WatchField::Hidden || field == WatchField::Links ||
                       field == WatchField::ChangeDelay || field == WatchField::RunMode) {
                if (!reader.field(*field, node, edit)) return false;
                // The name as add would take it: a command word would make a cron line mean a command.
                if (field == WatchField::Name) {
                    entry.nameLine = static_cast<int>(node.source().begin.line);
                    if (const auto nameProblem = checkName(*edit.name))
                        return reader.fail(node, "name: " + describe(*nameProblem));
                }
                // The record holds every other run mode: one here would be ignored without a word.
                if (field == WatchField::RunMode && edit.runMode != WatchRunMode::OnChange)
                    return reader.fail(node,
                                       "run-mode: only \"on-change\" is kept here; the watch file "
                                       "holds the other run modes (tessel-batch set --run-mode)");
            } else if (key == kFollowPausedKey) {
                std::optional<bool> paused;
                if (!reader.flag(node, key.str(), paused)) return false;
                entry.extras.followPaused = *paused;
            } else if (key == kLastResultKey && (entry.extras.lastResult = lastResultOf(node))) {
                continue;
            } else {
                // A key of a later Tessel, or one this file need not hold: kept as it is.
                entry.unknownLines.push_back(unknownLine(key.str(), node));
            }
        }
        if (!keyed[0] || !keyed[1] || !keyed[2] || !edit.name)
            return reader.fail(*table, "a [[watch]] entry needs edit-time, source, destination and name");
        entry.extras.name = *edit.name;
        entry.extras.excludes = edit.excludes.value_or(std::vector<std::string>{});
        entry.extras.hidden = edit.hidden.value_or(HiddenFiles::Skip);
        entry.extras.links = edit.links.value_or(LinkHandling::Follow);
        entry.extras.onChange = edit.runMode == WatchRunMode::OnChange;
        entry.extras.changeDelaySeconds = edit.changeDelay.value_or(kDefaultChangeDelay);
        file.entries.push_back(std::move(entry));
    }
    return true;
}

std::string textFileText(const TextFile& file) {
    std::string text = kTextFileHeader;
    text += "version = " + std::to_string(kWatchTextVersion) + "\n";
    for (const std::string& line : file.unknownLines) text += line + "\n";
    for (const TextFileEntry& entry : file.entries) {
        char editTime[24];
        std::snprintf(editTime, sizeof editTime, "%016llx",
                      static_cast<unsigned long long>(entry.key.editTime));
        text += "\n[[watch]]\n";
        text += "edit-time = \"" + std::string(editTime) + "\"\n";
        text += "source = " + textValue(entry.key.source) + "\n";
        text += "destination = " + textValue(entry.key.destination) + "\n";
        text += "name = " + textValue(entry.extras.name) + "\n";
        text += "exclude = " + formatted(textArray(entry.extras.excludes)) + "\n";
        text += "hidden = \"" + std::string(wordOf(entry.extras.hidden)) + "\"\n";
        text += "links = \"" + std::string(wordOf(entry.extras.links)) + "\"\n";
        // The run mode only where the record cannot say it: its own says Manual.
        if (entry.extras.onChange)
            text += std::string(keyOf(WatchField::RunMode)) + " = \"" +
                    std::string(wordOf(WatchRunMode::OnChange)) + "\"\n";
        if (entry.extras.onChange || entry.extras.changeDelaySeconds != kDefaultChangeDelay)
            text += std::string(keyOf(WatchField::ChangeDelay)) + " = " +
                    std::to_string(entry.extras.changeDelaySeconds) + "\n";
        if (entry.extras.followPaused) text += std::string(kFollowPausedKey) + " = true\n";
        if (entry.extras.lastResult)
            text += std::string(kLastResultKey) + " = " + lastResultText(*entry.extras.lastResult) + "\n";
        for (const std::string& line : entry.unknownLines) {
            // A last result this Tessel could not read gives way to the one it has just stored.
            if (entry.extras.lastResult && line.starts_with(std::string(kLastResultKey) + " = ")) continue;
            text += line + "\n";
        }
    }
    return text;
}

std::string watchesText(const std::vector<const Watch*>& watches) {
    std::string text = kWatchesHeader;
    text += "version = " + std::to_string(kWatchTextVersion) + "\n";
    const auto word = [](std::string_view value) {
        std::string quoted(1, '"');
        quoted.append(value);
        quoted += '"';
        return quoted;
    };
    const auto yes = [](bool value) { return std::string(value ? "true" : "false"); };
    for (const Watch* watch : watches) {
        const std::pair<WatchField, std::string> lines[] = {
            {WatchField::Name, textValue(watch->name)},
            {WatchField::Source, textValue(watch->source)},
            {WatchField::Destination, textValue(watch->destination)},
            {WatchField::Masks, formatted(textArray(watch->masks))},
            {WatchField::Excludes, formatted(textArray(watch->excludes))},
            {WatchField::Hidden, word(wordOf(watch->hidden))},
            {WatchField::Links, word(wordOf(watch->links))},
            {WatchField::Action, word(wordOf(watch->action))},
            {WatchField::BothDirections, yes(watch->bothDirections)},
            {WatchField::DeleteAbsent, yes(watch->deleteAbsentFiles)},
            {WatchField::Tune, word(wordOf(watch->tune))},
            {WatchField::RunMode, word(wordOf(watch->schedule.mode))},
            {WatchField::Period, word(periodText(watch->schedule))},
            {WatchField::ChangeDelay, std::to_string(watch->schedule.changeDelaySeconds)},
            {WatchField::WithRootFolder, yes(watch->withRootFolder)},
            {WatchField::WideLog, yes(watch->logEachFile)},
            {WatchField::Program, textValue(watch->program)},
            {WatchField::ProgramArgs, textValue(watch->programArgs)},
        };
        text += "\n[[watch]]\n";
        for (const auto& [field, value] : lines) text += std::string(keyOf(field)) + " = " + value + "\n";
        if (extrasOf(*watch).followPaused) text += std::string(kFollowPausedKey) + " = true\n";
        // A damaged time has no date to show; import then starts the period afresh.
        if (std::isfinite(watch->lastRun))
            text += std::string(keyOf(WatchField::LastRun)) + " = " + dateTimeText(watch->lastRun) + "\n";
    }
    return text;
}

bool readWatchesText(std::string_view text, const std::string& path, std::vector<WatchTextEntry>& entries,
                     FileProblem& problem) {
    entries.clear();
    toml::table root;
    if (!parse(text, path, root, problem)) return false;
    Reader reader(problem);
    std::vector<const toml::table*> tables;
    if (!reader.version(root) || !reader.watchTables(root, tables)) return false;
    for (auto&& [key, node] : root)
        if (key != "version" && key != "watch") return reader.fail(node, "unknown key " + keyText(key.str()));
    for (const toml::table* table : tables) {
        WatchTextEntry entry;
        entry.line = static_cast<int>(table->source().begin.line);
        for (auto&& [key, node] : *table) {
            if (key == kFollowPausedKey) {
                if (!reader.flag(node, key.str(), entry.edit.followPaused)) return false;
                continue;
            }
            const std::optional<WatchField> field = fieldOfKey(key.str());
            if (!field) return reader.fail(node, "unknown key " + keyText(key.str()));
            if (!reader.field(*field, node, entry.edit)) return false;
        }
        entries.push_back(std::move(entry));
    }
    return true;
}

}  // namespace tessel
