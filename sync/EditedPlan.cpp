#include "sync/EditedPlan.h"

#include <charconv>
#include <cstdio>
#include <ctime>

#include "sync/Preview.h"

namespace tessel {

namespace {

constexpr std::string_view kHeader = "plan of watch ";
constexpr std::string_view kMade = " made ";

struct ChoiceWord {
    std::string_view word;
    ConflictChoice choice;
};
constexpr ChoiceWord kChoices[] = {{"keep both", ConflictChoice::KeepBoth},
                                   {"keep source", ConflictChoice::KeepSource},
                                   {"keep destination", ConflictChoice::KeepDestination}};

// "\x0a" back to the byte the preview escaped.
std::string unescape(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned value = 0;
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
            std::from_chars(text.data() + i + 2, text.data() + i + 4, value, 16).ptr == text.data() + i + 4) {
            plain += static_cast<char>(value);
            i += 3;
        } else {
            plain += text[i];
        }
    }
    return plain;
}

// The path of an action line after its word: up to the target's arrow, or the size, or the end.
std::string_view pathOf(std::string_view rest) {
    for (const std::string_view arrow : {" -> /", " <-> /"})
        if (const auto at = rest.find(arrow); at != std::string_view::npos) return rest.substr(0, at);
    if (const auto at = rest.rfind("  "); at != std::string_view::npos && rest.ends_with(" bytes"))
        return rest.substr(0, at);
    return rest;
}

bool readMoment(std::string_view text, platform::WallClock& moment) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    long nanoseconds = 0;
    const std::string copy(text);
    if (std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%9ld", &year, &month, &day, &hour, &minute,
                    &second, &nanoseconds) != 7)
        return false;
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    utc.tm_mday = day;
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    moment.seconds = ::timegm(&utc);
    moment.nanoseconds = static_cast<std::int32_t>(nanoseconds);
    return moment.seconds > 0;
}

}  // namespace

// A folder's row is reported with a trailing "/" by some passes and without by others.
std::string EditedPlan::keyOf(RunAction::Kind kind, const std::string& path) {
    std::string_view row = path;
    if (kind == RunAction::Kind::CreateFolder && row.size() > 1 && row.ends_with('/')) row.remove_suffix(1);
    return std::to_string(static_cast<int>(kind)) + '\t' + std::string(row);
}

void EditedPlan::add(RunAction::Kind kind, const std::string& path, ConflictChoice choice) {
    m_rows[keyOf(kind, path)] = choice;
}

bool EditedPlan::holds(RunAction::Kind kind, const std::string& path) const {
    return m_rows.contains(keyOf(kind, path));
}

ConflictChoice EditedPlan::choiceFor(const std::string& path) const {
    const auto row = m_rows.find(keyOf(RunAction::Kind::Conflict, path));
    return row == m_rows.end() ? ConflictChoice::KeepBoth : row->second;
}

bool EditedPlan::changedSince(const platform::FileInfo& info) const {
    if (info.kind == platform::EntryKind::Missing) return false;
    const platform::FileTime& changed = info.changed;
    // At the moment itself too: a change stamped with the coarse clock's tick of the preview's start
    // may have come after it.
    return changed.seconds > madeAt.seconds ||
           (changed.seconds == madeAt.seconds && changed.nanoseconds >= madeAt.nanoseconds);
}

std::string planHeader(std::int32_t position, platform::WallClock madeAt) {
    const std::time_t seconds = static_cast<std::time_t>(madeAt.seconds);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%.*s%d%.*s%04d-%02d-%02dT%02d:%02d:%02d.%09d",
                  static_cast<int>(kHeader.size()), kHeader.data(), position, static_cast<int>(kMade.size()),
                  kMade.data(), utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                  utc.tm_sec, madeAt.nanoseconds);
    return text;
}

bool readPlanText(std::string_view text, EditedPlan& plan, std::int32_t& position, std::string& problem) {
    bool headed = false;
    int number = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.empty() || line.starts_with('#') || line.starts_with("error  ") ||
            line.starts_with("watch "))
            continue;
        const auto fail = [&](const std::string& why) {
            problem = "line " + std::to_string(number) + ": " + why;
            return false;
        };
        if (line.starts_with(kHeader)) {
            const auto made = line.find(kMade);
            const std::string_view digits = line.substr(kHeader.size(), made - kHeader.size());
            if (headed || made == std::string_view::npos ||
                std::from_chars(digits.data(), digits.data() + digits.size(), position).ptr !=
                    digits.data() + digits.size() ||
                !readMoment(line.substr(made + kMade.size()), plan.madeAt))
                return fail(
                    "not a plan's first line (\"plan of watch N made YYYY-MM-DDTHH:MM:SS.NNNNNNNNN\")");
            headed = true;
            continue;
        }
        if (!headed) return fail("the plan's first line is missing");
        const auto gap = line.find("  ");
        if (gap == std::string_view::npos) return fail("no action and path");
        const std::string_view word = line.substr(0, gap);
        const std::string path = unescape(pathOf(line.substr(gap + 2)));
        bool known = false;
        for (const ChoiceWord& choice : kChoices)
            if (word == choice.word) {
                plan.add(RunAction::Kind::Conflict, path, choice.choice);
                known = true;
            }
        for (std::size_t kind = 0; kind < kActionKinds && !known; ++kind)
            if (word == actionWord(static_cast<RunAction::Kind>(kind))) {
                plan.add(static_cast<RunAction::Kind>(kind), path);
                known = true;
            }
        if (!known) return fail("unknown action \"" + std::string(word) + "\"");
    }
    if (!headed) {
        problem = "the plan's first line is missing";
        return false;
    }
    return true;
}

}  // namespace tessel
