// Shared folders and runs as root: what another user made in advance (a folder, a versions folder) or
// links (to a file they may not read) must not expose anyone's files, nor take away a version. The
// users are made up by number; the tests need root to become them and skip elsewhere.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Faults.h"
#include "support/TestSupport.h"
#include "sync/Preview.h"
#include "sync/SyncWatch.h"

namespace tessel {
namespace {

using test::exists;
using test::snapshotTree;
using test::writeFile;
using Tree = std::vector<std::string>;

constexpr uid_t kAlice = 2001, kBob = 2002;
constexpr gid_t kTeam = 3000, kStrangers = 4000;

class SharingTest : public ::testing::Test, public test::TreeFixture {
  protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "becoming other users needs root";
        chmod(dir.path().c_str(), 0755);
        writeFile(context.LogFilePath, "");
        own(context.LogFilePath, kAlice);
        own(src, kAlice, 0700);
        test::makeFolders(dst);
    }
    static void own(const std::string& path, uid_t user, mode_t mode = 0, gid_t group = 0) {
        ASSERT_EQ(lchown(path.c_str(), user, group != 0 ? group : user), 0) << path;
        if (mode != 0) {
            ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
        }
    }
    // Writes a file as `user` would have it.
    static void put(const std::string& path, const std::string& content, uid_t user, mode_t mode = 0644) {
        writeFile(path, content);
        own(path, user, mode);
    }
    // Runs the watch as Alice, who is in the team; the status tells whether nothing failed.
    RunResult runAsAlice() {
        RunResult result;
        const int status = test::runAsUser(kAlice, kAlice, {kAlice, kTeam}, [&] {
            result = runWatch();
            return result.failed;
        });
        result.failed = status;
        return result;
    }
    std::vector<std::string> errors() const {
        std::vector<std::string> lines;
        for (const std::string& line : loggedMessages())
            if (line.starts_with("Error") || line.starts_with("The group")) lines.push_back(line);
        return lines;
    }
};

TEST_F(SharingTest, ACopyKeepsItsGroupOrGivesGroupAndOthersNothing) {
    own(dst, kAlice, 02770, kTeam);  // her team folder: files made in it get the team's group
    put(src + "/private.txt", "alice only", kAlice, 0640);
    put(src + "/theirs.txt", "from strangers", kAlice, 0644);
    own(src + "/theirs.txt", kAlice, 0644, kStrangers);  // a group she is not in
    put(src + "/also-theirs.txt", "from strangers too", kAlice, 0664);
    own(src + "/also-theirs.txt", kAlice, 0664, kStrangers);
    EXPECT_EQ(runAsAlice().failed, 0);
    struct stat info {};
    ASSERT_EQ(stat((dst + "/private.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, kAlice) << "the source's group, not the folder's";
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    for (const char* name : {"/theirs.txt", "/also-theirs.txt"}) {
        ASSERT_EQ(stat((dst + name).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0077, 0u) << name << ": its group could not be kept";
    }
    EXPECT_EQ(errors().size(), 1u) << "said once per run";
}

#ifdef TESSEL_FAULT_INJECTION
// A copy made by root, into that folder, is no more open while it is written: a named temporary (where
// the file system has no unnamed ones) gives group and others nothing until its group is the source's.
TEST_F(SharingTest, ACopyByRootGivesTheFoldersGroupNothingWhileItIsWritten) {
    own(dst, kAlice, 02770, kTeam);
    put(src + "/private.txt", "alice only", kAlice, 0640);
    platform::faults::refuse(platform::faults::Operation::UnnamedFile, EOPNOTSUPP);
    std::vector<std::string> seen;
    platform::faults::onPoint(platform::faults::Point::CopyCreated, [&] {
        for (const auto& entry : std::filesystem::directory_iterator(dst)) {
            struct stat info {};
            if (lstat(entry.path().c_str(), &info) == 0 && (info.st_mode & 0077) != 0)
                seen.push_back(entry.path().filename().string());
        }
    });
    const RunResult result = runWatch();
    platform::faults::clear();
    EXPECT_EQ(result.failed, 0);
    EXPECT_EQ(seen, std::vector<std::string>{}) << "open to group or others while written";
    struct stat info {};
    ASSERT_EQ(stat((dst + "/private.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, kAlice);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}
#endif

TEST_F(SharingTest, AnotherUsersVersionsFolderIsNeitherUsedNorPruned) {
    own(dst, 0, 01777);  // a shared folder
    test::makeFolders(dst + "/.tessel-versions/2020-01-01 000000");
    own(dst + "/.tessel-versions", kBob, 0777);  // Bob made it first
    put(dst + "/.tessel-versions/2020-01-01 000000/last-week.txt", "the only old copy", kAlice);
    own(dst + "/.tessel-versions/2020-01-01 000000", kAlice, 0700);  // renamed by Bob to look old
    for (const char* name : {"/a.txt", "/b.txt"}) {
        put(dst + name, "old", kAlice);
        test::setModificationTime(dst + name, 1'600'000'000);
        put(src + name, "new", kAlice);
    }
    put(dst + "/gone.txt", "only in the destination", kAlice);
    watch.DeleteAbsent = 1;
    context.options.keepVersions = true;
    const std::string line = "Error keeping versions in " + dst +
                             "/.tessel-versions: the versions folder belongs to another user or others may "
                             "write in it; nothing is replaced or deleted below it in this run";
    // The preview says what the run then does: the same line, the same failures (told from Alice's
    // process as its status: 0 when they agree).
    const int previewed = test::runAsUser(kAlice, kAlice, {kAlice, kTeam}, [&] {
        PlanRecorder preview;
        context.observer = &preview;
        const RunResult result = runWatch(Doing::Preview);
        return (result.failed == 2 ? 0 : 10 + result.failed) + (preview.errors == Tree{line} ? 0 : 100);
    });
    EXPECT_EQ(previewed, 0);
    EXPECT_EQ(test::readFile(dst + "/a.txt"), "old");
    const RunResult result = runAsAlice();
    EXPECT_EQ(result.failed, 2);
    EXPECT_EQ(errors(), Tree{line});
    EXPECT_TRUE(exists(dst + "/gone.txt"));
    EXPECT_EQ(test::readFile(dst + "/a.txt"), "old");
    EXPECT_TRUE(exists(dst + "/.tessel-versions/2020-01-01 000000/last-week.txt"));
}

TEST_F(SharingTest, AFolderAnotherUserMadeInAdvanceIsSkipped) {
    own(dst, 0, 01777);
    put(src + "/private/notes.txt", "alice's notes", kAlice, 0600);
    own(src + "/private", kAlice, 0700);
    test::makeFolders(dst + "/private");
    own(dst + "/private", kBob, 0777);
    const std::string line = "Error opening folder " + dst +
                             "/private: another user's folder that others may write in, while the folder it "
                             "mirrors is private; skipped";
    for (const std::uint8_t both : {0, 1}) {
        SCOPED_TRACE(both ? "two-way" : "one way");
        writeFile(context.LogFilePath, "");
        own(context.LogFilePath, kAlice);
        watch.BiDirect = both;
        watch.DeleteAbsent = 1;
        if (both) put(dst + "/private/notes.txt", "bob's notes", kBob, 0666);
        EXPECT_EQ(runAsAlice().failed, 1);
        EXPECT_EQ(errors(), Tree{line});
        EXPECT_EQ(test::readFile(src + "/private/notes.txt"), "alice's notes");
        EXPECT_EQ(snapshotTree(dst + "/private"), both ? Tree{"notes.txt=bob's notes"} : Tree{});
    }
}

TEST_F(SharingTest, RootFollowsAUsersLinkOnlyToTheirOwnFilesOrInsideTheTree) {
    writeFile(dir / "secret.txt", "root's");
    chmod((dir / "secret.txt").c_str(), 0600);
    put(src + "/real.txt", "alice's", kAlice);
    put(src + "/roots-inside.txt", "root's, in the tree", 0);
    const std::pair<const char*, std::string> links[] = {{"/notes.txt", dir / "secret.txt"},
                                                         {"/mine.txt", src + "/real.txt"},
                                                         {"/inside.txt", "roots-inside.txt"}};
    for (const auto& [name, target] : links) {
        std::filesystem::create_symlink(target, src + name);
        own(src + name, kAlice);
    }
    const RunResult result = runWatch();  // as root, over Alice's tree
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(errors(), Tree{"Error copying file " + src +
                             "/notes.txt: a link to a file of another owner outside the tree, not followed"});
    EXPECT_FALSE(exists(dst + "/notes.txt"));
    EXPECT_EQ(test::readFile(dst + "/mine.txt"), "alice's");
    EXPECT_EQ(test::readFile(dst + "/inside.txt"), "root's, in the tree");
}

}  // namespace
}  // namespace tessel
