// The window's preview of a watch and its versions folder command: what the preview lists is what the
// following Check Now does, nothing happens before it, and the kept versions are found where runs keep them.

#include <gtest/gtest.h>

#include <QAbstractTableModel>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/Versions.h"
#include "support/TestSupport.h"
#include "sync/Preview.h"
#include "ui/MainWindow.h"
#include "ui/PreviewDialog.h"
#include "ui/RunCoordinator.h"
#include "ui/UiTestSupport.h"
#include "ui/WatchList.h"
#include "ui/WindowCommands.h"
#include "ui/WindowRunDisplay.h"

namespace tessel {
namespace {

using test::child;
using test::makeWatch;

class PreviewTest : public ::testing::Test {
  protected:
    PreviewTest() {
        window.context().WatchFilePath = dir / "WatchDef.wth";
        window.context().LogFilePath = dir / "WatchLog.Log";
    }

    // The watch file holds `watch` alone, and its row is selected.
    void useWatch(const TWatchRec& watch) {
        test::writeFile(window.context().WatchFilePath, "");
        test::writeWatches(window.context(), window.context().WatchFilePath, {watch});
        window.fillWatchList();
        window.watchList().selectRow(0);
    }
    bool enabled(const char* action) const { return child<QAction>(window, action)->isEnabled(); }

    test::TempDir dir;
    test::FakeDialogs dialogs;
    MainWindow window{dialogs};
};

TEST_F(PreviewTest, ListsWhatTheFollowingCheckNowDoesAndChangesNothingBefore) {
    const std::string src = dir / "src", dst = dir / "dst";
    test::makeFolders(src + "/sub");
    test::makeFolders(dst);
    test::writeFile(src + "/new.txt", "new");
    test::writeFile(src + "/sub/deep.txt", "deep");
    test::writeFile(src + "/changed.txt", "changed, longer");
    test::writeFile(dst + "/changed.txt", "old");
    test::setModificationTime(dst + "/changed.txt", 1'000'000'000);
    test::writeFile(dst + "/gone.txt", "only here");
    TWatchRec watch = makeWatch(src, dst);
    watch.DeleteAbsent = 1;
    watch.WideLog = 1;
    useWatch(watch);
    window.show();

    const std::vector<std::string> before = test::snapshotTree(dir.path());
    child<QAction>(window, "previewAction")->trigger();
    ASSERT_TRUE(window.isRunning());
    EXPECT_FALSE(enabled("checkNowAction") || enabled("previewAction")) << "one run at a time";
    EXPECT_TRUE(enabled("stopAction"));
    test::waitForRun(window);
    EXPECT_EQ(test::snapshotTree(dir.path()), before) << "no file, folder, log line or LastRunTime";

    PreviewDialog* dialog = window.commands().previewDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    PlanModel& model = *dialog->model();
    std::vector<std::pair<RunAction::Kind, std::string>> listed;
    for (int row = 0; row < model.rowCount(); ++row)
        listed.emplace_back(model.actionAt(row).kind, model.actionAt(row).path);
    const auto has = [&](RunAction::Kind kind, const std::string& path) {
        return std::count(listed.begin(), listed.end(), std::pair(kind, path)) == 1;
    };
    EXPECT_TRUE(has(RunAction::Kind::Copy, src + "/new.txt"));
    EXPECT_TRUE(has(RunAction::Kind::Copy, src + "/sub/deep.txt"));
    EXPECT_TRUE(has(RunAction::Kind::Replace, src + "/changed.txt"));
    EXPECT_TRUE(has(RunAction::Kind::Delete, dst + "/gone.txt"));
    EXPECT_EQ(dialog->errorLines(), nullptr);
    const QString totals = dialog->totalsLabel()->text();
    for (const char* part : {"Copy: 2 (7 B)", "Replace: 1 (15 B)", "Delete: 1 (9 B)"})
        EXPECT_TRUE(totals.contains(QLatin1String(part))) << totals.toStdString();

    // The filter shows one kind of action and says how many of all.
    QComboBox* filter = dialog->filterBox();
    const int deletions = filter->findData(static_cast<int>(RunAction::Kind::Delete));
    ASSERT_GT(deletions, 0);
    EXPECT_EQ(filter->findData(static_cast<int>(RunAction::Kind::Conflict)), -1) << "only kinds the plan has";
    filter->setCurrentIndex(deletions);
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.actionAt(0).path, dst + "/gone.txt");
    EXPECT_EQ(model.data(model.index(0, PlanModel::ActionColumn)).toString(), QStringLiteral("Delete"));
    EXPECT_EQ(model.data(model.index(0, PlanModel::PathColumn)).toString(), QStringLiteral("gone.txt"));
    EXPECT_EQ(model.data(model.index(0, PlanModel::SideColumn)).toString(), QStringLiteral("destination"));
    EXPECT_TRUE(dialog->shownLabel()->text().contains(QStringLiteral("1 of %1").arg(listed.size())));
    filter->setCurrentIndex(0);
    EXPECT_EQ(model.rowCount(), static_cast<int>(listed.size()));

    // Run Now is Check Now of the previewed watch, whatever is selected meanwhile; its copies, replacements
    // and deletions come in the order the preview listed them.
    child<QTreeWidget>(window, "watchList")->clearSelection();
    dialog->runNowButton()->click();
    EXPECT_FALSE(window.commands().previewDialog() && window.commands().previewDialog()->isVisible());
    ASSERT_TRUE(window.isRunning());
    test::waitForRun(window);
    std::vector<std::string> expected, done;
    for (const auto& [kind, path] : listed) {
        if (kind == RunAction::Kind::Copy) expected.push_back("Copied file " + path + " ");
        if (kind == RunAction::Kind::Replace) expected.push_back("Copied file " + path);
        if (kind == RunAction::Kind::Delete) expected.push_back("Delete file " + path);
    }
    const std::vector<std::string> lines = test::loggedMessages(dir / "WatchLog.Log");
    for (const std::string& line : lines)
        if (line.rfind("Copied file ", 0) == 0 || line.rfind("Delete file ", 0) == 0) done.push_back(line);
    EXPECT_EQ(done, expected);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().rfind("Start Manual Synhro folder ", 0), 0u) << lines.front();
    EXPECT_EQ(test::readFile(dst + "/changed.txt"), "changed, longer");
    EXPECT_FALSE(test::exists(dst + "/gone.txt"));
}

// The plan in the user's hands: a row left out is not done, a conflict decided for the source's file
// gets it on both sides, a conflict's copy goes with its conflict, and folders to make cannot be left out.
TEST_F(PreviewTest, RunNowDoesThePlanAsTheUserEditedIt) {
    const std::string src = dir / "src", dst = dir / "dst";
    window.context().options.stateFolder = dir / "state";
    test::makeFolders(src);
    test::writeFile(src + "/both.txt", "first");
    TWatchRec watch = makeWatch(src, dst);
    watch.BiDirect = 1;
    useWatch(watch);
    window.commands().checkSelectedWatchNow();
    test::waitForRun(window);
    ASSERT_EQ(test::readFile(dst + "/both.txt"), "first");
    test::writeFile(src + "/both.txt", "the source's edit");
    test::writeFile(dst + "/both.txt", "the destination's edit, newer");
    test::setModificationTime(src + "/both.txt", 1'700'000'000);
    test::setModificationTime(dst + "/both.txt", 1'700'000'100);
    test::writeFile(src + "/wanted.txt", "w");
    test::writeFile(src + "/unwanted.txt", "u");
    test::writeFile(src + "/new/inside.txt", "i");
    // A file changed in the clock's tick the preview begins in counts as changed since.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

    window.commands().previewSelectedWatch();
    test::waitForRun(window);
    PreviewDialog* dialog = window.commands().previewDialog();
    ASSERT_NE(dialog, nullptr);
    PlanModel& model = *dialog->model();
    EXPECT_FALSE(dialog->table()->isColumnHidden(PlanModel::DecisionColumn));
    int conflictRow = -1, unwantedRow = -1, folderRow = -1, followerRow = -1;
    for (int row = 0; row < model.rowCount(); ++row) {
        const RunAction& action = model.actionAt(row);
        if (action.kind == RunAction::Kind::Conflict) conflictRow = row;
        if (action.path == src + "/unwanted.txt") unwantedRow = row;
        if (action.kind == RunAction::Kind::CreateFolder) folderRow = row;
        if (action.kind != RunAction::Kind::Conflict && action.target == dst + "/both.txt") followerRow = row;
    }
    ASSERT_TRUE(conflictRow >= 0 && unwantedRow >= 0 && folderRow >= 0);
    const auto flags = [&](int row, int column) { return model.flags(model.index(row, column)); };
    EXPECT_FALSE(flags(folderRow, PlanModel::ActionColumn) & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(flags(conflictRow, PlanModel::DecisionColumn) & Qt::ItemIsEditable);
    EXPECT_FALSE(flags(unwantedRow, PlanModel::DecisionColumn) & Qt::ItemIsEditable);
    if (followerRow >= 0) {
        EXPECT_FALSE(flags(followerRow, PlanModel::ActionColumn) & Qt::ItemIsUserCheckable);
    }

    EXPECT_FALSE(model.setData(model.index(conflictRow, PlanModel::DecisionColumn), 3));
    ASSERT_TRUE(
        model.setData(model.index(unwantedRow, PlanModel::ActionColumn), Qt::Unchecked, Qt::CheckStateRole));
    ASSERT_TRUE(model.setData(model.index(conflictRow, PlanModel::DecisionColumn), 1));
    EXPECT_EQ(model.data(model.index(conflictRow, PlanModel::DecisionColumn)).toString(),
              QStringLiteral("Keep the source's"));
    EXPECT_TRUE(dialog->shownLabel()->text().contains(QStringLiteral("1 left out")))
        << dialog->shownLabel()->text().toStdString();

    dialog->runNowButton()->click();
    test::waitForRun(window);
    EXPECT_EQ(test::readFile(dst + "/wanted.txt"), "w");
    EXPECT_EQ(test::readFile(dst + "/new/inside.txt"), "i");
    EXPECT_FALSE(test::exists(dst + "/unwanted.txt"));
    EXPECT_EQ(test::readFile(dst + "/both.txt"), "the source's edit");
    EXPECT_EQ(test::readFile(src + "/both.txt"), "the source's edit");
    for (const std::string& tree : {src, dst})
        for (const std::string& name : test::listFolder(tree))
            EXPECT_EQ(name.find("conflict"), std::string::npos) << tree << "/" << name;
    EXPECT_EQ(window.lastRunResult().failed, 0);
}

TEST_F(PreviewTest, AStoppedPreviewShowsNothingAndAPreviewIsNoRun) {
    test::makeFolders(dir / "src");
    // Enough files that the stop comes long before the preview's end.
    for (int i = 0; i < 3000; ++i) test::writeFile(dir / ("src/f" + std::to_string(i)), "x");
    useWatch(makeWatch(dir / "src", dir / "dst"));
    window.commands().previewSelectedWatch();
    child<QAction>(window, "stopAction")->trigger();
    test::waitForRun(window);
    EXPECT_EQ(window.commands().previewDialog(), nullptr);
    EXPECT_FALSE(test::exists(dir / "dst"));
    EXPECT_TRUE(test::loggedMessages(dir / "WatchLog.Log").empty());

    // A source that is not there: the dialog shows the error line the run would log, and nothing to do.
    useWatch(makeWatch(dir / "missing", dir / "dst"));
    window.commands().previewSelectedWatch();
    test::waitForRun(window);
    ASSERT_NE(window.commands().previewDialog(), nullptr);
    ASSERT_NE(window.commands().previewDialog()->errorLines(), nullptr);
    EXPECT_TRUE(window.commands().previewDialog()->errorLines()->toPlainText().contains(
        QString::fromStdString(dir / "missing")));
    EXPECT_EQ(window.commands().previewDialog()->model()->rowCount(), 0);
    EXPECT_EQ(window.lastRunResult().failed, 0) << "a preview is not the last run";
    EXPECT_TRUE(test::loggedMessages(dir / "WatchLog.Log").empty());
    // A changed watch list makes the plan stale: the dialog goes.
    QPointer<PreviewDialog> stale = window.commands().previewDialog();
    window.fillWatchList();
    EXPECT_TRUE(stale.isNull() || !stale->isVisible());
}

TEST(PreviewDialogTest, AHundredThousandActionsAreRowsOfAModelNotWidgets) {
    PlanRecorder plan;
    constexpr int kRows = 100'000;
    for (int i = 0; i < kRows; ++i) {
        const auto kind = i % 10 == 0 ? RunAction::Kind::Delete : RunAction::Kind::Copy;
        plan.action({kind, "/src/file" + std::to_string(i), "/dst/file" + std::to_string(i),
                     static_cast<std::uint64_t>(i), RunAction::Side::Source});
    }
    plan.error("Error opening folder /src/locked/: Permission denied");
    PreviewDialog dialog(7, {"/src", "/dst"}, std::move(plan), nullptr);
    dialog.show();

    auto* model = qobject_cast<QAbstractTableModel*>(dialog.table()->model());
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->rowCount(), kRows);
    EXPECT_EQ(dialog.table()->indexWidget(model->index(0, 0)), nullptr);
    EXPECT_LT(dialog.findChildren<QWidget*>().size(), 100) << "no widget per row";
    EXPECT_EQ(model->data(model->index(1234, PlanModel::SizeColumn)).toString(), QStringLiteral("1.2 KB"));
    EXPECT_EQ(model->data(model->index(1234, PlanModel::NewerColumn)).toString(), QStringLiteral("source"));
    EXPECT_TRUE(dialog.totalsLabel()->text().contains(QStringLiteral("Delete: 10,000")));
    ASSERT_NE(dialog.errorLines(), nullptr);
    EXPECT_EQ(dialog.errorLines()->toPlainText(),
              QStringLiteral("Error opening folder /src/locked/: Permission denied"));

    dialog.filterBox()->setCurrentIndex(
        dialog.filterBox()->findData(static_cast<int>(RunAction::Kind::Delete)));
    EXPECT_EQ(model->rowCount(), kRows / 10);
    EXPECT_EQ(model->data(model->index(1, PlanModel::PathColumn)).toString(), QStringLiteral("file10"));

    // Run Now names the previewed watch.
    int asked = -1;
    QObject::connect(&dialog, &PreviewDialog::runNowRequested, [&](int index) { asked = index; });
    dialog.setRunAllowed(false);
    EXPECT_FALSE(dialog.runNowButton()->isEnabled());
    dialog.setRunAllowed(true);
    dialog.runNowButton()->click();
    EXPECT_EQ(asked, 7);
}

TEST(PlanModelTest, PathsShowBelowTheRootOfTheirTree) {
    struct Case {
        RunAction action;
        const char* path;
        const char* where;
    };
    // The destination inside the source, as with a backup kept in a subfolder.
    const Case cases[] = {
        {{RunAction::Kind::Copy, "/a/x/y.txt", "/a/b/x/y.txt"}, "x/y.txt", "source → destination"},
        {{RunAction::Kind::Copy, "/a/b/z.txt", "/a/z.txt"}, "z.txt", "destination → source"},
        {{RunAction::Kind::Delete, "/a/b/old.txt", ""}, "old.txt", "destination"},
        {{RunAction::Kind::Conflict, "/a/c.txt", "/a/b/c.txt"}, "c.txt", "source ↔ destination"},
        {{RunAction::Kind::Conflict, "/a/d.txt", "/a/d.conflict-20261208-101010.txt"}, "d.txt", "source"},
        {{RunAction::Kind::CreateFolder, "/ab/new", ""}, "/ab/new", ""},
        {{RunAction::Kind::Delete, "/a/b/line\nbreak", ""}, "line\\x0abreak", "destination"},
    };
    std::vector<RunAction> actions;
    for (const Case& c : cases) actions.push_back(c.action);
    PlanModel model(actions, {"/a", "/a/b"});
    for (int row = 0; row < model.rowCount(); ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(model.data(model.index(row, PlanModel::PathColumn)).toString(),
                  QString::fromUtf8(cases[row].path));
        EXPECT_EQ(model.data(model.index(row, PlanModel::SideColumn)).toString(),
                  QString::fromUtf8(cases[row].where));
    }
}

TEST_F(PreviewTest, OpenVersionsFolderOpensWhereTheRunsKeepThem) {
    const std::string versions(platform::kVersionsFolderName);
    // A run that replaces a file with Copy with root folder keeps its version under the destination's
    // copy of the source folder.
    const std::string src = dir / "docs", dst = dir / "backup";
    test::makeFolders(src);
    test::makeFolders(dst + "/docs");
    test::writeFile(src + "/a.txt", "new");
    test::writeFile(dst + "/docs/a.txt", "old");
    test::setModificationTime(dst + "/docs/a.txt", 1'000'000'000);
    TWatchRec watch = makeWatch(src, dst);
    watch.CopyWithRoot = 1;
    useWatch(watch);
    EXPECT_TRUE(enabled("openVersionsAction") && enabled("listOpenVersionsAction"));

    // Before any run there is nothing to open.
    window.commands().openVersionsFolders();
    EXPECT_TRUE(dialogs.openedUrls.empty());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].contains(QStringLiteral("yet")));

    window.commands().checkSelectedWatchNow();
    EXPECT_TRUE(enabled("openVersionsAction")) << "looking at versions disturbs no run";
    test::waitForRun(window);
    ASSERT_TRUE(test::isFolder(dst + "/docs/" + versions));
    window.commands().openVersionsFolders();
    ASSERT_EQ(dialogs.openedUrls.size(), 1u);
    EXPECT_EQ(dialogs.openedUrls[0], QUrl::fromLocalFile(QString::fromStdString(dst + "/docs/" + versions)));

    // Both ways: the source's too, when it has one. Without a selection the command is off.
    dialogs.openedUrls.clear();
    watch.BiDirect = 1;
    test::makeFolders(src + "/" + versions + "/2026-01-01 000000");
    useWatch(watch);
    window.commands().openVersionsFolders();
    EXPECT_EQ(dialogs.openedUrls,
              (std::vector<QUrl>{QUrl::fromLocalFile(QString::fromStdString(dst + "/docs/" + versions)),
                                 QUrl::fromLocalFile(QString::fromStdString(src + "/" + versions))}));
    child<QTreeWidget>(window, "watchList")->clearSelection();
    EXPECT_FALSE(enabled("openVersionsAction") || enabled("previewAction"));
}

TEST_F(PreviewTest, TheSettingsOfTesselIniReachTheWindowsRuns) {
    // Versions switched off in the settings: a replacing run keeps none, and the command says why.
    window.context().options.keepVersions = false;
    test::makeFolders(dir / "src");
    test::makeFolders(dir / "dst");
    test::writeFile(dir / "src/a.txt", "new");
    test::writeFile(dir / "dst/a.txt", "old");
    test::setModificationTime(dir / "dst/a.txt", 1'000'000'000);
    useWatch(makeWatch(dir / "src", dir / "dst"));
    window.commands().checkSelectedWatchNow();
    test::waitForRun(window);
    EXPECT_EQ(test::readFile(dir / "dst/a.txt"), "new");
    EXPECT_FALSE(test::exists(dir / ("dst/" + std::string(platform::kVersionsFolderName))));
    window.commands().openVersionsFolders();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].contains(QStringLiteral("KeepVersions=0")));
}

}  // namespace
}  // namespace tessel
