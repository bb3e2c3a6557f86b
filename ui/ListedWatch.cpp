#include "ui/ListedWatch.h"

#include <QDateTime>
#include <limits>

#include "sync/Scheduler.h"
#include "ui/RunTexts.h"
#include "ui/Texts.h"
#include "watch/WatchCheck.h"
#include "watch/WatchFile.h"
#include "watch/WatchStore.h"

using namespace tessel;

namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();

}  // namespace

std::vector<ListedWatch> readListedWatches(const std::string& watchFile) {
    std::vector<ListedWatch> listed;
    tessel::WatchList stored;
    FileProblem problem;
    if (loadWatches(watchFile, stored, problem)) {
        for (StoredWatch& watch : stored.watches)
            listed.push_back({watch.record, std::move(watch.watch.name), std::move(watch.watch.lastResult)});
        return listed;
    }
    std::vector<TWatchRec> records;
    readAllWatchRecs(watchFile, records);
    std::vector<std::string> taken;
    for (const TWatchRec& record : records) {
        taken.push_back(proposeName(getText(record.SourceDir), taken));
        listed.push_back({record, taken.back(), std::nullopt});
    }
    return listed;
}

QString shownDateTime(TDateTime moment, std::optional<TDateTime> today) {
    const platform::LocalTime local = decodeDateTime(moment);
    const QDate date(local.year, local.month, local.day);
    const QTime time(local.hour, local.minute, local.second);
    if (today) {
        const platform::LocalTime now = decodeDateTime(*today);
        if (date == QDate(now.year, now.month, now.day))
            return shownLocale().toString(time, QLocale::ShortFormat);
    }
    return shownLocale().toString(QDateTime(date, time), QLocale::ShortFormat);
}

ListedValue lastRunValue(const ListedWatch& watch, TDateTime now) {
    if (!watch.lastResult) return {QString(), -kNever};
    return {shownDateTime(watch.lastResult->endedAt, now), watch.lastResult->endedAt};
}

ListedValue resultValue(const ListedWatch& watch) {
    if (!watch.lastResult) return {QString(), -1};
    const RunOutcome outcome = watch.lastResult->outcome();
    return {resultWord(outcome), static_cast<double>(outcome)};
}

ListedValue nextRunValue(const TWatchRec& record, TDateTime now) {
    if (record.RunMode == rmOnStart) return {ListedWatch::tr("At start"), kNever};
    if (record.RunMode != rmTimer) return {QString(), kNever};
    const std::optional<TDateTime> next = nextRunTime(record, now);
    if (!next) return {ListedWatch::tr("Never"), kNever};
    if (*next <= now) return {ListedWatch::tr("Due now"), now};
    return {shownDateTime(*next, now), *next};
}

QString lastResultDetails(const ListedWatch& watch) {
    if (!watch.lastResult) return {};
    const LastRunResult& last = *watch.lastResult;
    //: The tip of a watch's last result: how it went, when it ended, how long it took.
    QString details = ListedWatch::tr("%1, %2, after %3 s")
                          .arg(resultWord(last.outcome()), shownDateTime(last.endedAt),
                               shownLocale().toString(last.seconds, 'f', 1));
    if (!last.firstProblem.empty()) details += QLatin1Char('\n') + fromBytes(last.firstProblem);
    return details + QLatin1Char('\n') + countsText(last.counts);
}
