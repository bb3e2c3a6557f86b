// What the window remembers between starts, in section [Window] of Tessel.ini, and where it goes on the
// screen: inside the screen's free area, frame and all.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSplitter>
#include <ostream>
#include <string>
#include <vector>

#include "support/PermissionOverride.h"
#include "support/TestSupport.h"
#include "ui/MainWindow.h"
#include "ui/UiTestSupport.h"
#include "ui/WatchList.h"
#include "ui/WindowCommands.h"
#include "ui/WindowState.h"

// Rectangles in failures as numbers.
static void PrintTo(const QRect& rect, std::ostream* out) {
    *out << rect.x() << ',' << rect.y() << ' ' << rect.width() << 'x' << rect.height();
}

namespace tessel {
namespace {

using test::CurrentFolder;
using test::FakeDialogs;
using test::makeWatch;
using test::TempDir;

TEST(WindowPlacement, TheFrameEndsInsideTheFreeArea) {
    // A screen of 1280×800 with a panel of 32 at the top; frames of 4 at the sides and 24 above.
    const QRect available(0, 32, 1280, 768);
    const QMargins frame(4, 24, 4, 4);
    struct Case {
        const char* name;
        QRect inside;
        QRect placed;
    };
    for (const Case& c : std::vector<Case>{
             {"inside already", {100, 100, 696, 480}, {100, 100, 696, 480}},
             {"touching the edges", {4, 56, 1272, 740}, {4, 56, 1272, 740}},
             {"frame 7 past the right edge", {587, 100, 696, 480}, {580, 100, 696, 480}},
             {"past the bottom", {100, 500, 696, 480}, {100, 316, 696, 480}},
             {"under the panel", {100, 10, 696, 480}, {100, 56, 696, 480}},
             {"left of the screen", {-300, 100, 696, 480}, {4, 100, 696, 480}},
             {"on a screen that has gone", {3000, 2000, 696, 480}, {580, 316, 696, 480}},
             {"larger than the screen", {50, 40, 1500, 900}, {4, 56, 1272, 740}},
         }) {
        SCOPED_TRACE(c.name);
        const QRect placed = placeInside(c.inside, frame, available);
        EXPECT_EQ(placed, c.placed);
        EXPECT_TRUE(available.contains(placed.marginsAdded(frame)));
    }
}

class WindowStateTest : public ::testing::Test {
  protected:
    WindowStateTest() {
        test::writeFile(settingsFile, settings);
        RunContext& context = first.context();
        test::writeWatches(context, dir / "watches.wth",
                           {makeWatch("/c", "/x"), makeWatch("/a", "/z"), makeWatch("/b", "/y")});
    }

    static QSplitter* logSplitter(const MainWindow& window) {
        return test::child<QSplitter>(window, "listAndLog");
    }

    TempDir dir;
    CurrentFolder here{dir.path()};
    const std::string settingsFile = dir / "Tessel.ini";
    const std::string settings = "[Main]\r\nDefFileNameFullPath=" + dir / "watches.wth" +
                                 "\r\n; kept by hand\r\nMinimizeOnStart=0\r\n\r\n[Other]\r\nKey=1\r\n";
    FakeDialogs dialogs;
    MainWindow first{dialogs};
};

TEST_F(WindowStateTest, PlaceSizeColumnsSortingSelectionAndLogComeBackAtTheNextStart) {
    first.startUp();
    first.show();
    first.setGeometry(QRect(40, 30, 600, 420));
    first.watchList().setColumnWidths({80, 200, 150, 95, 120, 70, 999});
    first.watchList().sortByColumn(WatchList::NameColumn, Qt::DescendingOrder);
    first.watchList().selectWatch(1);
    logSplitter(first)->setSizes({150, 140});
    const WindowState kept = first.stateToRemember();
    ASSERT_TRUE(kept.logHeight.has_value());
    EXPECT_EQ(*kept.logHeight, logSplitter(first)->sizes().value(1));
    first.close();

    EXPECT_EQ(kept.geometry, QRect(40, 30, 600, 420));
    // The last column takes what the others leave.
    EXPECT_EQ(kept.columnWidths, (std::vector<int>{80, 200, 150, 95, 120, 70}));
    EXPECT_EQ(kept.sortColumn, WatchList::NameColumn);
    EXPECT_EQ(kept.sortOrder, Qt::DescendingOrder);
    EXPECT_EQ(kept.selectedWatch, 1);

    // Section [Main] and everything else as it was; the window's own section after it.
    const std::string stored = test::readFile(settingsFile);
    EXPECT_EQ(stored.substr(0, settings.size()), settings);
    EXPECT_EQ(stored.substr(settings.size(), 12), "\r\n[Window]\r\n");
    EXPECT_EQ(readWindowState(settingsFile), kept);

    MainWindow next(dialogs);
    next.startUp();
    next.show();
    EXPECT_EQ(next.geometry(), QRect(40, 30, 600, 420));
    EXPECT_EQ(next.watchList().columnWidths(), kept.columnWidths);
    EXPECT_EQ(next.watchList().header()->sortIndicatorSection(), WatchList::NameColumn);
    EXPECT_EQ(next.watchList().header()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(next.watchList().watchAtRow(0), 0) << "c first, downwards";
    EXPECT_EQ(next.watchList().selectedWatchIndex(), 1);
    EXPECT_EQ(logSplitter(next)->sizes().value(1), *kept.logHeight);
    EXPECT_EQ(next.stateToRemember(), kept);
    next.close();

    // What a window of fewer columns kept means what it meant: Status and Source sized, sorted by the
    // destination; the columns it did not know keep their width.
    test::writeFile(settingsFile,
                    settings + "[Window]\r\nColumns=60,300\r\nSortColumn=2\r\nSortOrder=Descending\r\n");
    MainWindow older(dialogs);
    older.startUp();
    EXPECT_EQ(older.watchList().columnWidth(WatchList::StatusColumn), 60);
    EXPECT_EQ(older.watchList().columnWidth(WatchList::SourceColumn), 300);
    EXPECT_EQ(older.watchList().columnWidth(WatchList::NameColumn),
              MainWindow(dialogs).watchList().columnWidth(WatchList::NameColumn));
    EXPECT_EQ(older.watchList().header()->sortIndicatorSection(), WatchList::DestinationColumn);
    EXPECT_EQ(older.watchList().watchAtRow(0), 1) << "/z first, downwards";
}

TEST_F(WindowStateTest, AMaximisedWindowComesBackMaximisedWithItsNormalPlaceKept) {
    test::writeFile(settingsFile,
                    settings + "[Window]\r\nLeft=20\r\nTop=40\r\nWidth=500\r\nHeight=300\r\nMaximized=1\r\n");
    first.startUp();
    EXPECT_TRUE(first.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(first.normalGeometry(), QRect(20, 40, 500, 300));
}

TEST_F(WindowStateTest, APlaceOffTheScreenOrASizeTooLargeComesBackInside) {
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QRect& kept : {QRect(5000, 3000, 600, 420), QRect(-900, -700, 600, 420),
                              QRect(10, 10, available.width() * 2, available.height() * 3)}) {
        SCOPED_TRACE(testing::PrintToString(kept));
        test::writeFile(settingsFile, settings + "[Window]\r\nLeft=" + std::to_string(kept.x()) +
                                          "\r\nTop=" + std::to_string(kept.y()) +
                                          "\r\nWidth=" + std::to_string(kept.width()) +
                                          "\r\nHeight=" + std::to_string(kept.height()) + "\r\n");
        MainWindow window(dialogs);
        window.startUp();
        EXPECT_TRUE(available.contains(window.geometry())) << testing::PrintToString(window.geometry());
        EXPECT_LE(window.width(), kept.width());
        EXPECT_LE(window.height(), kept.height());
    }
}

TEST_F(WindowStateTest, ASelectionInAWatchFileLoadedSinceTheStartIsNotKept) {
    test::writeFile(settingsFile, settings + "[Window]\r\nSelectedWatch=2\r\n");
    first.startUp();
    EXPECT_EQ(first.watchList().selectedWatchIndex(), 2);
    test::writeWatches(first.context(), dir / "other.wth", {makeWatch("/o", "/p")});
    dialogs.watchFile = QString::fromStdString(dir / "other.wth");
    first.commands().loadWatchFile();
    EXPECT_EQ(first.watchList().selectedWatchIndex(), -1) << "watch 2 of the old file is not in this one";
    first.watchList().selectWatch(0);
    first.close();
    EXPECT_EQ(readWindowState(settingsFile).selectedWatch, 2);
}

TEST(WindowStateFile, OnlyAnExistingWritableSettingsFileGetsTheSection) {
    TempDir dir;
    WindowState state;
    state.geometry = QRect(1, 2, 300, 200);
    state.columnWidths = {10, 20, 30};
    state.sortColumn = 2;
    state.selectedWatch = 4;
    std::error_code error;
    {
        SCOPED_TRACE("missing");
        EXPECT_FALSE(writeWindowState(dir / "Tessel.ini", state, error));
        EXPECT_FALSE(test::exists(dir / "Tessel.ini"));
    }
    {
        SCOPED_TRACE("written twice: each key once, in its place");
        test::writeFile(dir / "Tessel.ini", "[Main]\nMinimizeOnStart=1\n");
        ASSERT_TRUE(writeWindowState(dir / "Tessel.ini", state, error)) << error.message();
        state.selectedWatch = -1;
        state.maximized = true;
        ASSERT_TRUE(writeWindowState(dir / "Tessel.ini", state, error)) << error.message();
        EXPECT_EQ(test::readFile(dir / "Tessel.ini"),
                  "[Main]\nMinimizeOnStart=1\n\n[Window]\nLeft=1\nTop=2\nWidth=300\nHeight=200\nMaximized=1\n"
                  "Columns=10,20,30\nSortColumn=2\nSortOrder=Ascending\nSelectedWatch=-1\n");
        EXPECT_EQ(readWindowState(dir / "Tessel.ini"), state);
    }
    {
        SCOPED_TRACE("read-only");
        const std::string before = test::readFile(dir / "Tessel.ini");
        chmod((dir / "Tessel.ini").c_str(), 0444);
        test::NoPermissionOverride asUser;
        state.selectedWatch = 3;
        EXPECT_FALSE(writeWindowState(dir / "Tessel.ini", state, error));
        EXPECT_EQ(test::readFile(dir / "Tessel.ini"), before);
    }
}

TEST(WindowStateFile, ADamagedKeyCostsOnlyWhatItHeld) {
    TempDir dir;
    struct Case {
        const char* lines;
        WindowState state;
    };
    WindowState placed;
    placed.geometry = QRect(-5, 7, 640, 480);
    WindowState sorted;
    sorted.sortColumn = 1;
    sorted.sortOrder = Qt::DescendingOrder;
    WindowState columns;
    columns.columnWidths = {50, 0, 300};
    for (const Case& c : std::vector<Case>{
             {"Left=-5\nTop=7\nWidth=640\nHeight=480\n", placed},
             {"Left=-5\nTop=7\nWidth=640\n", {}},
             {"Left=x\nTop=7\nWidth=640\nHeight=480\n", {}},
             {"Left=-5\nTop=7\nWidth=0\nHeight=480\n", {}},
             {"Left=-5\nTop=7\nWidth=640\nHeight=9999999\n", {}},
             {"SortColumn=1\nSortOrder=Descending\n", sorted},
             {"SortColumn=-1\nSortOrder=Sideways\n", {}},
             {"Columns=50, 0 ,300\n", columns},
             {"Columns=50,x,300\n", {}},
             {"Columns=\n", {}},
             {"SelectedWatch=-7\nMaximized=2\nLogHeight=0\n", {}},
         }) {
        SCOPED_TRACE(c.lines);
        test::writeFile(dir / "Tessel.ini", std::string("[Main]\n[Window]\n") + c.lines);
        EXPECT_EQ(readWindowState(dir / "Tessel.ini"), c.state);
    }
    EXPECT_EQ(readWindowState(dir / "missing.ini"), WindowState{});
}

}  // namespace
}  // namespace tessel
