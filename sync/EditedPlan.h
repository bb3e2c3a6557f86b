#pragma once
// A preview's plan as the user edited it: the rows to do (every other row is left out), a choice for
// each conflict, and when the preview began looking. A run given one does those rows and nothing else:
// a row whose files changed since the preview began, and anything the run finds to do that the plan
// does not hold, is left as it is and reported as a failure.

#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/Clock.h"
#include "platform/Folders.h"
#include "sync/RunContext.h"

namespace tessel {

// What the user chose for a conflict of a two-way watch.
enum class ConflictChoice {
    KeepBoth,         // the rule of a run without a plan: the newer wins, the other is kept beside it
    KeepSource,       // the source's file replaces the destination's
    KeepDestination,  // the destination's file replaces the source's
};

struct EditedPlan {
    platform::WallClock madeAt;  // when the preview began looking (platform::fileClockNow)

    // A row the run may do: by its kind and its path, as the preview reported them (RunAction).
    void add(RunAction::Kind kind, const std::string& path, ConflictChoice choice = ConflictChoice::KeepBoth);
    bool holds(RunAction::Kind kind, const std::string& path) const;
    // The choice for the conflict of `path` (as the preview reported it); KeepBoth when none.
    ConflictChoice choiceFor(const std::string& path) const;
    // Whether a file as a run finds it was changed (written, renamed, its attributes set) after the
    // preview began.
    bool changedSince(const platform::FileInfo& info) const;
    std::size_t size() const { return m_rows.size(); }

  private:
    static std::string keyOf(RunAction::Kind kind, const std::string& path);
    std::unordered_map<std::string, ConflictChoice> m_rows;
};

// The preview's first line for a watch (tessel-batch --preview), which a plan file starts with:
// "plan of watch 3 made 2026-12-08T10:30:02.123456789".
std::string planHeader(std::int32_t position, platform::WallClock madeAt);

// Reads a plan as tessel-batch --preview prints it and a user edited it: the header line, then one line
// per row to do (a row's line deleted leaves it out; a conflict's word may be changed to "keep both",
// "keep source" or "keep destination"); total lines, error lines, blank lines and lines starting with
// "#" are skipped. `position` gets the watch the plan is of. False, with `problem` saying which line and
// why, for a text that is no plan.
bool readPlanText(std::string_view text, EditedPlan& plan, std::int32_t& position, std::string& problem);

}  // namespace tessel
