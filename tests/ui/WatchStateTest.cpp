// The state of every watch at a glance: the list's columns of when each watch last ran, how that went
// and when it runs next, sorted like the others; the picture of a watch whose last run failed, until its
// next clean run; the tray's notice that names the watch and its first problem, and its click to the
// run's lines in the log; each watch's summary after a pass over several.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QHeaderView>
#include <QLocale>
#include <QPlainTextEdit>
#include <QSystemTrayIcon>
#include <QTextBlock>
#include <QTimer>
#include <QTranslator>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "sync/Scheduler.h"
#include "ui/LogViewer.h"
#include "ui/MainWindow.h"
#include "ui/Pictures.h"
#include "ui/RunTexts.h"
#include "ui/RunView.h"
#include "ui/StatusBar.h"
#include "ui/TrayIcon.h"
#include "ui/UiTestSupport.h"
#include "ui/WatchList.h"
#include "ui/WindowCommands.h"
#include "watch/WatchFile.h"
#include "watch/WatchStore.h"

namespace tessel {
namespace {

using Order = std::vector<int>;
using test::FakeDialogs;
using test::makeWatch;
using test::TempDir;

TDateTime at(int year, int month, int day, int hour, int minute) {
    return encodeDateTime({year, month, day, hour, minute, 0, 0});
}

class WatchStateTest : public ::testing::Test {
  protected:
    WatchStateTest() {
        // Dates and times as English writes them, whatever the machine's language.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        window.context().WatchFilePath = dir / "WatchDef.wth";
        window.context().LogFilePath = dir / "WatchLog.Log";
    }
    ~WatchStateTest() override { QLocale::setDefault(m_locale); }

    // A watch named `name` (its source folder's name) over files f0.txt, f1.txt, ... into <name>-copy.
    TWatchRec watchOver(const std::string& name, int files, std::uint8_t runMode = rmManual,
                        std::uint8_t period = pd1Hour) {
        test::makeFolders(dir / name);
        for (int i = 0; i < files; ++i)
            test::writeFile(dir / (name + "/f" + std::to_string(i) + ".txt"), name + std::to_string(i));
        return makeWatch(dir / name, dir / (name + "-copy"), runMode, period);
    }
    // A folder where the copy of file f<i> of watch `name` would go, in place of an earlier copy:
    // copying it fails.
    void blockCopy(const std::string& name, int i) {
        unblockCopy(name, i);
        test::makeFolders(dir / (name + "-copy/f" + std::to_string(i) + ".txt/in-the-way"));
    }
    void unblockCopy(const std::string& name, int i) {
        std::filesystem::remove_all(dir / (name + "-copy/f" + std::to_string(i) + ".txt"));
    }
    void runNow(int watch) {
        window.watchList().selectWatch(watch);
        window.commands().checkSelectedWatchNow();
        test::waitForRun(window);
    }

    ::WatchList& list() const { return window.watchList(); }
    QTreeWidgetItem& row(int watch) const { return *list().topLevelItem(list().rowOfWatch(watch)); }
    QString cell(int watch, int column) const { return row(watch).text(column); }
    int picture(int watch) const {
        return row(watch).data(::WatchList::StatusColumn, ::WatchList::kPictureRole).toInt();
    }
    Order shownOrder() const {
        Order order;
        for (int i = 0; i < list().topLevelItemCount(); ++i) order.push_back(list().watchAtRow(i));
        return order;
    }
    QString statusText() const { return window.runView().statusBar()->panelText(0); }
    QString statusDetails() const { return window.runView().statusBar()->panelLabel(0)->details(); }
    // The last line of the log whose message starts so, as the log file has it.
    QString lastLogLine(const std::string& start) const {
        QString found;
        for (const QString& line : QString::fromStdString(test::readFile(dir / "WatchLog.Log")).split("\r\n"))
            if (line.contains(QString::fromStdString(": " + start))) found = line;
        return found;
    }

    TempDir dir;
    FakeDialogs dialogs;
    MainWindow window{dialogs};

  private:
    QLocale m_locale;
};

TEST_F(WatchStateTest, TheColumnsShowWhatEachWatchLastDidAndWhenItRunsNextAndSortLikeTheOthers) {
    test::FixedClock clock(platform::LocalTime{2026, 3, 5, 12, 0, 0, 0});
    struct Watch {
        std::string name;
        std::uint8_t runMode;
        std::uint8_t period;
        TDateTime lastRunTime;
        std::optional<RunOutcome> result;
        TDateTime endedAt;
    };
    const std::vector<Watch> watches = {
        {"docs", rmTimer, pd1Hour, at(2026, 3, 5, 11, 30), RunOutcome::Succeeded, at(2026, 3, 5, 11, 30)},
        {"photos", rmTimer, pdOnTime, at(2026, 3, 5, 8, 1), RunOutcome::Failed, at(2026, 3, 5, 8, 1)},
        {"music", rmManual, pd1Hour, at(2026, 3, 1, 9, 0), std::nullopt, 0},
        {"notes", rmOnStart, pd1Hour, at(2026, 3, 4, 22, 15), RunOutcome::Conflict, at(2026, 3, 4, 22, 15)},
        {"old", rmTimer, pd10Minutes, at(2026, 3, 1, 10, 0), RunOutcome::Stopped, at(2026, 3, 1, 10, 0)},
        {"odd", rmTimer, pdOnTime + 1, at(2026, 3, 1, 10, 0), std::nullopt, 0},
    };
    std::vector<TWatchRec> records;
    for (const Watch& watch : watches) {
        TWatchRec record = watchOver(watch.name, 0, watch.runMode, watch.period);
        record.LastRunTime = watch.lastRunTime;
        record.OnTime = at(1899, 12, 30, 8, 0);
        records.push_back(record);
    }
    test::writeWatches(window.context(), window.context().WatchFilePath, records);
    records = test::storedWatches(window.context().WatchFilePath);
    ASSERT_EQ(records.size(), watches.size());
    for (std::size_t i = 0; i < watches.size(); ++i) {
        if (!watches[i].result) continue;
        LastRunResult last;
        last.endedAt = watches[i].endedAt;
        last.seconds = 2.5;
        last.counts.copied = 3;
        last.counts.failed = *watches[i].result == RunOutcome::Failed ? 1 : 0;
        last.counts.conflicts = *watches[i].result == RunOutcome::Conflict ? 2 : 0;
        last.counts.stopped = *watches[i].result == RunOutcome::Stopped;
        if (last.counts.failed > 0) last.firstProblem = "Error copying file /x: Permission denied";
        std::string name;
        FileProblem problem;
        ASSERT_EQ(storeLastResult(window.context().WatchFilePath, static_cast<std::int32_t>(i), records[i],
                                  last, name, problem),
                  StoreResult::Stored);
    }
    window.fillWatchList();

    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const auto time = [&](int hour, int minute) {
        return english.toString(QTime(hour, minute), QLocale::ShortFormat);
    };
    const auto dateTime = [&](int month, int day, int hour, int minute) {
        return english.toString(QDateTime(QDate(2026, month, day), QTime(hour, minute)),
                                QLocale::ShortFormat);
    };
    struct Shown {
        QString lastRun, result, nextRun;
        int picture;
    };
    // Today's moments by their time alone; a failed or conflicting last run in the picture.
    const std::vector<Shown> expected = {
        {time(11, 30), "OK", time(12, 30), GetSinhroWatchType(records[0])},
        {time(8, 1), "Failed", dateTime(3, 6, 8, 0), kAttentionPicture},
        {"", "", "", GetSinhroWatchType(records[2])},
        {dateTime(3, 4, 22, 15), "Conflict", "At start", kAttentionPicture},
        {dateTime(3, 1, 10, 0), "Stopped", "Due now", GetSinhroWatchType(records[4])},
        {"", "", "Never", GetSinhroWatchType(records[5])},
    };
    for (int i = 0; i < static_cast<int>(watches.size()); ++i) {
        SCOPED_TRACE(watches[static_cast<std::size_t>(i)].name);
        const Shown& shown = expected[static_cast<std::size_t>(i)];
        EXPECT_EQ(cell(i, ::WatchList::NameColumn).toStdString(), watches[static_cast<std::size_t>(i)].name);
        EXPECT_EQ(cell(i, ::WatchList::LastRunColumn), shown.lastRun);
        EXPECT_EQ(cell(i, ::WatchList::ResultColumn), shown.result);
        EXPECT_EQ(cell(i, ::WatchList::NextRunColumn), shown.nextRun);
        EXPECT_EQ(picture(i), shown.picture);
        EXPECT_EQ(row(i).font(::WatchList::ResultColumn).bold(), shown.picture == kAttentionPicture);
    }
    EXPECT_TRUE(
        row(1).toolTip(::WatchList::ResultColumn).contains("Error copying file /x: Permission denied"));
    EXPECT_TRUE(
        row(1).toolTip(::WatchList::StatusColumn).contains("Error copying file /x: Permission denied"));
    EXPECT_TRUE(row(0).toolTip(::WatchList::StatusColumn).isEmpty());
    EXPECT_EQ(list().header()->visualIndex(::WatchList::NameColumn), 1) << "the name after the status";

    struct Sorting {
        int column;
        Qt::SortOrder order;
        Order shown;
    };
    for (const Sorting& c : std::vector<Sorting>{
             {::WatchList::NameColumn, Qt::AscendingOrder, {0, 2, 3, 5, 4, 1}},
             {::WatchList::NameColumn, Qt::DescendingOrder, {1, 4, 5, 3, 2, 0}},
             // Never run: long ago. Watches alike in the order of the watch file.
             {::WatchList::LastRunColumn, Qt::AscendingOrder, {2, 5, 4, 3, 1, 0}},
             {::WatchList::LastRunColumn, Qt::DescendingOrder, {0, 1, 3, 4, 5, 2}},
             // From the best to the worst, before them those without a result.
             {::WatchList::ResultColumn, Qt::AscendingOrder, {2, 5, 0, 4, 3, 1}},
             {::WatchList::ResultColumn, Qt::DescendingOrder, {1, 3, 4, 0, 5, 2}},
             // Due first; not on the timer, or never, last.
             {::WatchList::NextRunColumn, Qt::AscendingOrder, {4, 0, 1, 2, 3, 5}},
             {::WatchList::NextRunColumn, Qt::DescendingOrder, {5, 3, 2, 1, 0, 4}},
         }) {
        SCOPED_TRACE(testing::Message()
                     << "column " << c.column << (c.order == Qt::AscendingOrder ? " up" : " down"));
        list().sortByColumn(c.column, c.order);
        EXPECT_EQ(shownOrder(), c.shown);
        list().selectRow(0);
        EXPECT_EQ(list().selectedWatchIndex(), c.shown[0]) << "the commands reach the watch the row shows";
    }

    // Time goes on without the files changing: docs falls due and comes up among the due watches.
    list().sortByColumn(::WatchList::NextRunColumn, Qt::AscendingOrder);
    EXPECT_TRUE(list().nextRunTimer().isActive());
    clock.set(platform::LocalTime{2026, 3, 5, 12, 31, 0, 0});
    list().showNextRuns(Now());
    EXPECT_EQ(cell(0, ::WatchList::NextRunColumn), "Due now");
    EXPECT_EQ(shownOrder(), (Order{0, 4, 1, 2, 3, 5}));
}

TEST_F(WatchStateTest, AFailedWatchShowsItUntilItsNextCleanRunAndAfterARestart) {
    test::writeWatches(window.context(), window.context().WatchFilePath,
                       {watchOver("a", 2), watchOver("b", 1, rmTimer, pd10Minutes)});
    window.fillWatchList();
    window.show();
    const int manual = GetSinhroWatchType(makeWatch("/a", "/b", rmManual));
    ASSERT_EQ(picture(0), manual);
    EXPECT_EQ(cell(0, ::WatchList::ResultColumn), "") << "no run yet";

    blockCopy("a", 1);
    runNow(0);
    EXPECT_EQ(picture(0), kAttentionPicture);
    EXPECT_EQ(cell(0, ::WatchList::ResultColumn), "Failed");
    EXPECT_TRUE(row(0)
                    .toolTip(::WatchList::ResultColumn)
                    .contains("Error copying file " + QString::fromStdString(dir / "a/f1.txt")))
        << row(0).toolTip(::WatchList::ResultColumn).toStdString();

    // A pass over both: a fails again, b goes well; b's own picture is the one the engine marks running
    // watches with, and it gets it back.
    window.commands().checkAllWatches();
    test::waitForRun(window);
    EXPECT_EQ(picture(0), kAttentionPicture);
    EXPECT_EQ(picture(1), kRunningPicture);
    EXPECT_EQ(cell(1, ::WatchList::ResultColumn), "OK");

    // b fails too: its picture says so, not its period's, also after the engine's mark of its end.
    blockCopy("b", 0);
    test::writeFile(dir / "b/f0.txt", "changed");
    runNow(1);
    EXPECT_EQ(picture(1), kAttentionPicture);

    // A clean run of a: its own picture again.
    unblockCopy("a", 1);
    runNow(0);
    EXPECT_EQ(picture(0), manual);
    EXPECT_EQ(cell(0, ::WatchList::ResultColumn), "OK");
    EXPECT_FALSE(row(0).font(::WatchList::ResultColumn).bold());

    // What the last runs came to outlives the window.
    window.close();
    MainWindow next(dialogs);
    next.context().WatchFilePath = window.context().WatchFilePath;
    next.fillWatchList();
    const auto pictureIn = [](const MainWindow& shown, int watch) {
        return shown.watchList()
            .topLevelItem(shown.watchList().rowOfWatch(watch))
            ->data(0, ::WatchList::kPictureRole)
            .toInt();
    };
    EXPECT_EQ(pictureIn(next, 0), manual);
    EXPECT_EQ(pictureIn(next, 1), kAttentionPicture);

    // Another program's run (tessel-batch by the timer) and its new watch show without a command.
    const auto waitFor = [](const std::function<bool()>& shown) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!shown() && std::chrono::steady_clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return shown();
    };
    unblockCopy("b", 0);
    test::CoreFixture other;
    other.context.WatchFilePath = next.context().WatchFilePath;
    checkWatchNow(other.context, 1);
    EXPECT_TRUE(waitFor([&] { return pictureIn(next, 1) == kRunningPicture; }));
    EXPECT_EQ(next.watchList().topLevelItem(next.watchList().rowOfWatch(1))->text(::WatchList::ResultColumn),
              "OK");
    test::writeWatches(other.context, other.context.WatchFilePath, {watchOver("c", 1)});
    EXPECT_TRUE(waitFor([&] { return next.watchList().watchCount() == 3; }));
    EXPECT_EQ(next.watchList().watchName(2), "c");
}

TEST_F(WatchStateTest, APassTellsEachWatchAndTheTrayNamesTheFirstProblemAndShowsItsRun) {
    test::writeWatches(
        window.context(), window.context().WatchFilePath,
        {watchOver("good", 2), watchOver("bad1", 1), watchOver("bad2", 2), watchOver("paused", 1, rmStop)});
    window.fillWatchList();
    window.show();
    // An earlier run of bad1 that went well: the notice's click must find the later one.
    runNow(1);
    test::writeFile(dir / "bad1/f1.txt", "new");
    blockCopy("bad1", 1);
    blockCopy("bad2", 0);

    window.minimizeToTray();
    ASSERT_FALSE(window.isVisible());
    window.commands().checkAllWatches();
    test::waitForRun(window);

    // Each watch of the pass in the status bar, the failed ones first; at length in its tip.
    const QString status = statusText();
    EXPECT_TRUE(status.startsWith("3 watches in ")) << status.toStdString();
    const qsizetype bad1 = status.indexOf("bad1: Failed, 0 copied, 1 failed");
    const qsizetype bad2 = status.indexOf("bad2: Failed, 1 copied (5 B), 1 failed");
    const qsizetype good = status.indexOf("good: 2 copied (10 B)");
    EXPECT_TRUE(bad1 > 0 && bad1 < bad2 && bad2 < good) << status.toStdString();
    EXPECT_FALSE(status.contains("paused"));
    const QStringList details = statusDetails().split('\n');
    ASSERT_EQ(details.size(), 6) << statusDetails().toStdString();  // three watches, two problems, the total
    EXPECT_TRUE(details[0].startsWith("good: OK in ")) << details[0].toStdString();
    EXPECT_TRUE(details[2].trimmed().startsWith("Error copying file ")) << details[2].toStdString();
    EXPECT_TRUE(details[5].startsWith("Together: Done in ")) << details[5].toStdString();

    // One notice for the pass: how many need looking at, and the first with its first problem.
    ASSERT_EQ(dialogs.notifications.size(), 1u);
    EXPECT_EQ(dialogs.notifications[0].first, "Tessel: 2 watches need your attention");
    const QString firstProblem = "Error copying file " + QString::fromStdString(dir / "bad1/f1.txt");
    EXPECT_EQ(dialogs.notifications[0].second,
              "bad1 failed: " + firstProblem + ": Is a directory\n0 copied, 1 failed");

    // Its click: the log at bad1's run of this pass, its summary line selected and in view, although
    // bad2's lines follow it.
    emit window.tray().icon()->messageClicked();
    LogViewer* viewer = window.commands().logViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    const QString bad1Summary = lastLogLine("Summary of watch bad1: failed; ");
    ASSERT_FALSE(bad1Summary.isEmpty());
    const QTextCursor selected = viewer->text()->textCursor();
    EXPECT_EQ(selected.selectedText(), bad1Summary);
    EXPECT_NE(selected.block().next().text().indexOf("Start Manual Synhro folder " +
                                                     QString::fromStdString(dir / "bad2")),
              -1)
        << "bad2's run follows";
    EXPECT_TRUE(viewer->text()->viewport()->rect().contains(viewer->text()->cursorRect()));

    // A run of one watch: its name and first problem; the click shows that run.
    viewer->close();
    window.watchList().selectWatch(2);
    window.commands().checkSelectedWatchNow();
    test::waitForRun(window);
    ASSERT_EQ(dialogs.notifications.size(), 2u);
    EXPECT_EQ(dialogs.notifications[1].first, "Tessel: bad2 failed");
    EXPECT_EQ(dialogs.notifications[1].second, "Error copying file " +
                                                   QString::fromStdString(dir / "bad2/f0.txt") +
                                                   ": Is a directory\n0 copied, 1 failed");
    EXPECT_TRUE(statusText().startsWith("Done in ")) << "one watch, one summary";
    EXPECT_TRUE(statusDetails().isEmpty());
    emit window.tray().icon()->messageClicked();
    ASSERT_NE(window.commands().logViewer(), nullptr);
    EXPECT_EQ(window.commands().logViewer()->text()->textCursor().selectedText(),
              lastLogLine("Summary of watch bad2: failed; "));
}

TEST(WatchStateTexts, TheNewTextsAreInRussian) {
    QTranslator russian;
    ASSERT_TRUE(russian.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("tessel"),
                             QStringLiteral("_"), QStringLiteral(":/i18n")));
    QCoreApplication::installTranslator(&russian);
    ::WatchList list;
    WatchRunSummary first{1, "docs", {}};
    first.result.counts.failed = 1;
    WatchRunSummary second{2, "photos", {}};
    second.result.counts.conflicts = 1;
    const std::optional<RunNoticeText> several = noticeText({first, second});
    const std::optional<RunNoticeText> one = noticeText({second});
    const QString failed = resultWord(RunOutcome::Failed);
    QCoreApplication::removeTranslator(&russian);

    EXPECT_EQ(list.headerItem()->text(::WatchList::NextRunColumn), QStringLiteral("Следующий запуск"));
    EXPECT_EQ(failed, QStringLiteral("Ошибка"));
    ASSERT_TRUE(several && one);
    EXPECT_EQ(several->title, QStringLiteral("Tessel: 2 задания требуют внимания"));
    EXPECT_EQ(several->body, QStringLiteral("Ошибка в задании docs\nскопировано: 0, ошибок: 1"));
    EXPECT_EQ(one->title, QStringLiteral("Tessel: конфликт в задании photos"));
    EXPECT_EQ(resultWord(RunOutcome::Failed), QStringLiteral("Failed"));
}

}  // namespace
}  // namespace tessel
