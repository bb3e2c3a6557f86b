#include <gtest/gtest.h>
#include <locale.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "support/TestSupport.h"
#include "watch/EventLog.h"

namespace tessel {
namespace {

using test::CoreFixture;

class EventLogTest : public ::testing::Test, public CoreFixture {
  protected:
    void setLocalClock(const platform::LocalTime& local) { clock.set(local); }
    test::FixedClock clock;
};

TEST_F(EventLogTest, FirstCallCreatesTheFileWithOneStampedLine) {
    setLocalClock({2026, 12, 8, 14, 5, 9, 0});
    ASSERT_FALSE(test::exists(context.LogFilePath));
    WriteLogLine(context, "Start Work Program");
    const std::string expected =
        platform::formatLocalDateTime({2026, 12, 8, 14, 5, 9, 0}) + ": Start Work Program";
    EXPECT_EQ(test::readFile(context.LogFilePath), expected + "\r\n");
    ASSERT_EQ(display.logArea.size(), 1u);
    EXPECT_EQ(display.logArea.front(), expected);
    EXPECT_TRUE(messages.messages.empty());

    // Same second, call order kept; an empty message leaves the line ending in ": ".
    WriteLogLine(context, "");
    EXPECT_EQ(test::readFile(context.LogFilePath),
              expected + "\r\n" + platform::formatLocalDateTime({2026, 12, 8, 14, 5, 9, 0}) + ": \r\n");
}

TEST_F(EventLogTest, MidnightStampsOnlyTheDate) {
    setLocalClock({2026, 12, 8, 0, 0, 0, 0});
    WriteLogLine(context, "End Work Program");
    const std::string date = platform::formatLocalDateTime({2026, 12, 8, 0, 0, 0, 0});
    EXPECT_EQ(test::readFile(context.LogFilePath), date + ": End Work Program\r\n");
    EXPECT_EQ(date, platform::formatLocalDateTime({2026, 12, 8, 12, 0, 0, 0}).substr(0, date.size()));
    EXPECT_GT(platform::formatLocalDateTime({2026, 12, 8, 0, 0, 1, 0}).size(), date.size());
}

TEST_F(EventLogTest, AreaKeepsTheLastSevenLinesFileKeepsAll) {
    for (int i = 0; i < 20; ++i) WriteLogLine(context, "line " + std::to_string(i));
    ASSERT_EQ(display.logArea.size(), 7u);
    EXPECT_NE(display.logArea.front().find("line 13"), std::string::npos);
    EXPECT_NE(display.logArea.back().find("line 19"), std::string::npos);
    const auto lines = loggedMessages();
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines.front(), "line 0");
    EXPECT_EQ(lines.back(), "line 19");
}

// An area that wraps long lines: each counts as two displayed lines.
class WrappingDisplay : public test::FakeDisplay {
  public:
    int logLineCount() const override {
        int count = 0;
        for (const auto& line : logArea) count += line.size() > 40 ? 2 : 1;
        return count;
    }
};

TEST(EventLogWrapping, EachCallRemovesAtMostOneLine) {
    test::TempDir dir;
    WrappingDisplay display;
    test::FakeMessages messages;
    RunContext context{display, messages, "", dir / "log.txt"};
    for (int i = 0; i < 10; ++i) WriteLogLine(context, std::string(60, 'w') + std::to_string(i));
    // Four wrapped lines make eight displayed ones; from then on each call adds one and drops one, so
    // three lines stay: the last three.
    ASSERT_EQ(display.logArea.size(), 3u);
    EXPECT_EQ(display.logArea.front().back(), '7');
    EXPECT_EQ(display.logArea.back().back(), '9');
}

// Whoever reads the log or only the program's output learns what each line is: the problems (which
// tessel-batch also puts on standard error), the summaries, the rest; and the run keeps its first
// problem.
TEST_F(EventLogTest, ProblemsAndSummariesAreToldApartAndTheFirstProblemIsKept) {
    struct Case {
        std::string message;
        std::optional<LogLineKind> given;
        LogLineKind kind;
    };
    const std::vector<Case> cases{
        {"Copied file /a.txt", std::nullopt, LogLineKind::Event},
        {"Error copying file /b\x01.txt: Is a directory", std::nullopt, LogLineKind::Problem},
        {"Conflict /c.txt: both sides changed since the last run", std::nullopt, LogLineKind::Problem},
        {"Abnormal Stop /bin/missing", std::nullopt, LogLineKind::Problem},
        {"Errors are words too", std::nullopt, LogLineKind::Event},
        {"Summary of watch docs: ok; ...", LogLineKind::Summary, LogLineKind::Summary},
        {"Summary of watch docs: failed; ...", LogLineKind::ProblemSummary, LogLineKind::ProblemSummary}};
    for (const Case& c : cases) {
        if (c.given)
            WriteLogLine(context, c.message, *c.given);
        else
            WriteLogLine(context, c.message);
    }
    ASSERT_EQ(display.noted.size(), cases.size());
    ASSERT_EQ(display.logArea.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].message);
        EXPECT_EQ(display.noted[i].first, cases[i].kind);
        EXPECT_EQ(display.noted[i].second, display.logArea[i]) << "the line as logged";
        EXPECT_EQ(display.noted[i].second.substr(display.noted[i].second.find(": ") + 2),
                  escapeControls(cases[i].message));
    }
    EXPECT_EQ(context.firstProblemLine, "Error copying file /b\\x01.txt: Is a directory")
        << "escaped, and the first";

    // A line the log file cannot take is no line to the window: nothing is noted, but the problem is kept.
    context.firstProblemLine.clear();
    display.noted.clear();
    context.LogFilePath = dir / "no-such-folder/WatchLog.Log";
    WriteLogLine(context, "Error deleting file /d.txt: Permission denied");
    EXPECT_TRUE(display.noted.empty());
    EXPECT_EQ(context.firstProblemLine, "Error deleting file /d.txt: Permission denied");
}

// The log's dates follow the machine's regional settings, never the environment of the program that
// writes the line: the window in another language, tessel-batch started by cron or systemd.
TEST_F(EventLogTest, DatesFollowTheMachinesRegionalSettingsNotTheEnvironment) {
    struct Setting {
        const char* what;
        std::vector<std::string> files;  // contents; an empty one is left out
        std::string locale;
    };
    for (const Setting& c : std::vector<Setting>{
             {"LANG", {"LANG=de_DE.UTF-8\n"}, "de_DE.UTF-8"},
             {"LC_TIME before LANG, quoted",
              {"LANG=\"ru_RU.UTF-8\"\nLC_TIME='en_GB.UTF-8'\n"},
              "en_GB.UTF-8"},
             {"LC_ALL before both", {"LC_TIME=de_DE.UTF-8\n  LC_ALL=C.UTF-8\n"}, "C.UTF-8"},
             {"comments and export",
              {"# File generated by update-locale\nexport LANG=fr_FR.UTF-8\r\n"},
              "fr_FR.UTF-8"},
             {"the first file that names one", {"# nothing here\n", "LANG=de_DE.UTF-8\n"}, "de_DE.UTF-8"},
             {"a missing file", {"", "LC_TIME=en_GB.UTF-8\n"}, "en_GB.UTF-8"},
             {"none", {"LANGUAGE=ru\nLC_TIMES=x\n"}, "C"}}) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> files;
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            files.push_back(dir / ("locale" + std::to_string(i)));
            if (!c.files[i].empty()) test::writeFile(files.back(), c.files[i]);
        }
        platform::setRegionalSettingsFilesForTesting(files);
        EXPECT_EQ(platform::machineTimeLocale(), c.locale);
    }

    const std::string locales = test::generatedLocales({"en_GB.UTF-8", "ru_RU.UTF-8"});
    if (locales.empty()) {
        platform::setRegionalSettingsFilesForTesting({});
        GTEST_SKIP() << "localedef cannot make en_GB.UTF-8 and ru_RU.UTF-8 here (package locales)";
    }
    test::ScopedEnvironment path("LOCPATH", locales);
    test::ScopedEnvironment time("LC_TIME", "ru_RU.UTF-8");
    // The process itself writes Russian dates; the machine says British ones, and the log has those.
    const std::string before = setlocale(LC_TIME, nullptr);
    ASSERT_NE(setlocale(LC_TIME, ""), nullptr);
    test::writeFile(dir / "locale.conf", "LANG=ru_RU.UTF-8\nLC_TIME=en_GB.UTF-8\n");
    platform::setRegionalSettingsFilesForTesting({dir / "locale.conf"});
    setLocalClock({2026, 12, 8, 14, 5, 9, 0});
    WriteLogLine(context, "Start Work Program");
    setLocalClock({2026, 12, 9, 0, 0, 0, 0});
    WriteLogLine(context, "End Work Program");
    EXPECT_EQ(test::readFile(context.LogFilePath),
              "08/12/26 14:05:09: Start Work Program\r\n09/12/26: End Work Program\r\n");
    // A locale the machine names but has not made: the plain one.
    test::writeFile(dir / "locale.conf", "LC_TIME=xx_XX.UTF-8\n");
    platform::setRegionalSettingsFilesForTesting({dir / "locale.conf"});
    EXPECT_EQ(platform::formatLocalDateTime({2026, 12, 8, 14, 5, 9, 0}), "12/08/26 14:05:09");
    setlocale(LC_TIME, before.c_str());
    platform::setRegionalSettingsFilesForTesting({});
}

TEST_F(EventLogTest, UnwritableLogShowsTheMessageAndKeepsTheAreaUnchanged) {
    context.LogFilePath = dir / "no-such-folder/WatchLog.Log";
    WriteLogLine(context, "Start Work Program");
    WriteLogLine(context, "End Work Program");
    EXPECT_EQ(messages.messages,
              (std::vector<std::string>{"I/O Error! Dont saved data!!", "I/O Error! Dont saved data!!"}));
    EXPECT_TRUE(display.logArea.empty());
    EXPECT_FALSE(test::exists(context.LogFilePath));

    // A pipe nobody reads is never waited for.
    context.LogFilePath = dir / "pipe.Log";
    ASSERT_EQ(mkfifo(context.LogFilePath.c_str(), 0644), 0);
    WriteLogLine(context, "Start Work Program");
    EXPECT_EQ(messages.messages.size(), 3u);
}

}  // namespace
}  // namespace tessel
