// What keeps people's files safe, tried the way a careless user or an attacker would: deletions that
// must not happen, roots that are missing, links where the run writes, files that change while they
// are copied, failures that must be reported, and watch files changed under a running watch.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <utility>

#include "platform/Faults.h"
#include "platform/FileLock.h"
#include "support/PermissionOverride.h"
#include "support/TestSupport.h"
#include "sync/DeleteAbsent.h"
#include "sync/Scheduler.h"
#include "sync/SyncFolder.h"
#include "sync/SyncWatch.h"
#include "watch/WatchFile.h"
#include "watch/WatchText.h"

namespace tessel {
namespace {

using test::exists;
using test::snapshotTree;
using test::writeFile;
using Tree = std::vector<std::string>;

class SafetyTest : public ::testing::Test, public test::TreeFixture {
  protected:
    void fill(const std::string& folder, int files, const std::string& prefix = "f") {
        test::makeFolders(folder);
        for (int i = 0; i < files; ++i) writeFile(folder + "/" + prefix + std::to_string(i) + ".txt", "x");
    }
    void reset() {
        std::filesystem::remove_all(src);
        std::filesystem::remove_all(dst);
        test::makeFolders(src);
        test::makeFolders(dst);
        writeFile(context.LogFilePath, "");
    }
    bool errorLogged(const std::string& start) const {
        for (const std::string& line : loggedMessages())
            if (line.rfind(start, 0) == 0) return true;
        return false;
    }
};

#ifdef TESSEL_FAULT_INJECTION
const Tree kFullDestination = {};
#else
const Tree kFullDestination = {"new.txt@"};
#endif

// Cases 1 and 2: a deletion pass never takes a file this run failed to copy, moved, or kept back.
TEST_F(SafetyTest, DeletionsSpareWhatTheRunFailedToCopyMovedOrKeptBack) {
    struct Case {
        const char* name;
        std::function<void()> setUp;
        std::uint8_t action;
        std::int32_t tune;
        bool both;
        Tree source, destination;
        int failed;
    };
    const Case cases[] = {
        {"a folder where the copy should go",
         [&] {
             writeFile(src + "/report.txt", "only copy");
             test::makeFolders(dst + "/report.txt");
         },
         faCopy,
         tmSyncAll,
         true,
         {"report.txt=only copy"},
         {"report.txt/"},
         2},
        {"a full destination",
         [&] {
             writeFile(src + "/new.txt", "only copy");
#ifdef TESSEL_FAULT_INJECTION
             platform::faults::inject(platform::faults::Operation::Write, 1, ENOSPC);
#else
             mkfifo((dst + "/new.txt").c_str(), 0644);  // as sure a refusal, without the seam
#endif
         },
         faCopy,
         tmSyncAll,
         true,
         {"new.txt=only copy"},
         kFullDestination,
         1},
        {"move with delete absent",
         [&] {
             writeFile(src + "/a.txt", "a");
             writeFile(src + "/b.txt", "b");
         },
         faMove,
         tmSyncAll,
         false,
         {},
         {"a.txt=a", "b.txt=b"},
         1},  // the deletions of a watch that moves are refused, with a line
        {"move both ways: files end in the source",
         [&] {
             writeFile(src + "/a.txt", "a");
             writeFile(dst + "/d.txt", "d");
         },
         faMove,
         tmSyncAll,
         true,
         {"a.txt=a", "d.txt=d"},
         {},
         1},
        {"update only old, both ways: new files stay",
         [&] {
             writeFile(src + "/s.txt", "s");
             writeFile(dst + "/d.txt", "d");
         },
         faCopy,
         tmUpdateOld,
         true,
         {"s.txt=s"},
         {"d.txt=d"},
         0},
        {"a folder with a failed copy keeps what it lacks",
         [&] {
             writeFile(src + "/sub/x.txt", "x");
             writeFile(dst + "/sub/old.txt", "old");
             test::makeFolders(dst + "/sub/x.txt");
         },
         faCopy,
         tmSyncAll,
         false,
         {"sub/", "sub/x.txt=x"},
         {"sub/", "sub/old.txt=old", "sub/x.txt/"},
         1},
#ifdef TESSEL_FAULT_INJECTION
        {"a file edited after its deletion was decided",
         [&] {
             writeFile(src + "/kept.txt", "k");
             writeFile(dst + "/gone.txt", "old");
             platform::faults::onPoint(platform::faults::Point::Deleting,
                                       [&] { writeFile(dst + "/gone.txt", "edited meanwhile"); });
         },
         faCopy,
         tmSyncAll,
         false,
         {"kept.txt=k"},
         {"gone.txt=edited meanwhile", "kept.txt=k"},
         1},
        {"a moved file's source edited after its copy was found whole",
         [&] {
             for (const std::string& root : {src, dst}) {
                 writeFile(root + "/m.txt", "same");
                 test::setModificationTime(root + "/m.txt", 1'700'000'000);
             }
             platform::faults::onPoint(platform::faults::Point::Deleting,
                                       [&] { writeFile(src + "/m.txt", "edited meanwhile"); });
         },
         faMove,
         tmSyncAll,
         false,
         {"m.txt=edited meanwhile"},
         {"m.txt=same"},
         2},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
#ifdef TESSEL_FAULT_INJECTION
        platform::faults::clear();
#endif
        reset();
        c.setUp();
        watch.FileAction = c.action;
        watch.TuneMode = c.tune;
        watch.BiDirect = c.both;
        watch.DeleteAbsent = 1;
        EXPECT_EQ(runWatch().failed, c.failed);
        EXPECT_EQ(snapshotTree(src), c.source);
        EXPECT_EQ(snapshotTree(dst), c.destination);
    }
}

// Case 4: an emptied or wrong source does not take the destination with it.
TEST_F(SafetyTest, MassDeletionGuard) {
    struct Case {
        const char* name;
        int sourceFiles, destinationOnly, limit;
        bool refused;
    };
    const Case cases[] = {{"most of the destination", 5, 15, 50, true},
                          {"fewer than ten files", 3, 9, 50, false},
                          {"under the limit", 10, 10, 50, false},
                          {"a limit of 100 turns the guard off", 0, 40, 100, false},
                          {"an empty source, whatever the count", 0, 3, 50, true}};
    watch.DeleteAbsent = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        fill(src, c.sourceFiles);
        fill(dst, c.sourceFiles);
        fill(dst, c.destinationOnly, "gone");
        context.options.deleteLimitPercent = c.limit;
        const RunResult result = runWatch();
        EXPECT_EQ(test::listFolder(dst).size(),
                  static_cast<std::size_t>(c.sourceFiles + (c.refused ? c.destinationOnly : 0)));
        EXPECT_EQ(result.refusedDeletions, c.refused ? c.destinationOnly : 0);
        EXPECT_EQ(result.failed, c.refused ? 1 : 0);
        const std::string counts = std::to_string(c.destinationOnly) + " of the " +
                                   std::to_string(c.sourceFiles + c.destinationOnly);
        EXPECT_EQ(errorLogged("Error deleting files in " + dst + "/: "), c.refused);
        if (c.refused) {
            ASSERT_FALSE(loggedMessages().empty());
            EXPECT_NE(loggedMessages().back().find(counts), std::string::npos) << loggedMessages().back();
        }
    }
    // Several masks are one watch: the guard is asked once, before any deletion, for all of them. Only
    // what the masks cover counts, in both trees: a destination shared with other files does not hide
    // an emptied source.
    struct MaskCase {
        const char* name;
        const char* masks;
        int sourceFiles;  // of each masked kind; the source also holds 30 photos
        int refused;
    };
    const MaskCase maskCases[] = {
        {"each mask alone under the limit, both together over it", "*.txt;*.doc", 5, 30},
        {"no file the masks cover in the source", "*.doc", 0, 20}};
    for (const MaskCase& c : maskCases) {
        SCOPED_TRACE(c.name);
        reset();
        fill(src, 30, "photo");
        for (const char* kind : {".txt", ".doc"})
            for (int i = 0; i < 20; ++i) {
                const std::string name = "/f" + std::to_string(i) + kind;
                writeFile(dst + name, "x");
                if (i < c.sourceFiles) writeFile(src + name, "x");
            }
        setText(watch.FileMask, c.masks);
        context.options.deleteLimitPercent = 50;
        const Tree before = snapshotTree(dst);
        const RunResult result = runWatch();
        EXPECT_EQ(result.refusedDeletions, c.refused);
        EXPECT_EQ(result.deleted, 0);
        EXPECT_EQ(result.failed, 1);
        for (const std::string& entry : before)
            EXPECT_TRUE(exists(dst + "/" + entry.substr(0, entry.find('='))));
        if (c.sourceFiles == 0) {
            EXPECT_TRUE(errorLogged("Error deleting files in " + dst + "/: the source folder " + src +
                                    "/ held no file the watch's masks cover"));
        }
    }
    setText(watch.FileMask, "*.*");

    // A move empties its source by design: what it moved is never a candidate.
    reset();
    std::filesystem::remove_all(dst);
    fill(src, 30);
    watch.FileAction = faMove;
    EXPECT_EQ(runWatch().refusedDeletions, 0);
    EXPECT_EQ(test::listFolder(dst).size(), 30u);
}

// A move cut short after its copy (a kill, a removal that failed) leaves the file in both places: the
// next run ends it where both hold the same content, and says so where they do not.
TEST_F(SafetyTest, AMoveCutShortIsFinishedOrReported) {
    watch.FileAction = faMove;
    watch.WideLog = 1;
    for (const std::string& root : {src, dst}) {
        writeFile(root + "/same.txt", "moved");
        writeFile(root + "/other.txt", root == src ? "one" : "two");
        for (const char* name : {"/same.txt", "/other.txt"})
            test::setModificationTime(root + name, 1'600'000'000);
    }
    const RunResult result = runWatch();
    EXPECT_EQ(result.moved, 1);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(snapshotTree(src), Tree{"other.txt=one"});
    EXPECT_EQ(snapshotTree(dst), (Tree{"other.txt=two", "same.txt=moved"}));
    EXPECT_EQ(loggedMessages(), (Tree{"Error moving file " + src + "/other.txt: File exists",
                                      "Moved file " + src + "/same.txt"}));
}

// A run never deletes Tessel's own files in a tree it deletes in, with any number of threads.
TEST_F(SafetyTest, TesselsOwnFilesAreNeverDeleted) {
    watch.DeleteAbsent = 1;
    for (const int jobs : {1, 4}) {
        SCOPED_TRACE(jobs);
        reset();
        context.options.jobs = jobs;
        context.LogFilePath = dst + "/WatchLog.Log";
        context.WatchFilePath = dst + "/WatchDef.wth";
        context.options.settingsFile = dst + "/Tessel.ini";
        writeFile(context.options.settingsFile, "[Main]\n");
        test::writeWatches(context, context.WatchFilePath, {watch});
        writeFile(textFilePath(context.WatchFilePath), "");
        writeFile(dst + "/stranger.txt", "s");
        writeFile(src + "/a.txt", "a");
        EXPECT_EQ(runWatch().deleted, 1);
        EXPECT_EQ(snapshotTree(dst).size(), 5u)
            << "a.txt, the log, the watch file, its text file, the settings";
        EXPECT_TRUE(exists(context.LogFilePath));
    }
    context.LogFilePath = dir / "WatchLog.Log";
}

// Cases 3 and 11: a missing source stops the watch; "docs/.." is the folder it names.
TEST_F(SafetyTest, Roots) {
    const std::string runFile = dir / "after.sh";
    writeFile(runFile, "#!/bin/sh\ntouch \"$0.ran\"\n");
    chmod(runFile.c_str(), 0755);
    setText(watch.RunFile, runFile);
    watch.BiDirect = 1;
    watch.DeleteAbsent = 1;
    writeFile(dst + "/keep.txt", "k");
    setText(watch.SourceDir, dir / "unplugged");
    RunResult result = runWatch();
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(loggedMessages(),
              Tree{"Error opening folder " + dir / "unplugged/: No such file or directory"});
    EXPECT_FALSE(exists(dir / "unplugged"));
    EXPECT_EQ(snapshotTree(dst), Tree{"keep.txt=k"});
    EXPECT_FALSE(exists(runFile + ".ran")) << "nothing was synchronised: no after-sync program";

    // A source root there but closed to the user, and a destination the user may not write in: nothing
    // is deleted on either side.
    {
        test::NoPermissionOverride asUser;
        setText(watch.RunFile, "");
        writeFile(src + "/new.txt", "only copy");
        setText(watch.SourceDir, src);
        chmod(src.c_str(), 0);
        writeFile(context.LogFilePath, "");
        EXPECT_EQ(runWatch().failed, 1);
        EXPECT_EQ(loggedMessages(), Tree{"Error opening folder " + src + "/: Permission denied"});
        chmod(src.c_str(), 0755);
        chmod(dst.c_str(), 0555);
        watch.BiDirect = 0;  // one way: the deletion pass is not even tried where the copy failed
        writeFile(context.LogFilePath, "");
        EXPECT_EQ(runWatch().failed, 1);
        EXPECT_EQ(loggedMessages(), Tree{"Error copying file " + src + "/new.txt: Permission denied"});
        chmod(dst.c_str(), 0755);
        EXPECT_EQ(snapshotTree(src), Tree{"new.txt=only copy"});
        EXPECT_EQ(snapshotTree(dst), Tree{"keep.txt=k"});
        std::remove((src + "/new.txt").c_str());
        watch.BiDirect = 1;
    }

    // Copy with root folder: the root's name is taken after "." and ".." are worked out.
    setText(watch.RunFile, "");
    watch.BiDirect = 0;
    watch.DeleteAbsent = 0;
    watch.CopyWithRoot = 1;
    writeFile(dir / "x/home/docs/a.txt", "a");
    setText(watch.SourceDir, dir / "x/home/./docs/..");
    setText(watch.DestDir, dst);
    EXPECT_EQ(runWatch().failed, 0);
    EXPECT_EQ(snapshotTree(dst), (Tree{"home/", "home/docs/", "home/docs/a.txt=a", "keep.txt=k"}));
    EXPECT_EQ(test::listFolder(dir.path()),
              (Tree{"WatchLog.Log", "after.sh", "dst", "src", "x"}));  // nothing beside the destination

    // An empty folder field would mean the whole file system: refused before anything reads it, even to
    // size the progress bar.
    context.options.jobs = 1;
    for (const bool emptySource : {true, false}) {
        writeFile(context.LogFilePath, "");
        display.progressMax = -1;
        const RunResult refused =
            SyncWatch(context, emptySource ? "" : src, emptySource ? dst : "", "*.*", "", faCopy, watch);
        EXPECT_EQ(refused.failed, 1);
        EXPECT_EQ(refused.copied, 0);
        EXPECT_EQ(display.progressMax, -1) << "the file system was counted";
        EXPECT_EQ(loggedMessages().size(), 1u);
        EXPECT_TRUE(errorLogged("Error in the watch of folder "));
    }

    // A destination root that cannot be made.
    writeFile(dir / "plain-file", "f");
    setText(watch.DestDir, dir / "plain-file/backup");
    result = runWatch();
    EXPECT_EQ(result.failed, 1);
    EXPECT_TRUE(errorLogged("Error creating folder " + dir / "plain-file/backup/home/"));
}

// Case 5: a link where the run writes or deletes is never followed, in any walk or direction.
TEST_F(SafetyTest, LinksWhereTheRunWritesAreNeverFollowed) {
    struct Case {
        const char* name;
        std::function<void()> setUp;
        bool both, deletionOnly;
        std::string errorStart;
    };
    const std::string elsewhere = dir / "elsewhere";
    const Case cases[] = {
        {"a destination folder that is a link",
         [&] {
             writeFile(src + "/sub/a.txt", "new");
             symlink(elsewhere.c_str(), (dst + "/sub").c_str());
         },
         false, false, "Error creating folder " + dst + "/sub: a symbolic link, not followed"},
        {"the source side of a two-way watch",
         [&] {
             test::makeFolders(dst + "/photos");
             writeFile(dst + "/photos/from-dst.jpg", "d");
             symlink(elsewhere.c_str(), (src + "/photos").c_str());
         },
         true, false, "Error creating folder " + src + "/photos: a symbolic link, not followed"},
        {"only the deletion walk meets it",
         [&] {
             test::makeFolders(src + "/sub");
             writeFile(src + "/sub/keep.txt", "k");
             symlink(elsewhere.c_str(), (dst + "/sub").c_str());
         },
         false, true, "Error opening folder " + dst + "/sub/: a symbolic link, not followed"},
        // The root-name folder of "Copy with root folder" is Tessel's to make, in either direction.
        {"the root-name folder, one way",
         [&] {
             writeFile(src + "/a.txt", "new");
             symlink(elsewhere.c_str(), (dst + "/src").c_str());
             watch.CopyWithRoot = 1;
         },
         false, false, "Error opening folder " + dst + "/src/: a symbolic link, not followed"},
        {"the root-name folder, two-way",
         [&] {
             symlink(elsewhere.c_str(), (dst + "/src").c_str());
             watch.CopyWithRoot = 1;
         },
         true, false, "Error opening folder " + dst + "/src/: a symbolic link, not followed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        watch.CopyWithRoot = 0;
        std::filesystem::remove_all(elsewhere);
        writeFile(elsewhere + "/a.txt", "precious");
        writeFile(elsewhere + "/precious.txt", "p");
        c.setUp();
        watch.BiDirect = c.both;
        watch.DeleteAbsent = 1;
        EXPECT_GE((c.deletionOnly ? DeleteAbsentFiles(context, src, dst, "*.*") : runWatch()).failed, 1);
        EXPECT_EQ(snapshotTree(elsewhere), (Tree{"a.txt=precious", "precious.txt=p"}));
        ASSERT_FALSE(loggedMessages().empty());
        EXPECT_TRUE(errorLogged(c.errorStart)) << loggedMessages().front();
    }
}

// Cases 6, 9, 12 and 13: what a copy is.
TEST_F(SafetyTest, CopiesAreWholeUnchangedAndKeepWhatTheSourceHas) {
#ifdef TESSEL_FAULT_INJECTION
    using platform::faults::Point;
    // Rewritten while it was copied: once is copied again, always is refused and nothing is left.
    writeFile(src + "/busy.txt", "first");
    int writes = 1;
    platform::faults::onPoint(Point::CopyWritten, [&] {
        if (writes-- > 0) writeFile(src + "/busy.txt", "second, longer");
    });
    EXPECT_EQ(SyncFolder(context, src, dst, "*.*", faCopy, watch).failed, 0);
    EXPECT_EQ(test::readFile(dst + "/busy.txt"), "second, longer");
    writes = 1000;
    writeFile(src + "/busy.txt", "third");
    EXPECT_EQ(SyncFolder(context, src, dst, "*.*", faCopy, watch).failed, 1);
    ASSERT_FALSE(loggedMessages().empty());
    EXPECT_EQ(loggedMessages().back(),
              "Error copying file " + src + "/busy.txt: the file changed while it was copied");
    EXPECT_EQ(test::listFolder(dst), Tree{"busy.txt"});

    // The destination edited after the walk looked at it: the edit is not replaced unseen.
    platform::faults::clear();
    writeFile(src + "/busy.txt", "newer source");
    test::setModificationTime(src + "/busy.txt", 1'900'000'000);
    platform::faults::onPoint(Point::CopyWritten, [&] { writeFile(dst + "/busy.txt", "edited meanwhile"); });
    EXPECT_EQ(SyncFolder(context, src, dst, "*.*", faCopy, watch).failed, 1);
    EXPECT_EQ(test::readFile(dst + "/busy.txt"), "edited meanwhile");
    ASSERT_FALSE(loggedMessages().empty());
    EXPECT_EQ(loggedMessages().back(),
              "Error copying file " + src + "/busy.txt: the file changed after the run examined it");

    // A pipe swapped in after the walk looked is neither waited for nor copied. Into a folder the walk
    // has just made, the look comes with the opening: the pipe is left alone as any the walk finds.
    platform::faults::clear();
    for (const bool fresh : {false, true}) {
        reset();
        if (fresh) std::filesystem::remove_all(dst);
        writeFile(src + "/swapped", "file");
        platform::faults::onPoint(Point::CopyOpening, [&] {
            std::remove((src + "/swapped").c_str());
            mkfifo((src + "/swapped").c_str(), 0644);
        });
        EXPECT_EQ(SyncFolder(context, src, dst, "swapped", faCopy, watch).failed, fresh ? 0 : 1);
        EXPECT_FALSE(exists(dst + "/swapped"));
        if (!fresh) {
            ASSERT_FALSE(loggedMessages().empty());
            EXPECT_EQ(loggedMessages().back(), "Error copying file " + src + "/swapped: not a regular file");
        }
        platform::faults::clear();
    }
#endif

    // A private folder stays private; folders get their times back once filled.
    reset();
    writeFile(src + "/private/letter.txt", "l");
    chmod((src + "/private/letter.txt").c_str(), 0640);
    chmod((src + "/private").c_str(), 0700);
    test::setModificationTime(src + "/private", 1'600'000'000);
    const bool root = geteuid() == 0;
    if (root) {
        chown((src + "/private").c_str(), 65534, 65534);
        chown((src + "/private/letter.txt").c_str(), 65534, 65534);
        chmod((src + "/private/letter.txt").c_str(), 02750);
    }
    SyncFolder(context, src, dst, "*.*", faCopy, watch);
    EXPECT_EQ(test::permissions(dst + "/private"), 0700u);
    EXPECT_EQ(test::permissions(dst + "/private/letter.txt"), root ? 02750u : 0640u);
    EXPECT_EQ(test::modificationTime(dst + "/private"), 1'600'000'000);
    struct stat info {};
    stat((dst + "/private/letter.txt").c_str(), &info);
    if (root) {
        EXPECT_EQ(info.st_uid, 65534u);
    }
    // So does a folder whose filling was stopped part way.
    writeFile(src + "/stopped/a.txt", "a");
    writeFile(src + "/stopped/b.txt", "b");
    chmod((src + "/stopped").c_str(), 0550);
    // A file is counted before it is copied: the stop comes with the first file of the new folder, and
    // the one thread finishes that file only.
    display.onStep = [&] {
        if (exists(dst + "/stopped")) context.requestStop();
    };
    SyncFolder(context, src, dst, "*.*", faCopy, watch);
    display.onStep = nullptr;
    context.clearStop();
    EXPECT_EQ(test::listFolder(dst + "/stopped").size(), 1u);
    EXPECT_EQ(test::permissions(dst + "/stopped"), 0550u);

    // Across the autumn switch a file edited 45 minutes after its copy reads as earlier in local time.
    if (!exists("/usr/share/zoneinfo/Europe/Berlin")) GTEST_SKIP() << "no time zone data";
    {
        const test::ScopedEnvironment zone("TZ", "Europe/Berlin");
        tzset();
        const std::int64_t copiedAt = 1'792'888'800;  // 2026-10-25 02:40 CEST
        writeFile(dst + "/clock.txt", "old");
        test::setModificationTime(dst + "/clock.txt", copiedAt);
        writeFile(src + "/clock.txt", "new");
        test::setModificationTime(src + "/clock.txt", copiedAt + 45 * 60);  // 02:25 CET
        watch.TuneMode = tmUpdateOld;
        SyncFolder(context, src, dst, "clock.txt", faCopy, watch);
        EXPECT_EQ(test::readFile(dst + "/clock.txt"), "new");
    }
    tzset();
}

#ifdef TESSEL_FAULT_INJECTION
// Case 5: below 32 levels the walk puts folders aside and opens them again by name when it comes back;
// a folder swapped for another meanwhile is refused, and nothing is written into the one swapped in.
TEST_F(SafetyTest, AFolderSwappedWhileADeepWalkHadItAsideIsNotWrittenIn) {
    std::string parent;
    for (int level = 0; level < 32; ++level) parent += "d/";
    writeFile(src + "/" + parent + "x/a/first.txt", "1");
    writeFile(src + "/" + parent + "x/b/second.txt", "2");
    // While the walk is in x/a, below x, x is put aside; the destination's x is then swapped.
    bool swapped = false;
    platform::faults::onPoint(platform::faults::Point::CopyOpening, [&] {
        if (std::exchange(swapped, true)) return;
        std::filesystem::rename(dst + "/" + parent + "x", dst + "/" + parent + "moved");
        test::makeFolders(dst + "/" + parent + "x");
    });
    const RunResult result = SyncFolder(context, src, dst, "*.*", faCopy, watch);
    ASSERT_TRUE(swapped);
    EXPECT_GE(result.failed, 1);
    EXPECT_EQ(test::listFolder(dst + "/" + parent + "x"), Tree{});
    EXPECT_EQ(snapshotTree(dst + "/" + parent + "moved"), (Tree{"a/", "a/first.txt=1"}));
    EXPECT_TRUE(errorLogged("Error opening folder " + dst + "/" + parent + "x"));
}

// A folder whose deletions are planned and that is swapped for another before their turn is refused as a
// whole: nothing in the one swapped in is deleted, and the line names the folder.
TEST_F(SafetyTest, AFolderSwappedBeforeItsDeletionsIsRefused) {
    for (const std::string folder : {"a", "b"}) {
        writeFile(src + "/" + folder + "/kept.txt", "k");
        writeFile(dst + "/" + folder + "/gone.txt", "old");
    }
    bool swapped = false;
    platform::faults::onPoint(platform::faults::Point::Deleting, [&] {
        if (std::exchange(swapped, true)) return;
        std::filesystem::rename(dst + "/b", dst + "/aside");
        writeFile(dst + "/b/gone.txt", "another");
    });
    watch.DeleteAbsent = 1;
    EXPECT_EQ(runWatch().failed, 1);
    EXPECT_EQ(snapshotTree(dst), (Tree{"a/", "a/kept.txt=k", "aside/", "aside/gone.txt=old",
                                       "aside/kept.txt=k", "b/", "b/gone.txt=another"}));
    EXPECT_TRUE(errorLogged("Error opening folder " + dst + "/b"));
}
#endif

// Case 7: a tree deeper than the descriptors allow is copied whole.
TEST_F(SafetyTest, DeepTreeUnderALowDescriptorLimit) {
    std::string relative;
    for (int level = 0; level < 700; ++level) relative += "d/";
    test::makeFolders(src + "/" + relative);
    writeFile(src + "/" + relative + "deepest.txt", "bottom");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit low{256, 256};
        setrlimit(RLIMIT_NOFILE, &low);
        const RunResult result = SyncFolder(context, src, dst, "*.*", faCopy, watch);
        _exit(result.failed == 0 && test::exists(dst + "/" + relative + "deepest.txt") ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Cases 7 and 10: every failure gets a line that names the path and the reason; names cannot forge lines.
TEST_F(SafetyTest, FailuresAreReportedAndNamesCannotForgeLines) {
    writeFile(src + "/held-by-file/a.txt", "a");
    writeFile(dst + "/held-by-file", "not a folder");
    writeFile(src + "/held-by-pipe/a.txt", "a");
    test::makeFolders(dst);
    mkfifo((dst + "/held-by-pipe").c_str(), 0644);
    writeFile(src + "/locked/a.txt", "a");
    chmod((src + "/locked").c_str(), 0);
    writeFile(src + "/forged\r\nDelete file everything.txt", "f");
    const std::string script = dir / "crash.sh";
    writeFile(script, "#!/bin/sh\nkill -KILL $$\n");
    chmod(script.c_str(), 0755);
    setText(watch.RunFile, script);
    watch.WideLog = 1;
    RunResult result;
    {
        test::NoPermissionOverride asAnyUser;
        result = runWatch();
    }
    chmod((src + "/locked").c_str(), 0755);
    EXPECT_EQ(result.failed, 4);
    const Tree expected = {
        "Copied file " + src + "/forged\\x0d\\x0aDelete file everything.txt ",
        "Error creating folder " + dst + "/held-by-file: Not a directory",
        "Error creating folder " + dst + "/held-by-pipe: Not a directory",
        "Error opening folder " + src + "/locked: Permission denied",
        "Start " + script,
        "Ok Worked " + script,
        "Error running program " + script + ": ended by signal SIGKILL",
    };
    EXPECT_EQ(loggedMessages(), expected);
}

// Case 8: a watch file changed while a watch runs keeps the change, and one watch runs once at a time.
TEST_F(SafetyTest, WatchFileChangedDuringARun) {
    test::FixedClock clock(platform::WallClock{1'780'000'000, 0});
    const TDateTime stamped = Now();
    test::writeWatches(context, context.WatchFilePath,
                       {test::makeWatch(dir / "a", dir / "a-copy"), test::makeWatch(src, dst),
                        test::makeWatch(dir / "c", dir / "c-copy")});
    writeFile(src + "/file.txt", "f");
    // The first watch deleted while the second runs: its record now sits where the third was.
    display.onStep = [&] { DelWatchFromFile(context, context.WatchFilePath, 0); };
    SchedulerReport report = checkWatchNow(context, 1);
    display.onStep = nullptr;
    clock.set(platform::WallClock{1'780'000'600, 0});
    EXPECT_EQ(report.unsaved, 1);
    EXPECT_EQ(report.result.failed, 1) << "the window and tessel-batch both count it";
    std::vector<TWatchRec> stored = test::storedWatches(context.WatchFilePath);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1].LastRunTime, stamped) << "the third watch is not touched";
    EXPECT_TRUE(errorLogged("Error saving the last run time of Synhro folder " + src + " with folder " + dst +
                            ": the watch changed in the watch file during the run"));

    // An edit saved during the run stays; only the time changes.
    display.onStep = [&] {
        TWatchRec edited = ReadWatchRec(context, 0);
        setText(edited.FileMask, "*.doc");
        WriteWatchRec(context, edited);
    };
    writeFile(src + "/other.txt", "o");
    report = checkWatchNow(context, 0);
    display.onStep = nullptr;
    stored = test::storedWatches(context.WatchFilePath);
    EXPECT_EQ(report.unsaved, 0);
    EXPECT_EQ(getText(stored[0].FileMask), "*.doc");
    EXPECT_EQ(stored[0].LastRunTime, Now());

    // The watch file gone during the run: said, with the reason, and counted.
    const std::string watchFile = context.WatchFilePath;
    display.onStep = [&] { std::filesystem::rename(watchFile, watchFile + ".away"); };
    writeFile(src + "/third.doc", "t");
    report = checkWatchNow(context, 0);
    display.onStep = nullptr;
    std::filesystem::rename(watchFile + ".away", watchFile);
    EXPECT_EQ(report.result.failed, 1);
    EXPECT_TRUE(errorLogged("Error saving the last run time of Synhro folder " + src + " with folder " + dst +
                            ": No such file or directory"));

    // Another process runs the watch: this one skips it, which is no failure.
    platform::FileLock other;
    std::error_code error;
    ASSERT_EQ(other.acquire(runLockPath(stored[0]), platform::FileLock::Mode::Exclusive, false, true, error),
              platform::FileLock::State::Held);
    report = checkWatchNow(context, 0);
    EXPECT_EQ(report.busy, 1);
    EXPECT_EQ(report.ran, 0);
    EXPECT_FALSE(report.result.needsAttention());
    ASSERT_FALSE(loggedMessages().empty());
    EXPECT_EQ(loggedMessages().back(), "Already running Synhro folder " + src + " with folder " + dst);

    // Watches that name the same two trees in other ways share the lock, as they share a two-way state.
    TWatchRec withRoot = test::makeWatch(src, dir.path());
    withRoot.CopyWithRoot = 1;
    EXPECT_EQ(runLockPath(withRoot), runLockPath(test::makeWatch(src + "/", dir / "src/./")));
    EXPECT_NE(runLockPath(withRoot), runLockPath(test::makeWatch(src, dir.path())));
}

}  // namespace
}  // namespace tessel
