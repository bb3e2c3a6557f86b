// What Tessel does when the disk or the system fails in the middle of its work: nothing is lost, the
// failure is logged as a failure, and the run goes on.

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/Faults.h"
#include "support/TestSupport.h"
#include "sync/SyncFolder.h"
#include "watch/EventLog.h"

namespace tessel {
namespace {

#ifdef TESSEL_FAULT_INJECTION

using platform::faults::Operation;
using test::exists;
using test::readFile;
using test::writeFile;

class FaultTest : public ::testing::Test, public test::TreeFixture {
  protected:
    void SetUp() override { test::makeFolders(dst); }
    void TearDown() override { platform::faults::clear(); }

    RunResult result;
    void sync(std::uint8_t action = faCopy) { result = SyncFolder(context, src, dst, "*.*", action, watch); }

    std::vector<std::string> errorLines() const {
        std::vector<std::string> lines;
        for (const std::string& line : loggedMessages())
            if (line.rfind("Error ", 0) == 0) lines.push_back(line);
        return lines;
    }
};

TEST_F(FaultTest, DiskFullWhileReplacingAFile) {
    for (int error : {ENOSPC, EIO}) {
        SCOPED_TRACE(error);
        writeFile(context.LogFilePath, "");
        writeFile(src + "/a.bin", std::string(200'000, 'n'));
        writeFile(src + "/b.txt", "next file");
        writeFile(dst + "/a.bin", "old a");
        std::remove((dst + "/b.txt").c_str());
        // The listing decides the order; fail whichever file's data is written first.
        platform::faults::inject(Operation::Write, 1, error);
        sync();

        const bool aFailed = readFile(dst + "/a.bin") == "old a";
        EXPECT_EQ(result.failed, 1);
        ASSERT_EQ(errorLines().size(), 1u);
        if (aFailed) {
            EXPECT_EQ(errorLines()[0],
                      "Error copying file " + src + "/a.bin: " + std::generic_category().message(error));
            EXPECT_EQ(readFile(dst + "/b.txt"), "next file");  // the run went on
        } else {
            EXPECT_FALSE(exists(dst + "/b.txt"));
            EXPECT_EQ(readFile(dst + "/a.bin"), readFile(src + "/a.bin"));
        }
        EXPECT_EQ(test::listFolder(dst).size(), aFailed ? 2u : 1u);  // no temporary left
    }
}

TEST_F(FaultTest, ReadErrorOnTheSource) {
    writeFile(src + "/a.bin", std::string(100'000, 'r'));
    writeFile(dst + "/a.bin", "old");
    platform::faults::inject(Operation::Read, 1, EIO);
    sync();
    EXPECT_EQ(readFile(dst + "/a.bin"), "old");
    EXPECT_EQ(errorLines(), (std::vector<std::string>{"Error copying file " + src +
                                                      "/a.bin: " + std::generic_category().message(EIO)}));
    EXPECT_EQ(test::listFolder(dst), (std::vector<std::string>{"a.bin"}));
    // The next run, with the disk well again, makes the copy.
    sync();
    EXPECT_EQ(readFile(dst + "/a.bin"), readFile(src + "/a.bin"));
}

TEST_F(FaultTest, MoveAcrossFileSystems) {
    writeFile(src + "/m.txt", "moving");
    test::setModificationTime(src + "/m.txt", 1'600'000'000);
    platform::faults::inject(Operation::Rename, 1, EXDEV);  // the rename finds another file system
    sync(faMove);
    EXPECT_FALSE(exists(src + "/m.txt"));
    EXPECT_EQ(readFile(dst + "/m.txt"), "moving");
    EXPECT_EQ(test::modificationTime(dst + "/m.txt"), 1'600'000'000);
    EXPECT_EQ(test::listFolder(dst), (std::vector<std::string>{"m.txt"}));
    EXPECT_EQ(result.failed, 0);

    // A failure while copying across leaves the source where it was.
    writeFile(src + "/n.txt", std::string(50'000, 'x'));
    platform::faults::inject(Operation::Rename, 1, EXDEV);
    platform::faults::inject(Operation::Write, 1, ENOSPC);
    sync(faMove);
    EXPECT_EQ(readFile(src + "/n.txt"), std::string(50'000, 'x'));
    EXPECT_EQ(test::listFolder(dst), (std::vector<std::string>{"m.txt"}));
    EXPECT_EQ(errorLines(), (std::vector<std::string>{"Error moving file " + src +
                                                      "/n.txt: " + std::generic_category().message(ENOSPC)}));
}

TEST_F(FaultTest, UnwritableLogKeepsTheRunGoing) {
    writeFile(src + "/a.txt", "a");
    writeFile(src + "/b.txt", "b");
    watch.WideLog = 1;
    platform::faults::inject(Operation::Open, 3, EACCES);  // source, temporary, then the first log line
    sync();
    EXPECT_EQ(readFile(dst + "/a.txt"), "a");
    EXPECT_EQ(readFile(dst + "/b.txt"), "b");
    EXPECT_EQ(messages.messages, (std::vector<std::string>{kIoErrorMessage}));
    EXPECT_EQ(loggedMessages().size(), 1u);  // the other file's line got through
}

// Where an ordinary user's system refuses what root's test run is allowed (unnamed temporary files,
// a rename that never replaces, a link made from a descriptor), the copy takes its other way and
// comes out the same.
TEST_F(FaultTest, FallbacksOfOrdinaryUsers) {
    struct Case {
        const char* name;
        Operation operation;
        int nth, error;
        std::uint8_t action;
    };
    // The refusal of unnamed files is remembered for the run, so that case comes last.
    const Case cases[] = {{"no descriptor link: the /proc path", Operation::Rename, 1, ENOENT, faCopy},
                          {"no exclusive rename: a link and an unlink", Operation::Rename, 1, EINVAL, faMove},
                          {"no unnamed files: a named temporary", Operation::Open, 2, EOPNOTSUPP, faCopy}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(src + "/file.txt", c.name);
        test::setModificationTime(src + "/file.txt", 1'600'000'000);
        std::remove((dst + "/file.txt").c_str());
        platform::faults::inject(c.operation, c.nth, c.error);
        sync(c.action);
        EXPECT_EQ(result.failed, 0);
        EXPECT_EQ(readFile(dst + "/file.txt"), c.name);
        EXPECT_EQ(test::modificationTime(dst + "/file.txt"), 1'600'000'000);
        EXPECT_EQ(test::listFolder(dst), std::vector<std::string>{"file.txt"});
        EXPECT_EQ(exists(src + "/file.txt"), c.action == faCopy);
    }
}

#else

TEST(FaultTest, NeedsTheFaultSeam) {
    GTEST_SKIP() << "configure with -DTESSEL_FAULT_INJECTION=ON";
}

#endif

}  // namespace
}  // namespace tessel
