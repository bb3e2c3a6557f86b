#include "watch/RunSummary.h"

#include <charconv>

namespace tessel {

namespace {

constexpr std::string_view kOutcomeWords[] = {"ok", "stopped", "conflict", "failed"};

std::string counted(int count, const char* what) {
    return std::to_string(count) + " " + what;
}

}  // namespace

RunOutcome outcomeOf(const RunResult& result) {
    if (result.failed > 0 || result.refusedDeletions > 0) return RunOutcome::Failed;
    if (result.conflicts > 0) return RunOutcome::Conflict;
    if (result.stopped) return RunOutcome::Stopped;
    return RunOutcome::Succeeded;
}

std::string_view wordOf(RunOutcome outcome) {
    return kOutcomeWords[static_cast<std::size_t>(outcome)];
}

std::optional<RunOutcome> outcomeOfWord(std::string_view word) {
    for (std::size_t i = 0; i < std::size(kOutcomeWords); ++i)
        if (kOutcomeWords[i] == word) return static_cast<RunOutcome>(i);
    return std::nullopt;
}

std::string summaryMessage(std::string_view name, const LastRunResult& result) {
    const RunResult& counts = result.counts;
    // Whatever the user's regional settings say of numbers: a log line reads the same everywhere.
    char duration[32];
    const double clamped = result.seconds >= 0 && result.seconds < 1e12 ? result.seconds : 0.0;
    const auto written =
        std::to_chars(duration, duration + sizeof duration, clamped, std::chars_format::fixed, 1);
    const std::string seconds(duration, written.ptr);
    std::string message = "Summary of watch ";
    message.append(name);
    message += ": ";
    message.append(wordOf(result.outcome()));
    message += "; " + counted(counts.copied, "copied") + ", " + counted(counts.moved, "moved") + ", " +
               counted(counts.deleted, "deleted") + ", " + counted(counts.versionsKept, "kept as versions") +
               ", " + counted(counts.conflicts, "conflicts") + ", " + counted(counts.failed, "failed") +
               ", " + counted(counts.refusedDeletions, "deletions refused") + ", " +
               std::to_string(counts.bytesCopied) + " bytes, " + seconds + " s";
    return message;
}

std::optional<RunNotice> noticeFor(const WatchRunSummary& run) {
    const RunOutcome outcome = run.result.outcome();
    if (!needsAttention(outcome)) return std::nullopt;
    const RunResult& counts = run.result.counts;
    RunNotice notice;
    notice.title = "Tessel: " + run.name + (outcome == RunOutcome::Failed ? " failed" : " met a conflict");
    if (!run.result.firstProblem.empty()) notice.body = run.result.firstProblem + "\n";
    notice.body += counted(counts.copied + counts.moved, "copied") + ", " + counted(counts.failed, "failed");
    if (counts.refusedDeletions > 0)
        notice.body += ", " + counted(counts.refusedDeletions, "deletions refused");
    if (counts.conflicts > 0) notice.body += ", " + counted(counts.conflicts, "conflicts");
    return notice;
}

}  // namespace tessel
