#pragma once
// What the window says of runs, in its own language but for the log line: a run's summary for the status
// bar and the tray's tooltip, each watch's part of a pass, the notice of runs that need the user, and
// the words of a result.

#include <QCoreApplication>
#include <QLocale>
#include <QString>
#include <optional>
#include <vector>

#include "watch/RunBasics.h"
#include "watch/RunSummary.h"

class RunTexts {
    Q_DECLARE_TR_FUNCTIONS(RunTexts)
};

// Numbers and dates as the user's locale writes them, also where the process runs in the C locale.
QLocale shownLocale();

// A run's summary for the log: what was done and how long it took. In English whatever the window's
// language, as every log line is.
QString summaryLine(const tessel::RunResult& result, double seconds);
// What a run did: copied always, failed always or only where something failed, the rest where there is
// something to say.
enum class FailedCount { Always, WhereAny };
QString countsText(const tessel::RunResult& result, FailedCount failed = FailedCount::Always);
// The same for the status bar, after how long it took.
QString summaryText(const tessel::RunResult& result, double seconds);
// The few words of it that fit the tray's tooltip.
QString shortSummary(const tessel::RunResult& result);

// "OK", "Stopped", "Conflict", "Failed".
QString resultWord(tessel::RunOutcome outcome);
// One watch of a pass, short: "docs: 3 copied", "photos: Failed, 3 copied, 1 failed".
QString watchBrief(const tessel::WatchRunSummary& run);
// A pass over several watches for the status bar, one brief per watch: first those that did not end
// well, then the rest, each in the order they ran.
QString passSummaryText(const std::vector<tessel::WatchRunSummary>& runs, bool stopped, double seconds);
// The same at length, a line per watch with its time and first problem, and their total: the status
// bar's tip.
QString passSummaryDetails(const std::vector<tessel::WatchRunSummary>& runs, const tessel::RunResult& total,
                           double seconds);

// The tray's notice after runs of which some failed or met a conflict: the watch and its first problem,
// or how many watches and the first of them.
struct RunNoticeText {
    QString title;
    QString body;
    // The watch the notice names first: a click on the notice shows its run in the log.
    tessel::WatchRunSummary run;
};
// Nothing when no run needs the user (noticeFor).
std::optional<RunNoticeText> noticeText(const std::vector<tessel::WatchRunSummary>& runs);
