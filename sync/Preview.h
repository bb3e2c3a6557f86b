#pragma once
// What a preview shows: one line per action a run would take, and the totals per kind of action.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "sync/RunContext.h"

namespace tessel {

inline constexpr std::size_t kActionKinds = static_cast<std::size_t>(RunAction::Kind::Rename) + 1;

// The word for a kind of action, as the preview lists it ("copy", "replace", "delete", ...).
const char* actionWord(RunAction::Kind kind);

// Whether an action of the kind moves a file's bytes, and so has a size to show.
bool hasSize(RunAction::Kind kind);

// "copy  /src/a.txt -> /dst/a.txt  4096 bytes" and the like, a plan's row; its paths escaped
// (escapePlanText).
std::string actionLine(const RunAction& action);

// A path or name as a plan's row shows it: a control character as "\x0a", a ">" as "\x3e" (an arrow in
// a name would end the path there) and a backslash as "\\", so that every text has its own row and
// unescapePlanText gives it back. The log's lines escape only control characters (escapeControls).
std::string escapePlanText(std::string_view text);
std::string unescapePlanText(std::string_view text);

// How many actions of each kind, and how many bytes they move.
struct PlanTotals {
    std::array<std::int64_t, kActionKinds> count{};
    std::array<std::uint64_t, kActionKinds> bytes{};
    void add(const RunAction& action);
    std::int64_t actions() const;
};

// "3 copy (12,288 bytes), 1 delete (4,096 bytes), ..." for the kinds that occur; "nothing to do".
std::string totalsLine(const PlanTotals& totals);

// "12,288": digits in groups of three, as people read large counts.
std::string groupedNumber(std::uint64_t value);

// Keeps what a preview tells: the actions in order, the error lines, the totals.
class PlanRecorder : public RunObserver {
  public:
    void action(const RunAction& action) override {
        actions.push_back(action);
        totals.add(action);
    }
    void error(const std::string& line) override { errors.push_back(line); }

    std::vector<RunAction> actions;
    std::vector<std::string> errors;
    PlanTotals totals;
    platform::WallClock madeAt{};  // when the preview began looking, for a plan edited from it
};

}  // namespace tessel
