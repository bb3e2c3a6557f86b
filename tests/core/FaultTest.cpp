// What Tessel does when the disk or the system fails in the middle of its work: nothing is lost, the
// failure is logged as a failure, and the run goes on.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <random>

#include "platform/Faults.h"
#include "platform/FileCopy.h"
#include "platform/Versions.h"
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

// A copy that replaces a file, or a move across file systems, that fails before the copy has its name
// leaves both files as they were, says so, and leaves no temporary: its flush, the rename over the old
// file, the rename into a free name where the file system has no rename that refuses a taken one and no
// links (exFAT through FUSE), the flush of a move's copy.
TEST_F(FaultTest, AFailureBeforeTheCopyHasItsNameLeavesBothFilesAsTheyWere) {
    struct Step {
        Operation operation;
        int error;
    };
    struct Case {
        const char* name;
        std::uint8_t action;
        bool replaces;              // the destination holds an older file of the name
        std::vector<Step> refused;  // what the destination's file system cannot do
        std::vector<Step> failing;  // the first call of each kind fails
    };
    const std::vector<Step> exfat{
        {Operation::RenameNoReplace, EINVAL}, {Operation::Link, EPERM}, {Operation::UnnamedFile, EOPNOTSUPP}};
    const Case cases[] = {
        {"the replacing copy's flush", faCopy, true, {}, {{Operation::Flush, EIO}}},
        {"the rename over the old file", faCopy, true, {}, {{Operation::Rename, EIO}}},
        {"the rename into a free name on exFAT", faCopy, false, exfat, {{Operation::Rename, EIO}}},
        {"the flush of a move's copy across file systems",
         faMove,
         false,
         {},
         {{Operation::Rename, EXDEV}, {Operation::Flush, EIO}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::faults::clear();
        std::filesystem::remove_all(dst);
        test::makeFolders(dst);
        writeFile(context.LogFilePath, "");
        writeFile(src + "/f.txt", "new content");
        test::setModificationTime(src + "/f.txt", 1'700'000'000);
        if (c.replaces) {
            writeFile(dst + "/f.txt", "old");
            test::setModificationTime(dst + "/f.txt", 1'600'000'000);
        }
        for (const Step& step : c.refused) platform::faults::refuse(step.operation, step.error);
        for (const Step& step : c.failing) platform::faults::inject(step.operation, 1, step.error);
        sync(c.action);
        EXPECT_EQ(result.failed, 1);
        EXPECT_EQ(errorLines(), (std::vector<std::string>{std::string("Error ") +
                                                          (c.action == faMove ? "moving" : "copying") +
                                                          " file " + src + "/f.txt: Input/output error"}));
        EXPECT_EQ(readFile(src + "/f.txt"), "new content");
        EXPECT_EQ(test::snapshotTree(dst),
                  c.replaces ? std::vector<std::string>{"f.txt=old"} : std::vector<std::string>{});
    }

    // Where letter cases are one (no probe of this disk says so), a change of case is a plain rename.
    platform::faults::clear();
    std::filesystem::remove_all(dst);
    test::makeFolders(dst);
    platform::FileSystemTraits caseBlind;
    caseBlind.caseSensitive = false;
    std::error_code error;
    const platform::Folder folder = platform::Folder::open(dst, error);
    ASSERT_TRUE(folder.valid()) << error.message();
    writeFile(dst + "/name.txt", "n");
    platform::faults::inject(Operation::Rename, 1, EIO);
    EXPECT_FALSE(platform::renameCase(folder, "name.txt", "Name.txt", caseBlind, error));
    EXPECT_EQ(error, std::errc::io_error);
    EXPECT_EQ(test::listFolder(dst), std::vector<std::string>{"name.txt"});
}

// A file system the run could not try (no folder could be made to try it in: a read-only source) still
// tells "Docs" from "docs": both are copied into the folders already there, and a second run has nothing
// to do.
TEST_F(FaultTest, AFileSystemThatCouldNotBeTriedListsItsNamesAsTheyAre) {
    for (const char* folder : {"Docs", "docs"}) test::makeFolders(dst + "/" + folder);
    writeFile(src + "/Docs/a.txt", "upper");
    writeFile(src + "/docs/a.txt", "lower");
    platform::faults::refuse(Operation::MakeFolder, EACCES);
    for (const int copied : {2, 0}) {
        sync();
        EXPECT_EQ(result.failed, 0) << (errorLines().empty() ? "" : errorLines()[0]);
        EXPECT_EQ(result.copied, copied);
    }
    EXPECT_EQ(readFile(dst + "/Docs/a.txt"), "upper");
    EXPECT_EQ(readFile(dst + "/docs/a.txt"), "lower");
}

TEST_F(FaultTest, UnwritableLogKeepsTheRunGoing) {
    writeFile(src + "/a.txt", "a");
    writeFile(src + "/b.txt", "b");
    watch.WideLog = 1;
    // The seventh open is the first log line's: the folders, the source and its temporary come first.
    platform::faults::inject(Operation::Open, 7, EACCES);
    sync();
    EXPECT_EQ(readFile(dst + "/a.txt"), "a");
    EXPECT_EQ(readFile(dst + "/b.txt"), "b");
    EXPECT_EQ(messages.messages, (std::vector<std::string>{kIoErrorMessage}));
    EXPECT_EQ(loggedMessages().size(), 1u);  // the other file's line got through
}

// Where an ordinary user's system refuses what root's test run is allowed (a link made from a
// descriptor), the copy takes its other way and comes out the same; what the file system itself
// cannot do (unnamed files, a rename that never replaces) the run's probe finds before the first copy.
TEST_F(FaultTest, FallbacksOfOrdinaryUsers) {
    struct Case {
        const char* name;
        Operation operation;
        int nth, error;
        bool always;  // a file system that cannot, not a call that failed once
        std::uint8_t action;
    };
    const Case cases[] = {
        {"no descriptor link: the /proc path", Operation::Link, 1, ENOENT, false, faCopy},
        {"no exclusive rename: a link and an unlink", Operation::RenameNoReplace, 0, EINVAL, true, faMove},
        {"no unnamed files: a named temporary", Operation::UnnamedFile, 0, EOPNOTSUPP, true, faCopy}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::faults::clear();
        writeFile(src + "/file.txt", c.name);
        test::setModificationTime(src + "/file.txt", 1'600'000'000);
        std::remove((dst + "/file.txt").c_str());
        if (c.always)
            platform::faults::refuse(c.operation, c.error);
        else
            platform::faults::inject(c.operation, c.nth, c.error);
        sync(c.action);
        EXPECT_EQ(result.failed, 0);
        EXPECT_EQ(readFile(dst + "/file.txt"), c.name);
        EXPECT_EQ(test::modificationTime(dst + "/file.txt"), 1'600'000'000);
        EXPECT_EQ(test::listFolder(dst), std::vector<std::string>{"file.txt"});
        EXPECT_EQ(exists(src + "/file.txt"), c.action == faCopy);
    }
}

// The file systems people sync to, as the probe finds them: ext4 can do everything; NTFS through
// ntfs-3g has links but no rename that refuses a taken name; exFAT through FUSE has neither, nor
// unnamed files. Each one's copies, replacements, versions, deletions and moves come out alike, and
// none ever replaces a file that appears under the name while the copy is made.
TEST_F(FaultTest, EveryFileSystemGetsTheSameGuarantees) {
    struct Refused {
        Operation operation;
        int error;
    };
    struct Case {
        const char* name;
        std::vector<Refused> refused;
    };
    const Case cases[] = {
        {"ext4", {}},
        {"ntfs-3g", {{Operation::RenameNoReplace, EINVAL}}},
        {"exfat-fuse",
         {{Operation::RenameNoReplace, EINVAL},
          {Operation::Link, EPERM},
          {Operation::UnnamedFile, EOPNOTSUPP}}},
    };
    context.options.keepVersions = true;
    const platform::WallClock start{1'780'000'000, 0};
    test::FixedClock clock{start};
    const std::string kept = ".tessel-versions/" + platform::versionStamp(platform::toLocalTime(start)) + "/";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::faults::clear();
        test::TempDir fresh;
        src = fresh / "src";
        dst = fresh / "dst";
        watch = test::makeWatch(src, dst);
        watch.DeleteAbsent = 1;
        writeFile(src + "/new.txt", "new");
        writeFile(src + "/edited.txt", "edited");
        test::setModificationTime(src + "/edited.txt", 1'700'000'000);
        writeFile(dst + "/edited.txt", "before");
        test::setModificationTime(dst + "/edited.txt", 1'600'000'000);
        writeFile(dst + "/gone.txt", "only copy");
        for (const Refused& refused : c.refused) platform::faults::refuse(refused.operation, refused.error);

        result = runWatch();
        EXPECT_EQ(result.failed, 0);
        EXPECT_EQ(result.copied, 2);
        EXPECT_EQ(result.deleted, 1);
        EXPECT_EQ(result.versionsKept, 2);
        // The replaced file's version is whole (a link, or a copy where there are no links), the deleted
        // one was moved there.
        EXPECT_EQ(
            test::snapshotTree(dst),
            (std::vector<std::string>{".tessel-versions/", kept, kept + "edited.txt=before",
                                      kept + "gone.txt=only copy", "edited.txt=edited", "new.txt=new"}));
        EXPECT_EQ(test::modificationTime(dst + "/edited.txt"), 1'700'000'000);

        // A second run finds everything as it left it.
        result = runWatch();
        EXPECT_EQ(result.copied + result.deleted + result.failed, 0);

        // A file that appears under the name while the copy is written is never replaced.
        writeFile(src + "/raced.txt", "from the run");
        platform::faults::onPoint(platform::faults::Point::CopyWritten,
                                  [&] { writeFile(dst + "/raced.txt", "made meanwhile"); });
        result = runWatch();
        platform::faults::onPoint(platform::faults::Point::CopyWritten, nullptr);
        EXPECT_EQ(result.failed, 1);
        EXPECT_EQ(readFile(dst + "/raced.txt"), "made meanwhile");
        EXPECT_EQ(test::listFolder(dst),
                  (std::vector<std::string>{".tessel-versions", "edited.txt", "new.txt", "raced.txt"}));

        // A move takes the file out of the source only once it has its name.
        test::TempDir movedTo;
        writeFile(src + "/moving.txt", "moving");
        TWatchRec mover = test::makeWatch(src, movedTo.path());
        mover.FileAction = faMove;
        result = SyncFolder(context, src, movedTo.path(), "moving.txt", faMove, mover);
        EXPECT_EQ(result.failed, 0);
        EXPECT_FALSE(exists(src + "/moving.txt"));
        EXPECT_EQ(readFile(movedTo / "moving.txt"), "moving");
    }
}

// Over a random pair of trees, the nth call of each kind fails, for every n the run reaches: whatever
// fails, every file of the destination is its old self or the source's, a file replaced or deleted is
// kept, no temporary is left, and the failure is logged, counted and never reported as success.
TEST_F(FaultTest, AnyCallOfAnyKindMayFailAndNothingIsTornOrLost) {
    using Files = std::map<std::string, std::string>;  // a tree's files by path, with their contents
    const auto files = [](const std::string& root) {
        Files found;
        for (const std::string& entry : test::snapshotTree(root)) {
            const std::size_t equals = entry.find('=');
            if (equals != std::string::npos) found[entry.substr(0, equals)] = entry.substr(equals + 1);
        }
        return found;
    };
    context.options.keepVersions = true;
    watch.DeleteAbsent = 1;
    for (int kind = 0; kind < static_cast<int>(Operation::Count); ++kind) {
        const auto operation = static_cast<Operation>(kind);
        Files whole;  // what the run makes of the trees when nothing fails
        for (int nth = 0;; ++nth) {
            SCOPED_TRACE("kind " + std::to_string(kind) + ", call " + std::to_string(nth));
            platform::faults::clear();
            std::filesystem::remove_all(src);
            std::filesystem::remove_all(dst);
            std::mt19937 random(20261208 + kind);
            test::randomTree(random, src);
            test::randomTree(random, dst);
            // Fewer folders keep the runs few: a folder only the source has is still made.
            for (const std::string& folder : {src + "/y", dst + "/y", dst + "/x/z"})
                std::filesystem::remove_all(folder);
            writeFile(context.LogFilePath, "");
            const Files source = files(src), before = files(dst);
            if (nth > 0) platform::faults::inject(operation, nth, EIO);
            const RunResult run = runWatch();
            const bool fired = platform::faults::fired(operation);
            platform::faults::clear();

            EXPECT_EQ(files(src), source);
            const Files after = files(dst);
            Files kept, mirrored;  // the versions, by the path of the file they were, and the rest
            const std::string versions = ".tessel-versions/";
            for (const auto& [path, content] : after) {
                if (path.starts_with(versions)) {
                    kept[path.substr(path.find('/', versions.size()) + 1)] = content;
                    continue;
                }
                EXPECT_EQ(path.find(".tessel-"), std::string::npos) << path << ": a temporary left";
                EXPECT_TRUE((before.contains(path) && before.at(path) == content) ||
                            (source.contains(path) && source.at(path) == content))
                    << path << " holds " << content;
                mirrored[path] = content;
            }
            for (const auto& [path, content] : before) {
                const bool stays = after.contains(path) && after.at(path) == content;
                EXPECT_TRUE(stays || (kept.contains(path) && kept.at(path) == content)) << path << " lost";
            }
            // A call that may fail without harm (the log, the count for the progress, a look tried again)
            // leaves the run whole; any other failure is logged and counted, one line each.
            if (nth == 0) whole = mirrored;
            if (run.failed == 0) {
                EXPECT_EQ(mirrored, whole);
                EXPECT_TRUE(errorLines().empty());
            } else {
                EXPECT_EQ(errorLines().size(), static_cast<std::size_t>(run.failed));
            }
            if (nth > 0 && !fired) break;
        }
    }
}

#else

TEST(FaultTest, NeedsTheFaultSeam) {
    GTEST_SKIP() << "configure with -DTESSEL_FAULT_INJECTION=ON";
}

#endif

}  // namespace
}  // namespace tessel
