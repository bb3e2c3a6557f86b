// What the kernel tells of changes in followed folders, through Tessel's one door to it: each kind of
// change on a real folder, renames paired by their cookie, links refused, and the kernel's limits read
// as the system states them. The seam makes a follow fail and the queue overflow.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "platform/Faults.h"
#include "platform/FolderChanges.h"
#include "support/TestSupport.h"

namespace tessel {
namespace {

using namespace platform;
using test::writeFile;

// Reads what the kernel has queued, waiting a little for it to arrive.
std::vector<FolderChange> readChanges(FolderChanges& changes) {
    std::vector<FolderChange> read;
    std::error_code error;
    while (changes.wait(std::chrono::milliseconds(200)))
        EXPECT_TRUE(changes.read(read, error)) << error.message();
    return read;
}

unsigned kindsOf(const std::vector<FolderChange>& read, int folder, const std::string& name) {
    unsigned kinds = 0;
    for (const FolderChange& change : read)
        if (change.folder == folder && change.name == name) kinds |= change.kinds;
    return kinds;
}

TEST(FolderChangesTest, EachKindOfChangeInAFollowedFolder) {
    test::TempDir dir;
    test::makeFolders(dir / "sub");
    writeFile(dir / "old.txt", "old");
    FolderChanges changes;
    std::error_code error;
    ASSERT_TRUE(changes.open(error)) << error.message();
    const int top = changes.follow(dir.path(), error);
    const int sub = changes.follow(dir / "sub", error);
    ASSERT_GE(top, 0);
    ASSERT_GE(sub, 0);
    EXPECT_EQ(changes.follow(dir.path() + "/", error), top);  // the same folder, the same follow

    writeFile(dir / "new.txt", "new");
    ASSERT_EQ(::truncate((dir / "old.txt").c_str(), 1), 0);  // a change without a close: not told
    test::setModificationTime(dir / "old.txt", 1'000'000);
    ASSERT_EQ(std::rename((dir / "new.txt").c_str(), (dir / "sub/moved.txt").c_str()), 0);
    test::makeFolders(dir / "made");
    ASSERT_EQ(std::remove((dir / "old.txt").c_str()), 0);
    const std::vector<FolderChange> read = readChanges(changes);

    EXPECT_EQ(kindsOf(read, top, "new.txt") & (kNameCreated | kNameWritten | kNameMovedAway),
              kNameCreated | kNameWritten | kNameMovedAway);
    EXPECT_EQ(kindsOf(read, top, "old.txt"), kNameAttributes | kNameDeleted);
    EXPECT_EQ(kindsOf(read, sub, "moved.txt"), kNameMovedHere);
    EXPECT_EQ(kindsOf(read, top, "made"), kNameCreated);
    std::uint32_t away = 0, here = 0;
    for (const FolderChange& change : read) {
        if (change.name == "made") {
            EXPECT_TRUE(change.isFolder);
        }
        if ((change.kinds & kNameMovedAway) != 0) away = change.cookie;
        if ((change.kinds & kNameMovedHere) != 0) here = change.cookie;
    }
    EXPECT_NE(away, 0u);
    EXPECT_EQ(away, here);  // the two halves of one rename

    // The followed folder itself goes: deleted, then no longer followed.
    ASSERT_EQ(std::remove((dir / "sub/moved.txt").c_str()), 0);
    ASSERT_EQ(::rmdir((dir / "sub").c_str()), 0);
    unsigned self = 0;
    for (const FolderChange& change : readChanges(changes))
        if (change.folder == sub && change.name.empty()) self |= change.kinds;
    EXPECT_EQ(self, kFolderDeleted | kUnfollowed);
}

TEST(FolderChangesTest, NeverFollowsALinkOrAFile) {
    test::TempDir dir;
    test::makeFolders(dir / "real");
    writeFile(dir / "file", "x");
    ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "link").c_str()), 0);
    FolderChanges changes;
    std::error_code error;
    ASSERT_TRUE(changes.open(error));
    for (const char* name : {"link", "file", "missing"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(changes.follow(dir / name, error), -1);
        EXPECT_TRUE(error == std::errc::not_a_directory || error == std::errc::no_such_file_or_directory)
            << error.message();
    }
}

TEST(FolderChangesTest, WakeEndsAWaitAndLimitsAreTheSystems) {
    FolderChanges changes;
    std::error_code error;
    ASSERT_TRUE(changes.open(error));
    changes.wake();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(changes.wait(std::chrono::seconds(30)));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));

    std::ifstream file("/proc/sys/fs/inotify/max_user_watches");
    std::int64_t stated = 0;
    ASSERT_TRUE(file >> stated);
    EXPECT_EQ(followedFolderLimit(), stated);
    test::TempDir dir;
    EXPECT_EQ(fileSystemWithoutChanges(dir.path()), "");  // a local disk or tmpfs
    EXPECT_EQ(fileSystemWithoutChanges(dir / "missing"), "");
}

#ifdef TESSEL_FAULT_INJECTION

TEST(FaultFolderChangesTest, AFullKernelAndAFullQueue) {
    test::TempDir dir;
    FolderChanges changes;
    std::error_code error;
    ASSERT_TRUE(changes.open(error));
    faults::inject(faults::Operation::Follow, 1, ENOSPC);
    EXPECT_EQ(changes.follow(dir.path(), error), -1);
    EXPECT_EQ(error, std::errc::no_space_on_device);
    const int folder = changes.follow(dir.path(), error);
    ASSERT_GE(folder, 0);

    // What was queued is lost, and the reader hears of an overflow instead.
    writeFile(dir / "a.txt", "a");
    faults::inject(faults::Operation::ReadChanges, 1, 0);
    const std::vector<FolderChange> read = readChanges(changes);
    faults::clear();
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].kinds, kOverflow);
    EXPECT_EQ(read[0].folder, -1);
}

#endif

}  // namespace
}  // namespace tessel
