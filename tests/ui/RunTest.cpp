// Runs as the window makes them: on a thread of their own while the window keeps answering, one at a
// time, stopped by the user, summed up at the end; and what the window shows of them.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <QTranslator>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "support/PermissionOverride.h"
#include "support/TestSupport.h"
#include "sync/Scheduler.h"
#include "ui/Dialogs.h"
#include "ui/EditWatch.h"
#include "ui/InstanceChannel.h"
#include "ui/LogViewer.h"
#include "ui/MainWindow.h"
#include "ui/Pictures.h"
#include "ui/RunCoordinator.h"
#include "ui/RunThread.h"
#include "ui/RunView.h"
#include "ui/Sizes.h"
#include "ui/SplashFrm.h"
#include "ui/StatusBar.h"
#include "ui/TesselProgram.h"
#include "ui/TrayIcon.h"
#include "ui/UiTestSupport.h"
#include "ui/WatchList.h"
#include "ui/WindowCommands.h"
#include "ui/WindowRunDisplay.h"
#include "watch/WatchFile.h"

namespace tessel {
namespace {

using Lines = std::vector<std::string>;
using test::child;
using test::FakeDialogs;
using test::makeWatch;
using test::TempDir;

class RunTest : public ::testing::Test {
  protected:
    RunTest() {
        window.context().WatchFilePath = dir / "WatchDef.wth";
        window.context().LogFilePath = dir / "WatchLog.Log";
    }

    // A watch over `files` files named f0.txt, f1.txt, ... in <name>-src.
    TWatchRec watchOver(const std::string& name, int files, std::uint8_t runMode = rmManual) {
        test::makeFolders(dir / (name + "-src"));
        for (int i = 0; i < files; ++i)
            test::writeFile(dir / (name + "-src/f" + std::to_string(i) + ".txt"), name + std::to_string(i));
        return makeWatch(dir / (name + "-src"), dir / (name + "-dst"), runMode);
    }

    bool enabled(const char* action) const { return child<QAction>(window, action)->isEnabled(); }
    Lines logged() const { return test::loggedMessages(dir / "WatchLog.Log"); }
    bool loggedStartingWith(const std::string& start) const {
        for (const std::string& line : logged())
            if (line.rfind(start, 0) == 0) return true;
        return false;
    }

    TempDir dir;
    FakeDialogs dialogs;
    MainWindow window{dialogs};
};

TEST_F(RunTest, StopEndsATimedRunAtTheNextFileAndLeavesItDue) {
    TWatchRec watch = watchOver("a", 6, rmTimer);
    watch.WideLog = 1;
    watch.LastRunTime = 0;  // long ago
    // An after-sync program that leaves a mark when it runs.
    const std::string mark = dir / "program-ran";
    test::writeFile(dir / "program.sh", "#!/bin/sh\ntouch " + mark + "\n");
    chmod((dir / "program.sh").c_str(), 0755);
    setText(watch.RunFile, dir / "program.sh");
    test::writeWatches(window.context(), window.context().WatchFilePath, {watch});
    window.fillWatchList();
    window.show();
    window.watchList().selectRow(0);

    // The log is a folder at first, so the line of the first copied file makes the run ask for a message
    // box; the window answers it on its own thread while the run waits, and the user stops the run.
    test::makeFolders(dir / "WatchLog.Log");
    std::vector<bool> during;
    int rowPicture = -1;
    dialogs.onMessage = [&] {
        during = {enabled("addWatchAction"), enabled("editWatchAction"),     enabled("deleteWatchAction"),
                  enabled("checkNowAction"), enabled("loadWatchFileAction"), enabled("checkAllAction"),
                  enabled("stopAction")};
        rowPicture = child<QTreeWidget>(window, "watchList")
                         ->topLevelItem(0)
                         ->data(0, WatchList::kPictureRole)
                         .toInt();
        ASSERT_EQ(rmdir((dir / "WatchLog.Log").c_str()), 0);
        child<QAction>(window, "stopAction")->trigger();
    };
    window.runs().checkDueWatches();
    EXPECT_TRUE(window.isRunning());
    EXPECT_FALSE(child<QTimer>(window, "dueWatchesTimer")->isActive()) << "off during its pass";
    test::waitForRun(window);

    EXPECT_EQ(during, (std::vector<bool>{false, false, false, false, false, false, true}));
    EXPECT_EQ(rowPicture, kRunningWatchPicture);
    EXPECT_EQ(dialogs.messages.size(), 1u);
    // The file in hand was finished, and no other was begun.
    const std::vector<std::string> copied = test::listFolder(dir / "a-dst");
    ASSERT_EQ(copied.size(), 1u);
    const std::string name = copied[0];
    EXPECT_EQ(test::readFile(dir / ("a-dst/" + name)), test::readFile(dir / ("a-src/" + name)));
    EXPECT_FALSE(test::exists(mark)) << "no after-sync program after a stop";
    EXPECT_EQ(test::storedWatches(window.context().WatchFilePath)[0].LastRunTime, 0) << "still due";
    const Lines lines = logged();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string(kStoppedLine) + dir / "a-src with folder " + dir / "a-dst");
    // The run's own summary; the window adds no line of its own for a single run.
    EXPECT_EQ(lines[1].rfind("Summary of watch a-src: stopped; 1 copied, 0 moved, 0 deleted", 0), 0u)
        << lines[1];
    EXPECT_TRUE(window.lastRunResult().stopped);

    // Everything is back: the commands, the scheduler, the row's own picture.
    EXPECT_TRUE(enabled("addWatchAction") && enabled("checkNowAction") && enabled("loadWatchFileAction"));
    EXPECT_FALSE(enabled("stopAction"));
    EXPECT_TRUE(child<QTimer>(window, "dueWatchesTimer")->isActive());
    EXPECT_EQ(child<QTreeWidget>(window, "watchList")->topLevelItem(0)->data(0, WatchList::kPictureRole),
              GetSinhroWatchType(watch));
}

TEST_F(RunTest, ATimerPassDuringARunWaitsForItsEnd) {
    TWatchRec due = watchOver("timed", 2, rmTimer);
    due.LastRunTime = 0;
    test::writeWatches(window.context(), window.context().WatchFilePath, {watchOver("manual", 3), due});
    window.fillWatchList();
    window.watchList().selectRow(0);

    window.commands().checkSelectedWatchNow();
    ASSERT_TRUE(window.isRunning());
    window.runs().checkDueWatches();
    window.commands().checkSelectedWatchNow();  // a second run does not start either
    QSignalSpy ended(&window, &MainWindow::runFinished);
    ASSERT_TRUE(ended.wait(60000));
    EXPECT_EQ(test::listFolder(dir / "manual-dst").size(), 3u);
    EXPECT_TRUE(window.isRunning()) << "the waiting pass starts as soon as the run has ended";
    test::waitForRun(window);
    EXPECT_EQ(test::listFolder(dir / "timed-dst").size(), 2u);

    Lines lines = logged();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].rfind("Start Manual Synhro folder ", 0), 0u);
    EXPECT_EQ(lines[1].rfind("End Manual Synhro folder ", 0), 0u);
    EXPECT_EQ(lines[2].rfind("Summary of watch manual-src: ok; 3 copied, ", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3], "Synhro folder " + dir / "timed-src with folder " + dir / "timed-dst");
    EXPECT_EQ(lines[4].rfind("Summary of watch timed-src: ok; 2 copied, ", 0), 0u) << lines[4];
}

TEST_F(RunTest, CheckAllRunsEveryWatchButThoseSetToStopAndTellsTheTray) {
    test::writeWatches(window.context(), window.context().WatchFilePath,
                       {watchOver("paused", 1, rmStop), watchOver("b", 2, rmTimer), watchOver("c", 1)});
    window.fillWatchList();
    window.minimizeToTray();
    ASSERT_FALSE(window.isVisible());

    window.commands().checkAllWatches();
    EXPECT_EQ(window.tray().iconData().szTip, QStringLiteral("Tessel: running, 0 %"));
    test::waitForRun(window);
    EXPECT_FALSE(test::exists(dir / "paused-dst"));
    EXPECT_EQ(test::listFolder(dir / "b-dst").size(), 2u);
    EXPECT_EQ(test::listFolder(dir / "c-dst").size(), 1u);
    EXPECT_EQ(window.lastRunResult().copied, 3);
    const Lines lines = logged();
    ASSERT_EQ(lines.size(), 7u) << "two runs, three lines each, and the total";
    EXPECT_EQ(lines[2].rfind("Summary of watch b-src: ok; 2 copied, ", 0), 0u) << lines[2];
    EXPECT_EQ(lines[5].rfind("Summary of watch c-src: ok; 1 copied, ", 0), 0u) << lines[5];
    EXPECT_EQ(lines[6].rfind("Run ended after ", 0), 0u) << lines[6];
    EXPECT_NE(lines[6].find(": 3 copied, "), std::string::npos) << lines[6];
    ASSERT_EQ(window.runs().report().runs.size(), 2u);
    EXPECT_EQ(window.runs().report().runs[0].name, "b-src");
    EXPECT_EQ(window.runs().report().runs[1].position, 2);
    EXPECT_TRUE(dialogs.notifications.empty()) << "nothing to look at";
    EXPECT_TRUE(window.tray().iconData().szTip.contains(QStringLiteral("3 copied")))
        << window.tray().iconData().szTip.toStdString();
}

TEST_F(RunTest, ATrayNotificationTellsOfAFailedRunWhileTheWindowIsHidden) {
    TWatchRec watch = watchOver("a", 2);
    test::writeWatches(window.context(), window.context().WatchFilePath, {watch});
    window.fillWatchList();
    window.watchList().selectRow(0);
    window.minimizeToTray();
    // Both copies fail: the destination folder takes no new file.
    test::makeFolders(dir / "a-dst");
    chmod((dir / "a-dst").c_str(), 0555);
    test::NoPermissionOverride asUser;
    window.commands().checkSelectedWatchNow();
    test::waitForRun(window);
    ASSERT_GT(window.lastRunResult().failed, 0);
    ASSERT_EQ(dialogs.notifications.size(), 1u);
    EXPECT_EQ(dialogs.notifications[0].first, QStringLiteral("Tessel: a-src failed"));
    EXPECT_TRUE(dialogs.notifications[0].second.contains(QStringLiteral("2 failed")));

    // Shown, the window says it in its status bar alone.
    window.bringToFront();
    window.commands().checkSelectedWatchNow();
    test::waitForRun(window);
    EXPECT_EQ(window.lastRunResult().failed, 2);
    EXPECT_EQ(dialogs.notifications.size(), 1u);
    chmod((dir / "a-dst").c_str(), 0755);
}

TEST_F(RunTest, TheKeysReachTheCommands) {
    test::writeWatches(window.context(), window.context().WatchFilePath,
                       {watchOver("a", 1), watchOver("b", 1)});
    window.fillWatchList();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTreeWidget* list = child<QTreeWidget>(window, "watchList");
    list->setFocus();
    window.watchList().selectRow(1);

    // Enter edits the selected watch, Ctrl+N adds one.
    std::vector<int> edited;
    dialogs.onEditor = [&](TEditWatchForm& editor) { edited.push_back(editor.EditIndex()); };
    QTest::keyClick(list, Qt::Key_Return);
    QTest::keyClick(&window, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(edited, (std::vector<int>{1, -1}));

    // Delete asks first.
    window.watchList().selectRow(1);
    dialogs.confirmAnswer = false;
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(dialogs.confirmations, 1);

    // F5 runs the selected watch; Escape stops it, and is nothing without a run.
    window.watchList().selectRow(1);
    QTest::keyClick(&window, Qt::Key_F5);
    EXPECT_TRUE(window.isRunning());
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(enabled("stopAction"));
    test::waitForRun(window);
    EXPECT_TRUE(window.lastRunResult().stopped || test::exists(dir / "b-dst/f0.txt"));
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isRunning());

    // Escape closes the about box; Ctrl+L opens the whole log.
    window.showAbout();
    ASSERT_FALSE(window.aboutBoxes().isEmpty());
    QPointer<TTesselSplashForm> about = window.aboutBoxes().constLast();
    about->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(about));
    QTest::keyClick(about, Qt::Key_Escape);
    EXPECT_FALSE(about && about->isVisible());
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
    ASSERT_NE(window.commands().logViewer(), nullptr);
    EXPECT_TRUE(window.commands().logViewer()->isVisible());

    // Every menu item has its access letter.
    for (const QMenu* menu : window.findChildren<QMenu*>()) {
        for (const QAction* action : menu->actions()) {
            if (action->isSeparator() || action->menu() != nullptr) continue;
            EXPECT_TRUE(action->text().contains(QLatin1Char('&'))) << action->text().toStdString();
        }
    }
}

TEST_F(RunTest, TheFullLogIsSearched) {
    test::writeFile(dir / "WatchLog.Log",
                    "07.12.2026 10:00:00: Start Work Program\r\n"
                    "07.12.2026 10:00:01: Copied file /src/alpha.txt\r\n"
                    "07.12.2026 10:00:02: Copied file /src/Beta.txt\r\n"
                    "07.12.2026 10:00:03: End Work Program\r\n");
    window.commands().viewLog();
    LogViewer* viewer = window.commands().logViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->text()->document()->blockCount(), 4);
    EXPECT_TRUE(viewer->text()->isReadOnly());

    const auto foundLine = [&] { return viewer->text()->textCursor().blockNumber(); };
    viewer->searchField()->setText(QStringLiteral("copied file"));
    // From the end, where the viewer opens, the search goes round to the first match.
    ASSERT_TRUE(viewer->findNext());
    EXPECT_EQ(foundLine(), 1);
    ASSERT_TRUE(viewer->findNext());
    EXPECT_EQ(foundLine(), 2);
    ASSERT_TRUE(viewer->findNext(true));
    EXPECT_EQ(foundLine(), 1);
    viewer->searchField()->setText(QStringLiteral("gamma"));
    EXPECT_FALSE(viewer->findNext());
    EXPECT_EQ(viewer->searchResult()->text(), QStringLiteral("Not found"));

    // New lines show on reload.
    test::writeFile(dir / "WatchLog.Log",
                    test::readFile(dir / "WatchLog.Log") + "07.12.2026 11:00:00: gamma\r\n");
    viewer->reload();
    EXPECT_TRUE(viewer->findNext());
    EXPECT_EQ(foundLine(), 4);
}

// Long lines are read whole, and the search goes from problem to problem: with nothing to find, each
// line that tells of one; with a text, its matches in such lines only.
TEST_F(RunTest, TheLogViewerWrapsAndGoesFromProblemToProblem) {
    const std::string longPath = "/src/" + std::string(300, 'x') + ".txt";
    test::writeFile(
        dir / "WatchLog.Log",
        "07.12.2026 10:00:00: Start Work Program\r\n"
        "07.12.2026 10:00:01: Copied file " +
            longPath +
            "\r\n"
            "07.12.2026 10:00:02: Error copying file /src/a.txt: Permission denied\r\n"
            "07.12.2026 10:00:03: Delete file /dst/a.txt\r\n"
            "07.12.2026 10:00:04: Conflict /src/b.txt: both sides changed since the last run\r\n"
            "07.12.2026 10:00:05: Summary of watch docs: failed; 1 copied, 0 moved, 1 deleted, 0 kept as "
            "versions, 1 conflicts, 1 failed, 0 deletions refused, 9 bytes, 0.1 s\r\n"
            "07.12.2026 10:00:06: Abnormal Stop /bin/missing\r\n");
    window.commands().viewLog();
    LogViewer* viewer = window.commands().logViewer();
    ASSERT_NE(viewer, nullptr);
    viewer->resize(500, 400);
    EXPECT_EQ(viewer->text()->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    const auto foundLine = [&] { return viewer->text()->textCursor().blockNumber(); };
    const auto said = [&] { return viewer->searchResult()->text().toStdString(); };

    viewer->problemsOnly()->setChecked(true);
    struct Step {
        bool backwards;
        int line;
        std::string said;
    };
    for (const Step& step : std::vector<Step>{{false, 2, "1 of 3"},
                                              {false, 4, "2 of 3"},
                                              {false, 6, "3 of 3"},
                                              {false, 2, "1 of 3"},  // round the end to the start
                                              {true, 6, "3 of 3"},   // and the start to the end
                                              {true, 4, "2 of 3"}}) {
        ASSERT_TRUE(viewer->findNext(step.backwards));
        EXPECT_EQ(foundLine(), step.line);
        EXPECT_EQ(said(), step.said);
    }
    EXPECT_EQ(
        viewer->text()->textCursor().selectedText().toStdString().rfind("07.12.2026 10:00:04: Conflict", 0),
        0u)
        << "the whole line";

    viewer->text()->moveCursor(QTextCursor::Start);
    viewer->searchField()->setText(QStringLiteral("src"));
    ASSERT_TRUE(viewer->findNext());
    EXPECT_EQ(foundLine(), 2) << "not the copy, which is no problem";
    EXPECT_EQ(said(), "1 of 2");
    EXPECT_EQ(viewer->text()->textCursor().selectedText(), QStringLiteral("src"));
    viewer->searchField()->setText(QStringLiteral("Delete file"));
    EXPECT_FALSE(viewer->findNext());
    EXPECT_EQ(said(), "Not found");
    viewer->problemsOnly()->setChecked(false);
    ASSERT_TRUE(viewer->findNext());
    EXPECT_EQ(foundLine(), 3);
    EXPECT_EQ(said(), "1 of 1");
}

TEST(RunViewTest, CountsRateAndTimeLeft) {
    QWidget host;
    RunView view(&host, nullptr);
    static RunView::Clock::time_point now{};
    view.setClockForTesting([] { return now; });
    view.setProgressRange(0, 100000);
    view.setProgressPosition(0);
    view.setProgressVisible(true);
    view.advance(4210);
    EXPECT_EQ(view.countsText(), QStringLiteral("4,210 of 100,000 · 4 %"));
    EXPECT_EQ(view.percentDone(), 4);
    EXPECT_TRUE(view.rateText().isEmpty()) << "not before a second has passed";

    // 2,000 files a second for three seconds: 94,000 files left take about 47 s.
    view.setProgressRange(0, 100000);
    view.setProgressPosition(0);
    for (int second = 0; second < 3; ++second) {
        now += std::chrono::seconds(1);
        view.advance(2000);
    }
    EXPECT_EQ(view.rateText(), QStringLiteral("2,000 files/s · about 47 s left"));
    // With bytes copied, the rate is in bytes: 3 MB in four seconds; they count in the time left too.
    view.changePlan({.bytes = 3'000'000, .sized = 1});
    view.addCopiedBytes(3'000'000);
    now += std::chrono::seconds(1);
    view.advance(1000);
    EXPECT_EQ(view.rateText(), QStringLiteral("750 KB/s · about 54 s left"));

    // A step past the last file holds the bar: it never goes back, and is full only at the end; hidden,
    // it says nothing.
    view.setProgressRange(0, 3);
    view.setProgressPosition(3);
    view.advance(1);
    EXPECT_EQ(view.countsText(), QStringLiteral("3 of 3 · 99 %"));
    view.completeProgress();
    EXPECT_EQ(view.countsText(), QStringLiteral("3 of 3 · 100 %"));
    view.setProgressVisible(false);
    EXPECT_TRUE(view.rateText().isEmpty());

    // Counted beside the run: the bar stays empty until it has its end, and the files done stay done.
    view.setProgressRange(0, 0);
    view.setProgressPosition(0);
    view.advance(40);
    EXPECT_EQ(view.percentDone(), 0);
    view.extendProgressRange(200);
    EXPECT_EQ(view.countsText(), QStringLiteral("40 of 200 · 20 %"));
}

// A large file shows its own progress in the status bar, in the units of the user's language, and the
// status text comes back when its copy has ended.
TEST(RunViewTest, ALargeFileShowsItsOwnProgress) {
    QWidget host;
    RunView view(&host, nullptr);
    view.setProgressRange(0, 3);
    view.setProgressVisible(true);
    view.setStatusText("  Copy file :/src/small.txt");
    view.showFileProgress("/src/images/big.iso", 0, 3'100'000'000);
    view.showFileProgress("/src/other.iso", 500'000'000, 2'000'000'000);
    view.showFileProgress("/src/images/big.iso", 1'234'000'000, 3'100'000'000);
    // The first begun shows while it goes; the other's turn comes when it ends.
    view.setProgressVisible(true);
    EXPECT_EQ(view.statusBar()->panelText(0), QStringLiteral("Copying big.iso: 1.2 GB of 3.1 GB"));
    view.showFileProgress("/src/images/big.iso", 3'100'000'000, 3'100'000'000);
    view.setProgressVisible(true);
    EXPECT_EQ(view.statusBar()->panelText(0), QStringLiteral("Copying other.iso: 500 MB of 2.0 GB"));
    view.showFileProgress("/src/other.iso", 2'000'000'000, 2'000'000'000);
    view.setProgressVisible(true);
    EXPECT_EQ(view.statusBar()->panelText(0), QStringLiteral("/src/small.txt"));

    QTranslator russian;
    ASSERT_TRUE(russian.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("tessel"),
                             QStringLiteral("_"), QStringLiteral(":/i18n")));
    QCoreApplication::installTranslator(&russian);
    view.showFileProgress("/src/images/big.iso", 1'234'000'000, 3'100'000'000);
    const QString russianText = view.fileProgressText();
    QCoreApplication::removeTranslator(&russian);
    // The user's locale writes the numbers; the translation the words and units.
    EXPECT_EQ(russianText, QStringLiteral("Копируется big.iso: 1.2 ГБ из 3.1 ГБ"));
}

TEST(RunViewTest, TheProgressBoxShowsOnlyWhileARunGoes) {
    QWidget host;
    RunView view(&host, nullptr);
    host.show();
    const auto shown = [&] {
        return std::vector<bool>{view.progressShown(), view.statusBar()->panel(1)->isVisible(),
                                 view.statusBar()->panel(2)->isVisible()};
    };
    const std::vector<bool> idle{false, false, false};
    EXPECT_EQ(shown(), idle) << "before the first run";
    view.showRunning();
    EXPECT_EQ(shown(), (std::vector<bool>{true, true, true}));
    // The bar goes while the after-sync program runs; its box stays until the run's end.
    view.setProgressVisible(false);
    EXPECT_TRUE(view.progressShown());
    view.showSummary(QStringLiteral("Done in 1.0 s: 3 copied, 0 failed"));
    EXPECT_EQ(shown(), idle);
    view.setProgressVisible(true);
    EXPECT_TRUE(view.progressShown()) << "a run's bar brings its box";
    view.showIdle();
    EXPECT_EQ(shown(), idle);

    // Shown in a narrow window, the boxes give up room rather than make the window wider, and take
    // their designed width where there is room.
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    RunView narrow(&window, nullptr);
    layout->addWidget(narrow.statusBar());
    window.resize(360, 40);
    window.show();
    narrow.showRunning();
    EXPECT_LE(window.minimumSizeHint().width(), 360);
    window.resize(900, 40);
    QCoreApplication::processEvents();
    EXPECT_EQ(child<QProgressBar>(window, "progressBar")->width(), 150);
    EXPECT_GE(child<QLabel>(window, "rateLabel")->width(),
              child<QLabel>(window, "rateLabel")
                  ->fontMetrics()
                  .horizontalAdvance(QStringLiteral("1,250 files/s · about 59 min left")));
}

TEST(RunViewTest, TheRelayKeepsTheStepsMadeWhileTheEndMovesOn) {
    test::FakeDisplay display;
    test::FakeMessages messages;
    RunRelay relay(display, messages, [](std::function<void()> ask) { ask(); });
    relay.setProgressRange(0, 0);
    for (int folder = 1; folder <= 3; ++folder) {
        relay.extendProgressRange(10 * folder);
        for (int file = 0; file < 10; ++file) relay.stepProgress();
    }
    relay.deliver();
    EXPECT_EQ(display.progressMax, 30);
    EXPECT_EQ(display.steps, 30);
}

// The bytes come from the copying threads while the run thread goes on: the relay sums them, keeps the
// last word of each large file, and hands the plan over before the bytes copied.
TEST(RunViewTest, TheRelayGathersTheBytesOfEveryThread) {
    struct Heard : test::FakeDisplay {
        void changePlan(const PlanChange& change) override {
            events.push_back("plan " + std::to_string(change.bytes) + " " + std::to_string(change.sized) +
                             " " + std::to_string(change.unsized));
        }
        void addCopiedBytes(std::uint64_t bytes) override {
            events.push_back("copied " + std::to_string(bytes));
        }
        void showFileProgress(const std::string& path, std::uint64_t done, std::uint64_t size) override {
            events.push_back(path + " " + std::to_string(done) + "/" + std::to_string(size));
        }
        void completeProgress() override { events.push_back("complete"); }
        std::vector<std::string> events;
    } display;
    test::FakeMessages messages;
    RunRelay relay(display, messages, [](std::function<void()> ask) { ask(); });
    relay.changePlan({.bytes = 500, .sized = 5});  // left from the run before
    relay.setProgressRange(0, 10);
    std::vector<std::thread> copiers;
    for (int thread = 0; thread < 4; ++thread)
        copiers.emplace_back([&relay, thread] {
            const std::string path = "/src/big" + std::to_string(thread);
            relay.changePlan({.bytes = 1000, .sized = 1, .unsized = -1});
            for (int piece = 1; piece <= 10; ++piece) {
                relay.addCopiedBytes(100);
                relay.showFileProgress(path, 100 * piece, 1000);
            }
        });
    for (std::thread& copier : copiers) copier.join();
    relay.completeProgress();
    relay.deliver();
    const std::vector<std::string> expected{"plan 4000 4 -4",
                                            "copied 4000",
                                            "/src/big0 1000/1000",
                                            "/src/big1 1000/1000",
                                            "/src/big2 1000/1000",
                                            "/src/big3 1000/1000",
                                            "complete"};
    std::vector<std::string> heard = display.events;
    // The files in the order the threads first spoke of them.
    ASSERT_EQ(heard.size(), expected.size());
    std::sort(heard.begin() + 2, heard.begin() + 6);
    EXPECT_EQ(heard, expected);
}

// Sizes everywhere in the window: the units of the window's language, the numbers of the user's locale.
TEST(Sizes, InBothLanguages) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale russianNumbers(QLocale::Russian, QLocale::Russia);
    struct Case {
        std::uint64_t bytes;
        const char* english;
        const char* russian;
    };
    const std::vector<Case> cases{
        {0, "0 B", "0 Б"},
        {999, "999 B", "999 Б"},
        {1000, "1.0 KB", "1,0 КБ"},
        {99'949, "99.9 KB", "99,9 КБ"},
        {99'950, "100 KB", "100 КБ"},
        {999'499, "999 KB", "999 КБ"},
        {999'500, "1.0 MB", "1,0 МБ"},
        {3'320'828'070, "3.3 GB", "3,3 ГБ"},
        {250'000'000'000'000, "250 TB", "250 ТБ"},
    };
    QTranslator russian;
    ASSERT_TRUE(russian.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("tessel"),
                             QStringLiteral("_"), QStringLiteral(":/i18n")));
    for (const Case& size : cases) {
        SCOPED_TRACE(size.bytes);
        EXPECT_EQ(sizeText(size.bytes, english).toStdString(), size.english);
        QCoreApplication::installTranslator(&russian);
        const QString inRussian = sizeText(size.bytes, russianNumbers);
        QCoreApplication::removeTranslator(&russian);
        EXPECT_EQ(inRussian.toStdString(), std::string(size.russian));
    }
    EXPECT_EQ(bytesPerSecondText(12'490'000, english), QStringLiteral("12.5 MB/s"));
    QCoreApplication::installTranslator(&russian);
    const QString rate = bytesPerSecondText(12'490'000, russianNumbers);
    QCoreApplication::removeTranslator(&russian);
    EXPECT_EQ(rate, QStringLiteral("12,5 МБ/с"));
}

TEST(Translation, RussianKeepsTheOldTexts) {
    QTranslator russian;
    ASSERT_TRUE(russian.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("tessel"),
                             QStringLiteral("_"), QStringLiteral(":/i18n")));
    QCoreApplication::installTranslator(&russian);
    EXPECT_EQ(secondInstanceText(), QStringLiteral("Запуск второй копии программы недопустим."));
    QWidget host;
    RunView view(&host, nullptr);
    view.setStatusText("Выполняется /usr/bin/backup");
    view.setProgressVisible(false);
    const QString shown = view.statusBar()->panelText(0);
    QCoreApplication::removeTranslator(&russian);
    EXPECT_EQ(shown, QStringLiteral("Выполняется /usr/bin/backup"));
    EXPECT_EQ(secondInstanceText(), QStringLiteral("Starting a second copy of the program is not allowed."));
}

TEST(SecondStart, RaisesTheFirstFromTheTray) {
    TempDir dir;
    FakeDialogs dialogs;
    MainWindow window(dialogs);
    window.show();
    window.minimizeToTray();
    ASSERT_FALSE(window.isVisible());

    const QString path = InstanceChannel::socketPathFor(QString::fromStdString(dir / "Tessel v.lock"));
    EXPECT_EQ(path.toStdString(), dir / "Tessel v.socket");
    InstanceChannel channel;
    QObject::connect(&channel, &InstanceChannel::raiseRequested, &window, &MainWindow::bringToFront);
    // A socket left by a Tessel that crashed is taken over.
    test::writeFile(path.toStdString(), "");
    ASSERT_TRUE(channel.listen(path));

    FakeDialogs second;
    EXPECT_EQ(runTessel(true, second, path), 0);
    ASSERT_EQ(second.errors.size(), 1u);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isVisible(); }, 10000));
    EXPECT_EQ(window.tray().iconData().uID, 0u);

    // Nobody listening: the refusal all the same.
    EXPECT_FALSE(InstanceChannel::askToRaise(QString::fromStdString(dir / "nobody.socket")));
}

}  // namespace
}  // namespace tessel
