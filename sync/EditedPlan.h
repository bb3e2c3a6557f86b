#pragma once
// A preview's plan as the user edited it: the rows to do (every other row is left out), a choice for
// each conflict, and when the preview began looking. A run given one does those rows and nothing else:
// a row whose files changed since the preview began, and anything the run finds to do that the plan
// does not hold, is left as it is and reported as a failure.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

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

// A row of the plan: what the preview reported (RunAction), with the user's choice for a conflict and,
// where the row showed one, the size of the file it found.
struct PlanRow {
    RunAction::Kind kind = RunAction::Kind::Copy;
    std::string path;
    ConflictChoice choice = ConflictChoice::KeepBoth;
    std::optional<std::uint64_t> size;
};

// Read-only once the run starts: any thread may ask it.
struct EditedPlan {
    platform::WallClock madeAt;  // when the preview began looking (platform::fileClockNow)

    // A row the run may do: by its kind and its path, as the preview reported them (RunAction).
    void add(RunAction::Kind kind, const std::string& path, ConflictChoice choice = ConflictChoice::KeepBoth,
             std::optional<std::uint64_t> size = std::nullopt);
    bool holds(RunAction::Kind kind, const std::string& path) const { return row(kind, path) != nullptr; }
    const PlanRow* row(RunAction::Kind kind, const std::string& path) const;
    // Every row, in the order they were added.
    const std::vector<PlanRow>& rows() const { return m_rows; }
    // The choice for the conflict of `path` (as the preview reported it); KeepBoth when none.
    ConflictChoice choiceFor(const std::string& path) const;
    // Whether a file as a run finds it was changed (written, renamed, its attributes set) after the
    // preview began.
    bool changedSince(const platform::FileInfo& info) const;
    std::size_t size() const { return m_rows.size(); }

    // The one text for a row of a kind and path: a folder with or without its trailing "/".
    static std::string keyOf(RunAction::Kind kind, const std::string& path);

  private:
    std::vector<PlanRow> m_rows;
    std::unordered_map<std::string, std::size_t> m_index;  // keyOf a row: where it is in m_rows
};

// The watch a plan file is of: its position in the watch file and, in plans made since it was
// printed, its name (a plan of watch 3 must not run whatever watch is third once another is removed).
struct PlanWatch {
    std::int32_t position = -1;
    std::optional<std::string> name;
};

// The preview's first line for a watch (tessel-batch --preview), which a plan file starts with:
// "plan of watch 3 (photos) made 2026-12-08T10:30:02.123456789".
std::string planHeader(std::int32_t position, const std::string& name, platform::WallClock madeAt);

// Reads a plan as tessel-batch --preview prints it and a user edited it: the header line, then one line
// per row to do (a row's line deleted leaves it out; a conflict's word may be changed to "keep both",
// "keep source" or "keep destination"); total lines, error lines, blank lines and lines starting with
// "#" are skipped. A header without the watch's name (older plans) is read too. False, with `problem`
// saying which line and why, for a text that is no plan.
bool readPlanText(std::string_view text, EditedPlan& plan, PlanWatch& watch, std::string& problem);

}  // namespace tessel
