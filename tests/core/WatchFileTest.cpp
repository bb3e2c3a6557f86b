#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Faults.h"
#include "support/PermissionOverride.h"
#include "support/TestSupport.h"
#include "watch/WatchFile.h"

namespace tessel {
namespace {

using test::readFile;
using test::storedWatches;
using test::writeFile;

TWatchRec watchFor(const std::string& source) {
    return test::makeWatch(source, source + "-copy");
}

std::string recordBytes(TWatchRec watch, std::int32_t index) {
    watch.WatchIndex = index;
    return std::string(reinterpret_cast<const char*>(&watch), kWatchRecSize);
}

std::string threeRecords() {
    return recordBytes(watchFor("/a"), 0) + recordBytes(watchFor("/b"), 1) + recordBytes(watchFor("/c"), 2);
}

// Each record as "WatchIndex SourceDir", for failure messages a person can read.
std::vector<std::string> summary(const std::string& bytes) {
    std::vector<std::string> records;
    std::size_t offset = 0;
    for (; offset + kWatchRecSize <= bytes.size(); offset += kWatchRecSize) {
        TWatchRec watch;
        std::memcpy(&watch, bytes.data() + offset, kWatchRecSize);
        records.push_back(std::to_string(watch.WatchIndex) + " " + getText(watch.SourceDir));
    }
    if (offset < bytes.size()) records.push_back("tail " + std::to_string(bytes.size() - offset));
    return records;
}

::testing::AssertionResult holds(const std::string& path, const std::string& expected) {
    const std::string actual = readFile(path);
    if (actual == expected) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << path << " differs; it holds:";
    for (const auto& record : summary(actual)) failure << " [" << record << "]";
    failure << " instead of:";
    for (const auto& record : summary(expected)) failure << " [" << record << "]";
    return failure;
}

class WatchFileTest : public ::testing::Test, public test::CoreFixture {
  protected:
    // Records built at different moments would differ in their time stamps.
    test::FixedClock clock{platform::WallClock{1'780'000'000, 0}};
    void TearDown() override {
#ifdef TESSEL_FAULT_INJECTION
        platform::faults::clear();
#endif
    }
    std::string& path() {
        return context.WatchFilePath;
    }
    bool quiet() const {
        return messages.messages.empty() && messages.warnings.empty();
    }
};

TEST_F(WatchFileTest, CountsOnlyCompleteRecords) {
    EXPECT_EQ(GetCountWatchRec(context, path()), 0) << "missing file";
    for (const auto& [bytes, count] : std::vector<std::pair<std::size_t, int>>{
             {0, 0}, {1327, 0}, {1328, 1}, {2000, 1}, {2655, 1}, {2656, 2}}) {
        SCOPED_TRACE(bytes);
        writeFile(path(), std::string(bytes, 'x'));
        EXPECT_EQ(GetCountWatchRec(context, path()), count);
    }
    EXPECT_TRUE(quiet());
}

TEST_F(WatchFileTest, AppendNumbersTheRecordAndWritesOverAnIncompleteTail) {
    for (const bool missing : {true, false}) {
        SCOPED_TRACE(missing ? "missing file" : "empty file");
        if (missing)
            unlink(path().c_str());
        else
            writeFile(path(), "");
        ASSERT_TRUE(AppendWatchRec(context, watchFor("/first"), path()));
        EXPECT_TRUE(holds(path(), recordBytes(watchFor("/first"), 0)));
    }

    const std::string first = readFile(path());
    writeFile(path(), first + std::string(2000 - kWatchRecSize, 'x'));
    TWatchRec second = watchFor("/second");
    second.WatchIndex = 77;
    ASSERT_TRUE(AppendWatchRec(context, second, path()));
    const std::string bytes = readFile(path());
    ASSERT_EQ(bytes.size(), 2 * kWatchRecSize);
    EXPECT_EQ(bytes.substr(0, kWatchRecSize), first);
    EXPECT_EQ(bytes.substr(kWatchRecSize), recordBytes(second, 1));
    EXPECT_TRUE(quiet());
}

TEST_F(WatchFileTest, ReadAndWriteWorkOnlyOnExistingRecords) {
    writeFile(path(), threeRecords() + "tail");
    EXPECT_EQ(getText(ReadWatchRec(context, 2).SourceDir), "/c");
    for (const std::int32_t n : {-1, 3, 5}) {
        SCOPED_TRACE(n);
        const TWatchRec watch = ReadWatchRec(context, n);
        EXPECT_EQ(watch.WatchIndex, -1);
        EXPECT_EQ(watch.SourceDir[0], 0);
    }

    TWatchRec changed = watchFor("/changed");
    changed.WatchIndex = 1;
    ASSERT_TRUE(WriteWatchRec(context, changed));
    EXPECT_TRUE(holds(path(), recordBytes(watchFor("/a"), 0) + recordBytes(changed, 1) +
                                  recordBytes(watchFor("/c"), 2) + "tail"));
    const std::string before = readFile(path());
    for (const std::int32_t index : {-1, 3}) {
        changed.WatchIndex = index;
        EXPECT_FALSE(WriteWatchRec(context, changed)) << index;
    }
    EXPECT_TRUE(holds(path(), before)) << "never appends";
    EXPECT_TRUE(quiet());

    path() = dir / "missing.wth";
    EXPECT_EQ(ReadWatchRec(context, 0).WatchIndex, -1);
    changed.WatchIndex = 0;
    EXPECT_FALSE(WriteWatchRec(context, changed));
    EXPECT_FALSE(test::exists(path()));
    const std::pair<std::string, std::string> warning{"Error.", "Warning"};
    EXPECT_EQ(messages.warnings, (std::vector{warning, warning}));
}

TEST_F(WatchFileTest, DeleteRenumbersAndLeavesNothingBehind) {
    writeFile(path(), threeRecords() + "tail");
    chmod(path().c_str(), 0640);
    // The current folder is no place for temporaries: a user file there must survive.
    test::TempDir elsewhere;
    writeFile(elsewhere / "111", "user data");
    const auto home = std::filesystem::current_path();
    std::filesystem::current_path(elsewhere.path());
    const bool deleted = DelWatchFromFile(context, path(), 1);
    std::filesystem::current_path(home);

    ASSERT_TRUE(deleted);
    EXPECT_TRUE(holds(path(), recordBytes(watchFor("/a"), 0) + recordBytes(watchFor("/c"), 1)));
    EXPECT_EQ(test::permissions(path()), 0640u);
    EXPECT_EQ(readFile(elsewhere / "111"), "user data");
    EXPECT_EQ(test::listFolder(dir.path()), std::vector<std::string>{"WatchDef.wth"});

    const std::string before = readFile(path());
    EXPECT_TRUE(DelWatchFromFile(context, path(), 7)) << "an unknown index";
    EXPECT_TRUE(holds(path(), before));

    // Through a link the file behind it is rewritten and the link stays a link.
    ASSERT_EQ(symlink(path().c_str(), (dir / "link.wth").c_str()), 0);
    ASSERT_TRUE(DelWatchFromFile(context, dir / "link.wth", 0));
    EXPECT_TRUE(holds(path(), recordBytes(watchFor("/c"), 0)));
    EXPECT_EQ(test::listFolder(dir.path()), (std::vector<std::string>{"WatchDef.wth", "link.wth"}));
    EXPECT_TRUE(quiet());
}

TEST_F(WatchFileTest, FailuresLeaveTheWatchFileAsItWas) {
    writeFile(path(), threeRecords());
    const std::string before = readFile(path());
#ifdef TESSEL_FAULT_INJECTION
    using platform::faults::Operation;
    for (const auto& [operation, error] : std::vector<std::pair<Operation, int>>{
             {Operation::Read, EIO},
             {Operation::Write, ENOSPC},
             {Operation::Flush, EIO},  // the new content is never named before it is on the disk
             {Operation::Rename, EXDEV}}) {
        SCOPED_TRACE(static_cast<int>(operation));
        platform::faults::inject(operation, 1, error);
        EXPECT_FALSE(DelWatchFromFile(context, path(), 0));
        platform::faults::clear();
        EXPECT_TRUE(holds(path(), before));
        EXPECT_EQ(test::listFolder(dir.path()), std::vector<std::string>{"WatchDef.wth"})
            << "temporary removed";
    }
    EXPECT_TRUE(quiet());
#endif

    test::NoPermissionOverride asUser;
    chmod(dir.path().c_str(), 0500);
    EXPECT_FALSE(DelWatchFromFile(context, path(), 0)) << "no room for a temporary";
    chmod(dir.path().c_str(), 0700);

    // A read-only watch file (a read-only mount, another owner's) is read, and every change fails.
    chmod(path().c_str(), 0444);
    EXPECT_EQ(GetCountWatchRec(context, path()), 3);
    EXPECT_EQ(ReadWatchRec(context, 2).WatchIndex, 2);
    EXPECT_EQ(storedWatches(path()).size(), 3u);
    TWatchRec watch = watchFor("/x");
    watch.WatchIndex = 0;
    EXPECT_FALSE(WriteWatchRec(context, watch));
    EXPECT_FALSE(AppendWatchRec(context, watch, path()));
    EXPECT_FALSE(DelWatchFromFile(context, path(), 0));
    std::error_code error;
    EXPECT_EQ(storeLastRunTime(context, 0, ReadWatchRec(context, 0), 1.0, error), StoreResult::Failed);
    EXPECT_EQ(error, std::errc::permission_denied);
    EXPECT_TRUE(holds(path(), before));
    EXPECT_EQ(messages.messages, (std::vector<std::string>{"I/O Error! Dont saved data!!"}));

    // A watch file far larger than any set of watches (a sparse 2 GiB file) is refused before it is
    // read: nothing is counted, read or allocated for it.
    chmod(path().c_str(), 0644);
    messages.messages.clear();
    ASSERT_EQ(truncate(path().c_str(), 2ll << 30), 0);
    std::vector<TWatchRec> all;
    EXPECT_FALSE(readAllWatchRecs(path(), all, error));
    EXPECT_EQ(error, std::errc::file_too_large);
    EXPECT_TRUE(all.empty());
    EXPECT_EQ(ReadWatchRec(context, 0).WatchIndex, -1);
    EXPECT_EQ(GetCountWatchRec(context, path()), 0);
    EXPECT_EQ(messages.messages, (std::vector<std::string>{"I/O Error! Dont saved data!!"}));
    ASSERT_EQ(truncate(path().c_str(), static_cast<off_t>(before.size())), 0);

    // A full disk.
    messages.messages.clear();
    EXPECT_FALSE(AppendWatchRec(context, watch, "/dev/full"));
    EXPECT_EQ(messages.messages, std::vector<std::string>{"I/O Error! Dont saved data!!"});
}

}  // namespace
}  // namespace tessel
