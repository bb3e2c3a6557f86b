// Getting files back: what real runs kept (versions, a conflict copy) is found by file and time, and
// put back in place or into another folder by the rules a run replaces files by; links where a restore
// would write, a running watch and a kept file that has gone are refused with their reasons.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "platform/FileLock.h"
#include "platform/Versions.h"
#include "support/TestSupport.h"
#include "sync/KeptFiles.h"
#include "sync/Restore.h"
#include "sync/Scheduler.h"
#include "sync/SyncWatch.h"

namespace tessel {
namespace {

using test::exists;
using test::readFile;
using test::writeFile;

constexpr std::int64_t kFirstRun = 1'780'000'000;
constexpr std::int64_t kSecondRun = kFirstRun + 3600;
constexpr std::int64_t kRestore = kSecondRun + 3600;

platform::LocalTime localAt(std::int64_t seconds) {
    return platform::toLocalTime(platform::WallClock{seconds, 0});
}

std::string stampAt(std::int64_t seconds) {
    return platform::versionStamp(localAt(seconds));
}

// Each kept file as "path@time size kind side: stored path", in the order of the list.
std::vector<std::string> described(const KeptFiles& kept) {
    std::vector<std::string> lines;
    for (const KeptFile& file : kept.files)
        lines.push_back(file.path + "@" + keptTimeText(file.time) + " " + std::to_string(file.size) +
                        (file.kind == KeptFile::Kind::Version ? " version " : " conflict ") +
                        (file.side == TreeSide::Destination ? "dst: " : "src: ") + file.storedPath);
    return lines;
}

class RestoreTest : public ::testing::Test, public test::TreeFixture {
  protected:
    RestoreTest() {
        context.options.keepVersions = true;
        context.options.stateFolder = dir / "state";
        test::makeFolders(dst);
    }

    // Two runs an hour apart: the first replaces docs/a.txt ("a1"), the second replaces it again
    // ("a2") and deletes gone.txt, which the source no longer has.
    void twoRuns() {
        file(src + "/docs/a.txt", "a2", kFirstRun - 10);
        file(dst + "/docs/a.txt", "a1", kFirstRun - 1000);
        file(dst + "/gone.txt", "gone", kFirstRun - 1000);
        file(src + "/gone.txt", "gone", kFirstRun - 1000);
        clock.set(platform::WallClock{kFirstRun, 0});
        runWatch();
        file(src + "/docs/a.txt", "a3 longer", kSecondRun - 10);
        ASSERT_EQ(::unlink((src + "/gone.txt").c_str()), 0);
        watch.DeleteAbsent = 1;
        clock.set(platform::WallClock{kSecondRun, 0});
        runWatch();
        watch.DeleteAbsent = 0;
    }
    void file(const std::string& path, const std::string& content, std::int64_t time) {
        writeFile(path, content);
        test::setModificationTime(path, time);
    }
    KeptFiles findAll(const std::string& below = {}) { return findKeptFiles(keptFilesRoots(watch), below); }
    const KeptFile& only(const KeptFiles& kept, const std::string& path, std::int64_t at) {
        const std::vector<const KeptFile*> found = keptFilesOf(kept, path, localAt(at));
        EXPECT_EQ(found.size(), 1u) << path;
        static const KeptFile none;
        return found.empty() ? none : *found.front();
    }

    test::FixedClock clock{platform::WallClock{kFirstRun, 0}};
};

TEST_F(RestoreTest, WhatRunsKeptIsFoundByFileAndTime) {
    twoRuns();
    const std::string first = stampAt(kFirstRun), second = stampAt(kSecondRun);
    const std::string firstTime = keptTimeText(localAt(kFirstRun)),
                      secondTime = keptTimeText(localAt(kSecondRun));
    EXPECT_EQ(described(findAll()),
              (std::vector<std::string>{
                  "docs/a.txt@" + secondTime + " 2 version dst: .tessel-versions/" + second + "/docs/a.txt",
                  "docs/a.txt@" + firstTime + " 2 version dst: .tessel-versions/" + first + "/docs/a.txt",
                  "gone.txt@" + secondTime + " 4 version dst: .tessel-versions/" + second + "/gone.txt"}));
    const KeptFiles all = findAll();
    EXPECT_TRUE(all.problems.empty());
    EXPECT_EQ(readFile(only(all, "docs/a.txt", kFirstRun).location()), "a1");
    EXPECT_EQ(only(all, "docs/a.txt", kFirstRun).modified.seconds, kFirstRun - 1000);
    EXPECT_EQ(keptFilesOf(all, "docs/a.txt").size(), 2u);
    EXPECT_TRUE(keptFilesOf(all, "docs/a.txt", localAt(kFirstRun + 1)).empty());
    EXPECT_TRUE(keptFilesOf(all, "docs").empty()) << "a folder is no kept file";

    // A file or a folder below the root, given as it is or by its full path.
    const std::string versions = dst + "/.tessel-versions/" + second;
    for (const auto& [below, count] : std::vector<std::pair<std::string, std::size_t>>{{"docs", 2},
                                                                                       {"docs/a.txt", 2},
                                                                                       {"./docs//a.txt/", 2},
                                                                                       {"gone.txt", 1},
                                                                                       {"docs/a", 0},
                                                                                       {"nope", 0}}) {
        SCOPED_TRACE(below);
        EXPECT_EQ(findAll(below).files.size(), count);
        EXPECT_EQ(findAll(pathBelowRoot(keptFilesRoots(watch), dst + "/" + below)).files.size(), count);
    }

    // Not kept files: Tessel's own scratch files, links, folders of other names; a file kept twice in
    // one run is the second's "name.1", newer than the first.
    writeFile(versions + "/.tessel-0000abcd-00000001.tmp", "half");
    ASSERT_EQ(::symlink((src + "/docs/a.txt").c_str(), (versions + "/link.txt").c_str()), 0);
    writeFile(dst + "/.tessel-versions/not a stamp/x.txt", "x");
    writeFile(versions + "/gone.txt.1", "gone again");
    writeFile(versions + "/docs/b.txt.1", "no b.txt beside it");
    EXPECT_EQ(described(findAll("gone.txt")),
              (std::vector<std::string>{
                  "gone.txt@" + secondTime + " 10 version dst: .tessel-versions/" + second + "/gone.txt.1",
                  "gone.txt@" + secondTime + " 4 version dst: .tessel-versions/" + second + "/gone.txt"}));
    EXPECT_EQ(findAll().files.size(), 5u);
    EXPECT_EQ(keptFilesOf(findAll(), "docs/b.txt.1").size(), 1u) << "with no docs/b.txt beside it";

    // A versions folder others may write in is not looked into, and says so.
    ASSERT_EQ(::chmod((dst + "/.tessel-versions").c_str(), 0777), 0);
    const KeptFiles shared = findAll();
    EXPECT_TRUE(shared.files.empty());
    ASSERT_EQ(shared.problems.size(), 1u);
    EXPECT_NE(shared.problems[0].find("others may write in it"), std::string::npos) << shared.problems[0];
    ASSERT_EQ(::chmod((dst + "/.tessel-versions").c_str(), 0700), 0);

    // A stop ends the search early.
    const std::atomic<bool> stop{true};
    EXPECT_TRUE(findKeptFiles(keptFilesRoots(watch), {}, &stop).files.empty());
}

TEST_F(RestoreTest, NamesAndTimesAreReadAsTesselWritesThem) {
    struct Case {
        const char* name;
        const char* original;  // nullptr: no conflict copy
    };
    for (const Case& c : std::vector<Case>{
             {"report.conflict-20261208-103000.txt", "report.txt"},
             {"report.conflict-20261208-103000-2.txt", "report.txt"},
             {"Makefile.conflict-20261208-103000", "Makefile"},
             {".bashrc.conflict-20261208-103000", ".bashrc"},
             {"a.tar.conflict-20261208-103000.gz", "a.tar.gz"},
             {"a.conflict-20261207-090000.conflict-20261208-103000.txt", "a.conflict-20261207-090000.txt"},
             {"report.conflict-20261208-1030.txt", nullptr},
             {"report.conflict-20261308-103000.txt", nullptr},
             {"report.conflict-20261208-103000-.txt", nullptr},
             {"report.conflict-20261208-103000.tar.gz", nullptr},
             {"a.b.conflict-20261208-103000", nullptr},
             {".conflict-20261208-103000.txt", nullptr},
             {"report.txt", nullptr}}) {
        SCOPED_TRACE(c.name);
        const std::optional<ConflictName> read = readConflictName(c.name);
        ASSERT_EQ(read.has_value(), c.original != nullptr);
        if (!read) continue;
        EXPECT_EQ(read->original, c.original);
        EXPECT_EQ(keptTimeText(read->time), "2026-12-08T10:30:00");
    }
    for (const char* text :
         {"2026-12-08T10:30:00", "2026-12-08 10:30:00", "2026-12-08 103000", "20261208-103000"}) {
        SCOPED_TRACE(text);
        const std::optional<platform::LocalTime> time = readKeptTime(text);
        ASSERT_TRUE(time.has_value());
        EXPECT_EQ(keptTimeText(*time), "2026-12-08T10:30:00");
    }
    for (const char* text : {"", "2026-12-08", "2026-12-08T10:30", "2026-12-08T25:30:00", "2026-00-08 103000",
                             "x026-12-08T10:30:00", "2026-12-08T10:30:00Z"})
        EXPECT_FALSE(readKeptTime(text).has_value()) << text;

    const std::vector<KeptFilesRoot> roots{{TreeSide::Destination, "/b/photos", false, false},
                                           {TreeSide::Source, "/a", false, false}};
    for (const auto& [given, below] :
         std::vector<std::pair<std::string, std::string>>{{"docs/a.txt", "docs/a.txt"},
                                                          {"/b/photos/docs/a.txt", "docs/a.txt"},
                                                          {"/a/./docs/../x.txt", "x.txt"},
                                                          {"/b/photos/", ""},
                                                          {"/b/photosphere/a.txt", "/b/photosphere/a.txt"},
                                                          {"/elsewhere/a.txt", "/elsewhere/a.txt"}})
        EXPECT_EQ(pathBelowRoot(roots, given), below) << given;
}

TEST_F(RestoreTest, AFileIsPutBackInPlaceAndWhatItReplacesIsKept) {
    twoRuns();
    clock.set(platform::WallClock{kRestore, 0});
    const std::string restoreVersions = dst + "/.tessel-versions/" + stampAt(kRestore);

    // The oldest version in place of the newest file, which is kept first.
    const KeptFiles kept = findAll();
    const KeptFile& oldest = only(kept, "docs/a.txt", kFirstRun);
    RestoreResult result = restoreKeptFile(watch, oldest, RestorePlace::InPlace);
    ASSERT_EQ(result.kind, RestoreResult::Kind::Restored) << restoreFailureText(result);
    EXPECT_EQ(result.target, dst + "/docs/a.txt");
    EXPECT_EQ(readFile(dst + "/docs/a.txt"), "a1");
    EXPECT_EQ(test::modificationTime(dst + "/docs/a.txt"), kFirstRun - 1000) << "the kept file's own time";
    EXPECT_EQ(result.keptAs, restoreVersions + "/docs/a.txt");
    EXPECT_EQ(readFile(restoreVersions + "/docs/a.txt"), "a3 longer");
    EXPECT_EQ(readFile(oldest.location()), "a1") << "the kept file stays kept";
    EXPECT_EQ(restoredLine(oldest, result), "Restored " + dst + "/docs/a.txt from " + oldest.location() +
                                                ", keeping the file it replaced as " + restoreVersions +
                                                "/docs/a.txt");
    // ... and is found again, as the newest of its file.
    ASSERT_FALSE(findAll("docs/a.txt").files.empty());
    EXPECT_EQ(findAll("docs/a.txt").files.front().location(), restoreVersions + "/docs/a.txt");

    // A deleted file comes back into a folder made again for it; nothing is replaced.
    ASSERT_EQ(::rename((dst + "/docs").c_str(), (dir / "moved-away").c_str()), 0);
    file(dst + "/gone.txt", "", 0);
    ASSERT_EQ(::unlink((dst + "/gone.txt").c_str()), 0);
    result = restoreKeptFile(watch, only(kept, "gone.txt", kSecondRun), RestorePlace::InPlace);
    ASSERT_EQ(result.kind, RestoreResult::Kind::Restored) << restoreFailureText(result);
    EXPECT_EQ(readFile(dst + "/gone.txt"), "gone");
    EXPECT_TRUE(result.keptAs.empty());
    result = restoreKeptFile(watch, only(kept, "docs/a.txt", kSecondRun), RestorePlace::InPlace);
    ASSERT_EQ(result.kind, RestoreResult::Kind::Restored) << restoreFailureText(result);
    EXPECT_EQ(readFile(dst + "/docs/a.txt"), "a2");

    // Into another folder: never over a file there unless asked, and then that file is kept first.
    const std::string other = dir / "other";
    file(other + "/a.txt", "mine", kFirstRun);
    result = restoreKeptFile(watch, oldest, RestorePlace::OtherFolder, other + "/");
    EXPECT_EQ(result.kind, RestoreResult::Kind::Exists);
    EXPECT_EQ(result.target, other + "/a.txt");
    EXPECT_EQ(readFile(other + "/a.txt"), "mine");
    EXPECT_FALSE(exists(other + "/.tessel-versions"));
    result = restoreKeptFile(watch, oldest, RestorePlace::OtherFolder, other, ExistingFile::Replace);
    ASSERT_EQ(result.kind, RestoreResult::Kind::Restored) << restoreFailureText(result);
    EXPECT_EQ(readFile(other + "/a.txt"), "a1");
    EXPECT_EQ(readFile(other + "/.tessel-versions/" + stampAt(kRestore) + "/a.txt"), "mine");
    result = restoreKeptFile(watch, only(kept, "gone.txt", kSecondRun), RestorePlace::OtherFolder, other);
    ASSERT_EQ(result.kind, RestoreResult::Kind::Restored) << restoreFailureText(result);
    EXPECT_EQ(test::listFolder(other), (std::vector<std::string>{".tessel-versions", "a.txt", "gone.txt"}));
}

TEST_F(RestoreTest, AConflictCopyOfATwoWayRunIsPutBackBesideItsFile) {
    watch.BiDirect = 1;
    file(src + "/c.txt", "base", kFirstRun - 1000);
    runWatch();
    file(src + "/c.txt", "source edit", kFirstRun + 100);
    file(dst + "/c.txt", "destination edit, newer", kFirstRun + 200);
    clock.set(platform::WallClock{kSecondRun, 0});
    EXPECT_EQ(runWatch().conflicts, 1);

    const KeptFiles kept = findAll();
    std::vector<const KeptFile*> copies;
    for (const KeptFile& file : kept.files)
        if (file.kind == KeptFile::Kind::ConflictCopy) copies.push_back(&file);
    ASSERT_EQ(copies.size(), 1u) << testing::PrintToString(described(kept));
    const KeptFile& copy = *copies[0];
    EXPECT_EQ(copy.path, "c.txt");
    EXPECT_EQ(copy.side, TreeSide::Source);
    EXPECT_EQ(
        copy.location(), src + "/c.conflict-" + [] {
            char stamp[32];
            const platform::LocalTime t = localAt(kSecondRun);
            std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour,
                          t.minute, t.second);
            return std::string(stamp);
        }() + ".txt");
    EXPECT_EQ(keptTimeText(copy.time), keptTimeText(localAt(kSecondRun)));

    clock.set(platform::WallClock{kRestore, 0});
    const RestoreResult result = restoreKeptFile(watch, copy, RestorePlace::InPlace);
    ASSERT_EQ(result.kind, RestoreResult::Kind::Restored) << restoreFailureText(result);
    EXPECT_EQ(readFile(src + "/c.txt"), "source edit");
    EXPECT_EQ(readFile(result.keptAs), "destination edit, newer");
    EXPECT_EQ(result.keptAs, src + "/.tessel-versions/" + stampAt(kRestore) + "/c.txt");
    EXPECT_TRUE(exists(copy.location())) << "the conflict copy stays until the user deletes it";
}

TEST_F(RestoreTest, LinksARunningWatchAndAGoneFileAreRefusedWithTheirReasons) {
    twoRuns();
    const KeptFiles kept = findAll();
    const KeptFile& oldest = only(kept, "docs/a.txt", kFirstRun);
    const std::string outside = dir / "outside";
    file(outside + "/a.txt", "not Tessel's", kFirstRun);
    const std::string other = dir / "other";
    test::makeFolders(other);
    const auto link = [](const std::string& to, const std::string& at) {
        ASSERT_EQ(::symlink(to.c_str(), at.c_str()), 0) << at;
    };

    struct Case {
        const char* what;
        std::function<void()> arrange;
        RestorePlace place;
        const char* said;
    };
    for (const Case& c : std::vector<Case>{
             {"a link at the name", [&] { link(outside + "/a.txt", dst + "/docs/a.txt"); },
              RestorePlace::InPlace, "a symbolic link, not followed"},
             {"a link for the folder",
              [&] {
                  ASSERT_EQ(::rmdir((dst + "/docs").c_str()), 0);
                  link(outside, dst + "/docs");
              },
              RestorePlace::InPlace, "a symbolic link, not followed"},
             {"a dangling link at the name", [&] { link(outside + "/none", dst + "/docs/a.txt"); },
              RestorePlace::InPlace, "a symbolic link, not followed"},
             {"a link at the name in another folder", [&] { link(outside + "/a.txt", other + "/a.txt"); },
              RestorePlace::OtherFolder, "a symbolic link, not followed"},
             {"a folder at the name", [&] { test::makeFolders(dst + "/docs/a.txt"); }, RestorePlace::InPlace,
              "Is a directory"},
             {"the kept file gone", [&] { ASSERT_EQ(::unlink(oldest.location().c_str()), 0); },
              RestorePlace::InPlace, "No such file or directory"}}) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(dst + "/docs");
        std::filesystem::remove_all(other + "/a.txt");
        test::makeFolders(dst + "/docs");
        if (!exists(oldest.location())) file(oldest.location(), "a1", kFirstRun - 1000);
        c.arrange();
        const std::vector<std::string> before = test::snapshotTree(dir.path());
        const RestoreResult result = restoreKeptFile(watch, oldest, c.place, other);
        EXPECT_EQ(result.kind, RestoreResult::Kind::Failed);
        EXPECT_NE(restoreFailureText(result).find(c.said), std::string::npos) << restoreFailureText(result);
        EXPECT_EQ(test::snapshotTree(dir.path()), before) << "nothing written, through a link or not";
        EXPECT_EQ(readFile(outside + "/a.txt"), "not Tessel's");
    }

    // A run of the watch going on, in this process or another: nothing is done until it ends.
    std::filesystem::remove_all(dst + "/docs");
    file(dst + "/docs/a.txt", "current", kSecondRun);
    file(oldest.location(), "a1", kFirstRun - 1000);
    platform::FileLock run;
    std::error_code error;
    ASSERT_EQ(run.acquire(runLockPath(watch), platform::FileLock::Mode::Exclusive, false, true, error),
              platform::FileLock::State::Held);
    RestoreResult result = restoreKeptFile(watch, oldest, RestorePlace::InPlace);
    EXPECT_EQ(result.kind, RestoreResult::Kind::Busy);
    EXPECT_NE(restoreFailureText(result).find("the watch is running"), std::string::npos);
    EXPECT_EQ(readFile(dst + "/docs/a.txt"), "current");
    run.release();
    result = restoreKeptFile(watch, oldest, RestorePlace::InPlace);
    EXPECT_EQ(result.kind, RestoreResult::Kind::Restored) << restoreFailureText(result);
}

}  // namespace
}  // namespace tessel
