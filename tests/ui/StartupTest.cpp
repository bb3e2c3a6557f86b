// Tessel's life from start to end as the window lives it: the settings file, the On Start watches, the
// tray icon, the about boxes, help and feedback, the exit path, and the refusal of a second instance.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrlQuery>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "TesselVersion.h"
#include "platform/InstanceLock.h"
#include "support/PermissionOverride.h"
#include "support/TestSupport.h"
#include "ui/Feedback.h"
#include "ui/MainWindow.h"
#include "ui/RunCoordinator.h"
#include "ui/RunView.h"
#include "ui/SplashFrm.h"
#include "ui/TesselProgram.h"
#include "ui/TrayIcon.h"
#include "ui/UiTestSupport.h"
#include "ui/WatchList.h"
#include "ui/WindowCommands.h"
#include "ui/WindowRunDisplay.h"

namespace tessel {
namespace {

using Lines = std::vector<std::string>;
using test::FakeDialogs;
using test::loggedMessages;
using test::TempDir;

using test::CurrentFolder;

class StartupTest : public ::testing::Test {
  protected:
    StartupTest() {
        QObject::connect(&window, &MainWindow::closed, [this] { ++closings; });
    }

    std::string base() const { return dir.path() + "/"; }
    Lines logged() { return loggedMessages(window.context().LogFilePath); }
    QTreeWidget* list() const { return test::child<QTreeWidget>(window, "watchList"); }
    std::string storedSwitch() const {
        Settings settings;
        std::error_code error;
        readSettings(dir.path(), settings, error);
        return settings.MinimizeOnStartFlag;
    }

    TempDir dir;
    CurrentFolder here{dir.path()};
    FakeDialogs dialogs;
    MainWindow window{dialogs};
    int closings = 0;
};

TEST_F(StartupTest, FirstStartInAnEmptyFolderCreatesTheSettingsTheDataFolderAndTheLog) {
    window.runView().logArea()->setPlainText(QStringLiteral("left from before"));
    window.startUp();

    EXPECT_TRUE(dialogs.errors.empty());
    EXPECT_EQ(test::readFile(dir / "Tessel.ini"), "[Main]\r\nDataFullPath=" + base() +
                                                      "Data\r\nDefFileNameFullPath=" + base() +
                                                      "Data/WatchDef.wth\r\nDefLogNameFullPath=" + base() +
                                                      "WatchLog.Log\r\nMinimizeOnStart=0\r\n");
    EXPECT_TRUE(test::isFolder(dir / "Data"));
    EXPECT_EQ(window.dataPath(), base() + "Data");
    EXPECT_EQ(window.context().WatchFilePath, base() + "Data/WatchDef.wth");
    EXPECT_EQ(window.context().LogFilePath, base() + "WatchLog.Log");
    EXPECT_EQ(logged(), Lines{"Start Work Program"});
    EXPECT_EQ(window.runView().logArea()->document()->blockCount(), 1);
    EXPECT_EQ(list()->topLevelItemCount(), 0);
    EXPECT_FALSE(test::child<QAction>(window, "minimizeOnStartAction")->isChecked());
    EXPECT_FALSE(test::child<QTimer>(window, "minimizeToTrayTimer")->isActive());

    // Started from another folder, Tessel keeps a separate set of files there.
    test::makeFolders(dir / "other");
    const std::string first = test::readFile(dir / "Tessel.ini");
    {
        CurrentFolder other(dir / "other");
        MainWindow second(dialogs);
        second.startUp();
    }
    EXPECT_TRUE(test::exists(dir / "other/Tessel.ini"));
    EXPECT_TRUE(test::exists(dir / "other/WatchLog.Log"));
    EXPECT_EQ(test::readFile(dir / "Tessel.ini"), first);
}

TEST_F(StartupTest, ASettingsFileWithAnEmptySectionIsReadAndNotWritten) {
    test::writeFile(dir / "Tessel.ini", "[Main]\r\n");
    window.startUp();
    EXPECT_EQ(test::readFile(dir / "Tessel.ini"), "[Main]\r\n");
    EXPECT_EQ(window.context().WatchFilePath, base() + "WatchDef.wth");
    EXPECT_EQ(window.context().LogFilePath, base() + "WatchLog.Log");
    EXPECT_FALSE(test::exists(dir / "Data"));
    EXPECT_EQ(logged(), Lines{"Start Work Program"});
}

TEST_F(StartupTest, SettingsThatCannotBeWrittenSkipTheRestOfTheStart) {
    TempDir readOnly;
    chmod(readOnly.path().c_str(), 0555);
    CurrentFolder there(readOnly.path());
    test::NoPermissionOverride asUser;
    window.runView().logArea()->setPlainText(QStringLiteral("left from before"));
    window.startUp();

    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_EQ(dialogs.errors[0].text.toStdString(), "Unable to write to " + readOnly.path() + "/Tessel.ini.");
    EXPECT_EQ(dialogs.errors[0].caption, applicationTitle());
    EXPECT_EQ(dialogs.errors[0].parent, &window);
    EXPECT_TRUE(window.runView().logArea()->toPlainText().isEmpty());
    EXPECT_TRUE(window.context().WatchFilePath.empty());
    EXPECT_TRUE(window.context().LogFilePath.empty());
    EXPECT_EQ(window.commands().helpFile(), QStringLiteral("help/index.html"));
    EXPECT_TRUE(test::listFolder(readOnly.path()).empty());
}

TEST_F(StartupTest, OnStartWatchesRunInOrderBeforeTheStartLine) {
    const std::string watchFile = dir / "watches.wth";
    test::writeFile(dir / "Tessel.ini", "[Main]\nDefFileNameFullPath=" + watchFile + "\n");
    std::vector<TWatchRec> watches;
    for (const std::string name : {"a", "b", "c"}) {
        test::makeFolders(dir / (name + "-src"));
        test::writeFile(dir / (name + "-src/" + name + ".txt"), name);
        watches.push_back(test::makeWatch(dir / (name + "-src"), dir / (name + "-dst"), rmOnStart));
        watches.back().WideLog = 1;
    }
    watches[1].RunMode = rmTimer;  // long due, but no On Start watch
    watches[1].Period = pd10Minutes;
    test::writeWatches(window.context(), watchFile, watches);
    const std::string before = test::readFile(watchFile);

    window.startUp();
    EXPECT_EQ(logged(), Lines{}) << "the On Start watches wait for the window";
    QSignalSpy ran(&window, &MainWindow::runFinished);
    window.show();
    ASSERT_TRUE(ran.wait(60000));
    // Each run ends with its summary; the window's total of the pass comes before the start line.
    Lines lines = logged();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[4].rfind("Run ended after ", 0), 0u) << lines[4];
    lines.erase(lines.begin() + 4);
    EXPECT_EQ(
        test::withoutDurations(lines),
        (Lines{"Copied file " + dir / "a-src/a.txt ",
               "Summary of watch a-src: ok; 1 copied, 0 moved, 0 deleted, 0 kept as versions, 0 conflicts, "
               "0 failed, 0 deletions refused, 1 bytes",
               "Copied file " + dir / "c-src/c.txt ",
               "Summary of watch c-src: ok; 1 copied, 0 moved, 0 deleted, 0 kept as versions, 0 conflicts, "
               "0 failed, 0 deletions refused, 1 bytes",
               "Start Work Program"}));
    EXPECT_FALSE(test::exists(dir / "b-dst/b.txt"));
    EXPECT_EQ(test::readFile(watchFile), before) << "LastRunTime unchanged";
    EXPECT_EQ(list()->topLevelItem(2)->data(0, WatchList::kPictureRole).toInt(), 1);
}

TEST_F(StartupTest, TheCloseButtonAndExitLogTheEndOnceAndExitStoresTheSwitch) {
    window.startUp();
    window.show();
    test::child<QAction>(window, "minimizeOnStartAction")->trigger();
    EXPECT_EQ(window.minimizeOnStartFlag(), "1");
    window.close();
    EXPECT_EQ(logged(), (Lines{"Start Work Program", "End Work Program"}));
    EXPECT_EQ(storedSwitch(), "0");
    EXPECT_EQ(closings, 1);

    MainWindow next(dialogs);
    next.startUp();
    EXPECT_FALSE(test::child<QTimer>(next, "minimizeToTrayTimer")->isActive())
        << "the next start is not minimised";
    next.show();
    test::child<QAction>(next, "minimizeOnStartAction")->trigger();
    next.exitProgram();
    const Lines lines = logged();
    EXPECT_EQ(Lines(lines.begin() + 2, lines.end()), (Lines{"Start Work Program", "End Work Program"}));
    EXPECT_EQ(storedSwitch(), "1");
    EXPECT_FALSE(next.isVisible());
}

TEST_F(StartupTest, ClosingOrExitDuringARunStopsItFirst) {
    window.startUp();
    std::vector<TWatchRec> watches;
    test::makeFolders(dir / "src");
    for (int i = 0; i < 200; ++i) test::writeFile(dir / ("src/f" + std::to_string(i)), "content");
    test::writeWatches(
        window.context(), window.context().WatchFilePath,
        {test::makeWatch(dir / "src", dir / "dst0"), test::makeWatch(dir / "src", dir / "dst1")});
    window.fillWatchList();
    window.show();
    window.toggleMinimizeOnStart();
    struct Case {
        const char* name;
        std::function<void()> leave;
        int row;
        int endLines;
    };
    for (const Case& c :
         {Case{"close", [&] { window.close(); }, 0, 1}, Case{"exit", [&] { window.exitProgram(); }, 1, 1}}) {
        SCOPED_TRACE(c.name);
        const std::size_t before = logged().size();
        window.watchList().selectRow(c.row);
        window.commands().checkSelectedWatchNow();
        ASSERT_TRUE(window.isRunning());
        c.leave();
        EXPECT_EQ(closings, 0) << "not before the run has ended";
        EXPECT_TRUE(window.isVisible());
        test::waitForRun(window);
        EXPECT_EQ(closings, 1);
        EXPECT_FALSE(window.isVisible());
        const Lines lines = logged();
        ASSERT_GE(lines.size(), before + 3 + c.endLines);
        EXPECT_EQ(lines[before].rfind("Start Manual Synhro folder ", 0), 0u);
        EXPECT_EQ(std::count(lines.begin() + before, lines.end(), "End Work Program"), c.endLines);
        const std::string& summary = lines[lines.size() - c.endLines - 1];
        EXPECT_EQ(summary.rfind("Summary of watch src", 0), 0u) << summary;
        EXPECT_NE(summary.find(": stopped; "), std::string::npos) << summary;
        EXPECT_EQ(lines.back(), "End Work Program");
        closings = 0;
        window.show();
    }
}

TEST_F(StartupTest, ExitWithASwitchThatCannotBeStoredSaysSoAndStays) {
    window.startUp();
    window.show();
    test::child<QAction>(window, "minimizeOnStartAction")->trigger();
    chmod((dir / "Tessel.ini").c_str(), 0444);
    test::NoPermissionOverride asUser;
    window.exitProgram();
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_EQ(dialogs.errors[0].text.toStdString(), "Unable to write to " + base() + "Tessel.ini.");
    EXPECT_EQ(closings, 0);

    // No settings file in the current folder: nothing written, nothing said.
    test::makeFolders(dir / "elsewhere");
    CurrentFolder elsewhere(dir / "elsewhere");
    window.exitProgram();
    EXPECT_EQ(dialogs.errors.size(), 1u);
    EXPECT_EQ(closings, 1);
    EXPECT_TRUE(test::listFolder(dir / "elsewhere").empty());
}

TEST_F(StartupTest, MinimizeOnStartAndTheMinimiseButtonHideTheWindowInTheTray) {
    test::writeFile(dir / "Tessel.ini", "[Main]\r\nMinimizeOnStart=1\r\n");
    window.startUp();
    EXPECT_TRUE(test::child<QAction>(window, "minimizeOnStartAction")->isChecked());
    window.show();
    const TTesselSplashForm* firstBrief = window.splash();
    EXPECT_EQ(window.tray().iconData().uID, 0u);

    window.minimizeAfterStart();
    EXPECT_FALSE(test::child<QTimer>(window, "minimizeToTrayTimer")->isActive());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.tray().iconData().uID, TNotifyIconData::kIconId);
    EXPECT_TRUE(window.tray().icon()->isVisible());
    EXPECT_TRUE(window.splash()->isVisible()) << "the start's brief display stays on its own";

    // The right button only opens the icon's menu; a click brings the window back, removes the icon and
    // shows a new brief display in place of the old.
    emit window.tray().icon()->activated(QSystemTrayIcon::Context);
    EXPECT_FALSE(window.isVisible());
    emit window.tray().icon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.tray().iconData().uID, 0u);
    EXPECT_FALSE(window.tray().icon()->isVisible());
    EXPECT_NE(window.splash(), firstBrief);
    EXPECT_EQ(window.aboutBoxes().size(), 1);

    // The title bar's minimise button: hidden, not minimised.
    window.setWindowState(Qt::WindowMinimized);
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
    EXPECT_EQ(window.tray().iconData().uID, TNotifyIconData::kIconId);

    // Exit in the icon's menu takes the exit path.
    ASSERT_EQ(window.tray().icon()->contextMenu(), window.tray().menu());
    // The tray menu: Show, Check All Watches Now, Stop, Pause Following, a separator, Exit.
    const QList<QAction*> trayItems = window.tray().menu()->actions();
    ASSERT_EQ(trayItems.size(), 6);
    EXPECT_EQ(trayItems[0], test::child<QAction>(window, "showWindowAction"));
    EXPECT_EQ(trayItems[1], test::child<QAction>(window, "checkAllAction"));
    EXPECT_EQ(trayItems[2], test::child<QAction>(window, "stopAction"));
    EXPECT_EQ(trayItems[3], test::child<QAction>(window, "pauseAllFollowingAction"));
    trayItems[5]->trigger();
    EXPECT_EQ(closings, 1);
    EXPECT_EQ(storedSwitch(), "1");
}

TEST_F(StartupTest, WithoutANotificationAreaTheWindowMinimisesTheOrdinaryWay) {
    dialogs.trayAvailable = false;
    window.show();
    window.setWindowState(Qt::WindowMinimized);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
    EXPECT_EQ(window.tray().iconData().uID, 0u);

    window.showNormal();
    window.minimizeAfterStart();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
    EXPECT_FALSE(window.tray().icon()->isVisible());
}

TEST_F(StartupTest, BriefDisplayAndAboutBoxesEachCloseTheirOwnWay) {
    window.show();
    QPointer<TTesselSplashForm> brief = window.splash();
    ASSERT_FALSE(brief.isNull());
    EXPECT_FALSE(brief->Button1->isVisibleTo(brief));
    EXPECT_TRUE(test::child<QTimer>(window, "splashTimer")->isActive());

    // "About ..." during the brief display, twice: two more boxes, each with its "Ok".
    window.showAbout();
    window.showAbout();
    const QList<TTesselSplashForm*> boxes = window.aboutBoxes();
    ASSERT_EQ(boxes.size(), 3);
    QPointer<TTesselSplashForm> first = boxes[1];
    QPointer<TTesselSplashForm> second = boxes[2];
    EXPECT_TRUE(first->Button1->isVisibleTo(first));

    // The splash timer ends the brief display only; each "Ok" closes and releases its own box.
    window.closeSplash();
    EXPECT_FALSE(test::child<QTimer>(window, "splashTimer")->isActive());
    EXPECT_FALSE(brief->isVisible());
    first->Button1->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(brief.isNull());
    EXPECT_TRUE(first.isNull());
    ASSERT_FALSE(second.isNull());
    EXPECT_TRUE(second->isVisible());

    // The web address goes to the desktop; a failure is not reported.
    dialogs.urlOpens = false;
    second->Label2Click();
    EXPECT_EQ(dialogs.openedUrls, std::vector<QUrl>{QUrl(QString::fromLatin1(kWebAddress))});
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(StartupTest, FeedbackMailsReachTheMailProgramOrTheClipboard) {
    struct Case {
        void (WindowCommands::*command)();
        FeedbackMail mail;
        QString subject;
        std::vector<QString> asked;  // what the user is asked to write
    };
    for (const Case& c : {Case{&WindowCommands::sendBugReport,
                               bugReportMail(),
                               QStringLiteral("Bug report: Tessel "),
                               {QStringLiteral("What I did"), QStringLiteral("What happened"),
                                QStringLiteral("What I expected")}},
                          Case{&WindowCommands::sendComments,
                               commentsMail(),
                               QStringLiteral("Comments on Tessel "),
                               {QStringLiteral("My comments on Tessel:")}}}) {
        SCOPED_TRACE(c.subject.toStdString());
        EXPECT_EQ(c.mail.subject, c.subject + QLatin1String(kTesselVersion));
        for (const QString& question : c.asked)
            EXPECT_TRUE(c.mail.body.contains(question)) << question.toStdString();
        // Filled in for the user: the version and the system.
        EXPECT_TRUE(c.mail.body.contains(QStringLiteral("\nTessel version: ") +
                                         QLatin1String(kTesselVersion) + QStringLiteral("\nSystem: ") +
                                         systemDescription() + QLatin1Char('\n')));

        dialogs.openedUrls.clear();
        dialogs.copyQuestions.clear();
        dialogs.urlOpens = true;
        (window.commands().*c.command)();
        ASSERT_EQ(dialogs.openedUrls.size(), 1u);
        // What the mail program reads out of the link: every line ends in CR LF, nothing is lost to
        // the link's own characters.
        const QUrl& url = dialogs.openedUrls[0];
        EXPECT_EQ(url.scheme() + QLatin1Char(':') + url.path(), QStringLiteral("mailto:tessel@example.org"));
        EXPECT_EQ(QUrlQuery(url).queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
                  c.mail.subject);
        QString body = c.mail.body;
        body.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        EXPECT_EQ(QUrlQuery(url).queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded), body);
        EXPECT_TRUE(dialogs.copyQuestions.empty());

        // No mail program: the user is told, and the mail goes to the clipboard when asked to.
        dialogs.urlOpens = false;
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        for (const bool copy : {false, true}) {
            SCOPED_TRACE(copy);
            dialogs.copyAnswer = copy;
            (window.commands().*c.command)();
            ASSERT_FALSE(dialogs.copyQuestions.empty());
            EXPECT_TRUE(dialogs.copyQuestions.back().contains(QStringLiteral("No mail program")));
            EXPECT_TRUE(dialogs.copyQuestions.back().contains(QLatin1String(kFeedbackAddress)));
            EXPECT_EQ(QGuiApplication::clipboard()->text(), copy ? c.mail.text() : QStringLiteral("before"));
        }
        EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(
            QStringLiteral("To: tessel@example.org\nSubject: ") + c.mail.subject +
            QStringLiteral("\n\nHello,")));
        EXPECT_TRUE(dialogs.messages.empty());
    }
}

TEST_F(StartupTest, HelpShowsTheHelpPagesOrNothing) {
    test::makeFolders(dir / "help");
    test::writeFile(dir / "help/index.html", "<p><a href=\"page.html\">Page</a></p>");
    test::writeFile(dir / "help/page.html", "<p>The page.</p>");
    const QString contents = QString::fromStdString(dir / "help/index.html");
    EXPECT_TRUE(missingHelpText(contents).isEmpty());
    const std::string gone = dir / "gone/index.html";
    EXPECT_TRUE(missingHelpText(QString::fromStdString(gone)).contains(QString::fromStdString(gone)));

    // Help pages missing at the start, or gone since: the Help command does nothing, silently.
    window.commands().setHelpFile(contents);
    window.commands().showHelp();
    window.commands().setHelpAvailable(true);
    window.commands().setHelpFile(QString::fromStdString(gone));
    test::child<QToolButton>(window, "helpButton")->click();
    EXPECT_EQ(window.commands().helpViewer().window(), nullptr);

    window.commands().setHelpFile(contents);
    test::child<QToolButton>(window, "helpButton")->click();
    QTextBrowser* browser = window.commands().helpViewer().browser();
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->source(), QUrl::fromLocalFile(contents));
    emit browser->anchorClicked(QUrl(QStringLiteral("page.html")));
    EXPECT_EQ(browser->source(), QUrl::fromLocalFile(QString::fromStdString(dir / "help/page.html")));
    window.commands().showHelp();
    EXPECT_EQ(browser->source(), QUrl::fromLocalFile(contents)) << "Help comes back at the contents";
    EXPECT_TRUE(dialogs.messages.empty() && dialogs.warnings.empty());
    window.context().LogFilePath = dir / "WatchLog.Log";
    window.close();
    EXPECT_EQ(window.commands().helpViewer().window(), nullptr) << "help closes with the window";
}

TEST(HelpPages, EveryPageIsReachableFromTheContentsAndEveryLinkLeadsToAPage) {
    const QDir help(QStringLiteral(TESSEL_HELP_DIR));
    const QStringList pages = help.entryList({QStringLiteral("*.html")}, QDir::Files);
    ASSERT_TRUE(pages.contains(QStringLiteral("index.html")));
    const QRegularExpression link(QStringLiteral("href=\"([^\"]*)\""));
    QStringList fromContents;
    for (const QString& page : pages) {
        SCOPED_TRACE(page.toStdString());
        const QString text = QString::fromStdString(test::readFile(help.filePath(page).toStdString()));
        for (auto match = link.globalMatch(text); match.hasNext();) {
            const QString target = match.next().captured(1);
            EXPECT_TRUE(pages.contains(target.section(QLatin1Char('#'), 0, 0))) << target.toStdString();
            if (page == QStringLiteral("index.html")) fromContents.append(target);
        }
    }
    for (const QString& page : pages) {
        if (page == QStringLiteral("index.html")) continue;
        EXPECT_TRUE(fromContents.contains(page)) << page.toStdString();
    }
}

TEST(SecondInstance, IsRefusedWithoutTouchingAnyFile) {
    TempDir dir;
    const std::string runtime = dir / "run";
    for (const char* folder : {"run", "first", "second"}) test::makeFolders(dir / folder);
    chmod(runtime.c_str(), 0700);

    // The first instance: the program itself, in its own folder.
    const pid_t first = fork();
    if (first == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0 || chdir((dir / "first").c_str()) != 0)
            _exit(126);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execl(TESSEL_PROGRAM_PATH, TESSEL_PROGRAM_PATH, static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(first, 0);
    // Up once its start line is in its log; a minute is plenty even with the sanitizers.
    const std::string firstLog = dir / "first/WatchLog.Log";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (loggedMessages(firstLog).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(loggedMessages(firstLog), Lines{"Start Work Program"});
    const std::string firstLogBytes = test::readFile(firstLog);

    // The second: this process, in another folder, doing what the program entry does.
    test::ScopedEnvironment userRuntime("XDG_RUNTIME_DIR", runtime);
    {
        CurrentFolder second(dir / "second");
        platform::InstanceLock instance;
        std::error_code error;
        const auto state = instance.acquire(platform::instanceLockPath(kInstanceName), error);
        EXPECT_EQ(state, platform::InstanceLock::State::Busy);
        FakeDialogs dialogs;
        EXPECT_EQ(runTessel(state == platform::InstanceLock::State::Busy, dialogs), 0);
        ASSERT_EQ(dialogs.errors.size(), 1u);
        EXPECT_EQ(dialogs.errors[0].parent, nullptr);
        EXPECT_EQ(dialogs.errors[0].text,
                  QStringLiteral("Starting a second copy of the program is not allowed."));
        EXPECT_EQ(dialogs.errors[0].caption, QStringLiteral("Tessel v"));
    }
    EXPECT_TRUE(test::listFolder(dir / "second").empty());
    EXPECT_EQ(test::readFile(firstLog), firstLogBytes);

    // The first instance crashes; the kernel takes its mark away and Tessel can start again.
    kill(first, SIGKILL);
    int status = 0;
    waitpid(first, &status, 0);
    platform::InstanceLock again;
    std::error_code error;
    EXPECT_EQ(again.acquire(platform::instanceLockPath(kInstanceName), error),
              platform::InstanceLock::State::Held);
}

}  // namespace
}  // namespace tessel
