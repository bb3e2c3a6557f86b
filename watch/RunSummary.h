#pragma once
// What one watch's run came to, in the forms its readers need: the summary line every run ends with (in
// the log, on tessel-batch's output), the last result a watch remembers beside its other settings (the
// window's list and tessel-batch --list show it), and the notice of a run that needs the user.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "watch/DateTime.h"
#include "watch/RunBasics.h"

namespace tessel {

// How a run ended, from the best to the worst: what a list shows and what decides a notification.
enum class RunOutcome : std::uint8_t { Succeeded, Stopped, Conflict, Failed };

// Failed for a failure or a refused deletion, Conflict for a conflict, Stopped for a run the user
// stopped with nothing worse, Succeeded otherwise.
RunOutcome outcomeOf(const RunResult& result);
// "ok", "stopped", "conflict", "failed": the words of --list, the summary line and the text file.
std::string_view wordOf(RunOutcome outcome);
std::optional<RunOutcome> outcomeOfWord(std::string_view word);
// Whether the user should look at a run that ended so: it failed or met a conflict.
inline bool needsAttention(RunOutcome outcome) {
    return outcome == RunOutcome::Failed || outcome == RunOutcome::Conflict;
}

// What a watch remembers of its last run.
struct LastRunResult {
    TDateTime endedAt = 0;  // local time, as LastRunTime
    double seconds = 0;     // how long the run took
    RunResult counts;       // `stopped` included
    // The first line the run logged that tells of a problem (reportsFailure), without its time stamp;
    // empty when there was none.
    std::string firstProblem;

    RunOutcome outcome() const { return outcomeOf(counts); }
    bool operator==(const LastRunResult&) const = default;
};

// One watch's run of a scheduler call, in the order they ran.
struct WatchRunSummary {
    std::int32_t position = -1;  // in the watch file
    // The watch's name when it ran; where its text file could not be read, its position in digits,
    // which no name is.
    std::string name;
    LastRunResult result;
};

// The message of the summary line a watch's run ends with:
// "Summary of watch docs: failed; 3 copied, 0 moved, 0 deleted, 1 kept as versions, 0 conflicts,
// 1 failed, 0 deletions refused, 18432 bytes, 2.4 s".
std::string summaryMessage(std::string_view name, const LastRunResult& result);

// What the desktop is told of a run that needs the user: the watch and its first problem.
struct RunNotice {
    std::string title;  // "Tessel: docs failed", "Tessel: docs met a conflict"
    std::string body;   // the first problem, then the counts
};
// Nothing for a run that does not need the user.
std::optional<RunNotice> noticeFor(const WatchRunSummary& run);

}  // namespace tessel
