#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "batch/BatchConsole.h"
#include "platform/Faults.h"
#include "platform/FileCopy.h"
#include "support/TestSupport.h"
#include "watch/RunProgress.h"

namespace tessel {
namespace {

using test::writeFile;

// A file of `size` bytes with a megabyte of data at each of `at` and holes between: large, yet quick to
// write and to copy.
void writeSparseFile(const std::string& path, std::uint64_t size, const std::vector<std::uint64_t>& at) {
    test::makeFolders(std::filesystem::path(path).parent_path());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const std::string data(1 << 20, 'd');
    for (const std::uint64_t offset : at)
        ASSERT_EQ(::pwrite(fd, data.data(), data.size(), static_cast<off_t>(offset)),
                  static_cast<ssize_t>(data.size()));
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    ::close(fd);
}

class ProgressRunTest : public ::testing::Test, public test::TreeFixture {};

// Every byte a run copies is planned first and told once, from the thread that copies it; a large file,
// copied where the walk looked at it or in a folder it has just made, shows its own progress on the way.
TEST_F(ProgressRunTest, TheBytesOfARunAddUpAndALargeFileShowsItsWay) {
    constexpr std::uint64_t kLarge = 3 * platform::kCopyPiece + 12345;
    const std::vector<std::uint64_t> data = {0, platform::kCopyPiece + 7, 2 * platform::kCopyPiece + 99};
    for (int i = 0; i < 5; ++i)
        writeFile(src + "/small/" + std::to_string(i) + ".txt", std::string(100 + i, 'x'));
    writeSparseFile(src + "/big.img", kLarge, data);
    writeSparseFile(src + "/fresh/big.img", kLarge, data);
    const std::uint64_t total = 5 * 100 + 10 + 2 * kLarge;

    for (const int jobs : {1, 4}) {
        SCOPED_TRACE(jobs);
        // big.img is replaced where the walk looked at it; fresh/ is made by the run, and what goes in it
        // is copied without a look first.
        std::filesystem::remove_all(dst);
        writeFile(dst + "/big.img", "old");
        test::setModificationTime(dst + "/big.img", 1'000'000'000);
        context.options.jobs = jobs;
        display.plan = {};
        display.copiedBytes = 0;
        display.fileProgress.clear();
        display.completed = false;
        const RunResult result = runWatch();
        EXPECT_EQ(result.copied, 7);
        EXPECT_EQ(result.failed, 0);
        EXPECT_EQ(result.bytesCopied, total);
        EXPECT_EQ(display.copiedBytes, total);
        // What was planned and not copied left the plan again: here everything was copied.
        EXPECT_EQ(display.plan.bytes, static_cast<std::int64_t>(total));
        EXPECT_EQ(display.plan.sized, 7);
        EXPECT_EQ(display.plan.unsized, 0);
        EXPECT_TRUE(display.completed);
        EXPECT_EQ(test::readFile(dst + "/fresh/big.img"), test::readFile(src + "/fresh/big.img"));

        for (const std::string name : {"/big.img", "/fresh/big.img"}) {
            SCOPED_TRACE(name);
            std::vector<test::FakeDisplay::FileProgress> heard;
            for (const auto& word : display.fileProgress)
                if (word.path == src + name) heard.push_back(word);
            ASSERT_GE(heard.size(), 3u);
            EXPECT_EQ(heard.front().done, 0u);
            EXPECT_EQ(heard.back().done, kLarge);
            bool between = false;
            for (std::size_t i = 0; i < heard.size(); ++i) {
                EXPECT_EQ(heard[i].size, kLarge);
                if (i > 0) {
                    EXPECT_GE(heard[i].done, heard[i - 1].done);
                }
                between |= heard[i].done > 0 && heard[i].done < kLarge;
                // The pool's threads copy with several jobs, the run's own thread with one.
                EXPECT_EQ(heard[i].thread == std::this_thread::get_id(), jobs == 1);
            }
            EXPECT_TRUE(between);
        }
        // The small files show no progress of their own.
        for (const auto& word : display.fileProgress)
            EXPECT_TRUE(word.path.ends_with("big.img")) << word.path;
    }
}

// With several jobs the files are counted beside a run that lasts: the bar gets its end from that
// thread, and one that is over first pays for no count.
TEST_F(ProgressRunTest, ALongRunWithSeveralJobsIsCountedBesideIt) {
    for (int i = 0; i < 3; ++i) writeFile(src + "/sub/" + std::to_string(i) + ".txt", "x");
    context.options.jobs = 4;
    display.progressMax = -1;
    runWatch();
    EXPECT_EQ(display.progressMax, 0);  // over before the count began
    std::filesystem::remove_all(dst);
    display.onStep = [] { std::this_thread::sleep_for(std::chrono::milliseconds(600)); };
    runWatch();
    display.onStep = nullptr;
    const std::lock_guard lock(display.progressMutex);
    EXPECT_EQ(display.progressMax, 3);
}

#ifdef TESSEL_FAULT_INJECTION
class FaultProgressTest : public ProgressRunTest {
  protected:
    void TearDown() override { platform::faults::clear(); }
};

// A copy that fails part way takes what it did not copy out of the plan again (the bar does not wait
// for it), and its own progress ends.
TEST_F(FaultProgressTest, ACopyThatFailsLeavesThePlan) {
    constexpr std::uint64_t kSize = 3 * platform::kCopyPiece;
    writeSparseFile(src + "/a.img", kSize, {0, 2 * platform::kCopyPiece});
    test::makeFolders(dst);
    platform::faults::inject(platform::faults::Operation::Write, 2, ENOSPC);
    const RunResult result = runWatch();
    EXPECT_EQ(result.failed, 1);
    EXPECT_GT(display.copiedBytes, 0u);  // the data before the hole
    EXPECT_LT(display.copiedBytes, kSize);
    EXPECT_EQ(display.plan.bytes, static_cast<std::int64_t>(display.copiedBytes));
    EXPECT_EQ(display.plan.unsized, 0);
    ASSERT_FALSE(display.fileProgress.empty());
    EXPECT_EQ(display.fileProgress.back().done, kSize);
}
#endif

using Seconds = std::chrono::seconds;

// The share done, the rate and the time left, as the window and the terminal show them.
TEST(RunProgressTest, ALongFileKeepsTheRateAndTheTimeLeft) {
    RunProgress progress;
    RunProgress::Clock::time_point now{};
    progress.begin(10);
    for (int i = 0; i < 9; ++i) progress.stepFiles(1);
    progress.sample(now);
    // The last file is a gigabyte: the work is far larger than the bar showed, and the bar goes back to
    // what is done rather than say "99 %" while the gigabyte is copied.
    EXPECT_EQ(progress.percent(), 90);
    progress.changePlan(1'000'000'000, 1, 0);
    progress.stepFiles(1);
    EXPECT_LT(progress.fraction(), 0.01);
    double lastShare = progress.fraction();
    std::optional<double> lastLeft;
    for (int second = 1; second <= 15; ++second) {
        now += Seconds(1);
        progress.copyBytes(50'000'000);
        progress.sample(now);
        SCOPED_TRACE(second);
        EXPECT_GT(progress.fraction(), lastShare);
        lastShare = progress.fraction();
        ASSERT_TRUE(progress.bytesPerSecond().has_value());
        EXPECT_DOUBLE_EQ(*progress.bytesPerSecond(), 50'000'000);
        const std::optional<double> left = progress.secondsLeft();
        if (second < 3) {  // two seconds measured since the work grew
            EXPECT_FALSE(left.has_value());
            continue;
        }
        // 20 s for the gigabyte, the files' own share besides: a little more than the bytes' time.
        ASSERT_TRUE(left.has_value());
        EXPECT_NEAR(*left, 20 - second, 0.5);
        if (lastLeft) {
            EXPECT_LT(*left, *lastLeft);
        }
        lastLeft = left;
    }
    EXPECT_LT(progress.percent(), 100);
    progress.copyBytes(250'000'000);
    EXPECT_EQ(progress.percent(), 99);  // all copied, yet not over
    progress.complete();
    EXPECT_EQ(progress.percent(), 100);
    EXPECT_FALSE(progress.secondsLeft().has_value());

    // A little more work than the bar showed holds it, and it moves on through the rest as bytes arrive.
    progress.begin(2);
    progress.changePlan(1'000'000, 1, 0);
    progress.stepFiles(2);
    progress.copyBytes(600'000);
    const double held = progress.fraction();
    progress.changePlan(200'000, 1, 0);
    EXPECT_EQ(progress.fraction(), held);
    progress.copyBytes(200'000);
    EXPECT_GT(progress.fraction(), held);
    progress.copyBytes(400'000);
    EXPECT_EQ(progress.percent(), 99);

    // Before the files are counted (a count beside the run) the bar stays empty; a step past the count
    // holds it below full.
    progress.begin(0);
    progress.stepFiles(5);
    EXPECT_EQ(progress.percent(), 0);
    progress.countFiles(10);
    EXPECT_EQ(progress.percent(), 50);
    progress.stepFiles(20);
    EXPECT_EQ(progress.filesDone(), 10);
    EXPECT_EQ(progress.percent(), 99);

    // Copies whose size is not known yet are guessed as large as those known: the bar does not run ahead.
    progress.begin(4);
    progress.changePlan(1'000'000, 1, 1);
    progress.stepFiles(2);
    progress.copyBytes(1'000'000);
    EXPECT_LE(progress.percent(), 55);
    progress.changePlan(1'000'000, 1, -1);
    progress.copyBytes(1'000'000);
    progress.stepFiles(2);
    EXPECT_EQ(progress.percent(), 99);
}

TEST(RunProgressTest, SizesAndTimesInEnglish) {
    const std::vector<std::pair<std::uint64_t, std::string>> sizes{
        {0, "0 B"},
        {999, "999 B"},
        {1000, "1.0 KB"},
        {99'949, "99.9 KB"},
        {99'950, "100 KB"},
        {999'499, "999 KB"},
        {999'500, "1.0 MB"},
        {3'320'828'070, "3.3 GB"},
        {1'000'000'000'000, "1.0 TB"},
        {5'000'000'000'000'000, "5000 TB"},
    };
    for (const auto& [bytes, text] : sizes) EXPECT_EQ(sizeInEnglish(bytes), text) << bytes;
    const std::vector<std::pair<double, std::string>> times{
        {0.2, "about 1 s left"},        {59.5, "about 60 s left"},   {60, "about 1 min left"},
        {61, "about 2 min left"},       {3599, "about 60 min left"}, {3600, "about 1 h 0 min left"},
        {7325, "about 2 h 2 min left"},
    };
    for (const auto& [seconds, text] : times) EXPECT_EQ(timeLeftInEnglish(seconds), text) << seconds;
}

// tessel-batch's line: the counts stay whole, the current file gives up its start, a large file shows
// its own progress in its place.
TEST(RunProgressTest, TheTerminalLine) {
    RunProgress progress;
    progress.begin(5000);
    progress.setFilesDone(1234);
    const std::string current = "  Copy file :/src/photos/2024/holiday/a.jpg";
    struct Case {
        int columns;
        bool large;
        std::string line;
    };
    const std::vector<Case> cases{
        {100, false, "1,234/5,000 files · 24 %  Copy file :/src/photos/2024/holiday/a.jpg"},
        {40, false, "1,234/5,000 files · 24 %  ...liday/a.jpg"},
        {30, false, "1,234/5,000 files · 24 %"},
        {20, false, "...,000 files · 24 %"},
        {100, true, "1,234/5,000 files · 24 %  Copying big.iso: 1.2 GB of 3.1 GB"},
    };
    for (const Case& line : cases) {
        SCOPED_TRACE(line.columns);
        RunProgress shown = progress;
        if (line.large) shown.showFile("/src/images/big.iso", 1'234'000'000, 3'100'000'000);
        EXPECT_EQ(batch::progressLine(shown, current, line.columns), line.line);
    }
    progress.begin(0);
    EXPECT_EQ(batch::progressLine(progress, current, 40), "counting files  ...os/2024/holiday/a.jpg");
}

}  // namespace
}  // namespace tessel
