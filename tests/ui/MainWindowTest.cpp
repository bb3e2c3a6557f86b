#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "sync/Scheduler.h"
#include "ui/EditWatch.h"
#include "ui/MainWindow.h"
#include "ui/Pictures.h"
#include "ui/RunCoordinator.h"
#include "ui/RunView.h"
#include "ui/StatusBar.h"
#include "ui/TrayIcon.h"
#include "ui/UiTestSupport.h"
#include "ui/WatchList.h"
#include "ui/WindowCommands.h"
#include "ui/WindowRunDisplay.h"
#include "watch/EventLog.h"
#include "watch/WatchFile.h"
#include "watch/WatchStore.h"

namespace tessel {
namespace {

using test::FakeDialogs;
using test::makeWatch;
using test::storedWatches;
using test::TempDir;

class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest() {
        window.context().WatchFilePath = dir / "WatchDef.wth";
        window.context().LogFilePath = dir / "WatchLog.Log";
    }

    RunContext& context() { return window.context(); }
    QTreeWidget* list() const { return test::child<QTreeWidget>(window, "watchList"); }

    // Three watches whose sources name them: /w0, /w1, /w2.
    void threeWatches() {
        test::writeWatches(context(), context().WatchFilePath,
                           {makeWatch("/w0", "/d0", rmStop), makeWatch("/w1", "/d1", rmTimer, pd1Week),
                            makeWatch("/w2", "/d2", rmTimer, pdOnTime)});
        window.fillWatchList();
    }

    std::vector<std::string> captions() const {
        std::vector<std::string> result;
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            result.push_back(list()->topLevelItem(i)->text(0).toStdString());
        return result;
    }

    int rowPicture(int row) const {
        return list()->topLevelItem(row)->data(0, ::WatchList::kPictureRole).toInt();
    }

    std::vector<std::string> logAreaLines() const {
        std::vector<std::string> lines;
        for (QTextBlock block = window.runView().logArea()->document()->begin(); block.isValid();
             block = block.next())
            lines.push_back(block.text().toStdString());
        return lines;
    }

    TempDir dir;
    FakeDialogs dialogs;
    MainWindow window{dialogs};
};

TEST_F(MainWindowTest, ListShowsOneRowPerWholeRecord) {
    {
        SCOPED_TRACE("missing watch file");
        window.fillWatchList();
        EXPECT_EQ(list()->topLevelItemCount(), 0);
    }
    {
        SCOPED_TRACE("empty watch file");
        test::writeFile(context().WatchFilePath, "");
        window.fillWatchList();
        EXPECT_EQ(list()->topLevelItemCount(), 0);
    }
    {
        SCOPED_TRACE("two and a half records");
        test::writeWatches(context(), context().WatchFilePath,
                           {makeWatch("/src/a", "/dst/a", rmManual),
                            makeWatch("/src/b", "/dst/b", rmTimer, pdOnTime), makeWatch("/src/c", "/dst/c")});
        std::string bytes = test::readFile(context().WatchFilePath);
        test::writeFile(context().WatchFilePath, bytes.substr(0, kWatchRecSize * 5 / 2));
        window.fillWatchList();
        ASSERT_EQ(list()->topLevelItemCount(), 2);
        EXPECT_EQ(captions(), (std::vector<std::string>{"0", "1"}));
        const QTreeWidgetItem* second = list()->topLevelItem(1);
        EXPECT_EQ(second->text(1), "/src/b");
        EXPECT_EQ(second->text(2), "/dst/b");
        EXPECT_EQ(rowPicture(0), 2);
        EXPECT_EQ(rowPicture(1), 9);
        EXPECT_FALSE(second->icon(0).isNull());
    }
}

TEST(StatusPictures, EveryPictureHasItsOliveMadeTransparent) {
    for (const int scale : {1, 2}) {
        const auto pictures = loadStatusPictures(scale);
        const int size = 16 * scale;
        for (std::size_t i = 0; i < pictures.size(); ++i) {
            SCOPED_TRACE(i);
            SCOPED_TRACE(scale);
            EXPECT_EQ(pictures[i].deviceIndependentSize(), QSizeF(16, 16));
            const QImage image = pictures[i].toImage().convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(image.size(), QSize(size, size));
            int transparent = 0;
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) {
                    const QRgb pixel = image.pixel(x, y);
                    if (qAlpha(pixel) == 0) ++transparent;
                    EXPECT_FALSE(qAlpha(pixel) != 0 && qRed(pixel) == 128 && qGreen(pixel) == 128 &&
                                 qBlue(pixel) == 0);
                }
            }
            EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
            EXPECT_GT(transparent, 0);
            EXPECT_LT(transparent, size * size / 2);
        }
        // A running watch looks like no watch that merely waits, the 10-minute timer's included; a watch
        // whose last run failed like no other.
        for (int i = 0; i < kWatchTypePictureCount; ++i)
            EXPECT_NE(pictures[kRunningWatchPicture].toImage(),
                      pictures[static_cast<std::size_t>(i)].toImage())
                << i;
        for (int i = 0; i < kStatusPictureCount; ++i) {
            if (i == kAttentionPicture) continue;
            EXPECT_NE(pictures[kAttentionPicture].toImage(), pictures[static_cast<std::size_t>(i)].toImage())
                << i;
        }
    }
}

// How much of a picture stands out from a dark window background: the share of its drawn pixels
// that differ clearly in lightness from it.
double visibleOnDark(const QImage& picture) {
    const QColor dark(0x2b, 0x2b, 0x2b);
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    int drawn = 0;
    int standing = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = QColor::fromRgba(image.pixel(x, y));
            if (pixel.alpha() < 128) continue;
            ++drawn;
            if (pixel.lightness() - dark.lightness() > 60) ++standing;
        }
    }
    return drawn == 0 ? 0 : double(standing) / drawn;
}

TEST(Pictures, SharpAtTwiceTheSizeAndVisibleOnADarkBackground) {
    for (const char* role : {"add", "edit", "delete", "run", "stop", "help", "exit"}) {
        SCOPED_TRACE(role);
        const QIcon icon = toolPicture(QString::fromLatin1(role));
        // Drawn for both pixel ratios: the large one is not the small one blown up.
        EXPECT_EQ(icon.availableSizes(), (QList<QSize>{QSize(40, 40), QSize(80, 80)}));
        EXPECT_GT(visibleOnDark(icon.pixmap(QSize(80, 80)).toImage()), 0.3);
    }
    const auto pictures = loadStatusPictures();
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_GT(visibleOnDark(pictures[i].toImage()), 0.3);
    }
    EXPECT_EQ(aboutPicture(2).deviceIndependentSize(), QSizeF(kAboutPictureWidth, kAboutPictureHeight));
}

TEST_F(MainWindowTest, FitsAScreenOfHalfTheSizeAtAScaleOfTwo) {
    // 1280×800 device pixels at a scale factor of 2, less the window manager's frame and a panel.
    const QSize room(640 - 16, 400 - 60);
    EXPECT_LE(window.minimumSizeHint().width(), room.width());
    EXPECT_LE(window.minimumSizeHint().height(), room.height());
    EXPECT_LE(window.minimumSize().width(), room.width());
}

TEST_F(MainWindowTest, SelectionDependentCommandsFollowTheSelection) {
    const auto watchMenu = [&] {
        emit test::child<QMenu>(window, "watchMenu")->aboutToShow();
        return std::vector<bool>{test::child<QAction>(window, "addWatchAction")->isEnabled(),
                                 test::child<QAction>(window, "editWatchAction")->isEnabled(),
                                 test::child<QAction>(window, "deleteWatchAction")->isEnabled(),
                                 test::child<QAction>(window, "checkNowAction")->isEnabled()};
    };
    const auto listMenu = [&] {
        emit test::child<QMenu>(window, "watchListMenu")->aboutToShow();
        return std::vector<bool>{test::child<QAction>(window, "listAddWatchAction")->isEnabled(),
                                 test::child<QAction>(window, "listEditWatchAction")->isEnabled(),
                                 test::child<QAction>(window, "listDeleteWatchAction")->isEnabled(),
                                 test::child<QAction>(window, "listCheckNowAction")->isEnabled()};
    };
    const std::vector<bool> onlyAdd{true, false, false, false};
    const std::vector<bool> all{true, true, true, true};

    window.fillWatchList();
    EXPECT_EQ(watchMenu(), onlyAdd) << "empty list";
    EXPECT_EQ(listMenu(), onlyAdd) << "empty list";

    threeWatches();
    EXPECT_EQ(listMenu(), onlyAdd) << "rows, none selected";
    window.watchList().selectRow(2);
    EXPECT_EQ(listMenu(), all);
    EXPECT_EQ(watchMenu(), all);

    // A refill loses the selection, and the next opening shows it.
    window.fillWatchList();
    EXPECT_EQ(watchMenu(), onlyAdd);
}

TEST_F(MainWindowTest, PauseFollowingIsKeptWithTheWatchThatRunsOnChange) {
    for (const auto& [name, mode] :
         {std::pair{"followed", WatchRunMode::OnChange}, {"manual", WatchRunMode::Manual}}) {
        WatchEdit edit;
        edit.name = name;
        edit.source = dir / name;
        edit.destination = dir / (std::string(name) + "-copy");
        edit.runMode = mode;
        ChangeProblem problem;
        ASSERT_TRUE(changeWatches(context().WatchFilePath, {{WatchChange::Kind::Add, {}, std::nullopt, edit}},
                                  problem));
    }
    window.fillWatchList();
    const auto paused = [&] {
        WatchList list;
        FileProblem problem;
        EXPECT_TRUE(loadWatches(context().WatchFilePath, list, problem));
        return list.watches.size() == 2 && list.watches[0].watch.followPaused;
    };
    auto* pause = test::child<QAction>(window, "pauseFollowingAction");
    auto* pauseAll = test::child<QAction>(window, "pauseAllFollowingAction");
    const auto openMenus = [&] {
        emit test::child<QMenu>(window, "watchMenu")->aboutToShow();
        emit window.tray().menu()->aboutToShow();
    };
    window.watchList().selectWatch(1);
    openMenus();
    EXPECT_FALSE(pause->isEnabled()) << "a manual watch is followed by nobody";
    EXPECT_TRUE(pauseAll->isEnabled());
    EXPECT_FALSE(pauseAll->isChecked());

    window.watchList().selectWatch(0);
    openMenus();
    ASSERT_TRUE(pause->isEnabled());
    pause->trigger();
    EXPECT_TRUE(paused());
    openMenus();
    EXPECT_TRUE(pause->isChecked());
    EXPECT_TRUE(pauseAll->isChecked()) << "every watch that runs on change is paused";
    // The tray's item resumes them all.
    pauseAll->trigger();
    EXPECT_FALSE(paused());
    openMenus();
    EXPECT_FALSE(pause->isChecked());
}

TEST_F(MainWindowTest, EditPausesTheSchedulerAndReselectsItsRow) {
    threeWatches();
    window.watchList().selectRow(1);
    bool schedulerWasRunning = true;
    int editIndex = -2;
    QString shownSource;
    dialogs.onEditor = [&](TEditWatchForm& editor) {
        schedulerWasRunning = test::child<QTimer>(window, "dueWatchesTimer")->isActive();
        editIndex = editor.EditIndex();
        shownSource = editor.SourceEdit->text();
    };
    window.commands().editSelectedWatch();
    EXPECT_EQ(dialogs.editorsRun, 1);
    EXPECT_FALSE(schedulerWasRunning);
    EXPECT_EQ(editIndex, 1);
    EXPECT_EQ(shownSource, "/w1");
    EXPECT_TRUE(test::child<QTimer>(window, "dueWatchesTimer")->isActive());
    EXPECT_EQ(window.watchList().selectedRow(), 1);

    // Without a selection Edit opens nothing.
    window.fillWatchList();
    window.commands().editSelectedWatch();
    EXPECT_EQ(dialogs.editorsRun, 1);
}

TEST_F(MainWindowTest, AddSavesThroughTheEditorAndShowsTheNewRow) {
    threeWatches();
    window.watchList().selectRow(1);
    // Cancelled, the editor leaves the list and its selection as they were.
    window.commands().addWatch();
    EXPECT_EQ(dialogs.editorsRun, 1);
    EXPECT_EQ(captions(), (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(window.watchList().selectedWatchIndex(), 1);

    const std::string source = dir / "src";
    const std::string destination = dir / "dst";
    test::makeFolders(source);
    test::makeFolders(destination);
    dialogs.folders = {QString::fromStdString(source), QString::fromStdString(destination)};
    bool schedulerWasRunning = true;
    dialogs.onEditor = [&](TEditWatchForm& editor) {
        schedulerWasRunning = test::child<QTimer>(window, "dueWatchesTimer")->isActive();
        EXPECT_EQ(editor.EditIndex(), -1);
        editor.SourceButtonClick();
        editor.DistinationButtonClick();
        editor.BitBtn2Click();
    };
    window.commands().addWatch();
    EXPECT_FALSE(schedulerWasRunning);
    EXPECT_TRUE(test::child<QTimer>(window, "dueWatchesTimer")->isActive());
    EXPECT_EQ(captions(), (std::vector<std::string>{"0", "1", "2", "3"}));
    EXPECT_EQ(list()->topLevelItem(3)->text(1).toStdString(), source);
    // The new watch is selected, wherever the list's sorting puts it.
    EXPECT_EQ(window.watchList().selectedWatchIndex(), 3);
}

TEST_F(MainWindowTest, DeleteAsksAndAlwaysRefillsTheList) {
    threeWatches();
    const std::string before = test::readFile(context().WatchFilePath);
    {
        SCOPED_TRACE("cancelled");
        window.watchList().selectRow(1);
        dialogs.confirmAnswer = false;
        window.commands().deleteSelectedWatch();
        EXPECT_EQ(dialogs.confirmations, 1);
        EXPECT_EQ(test::readFile(context().WatchFilePath), before);
        EXPECT_EQ(list()->topLevelItemCount(), 3);
        EXPECT_EQ(window.watchList().selectedWatchIndex(), 1) << "the watch stays selected";
    }
    {
        SCOPED_TRACE("no selection: no question");
        window.watchList().clearSelection();
        window.commands().deleteSelectedWatch();
        EXPECT_EQ(dialogs.confirmations, 1);
        EXPECT_EQ(test::readFile(context().WatchFilePath), before);
    }
    {
        SCOPED_TRACE("confirmed");
        window.watchList().selectRow(1);
        dialogs.confirmAnswer = true;
        window.commands().deleteSelectedWatch();
        EXPECT_EQ(dialogs.confirmations, 2);
        const std::vector<TWatchRec> left = storedWatches(context().WatchFilePath);
        ASSERT_EQ(left.size(), 2u);
        EXPECT_EQ(getText(left[1].SourceDir), "/w2");
        EXPECT_EQ(left[1].WatchIndex, 1);
        EXPECT_EQ(captions(), (std::vector<std::string>{"0", "1"}));
        EXPECT_EQ(list()->topLevelItem(1)->text(1), "/w2");
        EXPECT_EQ(window.watchList().selectedRow(), -1) << "the next watch was not chosen";
    }
}

TEST_F(MainWindowTest, CheckNowRunsTheSelectedWatch) {
    const std::string source = dir / "src";
    const std::string destination = dir / "dst";
    test::makeFolders(source);
    test::makeFolders(destination);
    test::writeFile(source + "/a.txt", "alpha");
    test::writeFile(source + "/b.txt", "beta");
    test::writeWatches(context(), context().WatchFilePath,
                       {makeWatch("/nowhere", "/nowhere"), makeWatch(source, destination, rmManual)});
    window.fillWatchList();
    window.show();

    {
        SCOPED_TRACE("no selection: nothing happens");
        window.commands().checkSelectedWatchNow();
        EXPECT_FALSE(test::exists(context().LogFilePath));
    }

    const test::FixedClock clock({2026, 5, 6, 10, 20, 30, 0});
    window.runDisplay().setRowPicture(1, kRunningPicture);
    window.runDisplay().setRowPicture(7, 0);  // a row the list lacks: ignored
    window.watchList().selectRow(1);
    window.commands().checkSelectedWatchNow();
    EXPECT_EQ(rowPicture(1), kRunningWatchPicture) << "the running mark while it runs";
    test::waitForRun(window);

    EXPECT_EQ(test::snapshotTree(destination), (std::vector<std::string>{"a.txt=alpha", "b.txt=beta"}));
    EXPECT_EQ(rowPicture(1), 2);
    const std::vector<TWatchRec> stored = storedWatches(context().WatchFilePath);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1].LastRunTime, Now());
    EXPECT_NE(stored[0].LastRunTime, Now());
    EXPECT_EQ(window.runView().progress().files(), 2);  // the bar was sized by the files counted
    EXPECT_TRUE(test::child<QProgressBar>(window, "progressBar")->isHidden());
    const std::vector<std::string> lines = logAreaLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find(": Start Manual Synhro folder " + source + " with folder " + destination),
              std::string::npos);
    EXPECT_NE(lines[1].find(": End Manual Synhro folder "), std::string::npos);
    // The run's own summary ends it; the window adds no line of its own for one run.
    EXPECT_NE(lines[2].find(": Summary of watch src: ok; 2 copied, 0 moved, 0 deleted, 0 kept as versions, 0 "
                            "conflicts, 0 failed, 0 deletions refused, 9 bytes, "),
              std::string::npos)
        << lines[2];
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MainWindowTest, RunDisplayValuesStayExactWhilePaintsAreSpared) {
    window.show();
    // A run sets the status for every file and steps the bar for every file, far faster than paints.
    window.runDisplay().setProgressRange(0, 5000);
    window.runDisplay().setProgressPosition(0);
    window.runDisplay().setProgressVisible(true);
    for (int i = 0; i < 4321; ++i) {
        window.runDisplay().stepProgress();
        window.runDisplay().setStatusText("  Copy file :/src/f" + std::to_string(i));
    }
    EXPECT_EQ(window.runView().statusText().toStdString(), "  Copy file :/src/f4320");
    // Whatever comes next shows the bar's exact position and the file in the window's words.
    window.runDisplay().setProgressVisible(true);
    // The bar shows the share of the work in thousandths.
    EXPECT_EQ(test::child<QProgressBar>(window, "progressBar")->value(), 864);
    EXPECT_EQ(window.runView().statusBar()->panelText(0).toStdString(), "/src/f4320");
    EXPECT_EQ(window.runView().countsText().toStdString(), "4,321 of 5,000 · 86 %");
    window.runDisplay().setStatusText("");
    EXPECT_EQ(window.runView().statusBar()->panelText(0).toStdString(), "");
}

TEST_F(MainWindowTest, TimerPassRunsDueWatchesWithTheTimerOff) {
    const std::string source = dir / "src";
    test::makeFolders(source);
    test::writeFile(source + "/a.txt", "alpha");
    TWatchRec due = makeWatch(source, dir / "dst", rmTimer, pd1Hour);
    due.LastRunTime = 0;  // long ago
    test::writeWatches(context(), context().WatchFilePath, {due});
    window.fillWatchList();

    // The log cannot be written (its path is a folder), so the pass shows a message box mid-run.
    context().LogFilePath = dir.path();
    std::vector<bool> timerDuringMessages;
    dialogs.onMessage = [&] {
        timerDuringMessages.push_back(test::child<QTimer>(window, "dueWatchesTimer")->isActive());
    };
    window.runs().checkDueWatches();
    test::waitForRun(window);

    EXPECT_EQ(test::readFile(dir / "dst/a.txt"), "alpha");
    ASSERT_FALSE(timerDuringMessages.empty());
    for (bool active : timerDuringMessages) EXPECT_FALSE(active);
    EXPECT_TRUE(test::child<QTimer>(window, "dueWatchesTimer")->isActive());
    EXPECT_EQ(rowPicture(0), 4);
}

TEST_F(MainWindowTest, LoadWatchesSwitchesFilesAndRefillsAtOnce) {
    threeWatches();
    const std::string other = dir / "other.wth";
    test::writeWatches(context(), other, {makeWatch("/o0", "/p0")});

    dialogs.watchFile.clear();
    window.commands().loadWatchFile();
    EXPECT_EQ(context().WatchFilePath, dir / "WatchDef.wth") << "cancelled";

    dialogs.watchFile = QString::fromStdString(other);
    window.commands().loadWatchFile();
    EXPECT_EQ(context().WatchFilePath, other);
    EXPECT_EQ(captions(), (std::vector<std::string>{"0"}));

    // A name typed without an extension gets ".wth"; the file need not exist yet.
    dialogs.watchFile = QString::fromStdString(dir / "fresh");
    window.commands().loadWatchFile();
    EXPECT_EQ(context().WatchFilePath, dir / "fresh.wth");
    EXPECT_EQ(list()->topLevelItemCount(), 0);
    EXPECT_FALSE(test::exists(dir / "fresh.wth"));
}

TEST_F(MainWindowTest, LogAreaKeepsSevenDisplayedLines) {
    window.show();
    QCoreApplication::processEvents();
    for (int i = 0; i < 20; ++i) WriteLogLine(context(), "line " + std::to_string(i));
    std::vector<std::string> lines = logAreaLines();
    ASSERT_EQ(lines.size(), 7u);
    for (int i = 0; i < 7; ++i)
        EXPECT_NE(lines[static_cast<std::size_t>(i)].find(": line " + std::to_string(13 + i)),
                  std::string::npos);
    EXPECT_EQ(window.runDisplay().logLineCount(), 7);

    // A line too long for the width counts as several displayed lines, and only one line goes per call.
    const std::string longMessage(2000, 'w');
    WriteLogLine(context(), longMessage);
    const int displayed = window.runDisplay().logLineCount();
    EXPECT_GT(displayed, 8);
    lines = logAreaLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_NE(lines.front().find(": line 14"), std::string::npos);

    // Removing from a wrapped first line takes only its first displayed piece.
    for (int i = 0; i < 6; ++i) window.runDisplay().removeFirstLogLine();
    ASSERT_EQ(logAreaLines().size(), 1u);
    const int wrapped = window.runDisplay().logLineCount();
    const std::size_t length = logAreaLines().front().size();
    window.runDisplay().removeFirstLogLine();
    EXPECT_EQ(window.runDisplay().logLineCount(), wrapped - 1);
    ASSERT_EQ(logAreaLines().size(), 1u);
    const std::string rest = logAreaLines().front();
    EXPECT_LT(rest.size(), length);
    EXPECT_EQ(rest, std::string(rest.size(), 'w'));
}

}  // namespace
}  // namespace tessel
