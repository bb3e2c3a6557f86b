// The run coordinator without a window: real runs of small watches on temporary trees, one at a time;
// what a request that comes meanwhile gets; how Stop, a waiting 30-second pass and leaving follow a
// run's end; the commands it offers on the way; and that the run's display calls and message boxes
// reach their targets on the window's thread only.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "sync/Scheduler.h"
#include "ui/RunCoordinator.h"
#include "watch/WatchFile.h"
#include "watch/WatchStore.h"

namespace tessel {
namespace {

using Commands = RunCoordinator::Commands;
using Kind = RunCoordinator::RunKind;
using Leave = RunCoordinator::Leave;
using Lines = std::vector<std::string>;
using State = RunCoordinator::State;

constexpr int kLongEnough = 60000;  // ms; even with the sanitizers a run of these trees takes far less

// Message boxes answered at once, with something the test does while the run waits for the answer.
class AnsweringMessages : public UserMessages {
  public:
    void showMessage(const std::string& text) override {
        messages.push_back(text);
        if (QThread::currentThread() != QCoreApplication::instance()->thread()) ++offWindowThread;
        if (onMessage) onMessage();
    }
    void showWarning(const std::string& text, const std::string&) override { messages.push_back(text); }

    std::vector<std::string> messages;
    std::function<void()> onMessage;
    int offWindowThread = 0;
};

class RunCoordinatorTest : public ::testing::Test {
  protected:
    RunCoordinatorTest() {
        display.onStep = [this] {
            if (QThread::currentThread() != QCoreApplication::instance()->thread()) ++stepsOffWindowThread;
        };
    }

    // A watch over `files` files named f0.txt, f1.txt, ... in <name>-src.
    TWatchRec watchOver(const std::string& name, int files, std::uint8_t runMode = rmManual) {
        test::makeFolders(dir / (name + "-src"));
        for (int i = 0; i < files; ++i)
            test::writeFile(dir / (name + "-src/f" + std::to_string(i) + ".txt"), name + std::to_string(i));
        return test::makeWatch(dir / (name + "-src"), dir / (name + "-dst"), runMode);
    }
    // A timed watch that is long due.
    TWatchRec dueWatchOver(const std::string& name, int files) {
        TWatchRec watch = watchOver(name, files, rmTimer);
        watch.LastRunTime = 0;
        return watch;
    }
    void useWatches(const std::vector<TWatchRec>& watches) {
        test::writeWatches(context, context.WatchFilePath, watches);
    }
    std::size_t copiedTo(const std::string& name) const {
        return test::exists(dir / (name + "-dst")) ? test::listFolder(dir / (name + "-dst")).size() : 0;
    }
    // Lets the window's thread work until the next runEnded.
    bool waitForEnd() { return ended.wait(kLongEnough); }

    test::TempDir dir;
    test::FakeDisplay display;
    AnsweringMessages messages;
    RunContext context{display, messages, dir / "WatchDef.wth", dir / "WatchLog.Log"};
    RunCoordinator runs{context};
    QSignalSpy started{&runs, &RunCoordinator::runStarted};
    QSignalSpy ended{&runs, &RunCoordinator::runEnded};
    QSignalSpy commands{&runs, &RunCoordinator::commandsChanged};
    int stepsOffWindowThread = 0;
};

TEST_F(RunCoordinatorTest, OneRunGoesAndEveryOtherStartIsRefusedUntilItHasEnded) {
    useWatches({watchOver("a", 3), watchOver("b", 2), watchOver("c", 1, rmOnStart)});
    EXPECT_EQ(runs.state(), State::Idle);
    EXPECT_EQ(runs.commands(), Commands{}) << "everything possible before a run";

    ASSERT_TRUE(runs.checkNow(0));
    EXPECT_EQ(runs.state(), State::Running);
    EXPECT_TRUE(runs.isRunning());
    EXPECT_EQ(runs.commands(), (Commands{false, false, true}));
    struct Case {
        const char* name;
        std::function<bool()> request;
    };
    for (const Case& c : {Case{"check now", [&] { return runs.checkNow(1); }},
                          Case{"check all", [&] { return runs.checkAll(); }},
                          Case{"preview", [&] { return runs.preview(1); }}}) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(c.request());
        EXPECT_EQ(runs.runKind(), Kind::CheckNow);
    }
    // The On Start pass finds the run going: it is dropped, as it always was.
    runs.queueOnStartWatches();
    runs.runOnStartWatches();
    EXPECT_FALSE(runs.onStartWatchesQueued());
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0][0].value<Kind>(), Kind::CheckNow);
    EXPECT_EQ(started[0][1].toInt(), 0);

    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(ended.size(), 1);
    EXPECT_EQ(ended[0][0].value<Kind>(), Kind::CheckNow);
    EXPECT_EQ(runs.state(), State::Idle);
    EXPECT_EQ(runs.commands(), Commands{}) << "every command possible again";
    // What the window heard of the commands: off for the run, on again after it.
    ASSERT_EQ(commands.size(), 2);
    EXPECT_EQ(commands[0][0].value<Commands>(), (Commands{false, false, true}));
    EXPECT_EQ(commands[1][0].value<Commands>(), Commands{});
    EXPECT_EQ(copiedTo("a"), 3u);
    EXPECT_EQ(copiedTo("b"), 0u);
    EXPECT_EQ(copiedTo("c"), 0u);
    EXPECT_EQ(runs.report().ran, 1);
    EXPECT_EQ(runs.report().result.copied, 3);
    EXPECT_FALSE(runs.lastRunStopRequested());
    EXPECT_GE(runs.lastRunSeconds(), 0.0);
    // The run's steps came to the display, on the window's thread only.
    EXPECT_EQ(display.steps, 3);
    EXPECT_EQ(stepsOffWindowThread, 0);

    // Now another goes.
    ASSERT_TRUE(runs.checkNow(1));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(copiedTo("b"), 2u);
}

TEST_F(RunCoordinatorTest, StopEndsThePassAtTheNextFileAndNoFurtherWatchStarts) {
    TWatchRec first = dueWatchOver("a", 6);
    first.WideLog = 1;
    useWatches({first, dueWatchOver("b", 2)});
    // The log is a folder at first, so the line of the first copied file makes the run ask for a message
    // box; the test answers it on the window's thread while the run waits, and stops the run.
    test::makeFolders(dir / "WatchLog.Log");
    QSignalSpy stops(&runs, &RunCoordinator::stopRequested);
    State stateAfterStop = State::Idle;
    Commands commandsAfterStop;
    bool timerDuringPass = true;
    messages.onMessage = [&] {
        ASSERT_EQ(rmdir((dir / "WatchLog.Log").c_str()), 0);
        timerDuringPass = runs.dueWatchesTimer().isActive();
        runs.stop();
        stateAfterStop = runs.state();
        commandsAfterStop = runs.commands();
        runs.stop();  // a second request changes nothing but is heard
    };
    runs.checkDueWatches();
    ASSERT_EQ(runs.runKind(), Kind::TimerPass);
    EXPECT_FALSE(runs.dueWatchesTimer().isActive()) << "off for its own pass";
    ASSERT_TRUE(waitForEnd());

    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.offWindowThread, 0);
    EXPECT_FALSE(timerDuringPass);
    EXPECT_EQ(stateAfterStop, State::Stopping);
    EXPECT_EQ(commandsAfterStop, (Commands{false, false, false})) << "no second stop, no start";
    EXPECT_EQ(stops.size(), 2);
    // The file in hand was finished, and no other was begun.
    const std::vector<std::string> copied = test::listFolder(dir / "a-dst");
    ASSERT_EQ(copied.size(), 1u);
    EXPECT_EQ(test::readFile(dir / ("a-dst/" + copied[0])), test::readFile(dir / ("a-src/" + copied[0])));
    EXPECT_EQ(copiedTo("b"), 0u) << "the pass ends with the stopped run";
    EXPECT_TRUE(runs.report().result.stopped);
    EXPECT_TRUE(runs.lastRunStopRequested());
    const Lines lines = test::loggedMessages(context.LogFilePath);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string(kStoppedLine) + dir / "a-src with folder " + dir / "a-dst");
    EXPECT_EQ(lines[1].rfind("Summary of watch a-src: stopped; 1 copied, ", 0), 0u) << lines[1];
    for (const TWatchRec& watch : test::storedWatches(context.WatchFilePath))
        EXPECT_EQ(watch.LastRunTime, 0) << "still due";
    EXPECT_EQ(runs.state(), State::Idle);
    EXPECT_TRUE(runs.dueWatchesTimer().isActive()) << "on again after the pass";

    // A stop without a run is nothing.
    runs.stop();
    EXPECT_EQ(stops.size(), 2);
    EXPECT_EQ(runs.state(), State::Idle);
}

TEST_F(RunCoordinatorTest, ATimerPassDuringARunWaitsForItsEndAndThenGoes) {
    useWatches({watchOver("manual", 3), dueWatchOver("timed", 2)});
    ASSERT_TRUE(runs.checkNow(0));
    runs.checkDueWatches();
    EXPECT_EQ(runs.runKind(), Kind::CheckNow);
    EXPECT_EQ(started.size(), 1) << "the pass waits";

    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(copiedTo("manual"), 3u);
    EXPECT_EQ(copiedTo("timed"), 0u) << "the manual run did not run it";
    // The waiting pass starts as soon as the run has ended.
    EXPECT_TRUE(runs.isRunning());
    EXPECT_EQ(runs.runKind(), Kind::TimerPass);
    ASSERT_EQ(started.size(), 2);
    EXPECT_EQ(started[1][0].value<Kind>(), Kind::TimerPass);
    EXPECT_EQ(started[1][1].toInt(), -1);
    EXPECT_FALSE(runs.dueWatchesTimer().isActive());

    ASSERT_TRUE(waitForEnd());
    ASSERT_GE(ended.size(), 2);
    EXPECT_EQ(ended[1][0].value<Kind>(), Kind::TimerPass);
    EXPECT_EQ(copiedTo("timed"), 2u);
    EXPECT_EQ(runs.state(), State::Idle);
    EXPECT_TRUE(runs.dueWatchesTimer().isActive());
    const Lines lines = test::loggedMessages(context.LogFilePath);
    ASSERT_EQ(lines.size(), 5u) << "each run framed and ended by its summary";
    EXPECT_EQ(lines[3], "Synhro folder " + dir / "timed-src with folder " + dir / "timed-dst");

    // The editor holds the pass off: no timer while it is open, a fresh interval after.
    runs.pauseDueWatches();
    EXPECT_FALSE(runs.dueWatchesTimer().isActive());
    runs.resumeDueWatches();
    EXPECT_TRUE(runs.dueWatchesTimer().isActive());
    EXPECT_EQ(runs.dueWatchesTimer().interval(), 30000);
}

TEST_F(RunCoordinatorTest, ClosingOrExitDuringARunStopsItAndFollowsItsEnd) {
    useWatches({watchOver("a", 200), dueWatchOver("timed", 1)});
    // Nothing runs: the window may go at once.
    EXPECT_TRUE(runs.requestLeave(Leave::Close));
    EXPECT_TRUE(runs.requestLeave(Leave::Exit));
    EXPECT_FALSE(runs.leaving());

    QSignalSpy leaves(&runs, &RunCoordinator::leaveRequested);
    Lines events;
    QObject::connect(&runs, &RunCoordinator::runEnded, [&] { events.push_back("ended"); });
    QObject::connect(&runs, &RunCoordinator::leaveRequested, [&] { events.push_back("leave"); });
    struct Case {
        const char* name;
        std::vector<Leave> asked;
        Leave followed;
    };
    for (const Case& c :
         {Case{"close", {Leave::Close}, Leave::Close}, Case{"exit", {Leave::Exit}, Leave::Exit},
          Case{"close, then exit", {Leave::Close, Leave::Exit}, Leave::Exit},
          Case{"exit, then close", {Leave::Exit, Leave::Close}, Leave::Exit}}) {
        SCOPED_TRACE(c.name);
        leaves.clear();
        events.clear();
        std::filesystem::remove_all(dir / "a-dst");
        ASSERT_TRUE(runs.checkNow(0));
        // A pass that comes meanwhile does not start after the end: the window is on its way out.
        runs.checkDueWatches();
        for (Leave how : c.asked) EXPECT_FALSE(runs.requestLeave(how));
        EXPECT_EQ(runs.state(), State::Stopping);
        EXPECT_TRUE(runs.leaving());
        EXPECT_TRUE(leaves.isEmpty()) << "not before the run has ended";

        ASSERT_TRUE(leaves.wait(kLongEnough));
        ASSERT_EQ(leaves.size(), 1);
        EXPECT_EQ(leaves[0][0].value<Leave>(), c.followed);
        EXPECT_EQ(events, (Lines{"ended", "leave"}));
        EXPECT_FALSE(runs.leaving());
        EXPECT_EQ(runs.state(), State::Idle);
        EXPECT_TRUE(runs.report().result.stopped);
        EXPECT_LT(copiedTo("a"), 200u);
        EXPECT_EQ(copiedTo("timed"), 0u);
    }
}

TEST_F(RunCoordinatorTest, OnStartWatchesWaitForTheWindowAndGoWithItsClosing) {
    useWatches({watchOver("start", 2, rmOnStart), watchOver("manual", 1)});
    runs.runOnStartWatches();
    runs.queueOnStartWatches();
    runs.cancelOnStartWatches();
    runs.runOnStartWatches();
    EXPECT_TRUE(started.isEmpty()) << "nothing queued, or dropped by the window's closing";

    runs.queueOnStartWatches();
    EXPECT_TRUE(runs.onStartWatchesQueued());
    runs.runOnStartWatches();
    EXPECT_FALSE(runs.onStartWatchesQueued());
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0][0].value<Kind>(), Kind::OnStart);
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(copiedTo("start"), 2u);
    EXPECT_EQ(copiedTo("manual"), 0u);
    runs.runOnStartWatches();
    EXPECT_EQ(started.size(), 1) << "once";
}

TEST_F(RunCoordinatorTest, APreviewsPlanIsHandedOverAtItsEndAndChangesNothing) {
    useWatches({watchOver("a", 4)});
    std::shared_ptr<PlanRecorder> plan;
    QObject::connect(&runs, &RunCoordinator::runEnded, [&] { plan = runs.takePreviewPlan(); });
    ASSERT_TRUE(runs.preview(0));
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0][1].toInt(), 0);
    ASSERT_TRUE(waitForEnd());
    ASSERT_NE(plan, nullptr);
    EXPECT_EQ(std::count_if(plan->actions.begin(), plan->actions.end(),
                            [](const RunAction& action) { return action.kind == RunAction::Kind::Copy; }),
              4);
    EXPECT_EQ(runs.previewIndex(), 0);
    EXPECT_FALSE(test::exists(dir / "a-dst"));
    EXPECT_TRUE(test::loggedMessages(context.LogFilePath).empty());

    // Any other run has no plan to hand over.
    ASSERT_TRUE(runs.checkNow(0));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(plan, nullptr);
    EXPECT_EQ(copiedTo("a"), 4u);
}

TEST_F(RunCoordinatorTest, AFollowedWatchRunsOnlyItsChangedFolderAndNeverOneAnotherProgramFollows) {
    watchOver("followed", 2);
    test::makeFolders(dir / "followed-src/sub");
    test::writeFile(dir / "followed-src/sub/kept.txt", "source");
    watchOver("other", 1);
    const auto addOnChange = [&](const std::string& file, const std::string& name) {
        WatchEdit edit;
        edit.name = name;
        edit.source = dir / (name + "-src");
        edit.destination = dir / (name + "-dst");
        edit.runMode = WatchRunMode::OnChange;
        edit.changeDelay = 1;
        ChangeProblem problem;
        ASSERT_TRUE(changeWatches(file, {{WatchChange::Kind::Add, {}, std::nullopt, edit}}, problem))
            << problem.file.text();
    };
    addOnChange(context.WatchFilePath, "followed");
    addOnChange(context.WatchFilePath, "other");
    // Another program (tessel-batch follow, say) follows "other" with a watch file of its own.
    RunContext otherContext{display, messages, dir / "Other.wth", dir / "Other.Log"};
    addOnChange(otherContext.WatchFilePath, "other");
    FollowSession otherFollower(otherContext, [] {});
    ASSERT_TRUE(otherFollower.start());
    otherFollower.reload();
    ASSERT_EQ(otherFollower.followed(), std::vector<std::int32_t>{0});

    ASSERT_TRUE(runs.startFollowing());
    EXPECT_TRUE(runs.following());
    // Following starts with a full run, on the run thread as every run.
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(ended[0][0].value<Kind>(), Kind::Followed);
    EXPECT_EQ(copiedTo("followed"), 3u);
    const std::string other = "Synhro folder " + dir / "other-src with folder " + dir / "other-dst";
    const Lines lines = test::loggedMessages(context.LogFilePath);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        other + " is followed by another Tessel; this one waits until it stops"),
              lines.end());

    // The editor holds followed runs off; its end lets them go. The run covers only the changed folder:
    // a full one would put back what was changed in another folder of the destination.
    test::writeFile(dir / "followed-dst/sub/kept.txt", "destination");
    runs.pauseDueWatches();
    test::writeFile(dir / "followed-src/new.txt", "new");
    QTest::qWait(2500);
    EXPECT_EQ(started.size(), 1) << "held while the editor is open";
    runs.resumeDueWatches();
    ASSERT_EQ(started.size(), 2);
    EXPECT_EQ(started[1][0].value<Kind>(), Kind::Followed);
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(test::readFile(dir / "followed-dst/new.txt"), "new");
    EXPECT_EQ(test::readFile(dir / "followed-dst/sub/kept.txt"), "destination");
    EXPECT_EQ(copiedTo("other"), 0u);
    EXPECT_EQ(stepsOffWindowThread, 0);
}

}  // namespace
}  // namespace tessel
