// A run killed at any moment leaves every destination file either as it was or completely replaced,
// the watch file intact, and only temporaries that the next run clears away.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include "support/TestSupport.h"
#include "watch/WatchFile.h"

namespace tessel {
namespace {

using test::readFile;
using test::writeFile;

class CrashTest : public ::testing::Test, public test::CoreFixture {
  protected:
    pid_t startBatch() {
        const pid_t child = fork();
        if (child == 0) {
            const int null = open("/dev/null", O_WRONLY);
            if (null < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0) _exit(126);
            execl(TESSEL_BATCH_PATH, TESSEL_BATCH_PATH, "--watch-file", context.WatchFilePath.c_str(),
                  "--log-file", context.LogFilePath.c_str(), "0", static_cast<char*>(nullptr));
            _exit(127);
        }
        return child;
    }
};

TEST_F(CrashTest, KilledMidCopyLeavesOldOrNewNeverAMix) {
    const std::string src = dir / "src", dst = dir / "dst";
    test::makeFolders(src);
    test::makeFolders(dst);
    std::string fresh(24 << 20, '\0');
    for (std::size_t i = 0; i < fresh.size(); ++i) fresh[i] = static_cast<char>('a' + i % 23);
    const std::string old(16 << 20, 'O');
    writeFile(src + "/big.bin", fresh);

    const TWatchRec watch = test::makeWatch(src, dst);
    ASSERT_TRUE(AppendWatchRec(context, watch, context.WatchFilePath));
    const std::string watchFile = readFile(context.WatchFilePath);

    std::mt19937 random(20261208);
    int sawOld = 0, sawNew = 0;
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE(round);
        writeFile(dst + "/big.bin", old);
        const pid_t child = startBatch();
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 60'000));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);

        const std::string now = readFile(dst + "/big.bin");
        if (now == old) {
            ++sawOld;
        } else {
            ASSERT_EQ(now.size(), fresh.size());
            ASSERT_TRUE(now == fresh) << "destination holds a mix of old and new";
            ++sawNew;
        }
        // Only LastRunTime may have changed in the watch file.
        const std::string after = readFile(context.WatchFilePath);
        ASSERT_EQ(after.size(), watchFile.size());
        ASSERT_EQ(after.compare(0, 24, watchFile, 0, 24), 0);
        ASSERT_EQ(after.compare(32, std::string::npos, watchFile, 32, std::string::npos), 0);
    }
    std::printf("killed runs left the old file %d times and the new one %d times\n", sawOld, sawNew);

    // A run that finishes makes the copy and clears the temporaries the killed ones left.
    writeFile(dst + "/big.bin", old);
    const pid_t child = startBatch();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(readFile(dst + "/big.bin") == fresh);
    // No temporary; the replaced file is kept as a version.
    EXPECT_EQ(test::listFolder(dst), (std::vector<std::string>{".tessel-versions", "big.bin"}));
}

}  // namespace
}  // namespace tessel
