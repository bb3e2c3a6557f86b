#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "support/TestSupport.h"
#include "sync/CopyDecision.h"
#include "sync/SyncFolder.h"

namespace tessel {
namespace {

using test::exists;
using test::readFile;
using test::writeFile;

class SyncFolderTest : public ::testing::Test, public test::TreeFixture {
  protected:
    RunResult result;
    void sync(std::uint8_t action = faCopy, const std::string& mask = "*.*") {
        result = SyncFolder(context, src, dst, mask, action, watch);
    }
};

constexpr std::int64_t kOld = 1'600'000'000;  // 2020
constexpr std::int64_t kNew = 1'700'000'000;  // 2023

TEST_F(SyncFolderTest, DecisionTableByTuneMode) {
    // One source file per destination situation; the destination copy says what it was.
    struct Situation {
        const char* name;
        const char* destination;  // nullptr: absent
        std::int64_t sourceTime;
        std::int64_t destinationTime;
    };
    const Situation situations[] = {
        {"absent.txt", nullptr, kOld, 0},
        {"same.txt", "source", kOld, kOld},             // same size, time and attributes
        {"dest-newer-same.txt", "source", kOld, kNew},  // same size, destination newer
        {"dest-older.txt", "source", kNew, kOld},       // source newer
        {"other-size.txt", "longer old", kOld, kOld},   // size differs, same time
        {"other-size-newer.txt", "longer old", kOld, kNew},
    };
    struct Expected {
        std::int32_t tuneMode;
        std::vector<std::string> replaced;
    };
    const Expected expectations[] = {
        {tmSyncAll, {"absent.txt", "dest-older.txt", "other-size-newer.txt", "other-size.txt"}},
        {tmUpdateOld, {"dest-older.txt"}},
        {tmAbsentOnly, {"absent.txt"}},
        {-1, {}},
        {7, {}},
    };
    for (const Expected& expected : expectations) {
        SCOPED_TRACE(expected.tuneMode);
        test::TempDir trees;
        src = trees / "src";
        dst = trees / "dst";
        test::makeFolders(src + "/sub");
        test::makeFolders(dst);
        for (const Situation& s : situations) {
            writeFile(src + "/" + s.name, "source");
            test::setModificationTime(src + "/" + s.name, s.sourceTime);
            if (s.destination != nullptr) {
                writeFile(dst + "/" + s.name, s.destination);
                test::setModificationTime(dst + "/" + s.name, s.destinationTime);
            }
        }
        watch.TuneMode = expected.tuneMode;
        display.steps = 0;
        sync();

        std::vector<std::string> replaced;
        for (const Situation& s : situations) {
            const std::string path = dst + "/" + s.name;
            const bool copied = exists(path) && readFile(path) == "source" &&
                                test::modificationTime(path) == s.sourceTime &&
                                (s.destination == nullptr || s.destinationTime != s.sourceTime ||
                                 std::string(s.destination) != "source");
            if (copied) replaced.push_back(s.name);
        }
        std::sort(replaced.begin(), replaced.end());
        EXPECT_EQ(replaced, expected.replaced);
        // Every file found advances the bar, copied or not; the subfolder exists in every mode.
        EXPECT_EQ(display.steps, 6);
        EXPECT_TRUE(test::isFolder(dst + "/sub"));
    }
}

TEST_F(SyncFolderTest, AttributeDifferenceCountsAsAChange) {
    writeFile(src + "/script.sh", "echo hi");
    chmod((src + "/script.sh").c_str(), 0755);
    sync();
    ASSERT_EQ(test::permissions(dst + "/script.sh"), 0755u);
    chmod((src + "/script.sh").c_str(), 0700);
    sync();
    EXPECT_EQ(test::permissions(dst + "/script.sh"), 0700u);
}

TEST_F(SyncFolderTest, CopyKeepsContentTimeAndPermissions) {
    writeFile(src + "/a.bin", std::string(300'000, '\x7f') + "end");
    chmod((src + "/a.bin").c_str(), 0640);
    test::setModificationTime(src + "/a.bin", kOld, 123'456'789);
    writeFile(src + "/empty", "");
    writeFile(src + "/readonly.txt", "frozen");
    chmod((src + "/readonly.txt").c_str(), 0444);
    sync();

    EXPECT_EQ(readFile(dst + "/a.bin"), readFile(src + "/a.bin"));
    struct stat info {};
    ASSERT_EQ(stat((dst + "/a.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, kOld);
    EXPECT_EQ(info.st_mtim.tv_nsec, 123'456'789);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(readFile(dst + "/empty"), "");
    EXPECT_EQ(test::permissions(dst + "/readonly.txt"), 0444u);
    // No temporaries are left behind.
    EXPECT_EQ(test::listFolder(dst), (std::vector<std::string>{"a.bin", "empty", "readonly.txt"}));

    // A second run finds everything up to date.
    writeFile(context.LogFilePath, "");
    watch.WideLog = 1;
    sync();
    EXPECT_TRUE(loggedMessages().empty());
}

TEST_F(SyncFolderTest, TreeIsWalkedFilesFirstAndFoldersMirrored) {
    test::makeFolders(src + "/a/b/c");
    test::makeFolders(src + "/empty");
    writeFile(src + "/top.txt", "1");
    writeFile(src + "/a/mid.txt", "2");
    writeFile(src + "/a/b/c/deep.txt", "3");
    watch.WideLog = 1;
    sync();
    EXPECT_EQ(test::snapshotTree(dst), (std::vector<std::string>{"a/", "a/b/", "a/b/c/", "a/b/c/deep.txt=3",
                                                                 "a/mid.txt=2", "empty/", "top.txt=1"}));
    const auto lines = loggedMessages();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Copied file " + src + "/top.txt ");  // absent file: one trailing blank
    EXPECT_EQ(lines[1], "Copied file " + src + "/a/mid.txt ");
    EXPECT_EQ(lines[2], "Copied file " + src + "/a/b/c/deep.txt ");
    EXPECT_EQ(display.statusText, "  Copy file :" + src + "/a/b/c/deep.txt");

    // Over a present file the line has no trailing blank.
    writeFile(src + "/top.txt", "changed");
    sync();
    ASSERT_FALSE(loggedMessages().empty());
    EXPECT_EQ(loggedMessages().back(), "Copied file " + src + "/top.txt");
}

TEST_F(SyncFolderTest, MissingSourceAndEmptyMask) {
    src = dir / "missing";
    sync();
    EXPECT_FALSE(exists(dst));
    EXPECT_EQ(display.steps, 0);
    EXPECT_FALSE(exists(context.LogFilePath));

    src = dir / "src";
    test::makeFolders(src + "/x/y");
    writeFile(src + "/x/file.txt", "x");
    sync(faCopy, "");
    EXPECT_EQ(test::snapshotTree(dst), (std::vector<std::string>{"x/", "x/y/"}));
    EXPECT_EQ(display.steps, 0);
}

TEST_F(SyncFolderTest, MaskSelectsFilesButNotFolders) {
    test::makeFolders(src + "/docs.old");
    writeFile(src + "/a.TXT", "a");
    writeFile(src + "/b.doc", "b");
    writeFile(src + "/docs.old/c.txt", "c");
    writeFile(src + "/docs.old/d.md", "d");
    sync(faCopy, "*.txt");
    EXPECT_EQ(test::snapshotTree(dst),
              (std::vector<std::string>{"a.TXT=a", "docs.old/", "docs.old/c.txt=c"}));
    EXPECT_EQ(CountFiles(src), 4);
}

TEST_F(SyncFolderTest, HiddenSystemAndLinkedEntries) {
    writeFile(src + "/.hidden", "h");
    test::makeFolders(src + "/.git");
    writeFile(src + "/.git/config", "g");
    writeFile(src + "/plain.txt", "p");
    ASSERT_EQ(mkfifo((src + "/pipe").c_str(), 0644), 0);
    ASSERT_EQ(symlink("plain.txt", (src + "/link-to-file").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (src + "/dangling").c_str()), 0);
    test::makeFolders(dir / "elsewhere");
    writeFile(dir / "elsewhere/outside.txt", "o");
    ASSERT_EQ(symlink((dir / "elsewhere").c_str(), (src + "/link-to-folder").c_str()), 0);
    ASSERT_EQ(symlink("..", (src + "/cycle").c_str()), 0);  // would loop forever if entered

    sync();
    // A link to a file is copied as the file it names; the rest is left alone.
    EXPECT_EQ(test::snapshotTree(dst), (std::vector<std::string>{"link-to-file=p", "plain.txt=p"}));
    EXPECT_EQ(CountFiles(src), 2);
    EXPECT_EQ(display.steps, 2);
}

TEST_F(SyncFolderTest, SystemEntryInDestinationIsNeverReplaced) {
    writeFile(src + "/name", "source");
    test::makeFolders(dst);
    ASSERT_EQ(mkfifo((dst + "/name").c_str(), 0644), 0);
    for (std::int32_t mode : {tmSyncAll, tmUpdateOld, tmAbsentOnly}) {
        watch.TuneMode = mode;
        sync();
        struct stat info {};
        ASSERT_EQ(lstat((dst + "/name").c_str(), &info), 0);
        EXPECT_TRUE(S_ISFIFO(info.st_mode));
        // The file can never arrive there: a failure, every run, not a silent skip.
        EXPECT_EQ(result.failed, 1);
    }
    ASSERT_FALSE(loggedMessages().empty());
    EXPECT_EQ(loggedMessages().back(),
              "Error copying file " + src + "/name: the destination is not a regular file");
}

TEST_F(SyncFolderTest, FailuresAreLoggedAsFailures) {
    writeFile(src + "/locked.txt", "new");
    writeFile(src + "/folder-named", "file");
    writeFile(src + "/fine.txt", "fine");
    test::makeFolders(dst + "/folder-named");
    writeFile(dst + "/locked.txt", "old content");
    chmod((dst + "/locked.txt").c_str(), 0444);  // read-only: never replaced, even for root

    sync();  // no wide log: failures are logged all the same
    EXPECT_EQ(readFile(dst + "/locked.txt"), "old content");
    EXPECT_EQ(readFile(dst + "/fine.txt"), "fine");
    EXPECT_EQ(result.failed, 2);
    auto lines = loggedMessages();
    std::sort(lines.begin(), lines.end());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Error copying file " + src + "/folder-named: Is a directory");
    EXPECT_EQ(lines[1], "Error copying file " + src + "/locked.txt: Permission denied");
    EXPECT_EQ(test::listFolder(dst), (std::vector<std::string>{"fine.txt", "folder-named", "locked.txt"}));
}

TEST_F(SyncFolderTest, MoveNeverReplaces) {
    writeFile(src + "/new.txt", "moved");
    writeFile(src + "/taken.txt", "source copy");
    test::makeFolders(src + "/sub");
    writeFile(src + "/sub/deep.txt", "deep");
    test::makeFolders(dst);
    writeFile(dst + "/taken.txt", "destination copy");
    test::setModificationTime(dst + "/taken.txt", kOld);
    watch.WideLog = 1;

    sync(faMove);
    EXPECT_FALSE(exists(src + "/new.txt"));
    EXPECT_EQ(readFile(dst + "/new.txt"), "moved");
    EXPECT_EQ(readFile(dst + "/sub/deep.txt"), "deep");
    EXPECT_FALSE(exists(src + "/sub/deep.txt"));
    EXPECT_TRUE(test::isFolder(src + "/sub"));  // folders stay
    EXPECT_EQ(readFile(src + "/taken.txt"), "source copy");
    EXPECT_EQ(readFile(dst + "/taken.txt"), "destination copy");
    EXPECT_EQ(result.failed, 1);

    auto lines = loggedMessages();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"Error moving file " + src + "/taken.txt: File exists",
                                               "Moved file " + src + "/new.txt",
                                               "Moved file " + src + "/sub/deep.txt"}));
}

TEST_F(SyncFolderTest, DestinationInsideSourceIsNotCopiedIntoItself) {
    writeFile(src + "/a.txt", "a");
    test::makeFolders(src + "/sub");
    writeFile(src + "/sub/b.txt", "b");
    dst = src + "/backup";
    sync();
    sync();
    EXPECT_EQ(test::snapshotTree(dst), (std::vector<std::string>{"a.txt=a", "sub/", "sub/b.txt=b"}));

    // The same folder under another spelling is recognised too.
    dst = src + "/./sub/../backup";
    sync();
    EXPECT_FALSE(exists(src + "/backup/backup"));

    // The way back: the source inside the destination.
    const std::string outer = dir / "outer";
    test::makeFolders(outer + "/inner");
    writeFile(outer + "/o.txt", "o");
    SyncFolder(context, outer, outer + "/inner", "*.*", faCopy, watch);
    SyncFolder(context, outer + "/inner", outer, "*.*", faCopy, watch);
    EXPECT_EQ(test::snapshotTree(outer), (std::vector<std::string>{"inner/", "inner/o.txt=o", "o.txt=o"}));
}

TEST_F(SyncFolderTest, FailedCopyLeavesTheOldFileWhole) {
    writeFile(src + "/big.bin", std::string(1 << 20, 'N'));
    test::makeFolders(dst);
    writeFile(dst + "/big.bin", "old");
    test::setModificationTime(dst + "/big.bin", kOld);

    // Let the copy run out of room part way: writes past 64 KiB fail.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit limit{}, saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    limit.rlim_cur = 64 * 1024;
    limit.rlim_max = saved.rlim_max;
    setrlimit(RLIMIT_FSIZE, &limit);
    sync();
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_EQ(readFile(dst + "/big.bin"), "old");
    EXPECT_EQ(test::listFolder(dst), (std::vector<std::string>{"big.bin"}));
    EXPECT_EQ(result.failed, 1);
    ASSERT_EQ(loggedMessages().size(), 1u);
    EXPECT_EQ(loggedMessages()[0].rfind("Error copying file " + src + "/big.bin: ", 0), 0u);
    EXPECT_EQ(display.statusText, loggedMessages()[0]);
}

TEST_F(SyncFolderTest, TimesBeyond2043CompareAsLater) {
    // Times of 2044 on did not fit the packed format once; they must still count as newer.
    writeFile(src + "/future.txt", "new");
    test::setModificationTime(src + "/future.txt", 2'400'000'000);  // 2046
    test::makeFolders(dst);
    writeFile(dst + "/future.txt", "old");
    test::setModificationTime(dst + "/future.txt", kOld);
    watch.TuneMode = tmUpdateOld;
    sync();
    EXPECT_EQ(readFile(dst + "/future.txt"), "new");

    // Two-second steps of UTC: the second after an even one is the same step, also before 1970.
    EXPECT_GT(timeStep({2'400'000'000, 0}), timeStep({kOld, 0}));
    EXPECT_EQ(timeStep({kOld + 1, 0}), timeStep({kOld, 0}));
    EXPECT_EQ(timeStep({-1, 0}), timeStep({-2, 0}));
    EXPECT_NE(timeStep({-1, 0}), timeStep({0, 0}));
}

TEST(ForceFolders, CreatesEveryMissingLevel) {
    test::TempDir dir;
    EXPECT_TRUE(ForceFolders(dir / "a/b/c"));
    EXPECT_TRUE(test::isFolder(dir / "a/b/c"));
    EXPECT_TRUE(ForceFolders(dir / "a/b/c/"));  // existing: fine
    EXPECT_FALSE(ForceFolders(""));
    EXPECT_FALSE(ForceFolders("/"));
    writeFile(dir / "file", "x");
    EXPECT_FALSE(ForceFolders(dir / "file/below"));
    EXPECT_EQ(CountFiles(dir / "missing"), 0);
}

}  // namespace
}  // namespace tessel

namespace tessel {
namespace {

TEST_F(SyncFolderTest, TemporariesOfDeadRunsAreCleared) {
    // A process id that certainly ran and certainly ended.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);

    char stale[64], live[64], own[64];
    char shortForm[64], upperCase[64];
    std::snprintf(stale, sizeof stale, ".tessel-%08x-0000001a.tmp", static_cast<unsigned>(child));
    std::snprintf(live, sizeof live, ".tessel-%08x-00000001.tmp", static_cast<unsigned>(getppid()));
    std::snprintf(own, sizeof own, ".tessel-%08x-00000001.tmp", static_cast<unsigned>(getpid()));
    // Names of another form are a user's, even for a process that is gone.
    std::snprintf(shortForm, sizeof shortForm, ".tessel-%x-1a.tmp", static_cast<unsigned>(child));
    std::snprintf(upperCase, sizeof upperCase, ".tessel-%08X-0000001A.tmp",
                  static_cast<unsigned>(child) | 0xA0000000u);
    test::makeFolders(dst + "/sub");
    test::makeFolders(src + "/sub");
    writeFile(src + "/sub/a.txt", "a");
    const std::vector<std::string> kept = {
        live,      own,       ".tessel-notes.tmp",    ".tessel-zz-1.tmp", ".tessel-1-2.txt",
        shortForm, upperCase, ".tessel-DeAd-BeEf.tmp"};
    for (const std::string& name : kept) {
        writeFile(dst + "/" + name, "x");
        writeFile(dst + "/sub/" + name, "x");
    }
    writeFile(dst + "/" + stale, "x");
    writeFile(dst + "/sub/" + stale, "x");
    sync();
    for (const std::string& folder : {dst, dst + "/sub"}) {
        SCOPED_TRACE(folder);
        EXPECT_FALSE(exists(folder + "/" + stale));
        // Another running process may be writing its temporary; a user's names are never touched.
        for (const std::string& name : kept) EXPECT_TRUE(exists(folder + "/" + name)) << name;
    }
}

}  // namespace
}  // namespace tessel
