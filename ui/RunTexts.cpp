#include "ui/RunTexts.h"

#include <QStringList>

#include "ui/Sizes.h"
#include "ui/Texts.h"

using namespace tessel;

QLocale shownLocale() {
    QLocale locale;
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale;
}

QString summaryLine(const RunResult& result, double seconds) {
    QString line = QStringLiteral(
                       "%1 after %2 s: %3 copied, %4 moved, %5 deleted, %6 kept as versions, "
                       "%7 conflicts, %8 failed")
                       .arg(result.stopped ? QStringLiteral("Run stopped") : QStringLiteral("Run ended"))
                       .arg(seconds, 0, 'f', 1)
                       .arg(result.copied)
                       .arg(result.moved)
                       .arg(result.deleted)
                       .arg(result.versionsKept)
                       .arg(result.conflicts)
                       .arg(result.failed);
    if (result.refusedDeletions > 0)
        line += QStringLiteral(", %1 deletions refused").arg(result.refusedDeletions);
    return line;
}

QString countsText(const RunResult& result, FailedCount failed) {
    const QLocale locale = shownLocale();
    // Copied and failed always; the rest where there is something to say, so that it fits the bar.
    QStringList parts{result.bytesCopied > 0
                          ? RunTexts::tr("%1 copied (%2)")
                                .arg(locale.toString(result.copied), sizeText(result.bytesCopied, locale))
                          : RunTexts::tr("%1 copied").arg(locale.toString(result.copied))};
    const auto add = [&](int count, const QString& text) {
        if (count > 0) parts << text.arg(locale.toString(count));
    };
    add(result.moved, RunTexts::tr("%1 moved"));
    add(result.deleted, RunTexts::tr("%1 deleted"));
    add(result.versionsKept, RunTexts::tr("%1 kept as versions"));
    add(result.conflicts, RunTexts::tr("%1 conflicts"));
    add(result.refusedDeletions, RunTexts::tr("%1 deletions refused"));
    if (failed == FailedCount::Always || result.failed > 0)
        parts << RunTexts::tr("%1 failed").arg(locale.toString(result.failed));
    return parts.join(QStringLiteral(", "));
}

namespace {

QString secondsText(double seconds) {
    return shownLocale().toString(seconds, 'f', 1);
}

}  // namespace

QString summaryText(const RunResult& result, double seconds) {
    return (result.stopped ? RunTexts::tr("Stopped after %1 s: %2") : RunTexts::tr("Done in %1 s: %2"))
        .arg(secondsText(seconds), countsText(result));
}

QString shortSummary(const RunResult& result) {
    const QLocale locale = shownLocale();
    QString text = RunTexts::tr("%1 copied, %2 failed")
                       .arg(locale.toString(result.copied + result.moved), locale.toString(result.failed));
    if (result.stopped) text = RunTexts::tr("stopped, ") + text;
    return text;
}

QString resultWord(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Succeeded:
            return RunTexts::tr("OK");
        case RunOutcome::Stopped:
            return RunTexts::tr("Stopped");
        case RunOutcome::Conflict:
            return RunTexts::tr("Conflict");
        case RunOutcome::Failed:
            return RunTexts::tr("Failed");
    }
    return {};
}

QString watchBrief(const WatchRunSummary& run) {
    const RunOutcome outcome = run.result.outcome();
    //: One watch of a pass over several that went well: its name, what it did.
    if (outcome == RunOutcome::Succeeded)
        return RunTexts::tr("%1: %2").arg(fromBytes(run.name),
                                          countsText(run.result.counts, FailedCount::WhereAny));
    //: One watch of a pass over several: its name, how its run went, what it did.
    return RunTexts::tr("%1: %2, %3")
        .arg(fromBytes(run.name), resultWord(outcome), countsText(run.result.counts));
}

QString passSummaryText(const std::vector<WatchRunSummary>& runs, bool stopped, double seconds) {
    // What went wrong first: a long text is shortened in its middle.
    QStringList briefs;
    QStringList good;
    for (const WatchRunSummary& run : runs)
        (run.result.outcome() == RunOutcome::Succeeded ? good : briefs) << watchBrief(run);
    briefs << good;
    const int count = static_cast<int>(runs.size());
    //: A pass over several watches, then each watch's brief: "3 watches in 2.4 s: docs: OK, ...; ...".
    return (stopped ? RunTexts::tr("%n watches, stopped after %1 s: %2", nullptr, count)
                    : RunTexts::tr("%n watches in %1 s: %2", nullptr, count))
        .arg(secondsText(seconds), briefs.join(QStringLiteral("; ")));
}

QString passSummaryDetails(const std::vector<WatchRunSummary>& runs, const RunResult& total, double seconds) {
    QStringList lines;
    for (const WatchRunSummary& run : runs) {
        //: A watch's line in the tip of a pass's summary: name, result, its own time, what it did.
        QString line = RunTexts::tr("%1: %2 in %3 s, %4")
                           .arg(fromBytes(run.name), resultWord(run.result.outcome()),
                                secondsText(run.result.seconds), countsText(run.result.counts));
        if (!run.result.firstProblem.empty())
            line += QStringLiteral("\n    ") + fromBytes(run.result.firstProblem);
        lines << line;
    }
    lines << RunTexts::tr("Together: %1").arg(summaryText(total, seconds));
    return lines.join(QLatin1Char('\n'));
}

std::optional<RunNoticeText> noticeText(const std::vector<WatchRunSummary>& runs) {
    std::vector<const WatchRunSummary*> noticed;
    for (const WatchRunSummary& run : runs)
        if (noticeFor(run)) noticed.push_back(&run);
    if (noticed.empty()) return std::nullopt;
    const WatchRunSummary& first = *noticed.front();
    const QString name = fromBytes(first.name);
    const bool failed = first.result.outcome() == RunOutcome::Failed;
    const QString problem = fromBytes(first.result.firstProblem);
    RunNoticeText notice;
    notice.run = first;
    if (noticed.size() == 1) {
        notice.title = failed ? RunTexts::tr("Tessel: %1 failed").arg(name)
                              : RunTexts::tr("Tessel: %1 met a conflict").arg(name);
        notice.body = problem.isEmpty() ? QString() : problem + QLatin1Char('\n');
    } else {
        notice.title =
            RunTexts::tr("Tessel: %n watches need your attention", nullptr, static_cast<int>(noticed.size()));
        const QString what = failed ? RunTexts::tr("%1 failed", "a watch").arg(name)
                                    : RunTexts::tr("%1 met a conflict", "a watch").arg(name);
        notice.body = problem.isEmpty() ? what + QLatin1Char('\n')
                                        : what + QStringLiteral(": ") + problem + QLatin1Char('\n');
    }
    notice.body += countsText(first.result.counts);
    return notice;
}
