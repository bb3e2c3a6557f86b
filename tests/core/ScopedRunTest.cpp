// Runs that cover only some folders of a watch (what a follower saw change) against full runs of the
// same trees, with the watch's masks, excludes and hidden files: every covered file ends as the full run
// leaves it, nothing outside is touched, a two-way watch remembers the rest as it was, and the mass-deletion
// guard weighs deletions against the whole watch.

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "platform/Clock.h"
#include "platform/Versions.h"
#include "support/TestSupport.h"
#include "sync/SyncWatch.h"

namespace tessel {
namespace {

using Depth = RunScope::Depth;
using test::exists;
using test::readFile;
using test::snapshotTree;
using test::writeFile;
using Tree = std::vector<std::string>;

const platform::LocalTime kStart{2026, 12, 8, 10, 30, 0, 0};

RunScope randomScope(std::mt19937& random) {
    RunScope scope;
    for (const char* folder : {"", "x/", "y/", "x/z/", "w/"})
        if (random() % 2 == 0) scope.add(folder, random() % 2 == 0 ? Depth::Names : Depth::Tree);
    return scope;
}

// The files of a snapshot ("path=content") the scope covers, or those it does not.
Tree filesOf(const Tree& snapshot, const RunScope& scope, bool covered) {
    Tree files;
    for (const std::string& line : snapshot) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;  // a folder
        if (scope.coversPath(std::string_view(line).substr(0, equals)) == covered) files.push_back(line);
    }
    return files;
}

// One pair of trees with its own context: the scoped run's, or the full run's to compare with.
struct Pair : test::CoreFixture {
    std::string src = dir / "src";
    std::string dst = dir / "dst";
    Watch watch;
    Pair(std::uint32_t seed, bool twoWay) {
        std::mt19937 random(seed);
        test::randomTree(random, src);
        test::randomTree(random, dst);
        // Names a watch's settings may leave out: a name with a dot, a name and a path an exclude takes.
        for (const std::string& root : {src, dst})
            for (const char* name : {"/.hidden.txt", "/x/.cache.txt"})
                if (random() % 2 == 0) {
                    // Times of their own: written a tick apart or within one, the newer side would vary.
                    writeFile(root + name, root == src ? "source" : "destination");
                    test::setModificationTime(root + name, root == src ? 1'600'000'100 : 1'600'000'200);
                }
        watch = watchFromRecord(test::makeWatch(src, dst), {});
        const std::vector<std::string> excludes[] = {{}, {"c.doc"}, {"x/z"}, {"y", "*.txt"}};
        watch.excludes = excludes[random() % 4];
        watch.hidden = random() % 2 == 0 ? HiddenFiles::Include : HiddenFiles::Skip;
        watch.masks =
            random() % 2 == 0 ? std::vector<std::string>{"*.*"} : std::vector<std::string>{"*.txt", "b2"};
        watch.tune = static_cast<WatchTune>(random() % 3);
        watch.bothDirections = twoWay;
        watch.deleteAbsentFiles = random() % 2 == 0;
        watch.action =
            !twoWay && !watch.deleteAbsentFiles && random() % 4 == 0 ? WatchAction::Move : WatchAction::Copy;
        context.options.deleteLimitPercent = 100;
        context.options.keepVersions = false;
        context.options.stateFolder = dir / "state";
    }
    RunResult run(const RunScope* scope = nullptr) {
        return runWatch(context, watch, Doing::Run, {.scope = scope});
    }
    // Changes both sides the same way for the same seed: new and changed files, and a few deleted.
    void change(std::uint32_t seed) {
        std::mt19937 random(seed);
        for (const std::string& root : {src, dst}) {
            test::randomTree(random, root);
            for (const std::string& line : snapshotTree(root))
                if (line.find('=') != std::string::npos && random() % 5 == 0)
                    std::remove((root + "/" + line.substr(0, line.find('='))).c_str());
        }
    }
};

TEST(ScopedRunTest, CoveredFoldersEndAsAFullRunLeavesThemAndNothingElseIsTouched) {
    const test::FixedClock clock(kStart);
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE(seed);
        const bool twoWay = seed % 2 == 0;
        Pair scoped(seed, twoWay), full(seed, twoWay);
        if (twoWay) {
            // What the last run left, then changes on both sides since.
            scoped.run();
            full.run();
            // Edited after the runs looked: a same-size edit with the same time is told only by its
            // change time, which within the tick the run read it in could still be the one it saw.
            platform::fileClockNextTick();
            scoped.change(seed * 7);
            full.change(seed * 7);
        }
        std::mt19937 random(seed * 13);
        const RunScope scope = randomScope(random);
        const Tree before[] = {snapshotTree(scoped.src), snapshotTree(scoped.dst)};
        scoped.run(&scope);
        full.run();
        const Tree after[] = {snapshotTree(scoped.src), snapshotTree(scoped.dst)};
        const Tree wanted[] = {snapshotTree(full.src), snapshotTree(full.dst)};
        for (int side : {0, 1}) {
            SCOPED_TRACE(side == 0 ? "source" : "destination");
            EXPECT_EQ(filesOf(after[side], scope, true), filesOf(wanted[side], scope, true));
            EXPECT_EQ(filesOf(after[side], scope, false), filesOf(before[side], scope, false));
        }
        if (!twoWay) continue;
        // What the scoped run remembered of the rest lets the full runs after it decide it as the first
        // did (a run later: a conflict copy crosses with the run after the conflict): the pairs end alike.
        for (int again = 0; again < 2; ++again) {
            scoped.run();
            full.run();
        }
        EXPECT_EQ(snapshotTree(scoped.src), snapshotTree(full.src));
        EXPECT_EQ(snapshotTree(scoped.dst), snapshotTree(full.dst));
    }
}

// Ten folders of ten files on both sides, in step.
struct GuardTest : ::testing::Test, test::CoreFixture {
    std::string src = dir / "src";
    std::string dst = dir / "dst";
    Watch watch = watchFromRecord(test::makeWatch(src, dst), {});
    GuardTest() {
        for (int folder = 0; folder < 10; ++folder)
            for (int file = 0; file < 10; ++file)
                for (const std::string& root : {src, dst}) {
                    const std::string path =
                        root + "/f" + std::to_string(folder) + "/" + std::to_string(file);
                    writeFile(path, "same");
                    test::setModificationTime(path, 1'700'000'000);
                }
        watch.deleteAbsentFiles = true;
        context.options.keepVersions = false;
        context.options.stateFolder = dir / "state";
    }
    void removeFromSource(int folders) {
        for (int folder = 0; folder < folders; ++folder)
            for (int file = 0; file < 10; ++file)
                std::remove((src + "/f" + std::to_string(folder) + "/" + std::to_string(file)).c_str());
    }
    RunScope firstFolders(int count) {
        RunScope scope;
        for (int folder = 0; folder < count; ++folder)
            scope.add("f" + std::to_string(folder) + "/", Depth::Names);
        return scope;
    }
    int left(int folder) {
        return static_cast<int>(test::listFolder(dst + "/f" + std::to_string(folder)).size());
    }
};

TEST_F(GuardTest, OneWayDeletionsAreWeighedAgainstTheWholeWatch) {
    // All the files of one folder: a tenth of the watch, which the guard lets go.
    removeFromSource(1);
    RunScope scope = firstFolders(1);
    EXPECT_EQ(runWatch(context, watch, Doing::Run, {.scope = &scope}).deleted, 10);
    EXPECT_EQ(left(0), 0);

    // Five new files and the files of six folders: 55 of the 100 held at the start, not of 105.
    writeFile(src + "/f9/new1", "n");
    for (int i = 2; i <= 5; ++i) writeFile(src + "/f9/new" + std::to_string(i), "n");
    removeFromSource(6);
    scope = firstFolders(6);
    scope.add("f9/", Depth::Names);
    const RunResult refused = runWatch(context, watch, Doing::Run, {.scope = &scope});
    EXPECT_EQ(refused.copied, 5);
    EXPECT_EQ(refused.deleted, 0);
    EXPECT_EQ(refused.refusedDeletions, 50);
    EXPECT_EQ(left(5), 10);
    const std::vector<std::string> logged = loggedMessages();
    EXPECT_NE(std::find(logged.begin(), logged.end(),
                        "Error deleting files in " + dst +
                            "/: 50 of the 90 files held would be deleted, more "
                            "than the limit of 50 %; nothing was deleted"),
              logged.end())
        << testing::PrintToString(logged);
}

TEST_F(GuardTest, TwoWayDeletionsAreWeighedAgainstWhatTheWatchRemembers) {
    watch.bothDirections = true;
    ASSERT_EQ(runWatch(context, watch).deleted, 0);  // the state of both sides in step
    removeFromSource(1);
    RunScope scope = firstFolders(1);
    EXPECT_EQ(runWatch(context, watch, Doing::Run, {.scope = &scope}).deleted, 10);
    EXPECT_EQ(left(0), 0);
    removeFromSource(7);
    scope = firstFolders(7);
    const RunResult refused = runWatch(context, watch, Doing::Run, {.scope = &scope});
    EXPECT_EQ(refused.refusedDeletions, 60);
    EXPECT_EQ(left(6), 10);
    // The folders outside the scope stay remembered: a full run deletes nothing more than it should.
    const RunResult full = runWatch(context, watch);
    EXPECT_EQ(full.refusedDeletions, 60);
    EXPECT_EQ(left(9), 10);
}

TEST_F(GuardTest, AReplacementInTheScopeKeepsItsVersion) {
    context.options.keepVersions = true;
    const test::FixedClock clock(kStart);
    writeFile(src + "/f3/4", "newer");
    RunScope scope = firstFolders(4);
    EXPECT_EQ(runWatch(context, watch, Doing::Run, {.scope = &scope}).versionsKept, 1);
    EXPECT_EQ(readFile(dst + "/f3/4"), "newer");
    EXPECT_EQ(readFile(dst + "/" + std::string(platform::kVersionsFolderName) + "/2026-12-08 103000/f3/4"),
              "same");
}

}  // namespace
}  // namespace tessel
