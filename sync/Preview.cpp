#include "sync/Preview.h"

#include <charconv>

#include "watch/EventLog.h"

namespace tessel {

namespace {

std::size_t indexOf(RunAction::Kind kind) {
    return static_cast<std::size_t>(kind);
}

}  // namespace

const char* actionWord(RunAction::Kind kind) {
    switch (kind) {
        case RunAction::Kind::Copy:
            return "copy";
        case RunAction::Kind::Replace:
            return "replace";
        case RunAction::Kind::Move:
            return "move";
        case RunAction::Kind::Delete:
            return "delete";
        case RunAction::Kind::CreateFolder:
            return "create folder";
        case RunAction::Kind::Conflict:
            return "conflict";
        case RunAction::Kind::RefusedDeletion:
            return "refused deletion";
        case RunAction::Kind::RemoveOldVersions:
            return "remove old versions";
        case RunAction::Kind::Rename:
            return "rename";
    }
    return "?";
}

std::string groupedNumber(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    grouped.reserve(digits.size() + digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

bool hasSize(RunAction::Kind kind) {
    return kind != RunAction::Kind::CreateFolder && kind != RunAction::Kind::RemoveOldVersions &&
           kind != RunAction::Kind::Rename;
}

std::string escapePlanText(std::string_view text) {
    // The backslash and ">" first; the control bytes then as in the log.
    std::string plain;
    plain.reserve(text.size());
    for (const char c : text)
        plain += c == '\\' ? std::string_view("\\\\") : c == '>' ? "\\x3e" : std::string_view(&c, 1);
    return escapeControls(plain);
}

std::string unescapePlanText(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned value = 0;
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            plain += '\\';
            ++i;
        } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
                   std::from_chars(text.data() + i + 2, text.data() + i + 4, value, 16).ptr ==
                       text.data() + i + 4) {
            plain += static_cast<char>(value);
            i += 3;
        } else {
            plain += text[i];  // a lone backslash, as plans printed before it was escaped have it
        }
    }
    return plain;
}

std::string actionLine(const RunAction& action) {
    std::string line = actionWord(action.kind);
    line += "  " + escapePlanText(action.path);
    if (!action.target.empty())
        line += (action.kind == RunAction::Kind::Conflict ? " <-> " : " -> ") + escapePlanText(action.target);
    if (hasSize(action.kind)) line += "  " + groupedNumber(action.size) + " bytes";
    if (action.newer == RunAction::Side::Source) line += ", source newer";
    if (action.newer == RunAction::Side::Destination) line += ", destination newer";
    return line;
}

void PlanTotals::add(const RunAction& action) {
    ++count[indexOf(action.kind)];
    bytes[indexOf(action.kind)] += action.size;
}

std::int64_t PlanTotals::actions() const {
    std::int64_t sum = 0;
    for (const std::int64_t n : count) sum += n;
    return sum;
}

std::string totalsLine(const PlanTotals& totals) {
    // In the order of RunAction::Kind, one and many.
    static constexpr const char* kNouns[kActionKinds][2] = {
        {"copy", "copies"},
        {"replacement", "replacements"},
        {"move", "moves"},
        {"deletion", "deletions"},
        {"new folder", "new folders"},
        {"conflict", "conflicts"},
        {"refused deletion", "refused deletions"},
        {"removal of old versions", "removals of old versions"},
        {"rename", "renames"}};
    std::string line;
    for (std::size_t kind = 0; kind < kActionKinds; ++kind) {
        if (totals.count[kind] == 0) continue;
        if (!line.empty()) line += ", ";
        line += groupedNumber(static_cast<std::uint64_t>(totals.count[kind])) + " " +
                kNouns[kind][totals.count[kind] == 1 ? 0 : 1];
        if (hasSize(static_cast<RunAction::Kind>(kind)))
            line += " (" + groupedNumber(totals.bytes[kind]) + " bytes)";
    }
    return line.empty() ? "nothing to do" : line;
}

}  // namespace tessel
