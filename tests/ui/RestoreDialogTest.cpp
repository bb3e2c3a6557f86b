// The window's way to get files back: Restore Files lists what a watch's runs kept, by file and time,
// with a search, and puts a chosen one back in place or into another folder; a folder dropped on the
// watch list starts a new watch of it.

#include <gtest/gtest.h>

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>
#include <string>
#include <vector>

#include "platform/FileLock.h"
#include "support/TestSupport.h"
#include "sync/Scheduler.h"
#include "ui/EditWatch.h"
#include "ui/MainWindow.h"
#include "ui/RestoreDialog.h"
#include "ui/UiTestSupport.h"
#include "ui/WatchList.h"
#include "ui/WindowCommands.h"
#include "watch/WatchFile.h"

namespace tessel {
namespace {

using test::child;
using test::makeWatch;
using test::readFile;
using test::writeFile;

class RestoreDialogTest : public ::testing::Test {
  protected:
    RestoreDialogTest() {
        window.context().WatchFilePath = dir / "WatchDef.wth";
        window.context().LogFilePath = dir / "WatchLog.Log";
        writeFile(dst + "/.tessel-versions/2026-12-02 090000/docs/report.txt", "older");
        writeFile(dst + "/.tessel-versions/2026-12-03 090000/docs/report.txt", "newest kept");
        writeFile(dst + "/.tessel-versions/2026-12-03 090000/photo.jpg", "photo");
        writeFile(dst + "/docs/report.txt", "current");
        test::makeFolders(src);
    }

    // The watch file holds `watch` alone, its row is selected, and Restore Files is chosen for it.
    RestoreDialog& openRestore(const TWatchRec& watch) {
        test::writeFile(window.context().WatchFilePath, "");
        test::writeWatches(window.context(), window.context().WatchFilePath, {watch});
        window.fillWatchList();
        window.watchList().selectRow(0);
        child<QAction>(window, "restoreFilesAction")->trigger();
        RestoreDialog* dialog = window.commands().restoreDialog();
        EXPECT_NE(dialog, nullptr);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->busy(); }, 10000));
        return *dialog;
    }
    // Restores the selected row in place and waits until the list shows what the restore left.
    void restore(RestoreDialog& dialog, void (RestoreDialog::*how)()) {
        (dialog.*how)();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.busy(); }, 10000));
    }
    static QStringList texts(const QTreeWidgetItem& row) {
        QStringList columns;
        for (int column = 0; column < RestoreDialog::ColumnCount; ++column)
            columns << (column == RestoreDialog::ModifiedColumn ? QString() : row.text(column));
        return columns;
    }

    test::TempDir dir;
    test::FakeDialogs dialogs;
    MainWindow window{dialogs};
    const std::string src = dir / "src", dst = dir / "dst";
};

TEST_F(RestoreDialogTest, KeptFilesAreListedSearchedAndPutBack) {
    RestoreDialog& dialog = openRestore(makeWatch(src, dst));
    EXPECT_EQ(dialog.windowTitle(), "Restore Files: src");
    QTreeWidget& list = *dialog.fileList;
    ASSERT_EQ(list.topLevelItemCount(), 2);
    const QTreeWidgetItem& report = *list.topLevelItem(0);
    EXPECT_EQ(texts(report),
              (QStringList{"docs/report.txt", "2026-12-03 09:00:00", "11 B", "", "2 kept", "Destination"}));
    ASSERT_EQ(report.childCount(), 2);
    EXPECT_EQ(texts(*report.child(1)),
              (QStringList{"", "2026-12-02 09:00:00", "5 B", "", "Version", "Destination"}));
    EXPECT_EQ(report.child(1)->toolTip(RestoreDialog::FileColumn),
              QString::fromStdString(dst + "/.tessel-versions/2026-12-02 090000/docs/report.txt"));
    EXPECT_EQ(texts(*list.topLevelItem(1)),
              (QStringList{"photo.jpg", "2026-12-03 09:00:00", "5 B", "", "Version", "Destination"}));
    EXPECT_EQ(dialog.statusLabel->text(), "3 kept copies of 2 files.");

    // The search hides the other files; a hidden row is no choice, the first one shown is.
    list.setCurrentItem(list.topLevelItem(0));
    dialog.searchEdit->setText("PHOTO");
    EXPECT_TRUE(list.topLevelItem(0)->isHidden());
    EXPECT_FALSE(list.topLevelItem(1)->isHidden());
    ASSERT_NE(dialog.selectedKeptFile(), nullptr);
    EXPECT_EQ(dialog.selectedKeptFile()->path, "photo.jpg");
    dialog.searchEdit->setText("nothing like it");
    EXPECT_EQ(dialog.selectedKeptFile(), nullptr);
    EXPECT_FALSE(dialog.restoreButton->isEnabled() || dialog.saveButton->isEnabled());
    dialog.searchEdit->clear();

    // A file's row stands for its newest: put back in place, the current file kept first, logged.
    list.setCurrentItem(list.topLevelItem(0));
    ASSERT_TRUE(dialog.restoreButton->isEnabled());
    restore(dialog, &RestoreDialog::restoreSelected);
    EXPECT_EQ(readFile(dst + "/docs/report.txt"), "newest kept");
    const std::vector<std::string> logged = test::loggedMessages(window.context().LogFilePath);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].substr(0, 50), ("Restored " + dst + "/docs/report.txt from ").substr(0, 50));
    EXPECT_TRUE(
        dialog.statusLabel->text().startsWith(QString::fromStdString("Restored " + dst +
                                                                     "/docs/report.txt. "
                                                                     "The file it replaced is kept as ")))
        << dialog.statusLabel->text().toStdString();
    ASSERT_EQ(list.topLevelItem(0)->childCount(), 3) << "the replaced file is among the kept ones now";
    EXPECT_EQ(readFile(dialog.fileList->topLevelItem(0)->toolTip(0).toStdString()), "current");

    // An older one, chosen below its file.
    list.setCurrentItem(list.topLevelItem(0)->child(2));
    restore(dialog, &RestoreDialog::restoreSelected);
    EXPECT_EQ(readFile(dst + "/docs/report.txt"), "older");

    // Saved elsewhere: never over a file there unless the user agrees, and then that file is kept.
    const std::string out = dir / "out";
    test::makeFolders(out);
    list.setCurrentItem(list.topLevelItem(1));
    dialogs.folders = {QString::fromStdString(out), QString::fromStdString(out), QString::fromStdString(out)};
    restore(dialog, &RestoreDialog::saveSelectedElsewhere);
    EXPECT_EQ(readFile(out + "/photo.jpg"), "photo");
    writeFile(out + "/photo.jpg", "mine");
    restore(dialog, &RestoreDialog::saveSelectedElsewhere);
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_TRUE(
        dialogs.questions[0].first.startsWith(QString::fromStdString(out + "/photo.jpg is already there.")));
    EXPECT_EQ(readFile(out + "/photo.jpg"), "mine");
    EXPECT_EQ(dialog.statusLabel->text(), "Nothing was saved.");
    dialogs.answers = {true};
    restore(dialog, &RestoreDialog::saveSelectedElsewhere);
    EXPECT_EQ(readFile(out + "/photo.jpg"), "photo");
    EXPECT_EQ(test::listFolder(out), (std::vector<std::string>{".tessel-versions", "photo.jpg"}));
    ASSERT_FALSE(dialogs.pickerStarts.empty());
    EXPECT_EQ(dialogs.pickerStarts.back(), QString::fromStdString(out))
        << "the next picker starts where the last went";
    EXPECT_TRUE(dialogs.messages.empty());

    // Refusals are said with their reasons, and nothing changes.
    list.setCurrentItem(list.topLevelItem(0));
    ASSERT_EQ(::unlink((dst + "/docs/report.txt").c_str()), 0);
    ASSERT_EQ(::symlink((out + "/photo.jpg").c_str(), (dst + "/docs/report.txt").c_str()), 0);
    restore(dialog, &RestoreDialog::restoreSelected);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0],
              QString::fromStdString(dst + "/docs/report.txt could not be restored: writing " + dst +
                                     "/docs/report.txt: a symbolic link, not followed. Nothing "
                                     "was changed."));
    EXPECT_EQ(readFile(out + "/photo.jpg"), "photo");
    ASSERT_EQ(::unlink((dst + "/docs/report.txt").c_str()), 0);
    platform::FileLock run;
    std::error_code error;
    ASSERT_EQ(run.acquire(runLockPath(makeWatch(src, dst)), platform::FileLock::Mode::Exclusive, false, true,
                          error),
              platform::FileLock::State::Held);
    restore(dialog, &RestoreDialog::restoreSelected);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[1].startsWith("The watch is running now"))
        << dialogs.messages[1].toStdString();
    EXPECT_FALSE(test::exists(dst + "/docs/report.txt"));
    EXPECT_EQ(test::loggedMessages(window.context().LogFilePath).size(), 4u) << "only what was restored";
}

TEST_F(RestoreDialogTest, AWatchWithNothingKeptSaysSoAndOpenVersionsFolderHelpsWithoutAFileManager) {
    const std::string empty = dir / "empty";
    test::makeFolders(empty);
    RestoreDialog& dialog = openRestore(makeWatch(src, empty));
    EXPECT_EQ(dialog.fileList->topLevelItemCount(), 0);
    EXPECT_EQ(dialog.statusLabel->text(),
              "Nothing has been kept for this watch yet: its runs have replaced or deleted no file.");
    EXPECT_FALSE(dialog.restoreButton->isEnabled() || dialog.saveButton->isEnabled());

    // Another watch's dialog takes its place.
    QPointer<RestoreDialog> first = &dialog;
    RestoreDialog& second = openRestore(makeWatch(src, dst));
    EXPECT_NE(&second, first.data());
    EXPECT_TRUE(first.isNull() || !first->isVisible());
    EXPECT_EQ(second.fileList->topLevelItemCount(), 2);

    dialogs.urlOpens = false;
    window.commands().openVersionsFolders();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].contains("Restore Files")) << dialogs.messages[0].toStdString();
}

TEST_F(RestoreDialogTest, AFolderDroppedOnTheListStartsANewWatchOfIt) {
    window.show();
    WatchList& list = window.watchList();
    const auto drop = [&](const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list.viewport(), &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list.viewport(), &dropped);
        QCoreApplication::processEvents();
        return dropped.isAccepted();
    };
    dialogs.onEditor = [&](TEditWatchForm& editor) {
        EXPECT_EQ(editor.SourceEdit->text().toStdString(), src);
        EXPECT_EQ(editor.NameEdit->text(), "src");
        editor.DestinationEdit->setText(QString::fromStdString(dst));
        editor.BitBtn2Click();
    };
    EXPECT_FALSE(drop(QString::fromStdString(dst + "/docs/report.txt"))) << "a file is no folder";
    EXPECT_EQ(dialogs.editorsRun, 0);
    ASSERT_TRUE(drop(QString::fromStdString(src)));
    EXPECT_EQ(dialogs.editorsRun, 1);
    ASSERT_EQ(list.watchCount(), 1);
    EXPECT_EQ(list.selectedWatchIndex(), 0);
    EXPECT_EQ(getText(ReadWatchRec(window.context(), 0).DestDir), dst);

    // While the watches may not change (a run), a drop is not taken.
    list.setFolderDropsAllowed(false);
    EXPECT_FALSE(drop(QString::fromStdString(src)));
    EXPECT_EQ(dialogs.editorsRun, 1);
}

}  // namespace
}  // namespace tessel
