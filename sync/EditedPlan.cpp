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

// The size at the end of an action line ("  12,288 bytes", then maybe whose file is newer), cut off
// `rest`; nothing when the line shows none.
std::optional<std::uint64_t> cutSize(std::string_view& rest) {
    std::string_view end = rest;
    for (const std::string_view newer : {", source newer", ", destination newer"})
        if (end.ends_with(newer)) end.remove_suffix(newer.size());
    const auto at = end.rfind("  ");
    if (at == std::string_view::npos || !end.ends_with(" bytes")) return std::nullopt;
    std::string digits;
    for (const char c : end.substr(at + 2, end.size() - at - 2 - 6))
        if (c != ',') digits += c;
    std::uint64_t size = 0;
    if (digits.empty() || std::from_chars(digits.data(), digits.data() + digits.size(), size).ptr !=
                              digits.data() + digits.size())
        return std::nullopt;
    rest = rest.substr(0, at);
    return size;
}

// The path of an action line after its word and size: up to the target's arrow (no path holds one: a
// ">" in it is escaped), or the end.
std::string_view pathOf(std::string_view rest) {
    for (const std::string_view arrow : {" -> /", " <-> /"})
        if (const auto at = rest.find(arrow); at != std::string_view::npos) return rest.substr(0, at);
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

// "3 (photos) made 2026-..." after the header's start: the position, the name where there is one
// (older plans have none) and the moment.
bool readHeader(std::string_view line, PlanWatch& watch, platform::WallClock& madeAt) {
    const auto made = line.rfind(kMade);
    if (made == std::string_view::npos || !readMoment(line.substr(made + kMade.size()), madeAt)) return false;
    std::string_view head = line.substr(0, made);
    const auto open = head.find(" (");
    if (open != std::string_view::npos) {
        if (!head.ends_with(')')) return false;
        watch.name = unescapePlanText(head.substr(open + 2, head.size() - open - 3));
        head = head.substr(0, open);
    }
    return !head.empty() && std::from_chars(head.data(), head.data() + head.size(), watch.position).ptr ==
                                head.data() + head.size();
}

}  // namespace

// A folder's row is reported with a trailing "/" by some passes and without by others.
std::string EditedPlan::keyOf(RunAction::Kind kind, const std::string& path) {
    std::string_view row = path;
    if (kind == RunAction::Kind::CreateFolder && row.size() > 1 && row.ends_with('/')) row.remove_suffix(1);
    return std::to_string(static_cast<int>(kind)) + '\t' + std::string(row);
}

void EditedPlan::add(RunAction::Kind kind, const std::string& path, ConflictChoice choice,
                     std::optional<std::uint64_t> size) {
    const auto [at, added] = m_index.try_emplace(keyOf(kind, path), m_rows.size());
    if (added)
        m_rows.push_back({kind, path, choice, size});
    else
        m_rows[at->second] = {kind, path, choice, size};
}

const PlanRow* EditedPlan::row(RunAction::Kind kind, const std::string& path) const {
    const auto at = m_index.find(keyOf(kind, path));
    return at == m_index.end() ? nullptr : &m_rows[at->second];
}

ConflictChoice EditedPlan::choiceFor(const std::string& path) const {
    const PlanRow* const conflict = row(RunAction::Kind::Conflict, path);
    return conflict == nullptr ? ConflictChoice::KeepBoth : conflict->choice;
}

bool EditedPlan::changedSince(const platform::FileInfo& info) const {
    if (info.kind == platform::EntryKind::Missing) return false;
    const platform::FileTime& changed = info.changed;
    // At the moment itself too: a change stamped with the coarse clock's tick of the preview's start
    // may have come after it.
    return changed.seconds > madeAt.seconds ||
           (changed.seconds == madeAt.seconds && changed.nanoseconds >= madeAt.nanoseconds);
}

std::string planHeader(std::int32_t position, const std::string& name, platform::WallClock madeAt) {
    const std::time_t seconds = static_cast<std::time_t>(madeAt.seconds);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char moment[64];
    std::snprintf(moment, sizeof moment, "%04d-%02d-%02dT%02d:%02d:%02d.%09d", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, madeAt.nanoseconds);
    return std::string(kHeader) + std::to_string(position) + " (" + escapePlanText(name) + ")" +
           std::string(kMade) + moment;
}

bool readPlanText(std::string_view text, EditedPlan& plan, PlanWatch& watch, std::string& problem) {
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
            if (headed || !readHeader(line.substr(kHeader.size()), watch, plan.madeAt))
                return fail(
                    "not a plan's first line (\"plan of watch N (NAME) made "
                    "YYYY-MM-DDTHH:MM:SS.NNNNNNNNN\")");
            headed = true;
            continue;
        }
        if (!headed) return fail("the plan's first line is missing");
        const auto gap = line.find("  ");
        if (gap == std::string_view::npos) return fail("no action and path");
        const std::string_view word = line.substr(0, gap);
        std::optional<RunAction::Kind> kind;
        ConflictChoice chosen = ConflictChoice::KeepBoth;
        for (const ChoiceWord& choice : kChoices)
            if (word == choice.word) {
                kind = RunAction::Kind::Conflict;
                chosen = choice.choice;
            }
        for (std::size_t each = 0; each < kActionKinds && !kind; ++each)
            if (word == actionWord(static_cast<RunAction::Kind>(each)))
                kind = static_cast<RunAction::Kind>(each);
        if (!kind) return fail("unknown action \"" + std::string(word) + "\"");
        std::string_view rest = line.substr(gap + 2);
        const std::optional<std::uint64_t> size = hasSize(*kind) ? cutSize(rest) : std::nullopt;
        plan.add(*kind, unescapePlanText(pathOf(rest)), chosen, size);
    }
    if (!headed) {
        problem = "the plan's first line is missing";
        return false;
    }
    return true;
}

}  // namespace tessel
