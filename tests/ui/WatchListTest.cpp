// The watch list sorted by its columns: every command still reaches the watch its row shows, sorting and
// selection outlast the refills of Add, Edit and Delete, and a running watch shows a picture of its own.

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "sync/Scheduler.h"
#include "ui/EditWatch.h"
#include "ui/MainWindow.h"
#include "ui/Pictures.h"
#include "ui/PreviewDialog.h"
#include "ui/RunView.h"
#include "ui/UiTestSupport.h"
#include "ui/WatchList.h"
#include "ui/WindowCommands.h"
#include "ui/WindowRunDisplay.h"
#include "watch/WatchFile.h"

namespace tessel {
namespace {

using Order = std::vector<int>;
using test::FakeDialogs;
using test::makeWatch;
using test::TempDir;

// Watch i has source kSources[i] and destination kDestinations[i]: numbers, sources and destinations
// each sort another way, digits as numbers and capitals alike.
const std::vector<std::string> kSources = {"b10", "B2", "a", "c"};
const std::vector<std::string> kDestinations = {"zeta", "alpha", "Mu", "beta"};

class WatchListTest : public ::testing::Test {
  protected:
    WatchListTest() {
        window.context().WatchFilePath = dir / "WatchDef.wth";
        window.context().LogFilePath = dir / "WatchLog.Log";
    }

    std::string source(int watch) const { return dir / ("w/" + kSources[static_cast<std::size_t>(watch)]); }
    std::string destination(int watch) const {
        return dir / ("d/" + kDestinations[static_cast<std::size_t>(watch)]);
    }

    void fourWatches(std::uint8_t runMode = rmManual) {
        std::vector<TWatchRec> watches;
        for (int i = 0; i < 4; ++i) {
            test::makeFolders(source(i));
            test::makeFolders(destination(i));
            test::writeFile(source(i) + "/file.txt", kSources[static_cast<std::size_t>(i)]);
            watches.push_back(makeWatch(source(i), destination(i), runMode));
        }
        test::writeWatches(window.context(), window.context().WatchFilePath, watches);
        window.fillWatchList();
    }

    // The watch each row shows, from the top.
    Order shownOrder() const {
        Order order;
        for (int row = 0; row < list().topLevelItemCount(); ++row) order.push_back(list().watchAtRow(row));
        return order;
    }
    WatchList& list() const { return window.watchList(); }
    int picture(int watch) const {
        const int row = list().rowOfWatch(watch);
        return row < 0 ? -1 : list().topLevelItem(row)->data(0, WatchList::kPictureRole).toInt();
    }
    std::string lastLogged(const std::string& start) const {
        std::string found;
        for (const std::string& line : test::loggedMessages(dir / "WatchLog.Log"))
            if (line.rfind(start, 0) == 0) found = line;
        return found;
    }

    TempDir dir;
    FakeDialogs dialogs;
    MainWindow window{dialogs};
};

TEST_F(WatchListTest, SortingByEachColumnKeepsEveryCommandOnItsWatch) {
    fourWatches();
    EXPECT_EQ(shownOrder(), (Order{0, 1, 2, 3})) << "in the order of the watch file at first";
    struct Case {
        int column;
        Qt::SortOrder order;
        Order shown;
    };
    for (const Case& c : std::vector<Case>{{WatchList::SourceColumn, Qt::AscendingOrder, {2, 1, 0, 3}},
                                           {WatchList::SourceColumn, Qt::DescendingOrder, {3, 0, 1, 2}},
                                           {WatchList::DestinationColumn, Qt::AscendingOrder, {1, 3, 2, 0}},
                                           {WatchList::DestinationColumn, Qt::DescendingOrder, {0, 2, 3, 1}},
                                           {WatchList::StatusColumn, Qt::DescendingOrder, {3, 2, 1, 0}},
                                           {WatchList::StatusColumn, Qt::AscendingOrder, {0, 1, 2, 3}}}) {
        SCOPED_TRACE(testing::Message()
                     << "column " << c.column << (c.order == Qt::AscendingOrder ? " up" : " down"));
        list().sortByColumn(c.column, c.order);
        ASSERT_EQ(shownOrder(), c.shown);

        for (int row = 0; row < 4; ++row) {
            SCOPED_TRACE(row);
            const int watch = c.shown[static_cast<std::size_t>(row)];
            list().selectRow(row);
            EXPECT_EQ(list().selectedWatchIndex(), watch);
            EXPECT_EQ(list().topLevelItem(row)->text(WatchList::SourceColumn).toStdString(), source(watch));
            // The editor opens the watch the row shows.
            int edited = -1;
            QString shownSource;
            dialogs.onEditor = [&](TEditWatchForm& editor) {
                edited = editor.EditIndex();
                shownSource = editor.SourceEdit->text();
            };
            window.commands().editSelectedWatch();
            EXPECT_EQ(edited, watch);
            EXPECT_EQ(shownSource.toStdString(), source(watch));
            EXPECT_EQ(list().selectedWatchIndex(), watch) << "still selected after the refill";
            EXPECT_EQ(shownOrder(), c.shown) << "still sorted after the refill";
        }

        // Check Now runs the watch of the first row, and its tray text names it.
        list().selectRow(0);
        window.commands().checkSelectedWatchNow();
        ASSERT_TRUE(window.isRunning());
        test::waitForRun(window);
        EXPECT_EQ(
            lastLogged("Start Manual Synhro folder "),
            "Start Manual Synhro folder " + source(c.shown[0]) + " with folder " + destination(c.shown[0]));

        // The preview of the last row is that watch's.
        list().selectRow(3);
        window.commands().previewSelectedWatch();
        test::waitForRun(window);
        ASSERT_NE(window.commands().previewDialog(), nullptr);
        EXPECT_EQ(window.commands().previewDialog()->watchIndex(), c.shown[3]);
        window.commands().closePreview();
    }
}

TEST_F(WatchListTest, AClickOnAHeaderSortsAndASecondTurnsTheOrder) {
    fourWatches();
    window.show();
    QHeaderView* header = list().header();
    const auto click = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    click(WatchList::DestinationColumn);
    EXPECT_EQ(shownOrder(), (Order{1, 3, 2, 0}));
    click(WatchList::DestinationColumn);
    EXPECT_EQ(shownOrder(), (Order{0, 2, 3, 1}));
    click(WatchList::StatusColumn);
    EXPECT_EQ(shownOrder(), (Order{0, 1, 2, 3}));
}

TEST_F(WatchListTest, SortingAndSelectionOutlastAddEditAndDelete) {
    fourWatches();
    list().sortByColumn(WatchList::DestinationColumn, Qt::DescendingOrder);
    ASSERT_EQ(shownOrder(), (Order{0, 2, 3, 1}));

    // Edit moves watch 2 to the end of the list; it stays selected there.
    test::makeFolders(dir / "d/aaa");
    list().selectWatch(2);
    dialogs.onEditor = [&](TEditWatchForm& editor) {
        editor.DestinationEdit->setText(QString::fromStdString(dir / "d/aaa"));
        editor.BitBtn2Click();
    };
    window.commands().editSelectedWatch();
    EXPECT_EQ(shownOrder(), (Order{0, 3, 1, 2}));
    EXPECT_EQ(list().selectedWatchIndex(), 2);
    EXPECT_EQ(list().selectedRow(), 3);

    // Add puts the new watch where the sorting says and selects it.
    test::makeFolders(dir / "w/new");
    test::makeFolders(dir / "d/nu");
    dialogs.folders = {QString::fromStdString(dir / "w/new"), QString::fromStdString(dir / "d/nu")};
    dialogs.onEditor = [&](TEditWatchForm& editor) {
        editor.SourceButtonClick();
        editor.DistinationButtonClick();
        editor.BitBtn2Click();
    };
    window.commands().addWatch();
    EXPECT_EQ(shownOrder(), (Order{0, 4, 3, 1, 2}));
    EXPECT_EQ(list().selectedWatchIndex(), 4);

    // A cancelled Delete keeps the selection; a confirmed one deletes the watch the row shows.
    list().selectRow(2);
    ASSERT_EQ(list().selectedWatchIndex(), 3);
    dialogs.confirmAnswer = false;
    window.commands().deleteSelectedWatch();
    EXPECT_EQ(list().selectedWatchIndex(), 3);
    dialogs.confirmAnswer = true;
    window.commands().deleteSelectedWatch();
    const std::vector<TWatchRec> left = test::storedWatches(window.context().WatchFilePath);
    ASSERT_EQ(left.size(), 4u);
    for (const TWatchRec& watch : left) EXPECT_NE(getText(watch.DestDir), destination(3));
    // Watch 4 is watch 3 now; the list is still sorted by destination, downwards.
    EXPECT_EQ(shownOrder(), (Order{0, 3, 1, 2}));
    EXPECT_EQ(list().header()->sortIndicatorSection(), WatchList::DestinationColumn);
    EXPECT_EQ(list().selectedRow(), -1);
}

TEST_F(WatchListTest, ARunningWatchHasAPictureOfItsOwnAndGetsItsOwnBack) {
    fourWatches();
    // Watch 0 runs every ten minutes: its own picture is the one the engine marks running watches with.
    TWatchRec timed = test::storedWatches(window.context().WatchFilePath)[0];
    timed.RunMode = rmTimer;
    timed.Period = pd10Minutes;
    timed.LastRunTime = 0;
    ASSERT_TRUE(WriteWatchRec(window.context(), timed));
    window.fillWatchList();
    ASSERT_EQ(GetSinhroWatchType(timed), kRunningPicture);
    const int manual = GetSinhroWatchType(makeWatch("/a", "/b", rmManual));

    {
        SCOPED_TRACE("what the engine shows");
        struct Case {
            std::vector<std::pair<int, int>> calls;  // (watch, picture) as the engine sets them
            Order pictures;                          // of watches 0 and 1 afterwards
        };
        for (const Case& c : std::vector<Case>{
                 {{{0, kRunningPicture}}, {kRunningWatchPicture, manual}},
                 {{{0, kRunningPicture}, {0, kRunningPicture}}, {kRunningPicture, manual}},
                 {{{1, kRunningPicture}}, {kRunningPicture, kRunningWatchPicture}},
                 {{{1, kRunningPicture}, {1, manual}}, {kRunningPicture, manual}},
                 {{{0, kRunningPicture}, {0, kRunningPicture}, {1, kRunningPicture}},
                  {kRunningPicture, kRunningWatchPicture}},
                 {{{7, kRunningPicture}, {0, 42}}, {kRunningPicture, manual}},
             }) {
            SCOPED_TRACE(c.calls.size());
            window.fillWatchList();
            for (const auto& [watch, shown] : c.calls) window.runDisplay().setRowPicture(watch, shown);
            EXPECT_EQ((Order{picture(0), picture(1)}), c.pictures);
        }
    }

    // A pass over all watches in a list sorted the other way round: each watch shows the running picture
    // while it runs and its own before and after. The log is a folder, so every line the runs log asks
    // for a box, in which the test looks at the list.
    window.fillWatchList();
    window.show();
    list().sortByColumn(WatchList::StatusColumn, Qt::DescendingOrder);
    test::makeFolders(dir / "WatchLog.Log");
    std::vector<Order> seen;
    dialogs.onMessage = [&] {
        Order now{picture(0), picture(1), picture(2), picture(3), window.runView().progressShown() ? 1 : 0};
        if (seen.empty() || seen.back() != now) seen.push_back(now);
    };
    EXPECT_FALSE(window.runView().progressShown()) << "no progress box while idle";
    window.commands().checkAllWatches();
    test::waitForRun(window);
    const int m = manual;
    const int running = kRunningWatchPicture;
    const int own = kRunningPicture;
    EXPECT_EQ(seen, (std::vector<Order>{{running, m, m, m, 1},
                                        {own, m, m, m, 1},
                                        {own, running, m, m, 1},
                                        {own, m, m, m, 1},
                                        {own, m, running, m, 1},
                                        {own, m, m, m, 1},
                                        {own, m, m, running, 1},
                                        {own, m, m, m, 1},
                                        {own, m, m, m, 0}}));
    EXPECT_EQ((Order{picture(0), picture(1), picture(2), picture(3)}), (Order{kRunningPicture, m, m, m}));
    EXPECT_FALSE(window.runView().progressShown());
}

}  // namespace
}  // namespace tessel
