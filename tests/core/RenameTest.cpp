// Renames carried over as renames: in every two-way run, a file the last run knew under another path (by
// its identity and size) is renamed on the other side rather than copied, in whichever order the walk
// meets its two names, and the preview says so; a follower's renames are carried before its run, a
// renamed folder as one rename, only where nothing but the name changed.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "platform/Folders.h"
#include "support/TestSupport.h"
#include "sync/Preview.h"
#include "sync/SyncWatch.h"

namespace tessel {
namespace {

using Depth = RunScope::Depth;
using test::exists;
using test::readFile;
using test::snapshotTree;
using test::writeFile;
using Lines = std::vector<std::string>;

constexpr std::int64_t T = 1'780'000'000;

std::uint64_t inodeOf(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

bool move(const std::string& from, const std::string& to) {
    std::filesystem::create_directories(std::filesystem::path(to).parent_path());
    return std::rename(from.c_str(), to.c_str()) == 0;
}

// A run that found nothing to do.
bool settled(const RunResult& result) {
    return result.copied == 0 && result.moved == 0 && result.deleted == 0 && result.failed == 0 &&
           result.conflicts == 0 && result.refusedDeletions == 0;
}

class Recorded : public RunObserver {
  public:
    void action(const RunAction& action) override { lines.push_back(actionLine(action)); }
    Lines lines;
};

class RenameTest : public ::testing::Test, public test::TreeFixture {
  protected:
    RenameTest() {
        context.options.stateFolder = dir / "state";
        test::makeFolders(dst);
    }
    void put(const std::string& relative, const std::string& content) {
        for (const std::string& root : {src, dst}) {
            writeFile(root + "/" + relative, content);
            test::setModificationTime(root + "/" + relative, T);
        }
    }
    Watch watchOf(bool twoWay) {
        Watch made = watchFromRecord(watch, {});
        made.bothDirections = twoWay;
        return made;
    }
    // The preview's actions, then the run's, which must be the same.
    RunResult previewedRun(const Watch& made, Lines& actions, const RunScope* scope = nullptr) {
        Recorded preview, done;
        context.observer = &preview;
        tessel::runWatch(context, made, Doing::Preview, {.scope = scope});
        context.observer = &done;
        const RunResult result = tessel::runWatch(context, made, Doing::Run, {.scope = scope});
        context.observer = nullptr;
        if (scope == nullptr) {
            EXPECT_EQ(preview.lines, done.lines);
        }
        actions = done.lines;
        return result;
    }
};

TEST_F(RenameTest, TwoWayRunsRenameWhatTheLastRunKnewUnderAnotherPath) {
    struct Case {
        const char* what;
        std::function<void()> change;
        std::string old, renamed;  // below the root of the side that follows (the other one's)
        int follows;               // the side renamed by the run
        int copied;
        bool edited;  // told from a new file under a deleted one's inode by its birth time only
    };
    const Case cases[] = {
        {"in its folder, the new name first",
         [&] { move(src + "/docs/report.txt", src + "/docs/final.txt"); }, "docs/report.txt",
         "docs/final.txt", 1, 0, false},
        {"into a folder the walk meets first", [&] { move(src + "/z/late.txt", src + "/a/early.txt"); },
         "z/late.txt", "a/early.txt", 1, 0, false},
        {"into a folder the walk meets after the old name",
         [&] { move(src + "/a/x.txt", src + "/z/later/x2.txt"); }, "a/x.txt", "z/later/x2.txt", 1, 0, false},
        {"on the destination", [&] { move(dst + "/docs/final.txt", dst + "/docs/z-final.txt"); },
         "docs/final.txt", "docs/z-final.txt", 0, 0, false},
        {"renamed and edited to the same size: renamed, then replaced",
         [&] {
             move(src + "/docs/z-final.txt", src + "/b/edited.txt");
             writeFile(src + "/b/edited.txt", "R");
             test::setModificationTime(src + "/b/edited.txt", T + 100);
         },
         "docs/z-final.txt", "b/edited.txt", 1, 1, true},
    };
    for (const bool deleteAbsent : {false, true}) {
        SCOPED_TRACE(deleteAbsent);
        // One thread, or several that finish in another order than the walk's.
        context.options.jobs = deleteAbsent ? 4 : 1;
        std::filesystem::remove_all(src);
        std::filesystem::remove_all(dst);
        std::filesystem::remove_all(dir / "state");
        put("docs/report.txt", "r");
        put("z/late.txt", "late");
        put("a/x.txt", "x");
        watch.DeleteAbsent = deleteAbsent ? 1 : 0;
        const Watch twoWay = watchOf(true);
        ASSERT_EQ(tessel::runWatch(context, twoWay).copied, 0);
        std::error_code error;
        const bool birthTimes = platform::birthTime(platform::Folder::open(src, error), "docs").has_value();
        for (const Case& each : cases) {
            SCOPED_TRACE(each.what);
            if (each.edited && !birthTimes) continue;  // where there are none, its new bytes make it new
            each.change();
            const std::string roots[2] = {src + "/", dst + "/"};
            const std::string& root = roots[each.follows];
            const std::uint64_t inode = inodeOf(root + each.old);
            test::writeFile(context.LogFilePath, "");
            Lines actions;
            const RunResult result = previewedRun(twoWay, actions);
            EXPECT_EQ(result.copied, each.copied);
            EXPECT_EQ(result.deleted, 0);
            EXPECT_EQ(result.failed, 0);
            const std::string line = "rename  " + root + each.old + " -> " + root + each.renamed;
            EXPECT_EQ(std::count(actions.begin(), actions.end(), line), 1) << testing::PrintToString(actions);
            EXPECT_EQ(loggedMessages().at(0),
                      "Renamed file " + root + each.old + " as " + root + each.renamed);
            EXPECT_FALSE(exists(root + each.old));
            if (each.copied == 0) {
                EXPECT_EQ(inodeOf(root + each.renamed), inode) << "renamed, not copied";
            }
            EXPECT_EQ(snapshotTree(src), snapshotTree(dst));
            EXPECT_TRUE(settled(tessel::runWatch(context, twoWay))) << "nothing left to do";
        }
    }
}

TEST_F(RenameTest, AFollowersRenamesAreCarriedWhereOnlyTheNameChanged) {
    for (int i = 0; i < 300; ++i) put("photos/" + std::to_string(i) + ".jpg", "photo");
    put("notes/a.txt", "a");
    put("notes/b.txt", "b");
    put("notes/c.txt", "c");
    put("notes/d.txt", "d");
    put("notes/e.txt", "e");
    put("notes/f.txt", "f");
    put("notes/sub/keep.txt", "k");
    const Watch oneWay = watchOf(false);
    ASSERT_EQ(tessel::runWatch(context, oneWay).copied, 0);
    const std::uint64_t folder = inodeOf(dst + "/photos");

    // A folder of 300 files: one rename, and the walk of the new folder finds everything in step.
    ASSERT_TRUE(move(src + "/photos", src + "/pictures"));
    // A file renamed into another folder (one the other side has: the walk makes missing ones); another
    // whose copy was changed there meanwhile; one renamed
    // to a name the masks leave out; one whose new name the other side has already.
    ASSERT_TRUE(move(src + "/notes/a.txt", src + "/notes/sub/a2.txt"));
    ASSERT_TRUE(move(src + "/notes/b.txt", src + "/notes/b2.txt"));
    writeFile(dst + "/notes/b.txt", "changed there");
    ASSERT_TRUE(move(src + "/notes/c.txt", src + "/notes/c.bak"));
    ASSERT_TRUE(move(src + "/notes/d.txt", src + "/notes/d2.txt"));
    writeFile(dst + "/notes/d2.txt", "already there");
    // And to names the watch's settings leave out: an exclude, a name with a dot.
    ASSERT_TRUE(move(src + "/notes/e.txt", src + "/notes/e.old.txt"));
    ASSERT_TRUE(move(src + "/notes/f.txt", src + "/notes/.f.txt"));
    Watch masked = oneWay;
    masked.masks = {"*.jpg", "*.txt"};
    masked.excludes = {"*.old.txt"};
    masked.hidden = HiddenFiles::Skip;
    RunScope scope;
    for (const char* folder : {"", "notes/"}) scope.add(folder, Depth::Names);
    for (const char* tree : {"photos/", "pictures/", "notes/sub/"}) scope.add(tree, Depth::Tree);
    scope.addRename({0, "photos/", "pictures/"});
    for (const auto& [from, to] : {std::pair{"a.txt", "sub/a2.txt"},
                                   {"b.txt", "b2.txt"},
                                   {"c.txt", "c.bak"},
                                   {"d.txt", "d2.txt"},
                                   {"e.txt", "e.old.txt"},
                                   {"f.txt", ".f.txt"}})
        scope.addRename({0, std::string("notes/") + from, std::string("notes/") + to});
    test::writeFile(context.LogFilePath, "");
    const RunResult result = tessel::runWatch(context, masked, Doing::Run, {.scope = &scope});
    EXPECT_EQ(result.copied, 2);  // b2.txt, and d2.txt over what was there
    EXPECT_EQ(result.failed, 0);
    EXPECT_EQ(inodeOf(dst + "/pictures"), folder);
    EXPECT_FALSE(exists(dst + "/photos"));
    EXPECT_EQ(test::listFolder(dst + "/pictures").size(), 300u);
    EXPECT_EQ(readFile(dst + "/notes/sub/a2.txt"), "a");
    EXPECT_FALSE(exists(dst + "/notes/a.txt"));
    EXPECT_EQ(readFile(dst + "/notes/b.txt"), "changed there") << "not what was renamed: left";
    EXPECT_EQ(readFile(dst + "/notes/b2.txt"), "b");
    EXPECT_TRUE(exists(dst + "/notes/c.txt")) << "a name the watch leaves out is no rename of its";
    EXPECT_FALSE(exists(dst + "/notes/c.bak"));
    for (const char* left : {"e", "f"}) {
        SCOPED_TRACE(left);
        EXPECT_TRUE(exists(dst + "/notes/" + left + ".txt"))
            << "an excluded or hidden name is no rename of its";
    }
    EXPECT_FALSE(exists(dst + "/notes/e.old.txt"));
    EXPECT_FALSE(exists(dst + "/notes/.f.txt"));
    EXPECT_TRUE(exists(dst + "/notes/d.txt")) << "never renamed over a file";
    EXPECT_EQ(readFile(dst + "/notes/d2.txt"), "d");
    const Lines logged = loggedMessages();
    ASSERT_GE(logged.size(), 2u);
    EXPECT_EQ(logged[0], "Renamed folder " + dst + "/photos as " + dst + "/pictures");
    EXPECT_EQ(logged[1], "Renamed file " + dst + "/notes/a.txt as " + dst + "/notes/sub/a2.txt");
}

TEST_F(RenameTest, ATwoWayFollowersFolderRenameIsRememberedUnderItsNewName) {
    for (int i = 0; i < 50; ++i) put("music/" + std::to_string(i) + ".ogg", std::to_string(i));
    const Watch twoWay = watchOf(true);
    ASSERT_EQ(tessel::runWatch(context, twoWay).copied, 0);
    ASSERT_TRUE(move(dst + "/music", dst + "/songs"));
    writeFile(dst + "/songs/new.ogg", "new");
    RunScope scope;
    scope.add("", Depth::Names);
    scope.add("music/", Depth::Tree);
    scope.add("songs/", Depth::Tree);
    scope.addRename({1, "music/", "songs/"});
    const std::uint64_t folder = inodeOf(src + "/music");
    const RunResult result = tessel::runWatch(context, twoWay, Doing::Run, {.scope = &scope});
    EXPECT_EQ(result.copied, 1);
    EXPECT_EQ(result.conflicts, 0);
    EXPECT_EQ(inodeOf(src + "/songs"), folder);
    EXPECT_EQ(snapshotTree(src), snapshotTree(dst));
    // Remembered there: a full run finds both sides in step, and a deletion on one side is one.
    EXPECT_TRUE(settled(tessel::runWatch(context, twoWay)));
    watch.DeleteAbsent = 1;
    std::remove((src + "/songs/7.ogg").c_str());
    EXPECT_EQ(tessel::runWatch(context, watchOf(true)).deleted, 1);
    EXPECT_FALSE(exists(dst + "/songs/7.ogg"));
}

}  // namespace
}  // namespace tessel
