#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "ui/EditWatch.h"
#include "ui/RadioGroup.h"
#include "ui/UiTestSupport.h"
#include "watch/WatchFile.h"
#include "watch/WatchStore.h"

namespace tessel {
namespace {

using test::FakeDialogs;
using test::makeWatch;
using test::storedWatches;

class EditWatchTest : public ::testing::Test, public test::CoreFixture {
  protected:
    EditWatchTest() {
        test::makeFolders(source);
        test::makeFolders(destination);
    }

    // Two watches before the one under test, so positions matter.
    void twoWatches() {
        test::writeWatches(context, context.WatchFilePath, {makeWatch("/a", "/b"), makeWatch("/c", "/d")});
    }

    static TDateTime timeOfDay(int hour, int minute) {
        platform::LocalTime time;
        time.hour = hour;
        time.minute = minute;
        return encodeDateTime(time);
    }

    FakeDialogs dialogs;
    const std::string source = dir / "src";
    const std::string destination = dir / "dst";
};

TEST_F(EditWatchTest, NewWatchIsSavedWithTheDefaults) {
    twoWatches();
    TEditWatchForm editor(context, dialogs, -1);
    EXPECT_EQ(editor.windowTitle(), "Edit Watch Record");
    EXPECT_EQ(editor.PageControl1->currentWidget(), editor.MainPage);
    EXPECT_EQ(editor.RadioGroup1->itemIndex(), rmManual);
    EXPECT_EQ(editor.RadioGroup3->itemIndex(), pd1Hour);
    EXPECT_FALSE(editor.RadioGroup3->isEnabled());
    EXPECT_FALSE(editor.HourSpinEdit->isEnabled());
    EXPECT_FALSE(editor.MinSpinEdit->isEnabled());
    EXPECT_FALSE(editor.SourceEdit->isReadOnly()) << "the folders can be typed";
    EXPECT_FALSE(editor.DestinationEdit->isReadOnly());

    dialogs.folders = {QString::fromStdString(source), QString::fromStdString(destination)};
    editor.SourceButtonClick();
    editor.DistinationButtonClick();
    EXPECT_EQ(dialogs.folderTitles, (std::vector<QString>{"Choose a folder", "Choose a folder"}));

    const test::FixedClock clock({2026, 2, 3, 14, 15, 16, 0});
    editor.BitBtn2Click();
    EXPECT_EQ(editor.result(), QDialog::Accepted);
    EXPECT_TRUE(messages.messages.empty());

    const std::vector<TWatchRec> stored = storedWatches(context.WatchFilePath);
    ASSERT_EQ(stored.size(), 3u);
    const TWatchRec& watch = stored[2];
    EXPECT_EQ(watch.WatchIndex, 2);
    EXPECT_EQ(getText(watch.SourceDir), source);
    EXPECT_EQ(getText(watch.DestDir), destination);
    EXPECT_EQ(watch.RunMode, rmManual);
    EXPECT_EQ(watch.FileAction, faCopy);
    EXPECT_EQ(watch.Period, pd1Hour);
    EXPECT_EQ(watch.TuneMode, tmSyncAll);
    EXPECT_EQ(getText(watch.FileMask), "*.*");
    EXPECT_EQ(getText(watch.RunFile), "");
    EXPECT_EQ(getText(watch.RunParams), "");
    EXPECT_EQ(watch.WideLog + watch.CopyWithRoot + watch.BiDirect + watch.DeleteAbsent, 0);
    EXPECT_EQ(watch.Interval, 600);
    EXPECT_EQ(watch.OnTime, Now());
    EXPECT_EQ(watch.LastRunTime, Now());
}

TEST_F(EditWatchTest, TimedWatchAtSevenOhFiveRoundTrips) {
    twoWatches();
    TWatchRec timed = makeWatch(source, destination, rmTimer, pdOnTime);
    timed.OnTime = 45123.0 + timeOfDay(7, 5);  // saved with a date: only the time of day counts
    timed.FileAction = faMove;
    timed.TuneMode = tmAbsentOnly;
    timed.WideLog = 1;
    timed.BiDirect = 1;
    timed.CopyWithRoot = 1;
    setText(timed.FileMask, "*.txt;*.doc");
    setText(timed.RunFile, "/usr/bin/true");
    setText(timed.RunParams, "--quiet \"two words\"");
    test::writeWatches(context, context.WatchFilePath, {timed});
    const std::string firstTwo = test::readFile(context.WatchFilePath).substr(0, 2 * kWatchRecSize);

    TEditWatchForm editor(context, dialogs, 2);
    EXPECT_EQ(editor.RadioGroup1->itemIndex(), rmTimer);
    EXPECT_TRUE(editor.RadioGroup3->isEnabled());
    EXPECT_EQ(editor.RadioGroup3->itemIndex(), pdOnTime);
    EXPECT_TRUE(editor.HourSpinEdit->isEnabled());
    EXPECT_TRUE(editor.MinSpinEdit->isEnabled());
    EXPECT_EQ(editor.HourSpinEdit->value(), 7);
    EXPECT_EQ(editor.MinSpinEdit->value(), 5);
    EXPECT_EQ(editor.RadioGroup2->itemIndex(), faMove);
    EXPECT_EQ(editor.RadioGroup4->itemIndex(), tmAbsentOnly);
    EXPECT_EQ(editor.FileTypeEdit->text(), "*.txt;*.doc");

    const test::FixedClock clock({2026, 2, 3, 14, 15, 16, 0});
    editor.BitBtn2Click();
    EXPECT_EQ(editor.result(), QDialog::Accepted);

    const std::vector<TWatchRec> stored = storedWatches(context.WatchFilePath);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(test::readFile(context.WatchFilePath).substr(0, 2 * kWatchRecSize), firstTwo);
    const TWatchRec& watch = stored[2];
    EXPECT_EQ(watch.WatchIndex, 2);
    EXPECT_EQ(watch.OnTime, timeOfDay(7, 5));
    EXPECT_EQ(std::floor(watch.OnTime), 0.0);
    EXPECT_EQ(watch.RunMode, rmTimer);
    EXPECT_EQ(watch.Period, pdOnTime);
    EXPECT_EQ(watch.FileAction, faMove);
    EXPECT_EQ(watch.TuneMode, tmAbsentOnly);
    EXPECT_EQ(std::vector<int>({watch.WideLog, watch.BiDirect, watch.DeleteAbsent, watch.CopyWithRoot}),
              std::vector<int>({1, 1, 0, 1}));
    EXPECT_EQ(getText(watch.FileMask), "*.txt;*.doc");
    EXPECT_EQ(getText(watch.RunFile), "/usr/bin/true");
    EXPECT_EQ(getText(watch.RunParams), "--quiet \"two words\"");
    // Saving starts the period count afresh.
    EXPECT_EQ(watch.LastRunTime, Now());
    EXPECT_EQ(watch.EditTime, Now());
}

TEST_F(EditWatchTest, PeriodIsShownAndStoredOnlyForTimedWatches) {
    TWatchRec manual = makeWatch(source, destination, rmManual, pd1Week);
    manual.TuneMode = 7;  // beyond the last item
    test::writeWatches(context, context.WatchFilePath, {manual});

    TEditWatchForm editor(context, dialogs, 0);
    EXPECT_EQ(editor.RadioGroup3->itemIndex(), pd1Hour);
    EXPECT_FALSE(editor.RadioGroup3->isEnabled());
    EXPECT_EQ(editor.RadioGroup4->itemIndex(), tmAbsentOnly);
    editor.BitBtn2Click();
    const std::vector<TWatchRec> stored = storedWatches(context.WatchFilePath);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].Period, pd1Hour);
    EXPECT_EQ(stored[0].TuneMode, tmAbsentOnly);
}

TEST_F(EditWatchTest, EnablingRulesActOnlyOnWhatTheyName) {
    TEditWatchForm editor(context, dialogs, -1);
    editor.RadioGroup1->button(rmTimer)->click();
    EXPECT_TRUE(editor.RadioGroup3->isEnabled());
    EXPECT_FALSE(editor.HourSpinEdit->isEnabled());
    editor.RadioGroup3->button(pdOnTime)->click();
    EXPECT_TRUE(editor.HourSpinEdit->isEnabled());
    EXPECT_TRUE(editor.MinSpinEdit->isEnabled());
    editor.HourSpinEdit->setValue(9);

    // Back to "Manual": the period group goes off, the spin fields stay on with their values.
    editor.RadioGroup1->button(rmManual)->click();
    EXPECT_FALSE(editor.RadioGroup3->isEnabled());
    EXPECT_TRUE(editor.HourSpinEdit->isEnabled());
    EXPECT_EQ(editor.HourSpinEdit->value(), 9);

    // "On Time:" is still chosen, so the time of day is stored even though the group is off.
    dialogs.folders = {QString::fromStdString(source), QString::fromStdString(destination)};
    editor.SourceButtonClick();
    editor.DistinationButtonClick();
    editor.BitBtn2Click();
    const std::vector<TWatchRec> stored = storedWatches(context.WatchFilePath);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].RunMode, rmManual);
    EXPECT_EQ(stored[0].Period, pdOnTime);
    EXPECT_EQ(stored[0].OnTime, timeOfDay(9, 0));
}

TEST_F(EditWatchTest, OnChangeWithItsDelayRoundTrips) {
    TEditWatchForm editor(context, dialogs, -1);
    EXPECT_EQ(editor.RadioGroup1->count(), 5);
    EXPECT_EQ(editor.RadioGroup1->button(4)->text(), "On Change");
    EXPECT_FALSE(editor.ChangeDelaySpinEdit->isEnabled());
    EXPECT_EQ(editor.ChangeDelaySpinEdit->value(), kDefaultChangeDelay);
    editor.RadioGroup1->button(4)->click();
    EXPECT_TRUE(editor.ChangeDelaySpinEdit->isEnabled());
    EXPECT_FALSE(editor.RadioGroup3->isEnabled());
    editor.ChangeDelaySpinEdit->setValue(9);
    dialogs.folders = {QString::fromStdString(source), QString::fromStdString(destination)};
    editor.SourceButtonClick();
    editor.DistinationButtonClick();
    editor.BitBtn2Click();
    ASSERT_EQ(editor.result(), QDialog::Accepted);
    const std::vector<TWatchRec> stored = storedWatches(context.WatchFilePath);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].RunMode, rmManual) << "the record says what a reader of it alone can run";

    TEditWatchForm again(context, dialogs, 0);
    EXPECT_EQ(again.RadioGroup1->itemIndex(), 4);
    EXPECT_TRUE(again.ChangeDelaySpinEdit->isEnabled());
    EXPECT_EQ(again.ChangeDelaySpinEdit->value(), 9);
}

TEST_F(EditWatchTest, OkRefusesAMissingSourceAndOffersToMakeTheDestination) {
    twoWatches();
    const std::string before = test::readFile(context.WatchFilePath);
    test::writeFile(dir / "file", "a file, not a folder");
    const std::string missing = dir / "new/backup";
    struct Case {
        const char* name;
        std::string source;
        std::string destination;
        std::string said;  // the message, or the question when `asked`
        bool asked = false;
    };
    for (const Case& c : std::vector<Case>{
             {"empty destination", source, "", "Destination folder: must not be empty. Nothing was saved."},
             {"empty source", "", destination, "Source folder: must not be empty. Nothing was saved."},
             {"relative source", "src", destination,
              "Source folder: must be a full path, starting with /. Nothing was saved."},
             {"missing source", dir / "gone", destination,
              "The source folder " + dir / "gone" + " does not exist. Nothing was saved."},
             {"source is a file", dir / "file", destination,
              dir / "file" + " is a file, not a folder. Nothing was saved."},
             {"destination is a file", source, dir / "file",
              dir / "file" + " is a file, not a folder. Nothing was saved."},
             {"missing destination, not made", source, missing,
              "The destination folder " + missing + " does not exist yet.\n\nMake it now and save the watch?",
              true}}) {
        SCOPED_TRACE(c.name);
        messages.messages.clear();
        dialogs.questions.clear();
        TEditWatchForm editor(context, dialogs, -1);
        editor.SourceEdit->setText(QString::fromStdString(c.source));
        editor.DestinationEdit->setText(QString::fromStdString(c.destination));
        editor.BitBtn2Click();
        if (c.asked) {
            EXPECT_TRUE(messages.messages.empty());
            ASSERT_EQ(dialogs.questions.size(), 1u);
            EXPECT_EQ(dialogs.questions[0].first.toStdString(), c.said);
            EXPECT_EQ(dialogs.questions[0].second, "&Make Folder");
        } else {
            EXPECT_EQ(messages.messages, (std::vector<std::string>{c.said}));
            EXPECT_TRUE(dialogs.questions.empty()) << "nothing made for a watch that is refused anyway";
        }
        EXPECT_NE(editor.result(), QDialog::Accepted);
        EXPECT_EQ(test::readFile(context.WatchFilePath), before);
        EXPECT_FALSE(test::exists(dir / "new"));
    }

    // Agreed to, the destination is made, parents and all, and the watch saved.
    dialogs.answers = {true};
    TEditWatchForm editor(context, dialogs, -1);
    editor.SourceEdit->setText(QString::fromStdString(source));
    editor.DestinationEdit->setText(QString::fromStdString(missing));
    editor.BitBtn2Click();
    EXPECT_EQ(editor.result(), QDialog::Accepted)
        << (messages.messages.empty() ? "" : messages.messages.back());
    EXPECT_TRUE(test::isFolder(missing));
    const std::vector<TWatchRec> stored = storedWatches(context.WatchFilePath);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(getText(stored[2].DestDir), missing);

    // A folder that cannot be made is said with its reason.
    dialogs.answers = {true};
    messages.messages.clear();
    TEditWatchForm blocked(context, dialogs, -1);
    blocked.SourceEdit->setText(QString::fromStdString(source));
    blocked.DestinationEdit->setText(QString::fromStdString(dir / "file/below"));
    blocked.BitBtn2Click();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0],
              "The folder " + dir / "file/below" + " could not be made: Not a directory. Nothing was saved.");
    EXPECT_EQ(storedWatches(context.WatchFilePath).size(), 3u);
}

TEST_F(EditWatchTest, FoldersAreTypedPastedDroppedOrPickedFromWhereTheFieldPoints) {
    TEditWatchForm editor(context, dialogs, -1);
    editor.show();
    // Typed, the name follows as it does for a picked folder.
    QTest::keyClicks(editor.SourceEdit, QString::fromStdString(source));
    EXPECT_EQ(editor.SourceEdit->text().toStdString(), source);
    EXPECT_EQ(editor.NameEdit->text(), "src");

    // A link to a local folder, as a file manager copies it, is pasted as its path.
    editor.DestinationEdit->setFocus();
    QGuiApplication::clipboard()->setText(
        QUrl::fromLocalFile(QString::fromStdString(destination)).toString());
    QTest::keyClick(editor.DestinationEdit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editor.DestinationEdit->text().toStdString(), destination);

    // Dropped from the file manager: a folder replaces the text; a file, or another site's link, does not.
    const std::string other = dir / "other";
    test::makeFolders(other);
    test::writeFile(dir / "a.txt", "a");
    const auto drop = [](QWidget* target, QMimeData& data) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        return dropped.isAccepted();
    };
    struct Case {
        const char* what;
        std::function<void(QMimeData&)> fill;
        bool taken;
    };
    for (const Case& c : std::vector<Case>{
             {"a folder",
              [&](QMimeData& d) { d.setUrls({QUrl::fromLocalFile(QString::fromStdString(other + "/"))}); },
              true},
             {"a file",
              [&](QMimeData& d) { d.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir / "a.txt"))}); },
              false},
             {"a web link", [](QMimeData& d) { d.setUrls({QUrl("https://example.org/folder")}); }, false},
             {"a path as text", [&](QMimeData& d) { d.setText(QString::fromStdString(other)); }, true},
             {"other text", [](QMimeData& d) { d.setText("some words"); }, false}}) {
        SCOPED_TRACE(c.what);
        editor.DestinationEdit->setText(QString::fromStdString(destination));
        QMimeData data;
        c.fill(data);
        EXPECT_EQ(drop(editor.DestinationEdit, data), c.taken);
        EXPECT_EQ(editor.DestinationEdit->text().toStdString(), c.taken ? other : destination);
    }

    // The pickers start at the field's folder, the nearest one that exists, or the home folder.
    const test::ScopedEnvironment home("HOME", dir / "home");
    test::makeFolders(dir / "home");
    dialogs.folders = {QString(), QString(), QString()};
    editor.SourceButtonClick();
    editor.SourceEdit->setText(QString::fromStdString(source + "/not/yet"));
    editor.SourceButtonClick();
    editor.DestinationEdit->clear();
    editor.DistinationButtonClick();
    editor.RunEdit->setText(QString::fromStdString(dir / "a.txt"));
    editor.SpeedButton1Click();
    EXPECT_EQ(
        dialogs.pickerStarts,
        (std::vector<QString>{QString::fromStdString(source), QString::fromStdString(source),
                              QString::fromStdString(dir / "home"), QString::fromStdString(dir.path())}));

    // "~" is the home folder, in the field once Ok is pressed and in what is saved.
    test::makeFolders(dir / "home/music");
    editor.SourceEdit->setText("~/music");
    editor.DestinationEdit->setText(QString::fromStdString(destination));
    editor.BitBtn2Click();
    EXPECT_EQ(editor.result(), QDialog::Accepted)
        << (messages.messages.empty() ? "" : messages.messages.back());
    EXPECT_EQ(editor.SourceEdit->text().toStdString(), dir / "home/music");
    EXPECT_EQ(getText(storedWatches(context.WatchFilePath).at(0).SourceDir), dir / "home/music");
}

TEST_F(EditWatchTest, AFolderInsideTheOtherIsWarnedAboutAndSaved) {
    TEditWatchForm editor(context, dialogs, -1);
    editor.show();
    const QString inSource = QStringLiteral(
        "The destination folder is inside the source folder. Runs skip it "
        "when they read the source.");
    const QString inDestination = QStringLiteral(
        "The source folder is inside the destination folder. Runs skip "
        "it when they look at the destination.");
    const QString same = QStringLiteral("The source and the destination are the same folder.");
    struct Case {
        std::string source;
        std::string destination;
        bool withRoot;
        QString warning;  // empty: none shown
    };
    for (const Case& c : std::vector<Case>{{source, source + "/backup", false, inSource},
                                           {source + "/sub", source, false, inDestination},
                                           {source, source + "/./", false, same},
                                           {source, dir.path(), true, same},
                                           {source, destination, false, {}},
                                           {source, source + "-backup", false, {}},
                                           {"", source, false, {}}}) {
        SCOPED_TRACE(c.source + " > " + c.destination);
        editor.SourceEdit->setText(QString::fromStdString(c.source));
        editor.DestinationEdit->setText(QString::fromStdString(c.destination));
        editor.CopyRootCheckBox->setChecked(c.withRoot);
        EXPECT_EQ(editor.RootsWarningLabel->isVisible(), !c.warning.isEmpty());
        if (!c.warning.isEmpty()) {
            EXPECT_EQ(editor.RootsWarningLabel->text(), c.warning);
        }
    }
    // Warned, not refused.
    editor.SourceEdit->setText(QString::fromStdString(source));
    editor.DestinationEdit->setText(QString::fromStdString(source + "/backup"));
    editor.CopyRootCheckBox->setChecked(false);
    dialogs.answers = {true};
    editor.BitBtn2Click();
    EXPECT_EQ(editor.result(), QDialog::Accepted)
        << (messages.messages.empty() ? "" : messages.messages.back());
    EXPECT_EQ(getText(storedWatches(context.WatchFilePath).at(0).DestDir), source + "/backup");
}

TEST_F(EditWatchTest, EveryOptionSaysWhatItDoes) {
    TEditWatchForm editor(context, dialogs, -1);
    std::vector<QWidget*> options;
    for (QWidget* widget : editor.findChildren<QWidget*>())
        if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
            qobject_cast<QSpinBox*>(widget))
            options.push_back(widget);
    ASSERT_GT(options.size(), 30u);
    for (QWidget* option : options) {
        // The spin fields' own text fields, the tab bar's arrows and the two buttons that close the dialog
        // need none.
        if (option == editor.BitBtn2 || option == editor.CancelBtn ||
            qobject_cast<QSpinBox*>(option->parent()) || qobject_cast<QTabBar*>(option->parent()))
            continue;
        const QAbstractButton* button = qobject_cast<QAbstractButton*>(option);
        SCOPED_TRACE(std::string(option->metaObject()->className()) + " " +
                     (button ? button->text().toStdString() : option->objectName().toStdString()) + " in " +
                     option->parent()->metaObject()->className());
        if (option->toolTip().isEmpty()) {
            ADD_FAILURE() << "no tooltip";
            continue;
        }
        EXPECT_TRUE(option->toolTip().front().isUpper()) << option->toolTip().toStdString();
    }
}

TEST_F(EditWatchTest, OverLongTextsAreRefusedByName) {
    twoWatches();
    const std::string before = test::readFile(context.WatchFilePath);
    // A folder path longer than a record field holds, which Linux allows.
    std::string deep = source;
    while (deep.size() <= kMaxTextLength) deep += "/" + std::string(40, 'f');
    test::makeFolders(deep);

    struct Case {
        const char* field;
        std::function<void(TEditWatchForm&)> fill;
    };
    const QString tooLong(256, QLatin1Char('x'));
    const QString tooManyBytes(128, QChar(0x00e9));  // 128 characters, 256 bytes in UTF-8
    for (const Case& c : std::vector<Case>{
             {"Source folder",
              [&](TEditWatchForm& e) { e.SourceEdit->setText(QString::fromStdString(deep)); }},
             {"Destination folder",
              [&](TEditWatchForm& e) { e.DestinationEdit->setText(QString::fromStdString(deep)); }},
             {"File type", [&](TEditWatchForm& e) { e.FileTypeEdit->setText(tooLong); }},
             {"Run after Sync: File", [&](TEditWatchForm& e) { e.RunEdit->setText(tooManyBytes); }},
             {"Run after Sync: Parameters", [&](TEditWatchForm& e) { e.ParamsRunEdit->setText(tooLong); }}}) {
        SCOPED_TRACE(c.field);
        messages.messages.clear();
        TEditWatchForm editor(context, dialogs, -1);
        editor.SourceEdit->setText(QString::fromStdString(source));
        editor.DestinationEdit->setText(QString::fromStdString(destination));
        c.fill(editor);
        editor.BitBtn2Click();
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_NE(messages.messages[0].find(std::string("\"") + c.field + "\""), std::string::npos);
        EXPECT_NE(messages.messages[0].find("255 bytes"), std::string::npos);
        EXPECT_NE(editor.result(), QDialog::Accepted);
        EXPECT_EQ(test::readFile(context.WatchFilePath), before);
    }

    // 255 bytes exactly still fit.
    TEditWatchForm editor(context, dialogs, -1);
    editor.SourceEdit->setText(QString::fromStdString(source));
    editor.DestinationEdit->setText(QString::fromStdString(destination));
    editor.FileTypeEdit->setText(QString(255, QLatin1Char('m')));
    editor.BitBtn2Click();
    EXPECT_EQ(editor.result(), QDialog::Accepted);
    const std::vector<TWatchRec> stored = storedWatches(context.WatchFilePath);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(getText(stored[2].FileMask), std::string(255, 'm'));
}

TEST_F(EditWatchTest, CancelledPickers) {
    TEditWatchForm editor(context, dialogs, -1);
    editor.SourceEdit->setText("/kept");
    editor.RunEdit->setText("/usr/bin/env");
    dialogs.folders = {QString()};
    dialogs.files = {QString()};
    editor.SourceButtonClick();
    editor.SpeedButton1Click();
    EXPECT_EQ(editor.SourceEdit->text(), "/kept");
    EXPECT_EQ(editor.RunEdit->text(), "");
    EXPECT_EQ(dialogs.fileTitles, (std::vector<QString>{"Choose a file"}));

    // A chosen path is taken as it comes, trailing "/" and all.
    dialogs.folders = {"/tmp/"};
    editor.SourceButtonClick();
    EXPECT_EQ(editor.SourceEdit->text(), "/tmp/");
}

TEST_F(EditWatchTest, TheKeyboardFollowsTheLayoutOverTheMainWindow) {
    QWidget owner;
    owner.setGeometry(60, 40, 900, 700);
    owner.show();
    TEditWatchForm editor(context, dialogs, -1, &owner);
    editor.show();
    editor.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    const QPoint offset = editor.frameGeometry().center() - owner.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << "centred over its window";

    // A radio group is entered on its checked button and left in one step.
    editor.PageControl1->setCurrentWidget(editor.AdvancedPage);
    editor.RadioGroup2->button(faCopy)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), editor.BiDirectCheckBox);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), editor.RadioGroup2->button(faCopy));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), editor.RadioGroup1->button(rmManual));
    editor.RadioGroup4->setItemIndex(tmAbsentOnly);
    editor.DelEpsendCheckBox->setFocus();
    QTest::keyClick(editor.DelEpsendCheckBox, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), editor.RadioGroup4->button(tmAbsentOnly));

    // On the main page Tab goes down the page: the name, the source, its picker, the destination, ...
    editor.PageControl1->setCurrentWidget(editor.MainPage);
    editor.NameEdit->setFocus();
    std::vector<QWidget*> visited;
    for (int i = 0; i < 9; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(visited, (std::vector<QWidget*>{editor.SourceEdit, editor.SourceButton, editor.DestinationEdit,
                                              editor.DistinationButton, editor.FileTypeEdit,
                                              editor.ExcludeEdit, editor.WhideLogCheckBox,
                                              editor.CopyRootCheckBox, editor.HiddenCheckBox}));
}

TEST_F(EditWatchTest, UnknownIndexShowsTheInitialState) {
    twoWatches();
    TWatchRec damaged = makeWatch(source, destination, rmTimer, pd1Day);
    damaged.TuneMode = -5;
    test::writeWatches(context, context.WatchFilePath, {damaged});
    {
        TEditWatchForm editor(context, dialogs, 9);
        EXPECT_EQ(editor.SourceEdit->text(), "");
        EXPECT_EQ(editor.FileTypeEdit->text(), "*.*");
        EXPECT_EQ(editor.RadioGroup1->itemIndex(), rmManual);
        EXPECT_FALSE(editor.RadioGroup3->isEnabled());
    }
    {
        SCOPED_TRACE("a TuneMode below -1 leaves no item chosen, and is stored as -1");
        TEditWatchForm editor(context, dialogs, 2);
        EXPECT_EQ(editor.RadioGroup4->itemIndex(), -1);
        EXPECT_EQ(editor.RadioGroup3->itemIndex(), pd1Day);
        editor.BitBtn2Click();
        EXPECT_EQ(storedWatches(context.WatchFilePath)[2].TuneMode, -1);
    }
}

TEST_F(EditWatchTest, NameExcludesHiddenFilesAndLinksAreSavedAndCheckedAsTheCommandLineDoes) {
    twoWatches();  // made before names: "a" and "c" from their source folders
    const std::string a = dir / "a";
    test::makeFolders(a);
    {
        TEditWatchForm editor(context, dialogs, -1);
        EXPECT_EQ(editor.ExcludeEdit->text().toStdString(),
                  ".Trash-*;.tessel-versions;System Volume "
                  "Information;$RECYCLE.BIN;.DS_Store;Thumbs.db;desktop.ini");
        EXPECT_TRUE(editor.HiddenCheckBox->isChecked());
        EXPECT_EQ(editor.LinksGroup->itemIndex(), static_cast<int>(LinkHandling::Follow));
        dialogs.folders = {QString::fromStdString(source), QString::fromStdString(a)};
        editor.SourceButtonClick();
        EXPECT_EQ(editor.NameEdit->text(), "src") << "proposed from the source folder";
        editor.SourceEdit->setText(QString::fromStdString(a));
        EXPECT_EQ(editor.NameEdit->text(), "a-2") << "follows it, numbered where taken";
        editor.DistinationButtonClick();
        editor.FileTypeEdit->setText(" *.jpg; *.png ;");
        editor.ExcludeEdit->setText("cache ; *.tmp");
        editor.HiddenCheckBox->setChecked(false);
        editor.LinksGroup->button(static_cast<int>(LinkHandling::CopyAsLinks))->click();
        editor.BitBtn2Click();
        EXPECT_EQ(editor.result(), QDialog::Accepted)
            << (messages.messages.empty() ? "" : messages.messages[0]);
    }
    WatchList list;
    FileProblem problem;
    ASSERT_TRUE(loadWatches(context.WatchFilePath, list, problem)) << problem.text();
    ASSERT_EQ(list.watches.size(), 3u);
    const Watch& saved = list.watches[2].watch;
    EXPECT_EQ(saved.name, "a-2");
    EXPECT_EQ(saved.masks, (std::vector<std::string>{"*.jpg", "*.png"}));
    EXPECT_EQ(getText(list.watches[2].record.FileMask), "*.jpg;*.png") << "stored as the runs read it";
    EXPECT_EQ(saved.excludes, (std::vector<std::string>{"cache", "*.tmp"}));
    EXPECT_EQ(saved.hidden, HiddenFiles::Skip);
    EXPECT_EQ(saved.links, LinkHandling::CopyAsLinks);

    TEditWatchForm editor(context, dialogs, 2);
    EXPECT_EQ(editor.NameEdit->text(), "a-2");
    EXPECT_EQ(editor.ExcludeEdit->text(), "cache;*.tmp");
    EXPECT_FALSE(editor.HiddenCheckBox->isChecked());
    EXPECT_EQ(editor.LinksGroup->itemIndex(), static_cast<int>(LinkHandling::CopyAsLinks));
    editor.SourceEdit->setText(QString::fromStdString(source));
    EXPECT_EQ(editor.NameEdit->text(), "a-2") << "a name of its own stays";

    // Refusals: nothing is saved, the dialog stays open on the field.
    const std::string records = test::readFile(context.WatchFilePath);
    const std::string text = test::readFile(list.textFile);
    struct Case {
        const char* what;
        std::function<void(TEditWatchForm&)> change;
        const char* said;
    };
    for (const Case& c : std::vector<Case>{
             {"a taken name", [](TEditWatchForm& e) { e.NameEdit->setText("A"); },
              "another watch is named \"a\""},
             {"a name of digits", [](TEditWatchForm& e) { e.NameEdit->setText("2024"); }, "all digits"},
             {"no mask", [](TEditWatchForm& e) { e.FileTypeEdit->setText(" ; "); },
              "File type: give at least one"},
             {"move with delete absent files",
              [](TEditWatchForm& e) {
                  e.RadioGroup2->setItemIndex(faMove);
                  e.DelEpsendCheckBox->setChecked(true);
              },
              "Delete absent files: not with Move"}}) {
        SCOPED_TRACE(c.what);
        messages.messages.clear();
        TEditWatchForm refused(context, dialogs, 2);
        c.change(refused);
        refused.BitBtn2Click();
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_NE(messages.messages[0].find(c.said), std::string::npos) << messages.messages[0];
        EXPECT_NE(refused.result(), QDialog::Accepted);
        EXPECT_EQ(test::readFile(context.WatchFilePath), records);
        EXPECT_EQ(test::readFile(list.textFile), text);
    }
}

}  // namespace
}  // namespace tessel
