#include <gtest/gtest.h>
#include <sys/stat.h>

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
