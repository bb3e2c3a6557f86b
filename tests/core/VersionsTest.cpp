// Versions: what a run replaces or deletes is kept in the run's versions folder at the root of its
// tree, old versions folders go after their days, and a version that cannot be kept stops the change.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "platform/Faults.h"
#include "platform/Versions.h"
#include "support/TestSupport.h"
#include "sync/Preview.h"
#include "sync/SyncFolder.h"
#include "sync/SyncWatch.h"

namespace tessel {
namespace {

using test::exists;
using test::readFile;
using test::writeFile;
using Tree = std::vector<std::string>;

constexpr std::int64_t kOld = 1'600'000'000;
constexpr std::int64_t kNew = 1'700'000'000;

class VersionsTest : public ::testing::Test, public test::TreeFixture {
  protected:
    void SetUp() override {
        context.options.keepVersions = true;
        watch.WideLog = 1;
    }
    static std::string stampAt(std::int64_t seconds) {
        return platform::versionStamp(platform::toLocalTime(platform::WallClock{seconds, 0}));
    }
    void file(const std::string& path, const std::string& content, std::int64_t time) {
        writeFile(path, content);
        test::setModificationTime(path, time);
    }

    test::FixedClock clock{platform::WallClock{1'780'000'000, 0}};
};

TEST_F(VersionsTest, ReplacedAndDeletedFilesAreKeptOnBothSides) {
    file(src + "/a.txt", "new a", kNew);
    file(dst + "/a.txt", "old a", kOld);
    file(src + "/sub/b.txt", "old b", kOld);
    file(dst + "/sub/b.txt", "new b", kNew);
    watch.BiDirect = 1;
    watch.TuneMode = tmUpdateOld;
    RunResult result = runWatch();
    EXPECT_EQ(result.versionsKept, 2);
    const std::string first = "/.tessel-versions/" + stampAt(1'780'000'000);
    EXPECT_EQ(readFile(dst + first + "/a.txt"), "old a");
    EXPECT_EQ(test::modificationTime(dst + first + "/a.txt"), kOld);
    EXPECT_EQ(readFile(src + first + "/sub/b.txt"), "old b");
    EXPECT_EQ(test::permissions(dst + "/.tessel-versions"), 0700u);
    EXPECT_EQ(readFile(dst + "/a.txt"), "new a");
    ASSERT_GE(loggedMessages().size(), 2u);
    EXPECT_EQ(loggedMessages().front(),
              "Copied file " + src + "/a.txt");  // the lines of old stay, the version's comes after
    EXPECT_EQ(loggedMessages()[1], "Kept version of " + dst + "/a.txt as " + dst + first + "/a.txt");

    // A second run the same day: a folder of its own. Its deletion is kept too.
    clock.set(platform::WallClock{1'780'000'005, 0});
    std::remove((src + "/a.txt").c_str());
    watch.BiDirect = 0;
    watch.DeleteAbsent = 1;
    result = runWatch();
    EXPECT_EQ(result.deleted, 1);
    EXPECT_EQ(result.versionsKept, 1);
    const std::string second = "/.tessel-versions/" + stampAt(1'780'000'005);
    EXPECT_EQ(readFile(dst + second + "/a.txt"), "new a");
    EXPECT_EQ(test::listFolder(dst + "/.tessel-versions").size(), 2u);

    // Never copied, walked, counted or deleted: the versions stay where they are, the source gets none.
    watch.BiDirect = 1;
    runWatch();
    EXPECT_FALSE(exists(src + second));
    EXPECT_EQ(CountFiles(dst), 1);
    EXPECT_TRUE(exists(dst + first + "/a.txt"));
}

TEST_F(VersionsTest, AVersionThatFindsNoFreeNameIsNoVersion) {
    const std::string stamp = stampAt(1'780'000'000);
    const std::string kept = dst + "/.tessel-versions/" + stamp;
    writeFile(kept + "/f.txt", "0");
    for (int clash = 1; clash < 100; ++clash) writeFile(kept + "/f.txt." + std::to_string(clash), "older");
    file(dst + "/f.txt", "only copy", kOld);
    std::error_code error;
    const platform::Folder folder = platform::Folder::open(dst, error);
    platform::VersionKeeper keeper(dst, stamp);
    platform::FileInfo info;
    platform::examine(folder, "f.txt", platform::ListedType::File, info, error);
    bool moved = true;
    std::string where;
    EXPECT_FALSE(keeper.keep(folder, "", "f.txt", info, false, platform::probeFileSystem(folder), moved,
                             where, error));
    EXPECT_EQ(readFile(dst + "/f.txt"), "only copy");
}

// Only in the trees the watch writes in (a one-way watch's source is not its own to tidy), each removal
// logged with the wide log and shown by a preview.
TEST_F(VersionsTest, RetentionRemovesOnlyOldFoldersOfTesselInTheTreesTheWatchWritesIn) {
    const std::string versions = dst + "/.tessel-versions";
    for (const std::string& name :
         Tree{"2020-01-01 000000", "2020-01-01 000000x", "notes", stampAt(1'779'000'000)})
        writeFile(versions + "/" + name + "/kept.txt", name);
    chmod(versions.c_str(), 0700);
    writeFile(src + "/.tessel-versions/2020-01-01 000000/theirs.txt", "an earlier two-way watch's");
    writeFile(dir / "elsewhere/precious.txt", "p");
    symlink((dir / "elsewhere").c_str(), (versions + "/2020-01-02 000000").c_str());
    context.options.versionDays = 30;
    PlanRecorder preview;
    context.observer = &preview;
    runWatch(Doing::Preview);
    context.observer = nullptr;
    ASSERT_EQ(preview.actions.size(), 1u);
    EXPECT_EQ(actionLine(preview.actions[0]), "remove old versions  " + versions + "/2020-01-01 000000");
    runWatch();
    EXPECT_EQ(test::listFolder(versions),
              (Tree{"2020-01-01 000000x", "2020-01-02 000000", stampAt(1'779'000'000), "notes"}));
    EXPECT_TRUE(exists(dir / "elsewhere/precious.txt"));
    EXPECT_TRUE(exists(src + "/.tessel-versions/2020-01-01 000000/theirs.txt"));
    EXPECT_EQ(loggedMessages(), Tree{"Removed old versions " + versions + "/2020-01-01 000000"});
}

#ifdef TESSEL_FAULT_INJECTION
TEST_F(VersionsTest, AFileWhoseVersionCannotBeKeptStays) {
    using platform::faults::Operation;
    struct Case {
        const char* name;
        bool replacing;  // by a newer source file, else deleted as absent
        std::function<void()> inject;
    };
    const Case cases[] = {
        {"the move refused", false, [] { platform::faults::inject(Operation::Rename, 1, EACCES); }},
        {"another file system, and the copy fails too", false,
         [] {
             platform::faults::inject(Operation::Rename, 1, EXDEV);
             platform::faults::inject(Operation::Write, 1, ENOSPC);
         }},
        {"the link to the replaced file refused", true,
         [] { platform::faults::inject(Operation::Rename, 1, EACCES); }},
    };
    watch.DeleteAbsent = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(context.LogFilePath, "");
        file(dst + "/gone.txt", "only copy", kOld);
        std::remove((src + "/gone.txt").c_str());
        if (c.replacing) file(src + "/gone.txt", "newer", kNew);
        c.inject();
        const RunResult result = runWatch();
        EXPECT_EQ(result.failed, 1);
        EXPECT_EQ(readFile(dst + "/gone.txt"), "only copy");
        ASSERT_FALSE(loggedMessages().empty());
        EXPECT_EQ(loggedMessages().back().rfind("Error keeping a version of " + dst + "/gone.txt: ", 0), 0u);
    }
}
#endif

}  // namespace
}  // namespace tessel
