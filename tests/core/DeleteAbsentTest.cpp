#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TestSupport.h"
#include "sync/DeleteAbsent.h"

namespace tessel {
namespace {

using test::exists;
using test::writeFile;

class DeleteAbsentTest : public ::testing::Test, public test::CoreFixture {
  protected:
    void SetUp() override {
        src = dir / "src";
        dst = dir / "dst";
        test::makeFolders(src);
        test::makeFolders(dst);
        context.options.deleteLimitPercent = 100;  // the guard and the versions have tests of their own
        context.options.keepVersions = false;
    }
    std::string src, dst;
};

TEST_F(DeleteAbsentTest, DeletesWhatTheSourceLacksAndNothingElse) {
    writeFile(src + "/kept.txt", "s");
    writeFile(dst + "/kept.txt", "d");
    writeFile(dst + "/gone.txt", "d");
    writeFile(dst + "/other.doc", "d");  // does not match the mask
    writeFile(dst + "/.hidden.txt", "d");
    ASSERT_EQ(mkfifo((dst + "/pipe.txt").c_str(), 0644), 0);
    ASSERT_EQ(symlink("nowhere", (dst + "/dangling.txt").c_str()), 0);
    test::makeFolders(dst + "/folder.txt");  // folders are never deleted
    test::makeFolders(src + "/is-a-folder.txt");
    writeFile(dst + "/is-a-folder.txt", "d");  // a source folder does not count as the file
    writeFile(src + "/.secret.txt", "s");      // a hidden source file keeps its namesake
    writeFile(dst + "/.secret.txt", "d");
    ASSERT_EQ(symlink("kept.txt", (src + "/linked.txt").c_str()), 0);  // a link counts as present
    writeFile(dst + "/linked.txt", "d");

    DeleteAbsentFiles(context, src, dst, "*.txt");
    EXPECT_EQ(test::listFolder(dst), (std::vector<std::string>{".hidden.txt", ".secret.txt", "dangling.txt",
                                                               "folder.txt", "is-a-folder.txt", "kept.txt",
                                                               "linked.txt", "other.doc", "pipe.txt"}));
    // The file gave way to the counterpart of the source folder.
    EXPECT_TRUE(test::isFolder(dst + "/is-a-folder.txt"));
    auto lines = loggedMessages();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"Delete file " + dst + "/gone.txt",
                                               "Delete file " + dst + "/is-a-folder.txt"}));
    EXPECT_EQ(display.statusText.rfind("  Delete file :" + dst + "/", 0), 0u);
    EXPECT_EQ(display.steps, 0);  // the bar is not touched
}

TEST_F(DeleteAbsentTest, FollowsTheSourceTree) {
    test::makeFolders(src + "/a/b");
    writeFile(dst + "/top.txt", "d");
    test::makeFolders(dst + "/a");
    writeFile(dst + "/a/inner.txt", "d");
    test::makeFolders(dst + "/only-in-destination");
    writeFile(dst + "/only-in-destination/stays.txt", "d");
    test::makeFolders(src + "/.hidden-folder");
    test::makeFolders(dst + "/.hidden-folder");
    writeFile(dst + "/.hidden-folder/stays.txt", "d");

    DeleteAbsentFiles(context, src, dst, "*.*");
    EXPECT_EQ(test::snapshotTree(dst),
              (std::vector<std::string>{".hidden-folder/", ".hidden-folder/stays.txt=d", "a/", "a/b/",
                                        "only-in-destination/", "only-in-destination/stays.txt=d"}));

    // An empty mask deletes nothing but still makes the counterparts.
    test::makeFolders(src + "/c");
    writeFile(dst + "/x.txt", "d");
    DeleteAbsentFiles(context, src, dst, "");
    EXPECT_TRUE(exists(dst + "/x.txt"));
    EXPECT_TRUE(test::isFolder(dst + "/c"));
}

TEST_F(DeleteAbsentTest, MissingOrUnreadableSourceProtectsTheDestination) {
    writeFile(dst + "/a.txt", "d");
    DeleteAbsentFiles(context, dir / "missing", dst, "*.*");
    EXPECT_TRUE(exists(dst + "/a.txt"));

    // A source folder the user may not read cannot say what it lacks. Root reads everything, so the
    // walk runs in a child process as an ordinary user.
    test::makeFolders(src + "/locked");
    writeFile(src + "/locked/inside.txt", "s");
    test::makeFolders(dst + "/locked");
    writeFile(dst + "/locked/precious.txt", "d");
    writeFile(dst + "/top-level-gone.txt", "d");
    chmod(dir.path().c_str(), 0777);
    for (const std::string& path : {src, dst, dst + "/locked"}) chmod(path.c_str(), 0777);
    for (const std::string& path :
         {dst + "/a.txt", dst + "/locked/precious.txt", dst + "/top-level-gone.txt"})
        chmod(path.c_str(), 0666);
    chmod((src + "/locked").c_str(), 0700);

    const uid_t nobody = 65534;
    if (geteuid() == 0) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (setgid(nobody) != 0 || setuid(nobody) != 0) _exit(3);
            DeleteAbsentFiles(context, src, dst, "*.*");
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    } else {
        DeleteAbsentFiles(context, src, dst, "*.*");
    }
    EXPECT_TRUE(exists(dst + "/locked/precious.txt"));
    EXPECT_FALSE(exists(dst + "/top-level-gone.txt"));  // the source certainly lacks this one
    EXPECT_FALSE(exists(dst + "/a.txt"));
}

TEST_F(DeleteAbsentTest, ReadOnlyFileIsKeptAndTheFailureLogged) {
    writeFile(dst + "/frozen.txt", "d");
    chmod((dst + "/frozen.txt").c_str(), 0444);
    EXPECT_EQ(DeleteAbsentFiles(context, src, dst, "*.*").failed, 1);
    EXPECT_TRUE(exists(dst + "/frozen.txt"));
    EXPECT_EQ(loggedMessages(),
              (std::vector<std::string>{"Error deleting file " + dst + "/frozen.txt: Permission denied"}));
    ASSERT_FALSE(loggedMessages().empty());
    EXPECT_EQ(display.statusText, loggedMessages()[0]);
}

TEST_F(DeleteAbsentTest, DestinationInsideSourceEnds) {
    writeFile(src + "/a.txt", "s");
    const std::string inner = src + "/mirror";
    test::makeFolders(inner);
    writeFile(inner + "/stale.txt", "d");
    DeleteAbsentFiles(context, src, inner, "*.*");
    EXPECT_FALSE(exists(inner + "/stale.txt"));
    EXPECT_FALSE(exists(inner + "/mirror"));
}

}  // namespace
}  // namespace tessel
