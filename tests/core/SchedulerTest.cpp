#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "support/PermissionOverride.h"
#include "support/TestSupport.h"
#include "sync/Scheduler.h"
#include "watch/WatchFile.h"
#include "watch/WatchStore.h"

namespace tessel {
namespace {

TDateTime at(int year, int month, int day, int hour, int minute, int second = 0) {
    return encodeDateTime({year, month, day, hour, minute, second, 0});
}

TWatchRec timed(std::uint8_t period, TDateTime lastRun) {
    TWatchRec watch = test::makeWatch("", "", rmTimer, period);
    watch.LastRunTime = lastRun;
    return watch;
}

TEST(Scheduler, StatusPictureByRunModeAndPeriod) {
    const int cases[][3] = {
        {rmStop, pd10Minutes, 0}, {rmOnStart, pdOnTime, 1}, {rmManual, 9, 2}, {rmTimer, pd10Minutes, 3},
        {rmTimer, pdOnTime, 9},   {rmTimer, 7, 0},          {4, pd1Day, 0}};
    for (const auto& [runMode, period, picture] : cases) {
        TWatchRec watch = timed(static_cast<std::uint8_t>(period), 0);
        watch.RunMode = static_cast<std::uint8_t>(runMode);
        EXPECT_EQ(GetSinhroWatchType(watch), picture) << runMode << "/" << period;
    }
}

TEST(Scheduler, PeriodsFallDueAtTheirLimits) {
    const TDateTime last = at(2026, 3, 1, 0, 0);
    struct Case {
        std::uint8_t period;
        TDateTime now;
        bool due;
    };
    for (const Case& c : std::vector<Case>{
             {pd10Minutes, at(2026, 3, 1, 0, 9), false},  // nine minutes, not ten, and strictly more
             {pd10Minutes, at(2026, 3, 1, 0, 9, 1), true},
             {pd1Hour, at(2026, 3, 1, 0, 59, 59), false},
             {pd1Hour, at(2026, 3, 1, 1, 0), true},
             {pd1Day, at(2026, 3, 1, 23, 59, 59), false},
             {pd1Day, at(2026, 3, 2, 0, 0), true},
             {pd1Week, at(2026, 3, 7, 0, 0), false},  // six days, not seven
             {pd1Week, at(2026, 3, 7, 0, 0, 1), true},
             {pd10Days, at(2026, 3, 10, 0, 0), false},
             {pd10Days, at(2026, 3, 10, 0, 0, 1), true},
             {pd1Month, at(2026, 3, 30, 0, 0), false},
             {pd1Month, at(2026, 3, 30, 0, 0, 1), true},
             {7, at(2027, 3, 1, 0, 0), false},
             // A last run in the future counts by its distance.
             {pd1Day, at(2026, 2, 27, 0, 0), true},
             {pd1Day, at(2026, 2, 28, 12, 0), false},
         }) {
        SCOPED_TRACE(testing::Message() << "period " << int(c.period) << " now " << c.now);
        EXPECT_EQ(CheckWatchStatus(timed(c.period, last), c.now), c.due);
    }
    for (const int runMode : {0, 1, 2, 4}) {
        TWatchRec watch = timed(pd10Minutes, last - 1000);
        watch.RunMode = static_cast<std::uint8_t>(runMode);
        EXPECT_FALSE(CheckWatchStatus(watch, last)) << runMode;
    }
}

// A daily watch runs once a day from its time of day on, at minutes: the first pass at or after 08:00
// runs it, and it is not due again until 08:00 the next day, whenever in the day its last run came.
TEST(Scheduler, ADailyWatchRunsOnceADayFromItsTime) {
    struct Case {
        const char* what;
        TDateTime lastRun;
        TDateTime now;
        bool due;
        TDateTime next;  // when not due
    };
    const TDateTime nan = std::numeric_limits<double>::quiet_NaN();
    for (const Case& c : std::vector<Case>{
             {"before its time", at(2026, 3, 5, 7, 30), at(2026, 3, 5, 7, 59, 59), false,
              at(2026, 3, 5, 8, 0)},
             {"at its time", at(2026, 3, 5, 7, 30), at(2026, 3, 5, 8, 0), true, 0},
             {"days later", at(2026, 3, 1, 7, 30), at(2026, 3, 5, 23, 59), true, 0},
             {"seconds do not count", at(2026, 3, 5, 7, 59, 59), at(2026, 3, 6, 8, 0, 30), true, 0},
             {"ran at its time", at(2026, 3, 5, 8, 0), at(2026, 3, 5, 12, 0), false, at(2026, 3, 6, 8, 0)},
             {"the run ended a minute on", at(2026, 3, 5, 8, 1), at(2026, 3, 5, 8, 1, 30), false,
              at(2026, 3, 6, 8, 0)},
             {"the next morning before", at(2026, 3, 5, 8, 0), at(2026, 3, 6, 7, 59), false,
              at(2026, 3, 6, 8, 0)},
             {"the next morning", at(2026, 3, 5, 8, 0), at(2026, 3, 6, 8, 0), true, 0},
             {"a week on", at(2026, 3, 5, 8, 0, 40), at(2026, 3, 12, 9, 15), true, 0},
             {"checked late at night", at(2026, 3, 5, 23, 0), at(2026, 3, 6, 8, 0), true, 0},
             {"checked late, next morning early", at(2026, 3, 5, 23, 0), at(2026, 3, 6, 6, 0), false,
              at(2026, 3, 6, 8, 0)},
             {"checked after the timer ran", at(2026, 3, 5, 9, 0), at(2026, 3, 5, 20, 0), false,
              at(2026, 3, 6, 8, 0)},
             {"missed days wait for the time", at(2026, 3, 1, 12, 0), at(2026, 3, 5, 7, 0), false,
              at(2026, 3, 5, 8, 0)},
             {"a clock set back", at(2026, 6, 1, 9, 0), at(2026, 3, 5, 8, 30), true, 0},
             {"a clock set back, before the time", at(2026, 6, 1, 9, 0), at(2026, 3, 5, 7, 0), false,
              at(2026, 3, 5, 8, 0)},
             {"a last run at the coming moment", at(2026, 3, 5, 8, 0), at(2026, 3, 5, 7, 0), false,
              at(2026, 3, 6, 8, 0)},
             {"a damaged last run", nan, at(2026, 3, 5, 8, 0), true, 0},
         }) {
        SCOPED_TRACE(c.what);
        TWatchRec watch = timed(pdOnTime, c.lastRun);
        watch.OnTime = 45'000.0 + 8.0 / 24 + 25.0 / 86'400;  // 08:00:25 on some day: only 08:00 counts
        EXPECT_EQ(CheckWatchStatus(watch, c.now), c.due);
        EXPECT_EQ(nextRunTime(watch, c.now), c.due ? c.now : c.next);
    }
    // Run by the timer pass, which stores the end of the run: due again the next day, every day.
    TWatchRec watch = timed(pdOnTime, at(2026, 3, 1, 7, 0));
    watch.OnTime = at(1899, 12, 30, 8, 0);
    std::vector<int> runs;  // minutes from the first day's start
    for (int minute = 0; minute < 4 * 1440; ++minute) {
        if (!CheckWatchStatus(watch, at(2026, 3, 1, 0, 0) + minute / 1440.0)) continue;
        runs.push_back(minute);
        minute += 2;  // a run of two minutes, and the next pass after it
        watch.LastRunTime = at(2026, 3, 1, 0, 0) + minute / 1440.0;
    }
    EXPECT_EQ(runs, (std::vector<int>{480, 1440 + 480, 2 * 1440 + 480, 3 * 1440 + 480}));
}

TEST(Scheduler, DamagedTimesAreDefined) {
    const double damaged[] = {std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(), 1e308, -1e308};
    for (const double value : damaged) {
        SCOPED_TRACE(value);
        for (std::uint8_t period = pd10Minutes; period < pdOnTime; ++period)
            EXPECT_TRUE(CheckWatchStatus(timed(period, value), at(2026, 3, 1, 12, 0))) << int(period);
        TWatchRec watch = timed(pdOnTime, value);
        watch.OnTime = value;
        CheckWatchStatus(watch, at(2026, 3, 1, 12, 0));  // any answer, but no undefined behaviour
    }
}

// The timer's next run is the first moment CheckWatchStatus finds the watch due: not before, and from
// then on, for every period, whether the last run lies behind, ahead (a clock set back) or is damaged.
TEST(Scheduler, NextRunTimeIsWhenTheTimerFirstFindsTheWatchDue) {
    constexpr double kMillisecond = 1.0 / 86'400'000.0;
    std::mt19937 random(20261208);
    const TDateTime base = at(2026, 3, 1, 0, 0);
    std::uniform_int_distribution<int> minutes(-40 * 24 * 60, 40 * 24 * 60);
    std::uniform_int_distribution<int> period(pd10Minutes, pdOnTime + 1);
    std::uniform_int_distribution<int> minuteOfDay(0, 24 * 60 - 1);
    for (int round = 0; round < 400; ++round) {
        TWatchRec watch = timed(static_cast<std::uint8_t>(period(random)), base + minutes(random) / 1440.0);
        const int daily = minuteOfDay(random);
        watch.OnTime = at(1899, 12, 30, daily / 60, daily % 60);
        if (round % 50 == 0) watch.LastRunTime = std::numeric_limits<double>::quiet_NaN();
        if (round % 7 == 0) watch.RunMode = static_cast<std::uint8_t>(round % 3);  // not on the timer
        const TDateTime now = base + minutes(random) / 1440.0 + (round % 60) / 86'400.0;
        SCOPED_TRACE(::testing::Message() << "round " << round << ", period " << int(watch.Period));

        const std::optional<TDateTime> next = nextRunTime(watch, now);
        if (watch.RunMode != rmTimer) {
            EXPECT_FALSE(next.has_value());
            continue;
        }
        const TDateTime end = next ? *next : now + 45;
        // Never due before it: looked at every 17 minutes from now on.
        for (TDateTime t = now; t < end - kMillisecond; t += 17.0 / 1440.0)
            ASSERT_FALSE(CheckWatchStatus(watch, t)) << "due before its next run";
        if (!next) continue;
        EXPECT_TRUE(CheckWatchStatus(watch, *next));
        if (*next > now) {
            EXPECT_FALSE(CheckWatchStatus(watch, *next - kMillisecond)) << "a millisecond before";
        } else {
            EXPECT_EQ(*next, now) << "a watch due now is due now";
        }
    }
    // A daily watch that ran at its time of day runs again the next day at that time; one whose period
    // means nothing never runs.
    TWatchRec daily = timed(pdOnTime, at(2026, 3, 5, 8, 0));
    daily.OnTime = at(1899, 12, 30, 8, 0);
    EXPECT_EQ(nextRunTime(daily, at(2026, 3, 5, 12, 0)), at(2026, 3, 6, 8, 0));
    daily.LastRunTime = at(2026, 3, 1, 7, 59);
    EXPECT_EQ(nextRunTime(daily, at(2026, 3, 5, 6, 0)), at(2026, 3, 5, 8, 0));
    daily.Period = pdOnTime + 1;
    EXPECT_FALSE(nextRunTime(daily, at(2026, 3, 5, 6, 0)).has_value());
}

class SchedulerRunTest : public ::testing::Test, public test::CoreFixture {
  protected:
    void SetUp() override { now = Now(); }
    test::FixedClock clock{platform::WallClock{1'780'000'000, 0}};

    // A watch whose source folder holds one file named after it.
    void add(const std::string& name, std::uint8_t runMode, std::uint8_t period, TDateTime lastRun) {
        TWatchRec watch = timed(period, lastRun);
        watch.RunMode = runMode;
        watch.TuneMode = tmSyncAll;
        setText(watch.SourceDir, dir / (name + "-src"));
        setText(watch.DestDir, dir / (name + "-dst"));
        setText(watch.FileMask, "*.*");
        test::makeFolders(dir / (name + "-src"));
        test::writeFile(dir / (name + "-src/" + name + ".txt"), name);
        ASSERT_TRUE(AppendWatchRec(context, watch, context.WatchFilePath));
    }
    bool copied(const std::string& name) { return test::exists(dir / (name + "-dst/" + name + ".txt")); }
    // Gives the watch at `position` an after-sync program: a shell script `commands` run with `path`.
    void runAfter(std::int32_t position, const std::string& commands, const std::string& path) {
        const std::string script = dir / ("after-" + std::to_string(position) + ".sh");
        test::writeFile(script, "#!/bin/sh\n" + commands + "\n");
        chmod(script.c_str(), 0755);
        TWatchRec watch = ReadWatchRec(context, position);
        setText(watch.RunFile, script);
        setText(watch.RunParams, "'" + path + "'");
        ASSERT_TRUE(WriteWatchRec(context, watch));
    }
    // The summary line of a run of the watch `name` added, without its duration.
    static std::string summary(const std::string& name, const std::string& outcome, int copies, int bytes) {
        return "Summary of watch " + name + "-src: " + outcome + "; " + std::to_string(copies) +
               " copied, 0 moved, 0 deleted, 0 kept as versions, 0 conflicts, 0 failed, 0 deletions "
               "refused, " +
               std::to_string(bytes) + " bytes";
    }
    std::string pair(const std::string& name) {
        return dir / (name + "-src") + " with folder " + dir / (name + "-dst");
    }

    TDateTime now = 0;
};

TEST_F(SchedulerRunTest, TimerPassRunsDueWatchesInFileOrder) {
    EXPECT_EQ(runDueWatches(context).ran, 0) << "no watch file";
    EXPECT_TRUE(messages.warnings.empty() && messages.messages.empty());

    add("due-day", rmTimer, pd1Day, now - 2);
    add("fresh", rmTimer, pd1Day, now - 0.5);
    add("manual", rmManual, pd10Minutes, now - 100);
    add("due-minutes", rmTimer, pd10Minutes, now - 1);
    add("damaged", rmTimer, pd1Hour, now - 1);
    // A record whose stored index points at another watch must not overwrite that watch.
    TWatchRec damaged = ReadWatchRec(context, 4);
    damaged.WatchIndex = 0;
    std::string bytes = test::readFile(context.WatchFilePath);
    bytes.replace(4 * kWatchRecSize, kWatchRecSize, reinterpret_cast<const char*>(&damaged), kWatchRecSize);
    test::writeFile(context.WatchFilePath, bytes);

    EXPECT_EQ(runDueWatches(context).ran, 3);
    EXPECT_EQ(display.rowPictures,
              (std::vector<std::pair<int, int>>{{0, 3}, {0, 5}, {3, 3}, {3, 3}, {4, 3}, {4, 4}}));
    EXPECT_EQ(
        test::withoutDurations(loggedMessages()),
        (std::vector<std::string>{"Synhro folder " + pair("due-day"), summary("due-day", "ok", 1, 7),
                                  "Synhro folder " + pair("due-minutes"), summary("due-minutes", "ok", 1, 11),
                                  "Synhro folder " + pair("damaged"), summary("damaged", "ok", 1, 7)}));
    const std::vector<std::string> names{"due-day", "fresh", "manual", "due-minutes", "damaged"};
    const std::vector<TDateTime> lastRuns{now, now - 0.5, now - 100, now, now};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(names[i]);
        const TWatchRec watch = ReadWatchRec(context, i);
        EXPECT_EQ(watch.WatchIndex, i);
        EXPECT_EQ(getText(watch.SourceDir), dir / (names[i] + "-src"));
        EXPECT_EQ(watch.LastRunTime, lastRuns[i]);
        EXPECT_EQ(copied(names[i]), lastRuns[i] == now);
    }
}

TEST_F(SchedulerRunTest, CheckNowRunsAnyWatchAndFramesItInTheLog) {
    add("other", rmTimer, pd1Day, now - 2);
    add("stopped", rmStop, pd1Day, now - 3);
    const SchedulerReport report = checkWatchNow(context, 1);
    EXPECT_EQ(report.ran, 1);
    EXPECT_TRUE(copied("stopped"));
    EXPECT_FALSE(copied("other"));
    EXPECT_EQ(ReadWatchRec(context, 1).LastRunTime, now);
    EXPECT_EQ(ReadWatchRec(context, 0).LastRunTime, now - 2);
    EXPECT_EQ(display.rowPictures, (std::vector<std::pair<int, int>>{{1, 0}})) << "no running mark";

    const std::string before = test::readFile(context.WatchFilePath);
    EXPECT_EQ(checkWatchNow(context, 2).missing, 1);
    EXPECT_EQ(checkWatchNow(context, -1).missing, 1);
    EXPECT_EQ(test::readFile(context.WatchFilePath), before);
    EXPECT_EQ(test::withoutDurations(loggedMessages()),
              (std::vector<std::string>{
                  "Start Manual Synhro folder " + pair("stopped"),
                  "End Manual Synhro folder " + pair("stopped"), summary("stopped", "ok", 1, 7),
                  "Start Manual Synhro folder  with folder ", "Start Manual Synhro folder  with folder "}));
}

TEST_F(SchedulerRunTest, StartPassRunsOnStartWatchesInFileOrderAndStoresNothing) {
    EXPECT_EQ(runOnStartWatches(context).ran, 0) << "no watch file";
    EXPECT_FALSE(test::exists(context.WatchFilePath));

    add("first", rmOnStart, pd1Day, now - 2);
    add("timed", rmTimer, pd10Minutes, now - 100);
    add("manual", rmManual, pd1Hour, now - 3);
    add("second", rmOnStart, pdOnTime, now - 4);
    const std::string before = test::readFile(context.WatchFilePath);

    EXPECT_EQ(runOnStartWatches(context).ran, 2);
    EXPECT_TRUE(copied("first"));
    EXPECT_TRUE(copied("second"));
    EXPECT_FALSE(copied("timed")) << "due, but the start pass runs only On Start watches";
    EXPECT_FALSE(copied("manual"));
    // Running mark, then the watch's own picture, row by row in file order.
    EXPECT_EQ(display.rowPictures, (std::vector<std::pair<int, int>>{{0, 3}, {0, 1}, {3, 3}, {3, 1}}));
    EXPECT_EQ(test::readFile(context.WatchFilePath), before) << "LastRunTime stays as stored";
    EXPECT_EQ(test::withoutDurations(loggedMessages()),
              (std::vector<std::string>{summary("first", "ok", 1, 5), summary("second", "ok", 1, 6)}))
        << "nothing but the runs' summaries";
}

// However a watch runs, its run ends with its summary line and leaves its last result with the watch,
// where a later reading (the window's list, tessel-batch --list) finds it; a run that failed says its
// first problem.
TEST_F(SchedulerRunTest, EveryRunEndsWithItsSummaryAndLeavesItsLastResult) {
    add("timed", rmTimer, pd1Day, now - 2);
    add("blocked", rmOnStart, pd1Day, now - 2);
    add("manual", rmManual, pd1Day, now - 2);
    test::makeFolders(dir / "blocked-dst/blocked.txt");  // a folder where the copy of a file should go
    struct Case {
        const char* name;
        std::function<SchedulerReport()> run;
        int position;
        RunOutcome outcome;
        std::string firstProblem;
    };
    for (const Case& c : std::vector<Case>{
             {"start pass", [&] { return runOnStartWatches(context); }, 1, RunOutcome::Failed,
              "Error copying file " + dir / "blocked-src/blocked.txt: Is a directory"},
             {"timer pass", [&] { return runDueWatches(context); }, 0, RunOutcome::Succeeded, ""},
             {"check now", [&] { return checkWatchNow(context, 2); }, 2, RunOutcome::Succeeded, ""}}) {
        SCOPED_TRACE(c.name);
        display.noted.clear();
        const SchedulerReport report = c.run();
        ASSERT_EQ(report.runs.size(), 1u);
        const WatchRunSummary& run = report.runs[0];
        EXPECT_EQ(run.position, c.position);
        EXPECT_EQ(run.result.outcome(), c.outcome);
        EXPECT_EQ(run.result.firstProblem, c.firstProblem);
        EXPECT_EQ(run.result.counts, report.result);
        EXPECT_EQ(run.result.endedAt, Now());
        ASSERT_FALSE(display.noted.empty());
        const auto& [kind, line] = display.noted.back();
        EXPECT_EQ(kind, c.outcome == RunOutcome::Failed ? LogLineKind::ProblemSummary : LogLineKind::Summary);
        EXPECT_EQ(line.substr(line.find(": ") + 2), summaryMessage(run.name, run.result)) << "the last line";

        WatchList list;
        FileProblem problem;
        ASSERT_TRUE(loadWatches(context.WatchFilePath, list, problem)) << problem.text();
        ASSERT_EQ(list.watches.size(), 3u);
        EXPECT_EQ(list.watches[c.position].watch.name, run.name);
        EXPECT_EQ(list.watches[c.position].watch.lastResult, run.result) << "read back as it was";
    }

    // Where the result cannot be kept (the watch's own program puts a folder in place of the text file
    // as it runs), the run says so, fails, and still ends with its summary.
    const std::string textFile = dir / "WatchDef.toml";
    // Named otherwise than its folder: the summary names the watch, never a name made up for it.
    std::string named = test::readFile(textFile);
    const std::size_t manual = named.find("name = \"manual-src\"");
    ASSERT_NE(manual, std::string::npos) << named;
    test::writeFile(textFile, named.replace(manual, 19, "name = \"nightly\""));
    runAfter(2, "rm -f \"$1\" && mkdir \"$1\"", textFile);
    std::filesystem::remove_all(dir / "manual-dst");
    SchedulerReport report = checkWatchNow(context, 2);
    EXPECT_TRUE(copied("manual"));
    EXPECT_EQ(report.unsavedResults, 1);
    EXPECT_EQ(report.result.failed, 1);
    ASSERT_EQ(report.runs.size(), 1u);
    EXPECT_EQ(report.runs[0].name, "nightly") << "named as it was when the run started";
    const std::string said = std::string(kResultNotSavedLine) + pair("manual") + ": " + textFile;
    EXPECT_EQ(report.runs[0].result.firstProblem.rfind(said, 0), 0u) << report.runs[0].result.firstProblem;
    std::vector<std::string> logged = loggedMessages();
    ASSERT_GE(logged.size(), 2u);
    EXPECT_EQ(logged[logged.size() - 2], report.runs[0].result.firstProblem);
    EXPECT_EQ(logged.back(), summaryMessage("nightly", report.runs[0].result));

    // Without its settings (excludes, hidden files, links) a watch is not run at all: with the wrong ones
    // it could copy or delete what they leave out. One error line, a failure, and its summary.
    std::filesystem::remove_all(dir / "manual-dst");
    report = checkWatchNow(context, 2);
    EXPECT_FALSE(copied("manual"));
    ASSERT_EQ(report.runs.size(), 1u);
    EXPECT_EQ(report.runs[0].result.firstProblem, "Error reading the settings of Synhro folder " +
                                                      pair("manual") + ": " + textFile +
                                                      ": Is a directory; the watch was not run");
    EXPECT_EQ(report.result.failed, 2) << "not run, and its result not kept";
    // Its name cannot be known: its position, which no name can be, rather than another watch's name.
    logged = loggedMessages();
    EXPECT_EQ(logged.back(), summaryMessage("2", report.runs[0].result));
}

TEST_F(SchedulerRunTest, LastRunTimeThatCannotBeSavedLeavesTheWatchFileAsItWas) {
    add("locked", rmManual, pd1Day, now - 2);
    // The watch's own after-sync program makes the watch file read-only while the watch runs.
    runAfter(0, "chmod 0444 \"$1\"", context.WatchFilePath);
    const std::string before = test::readFile(context.WatchFilePath);

    test::NoPermissionOverride asAnyUser;
    const SchedulerReport report = checkWatchNow(context, 0);
    EXPECT_EQ(report.ran, 1);
    EXPECT_EQ(report.unsaved, 1);
    EXPECT_TRUE(copied("locked"));
    EXPECT_EQ(test::readFile(context.WatchFilePath), before);
}

}  // namespace
}  // namespace tessel
