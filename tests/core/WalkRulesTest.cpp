// What a watch's settings leave out of its runs, and what they do with links: excludes and names that
// start with a dot in every kind of run, the mass-deletion guard and the state of a two-way watch;
// links followed, copied as links or skipped; Tessel's own versions folder whatever the settings say.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/Faults.h"
#include "support/TestSupport.h"
#include "sync/Preview.h"
#include "sync/WalkRules.h"

namespace tessel {
namespace {

using test::snapshotTree;
using test::writeFile;
using Tree = std::vector<std::string>;

TEST(WalkRules, TakesNamesAndPathsAsTheSettingsSay) {
    const WalkRules before;  // a watch without settings: what every run did before them
    const WalkRules all({}, HiddenFiles::Include, LinkHandling::Follow);
    const WalkRules some({"*.tmp", "build/tmp", "*/cache", "/out", "logs/", "/"}, HiddenFiles::Include,
                         LinkHandling::Follow);
    struct Row {
        const WalkRules& rules;
        const char* relative;
        const char* name;
        bool taken;
    };
    for (const Row& row : {
             Row{before, "", "a.txt", true},
             {before, "x/", ".git", false},
             {all, "x/", ".git", true},
             {all, "x/y/", ".tessel-versions", false},  // Tessel's own, at any depth, in any case
             {all, "", ".Tessel-Versions", false},
             {all, "", ".tessel-0000abcd-00000001.tmp", false},  // a temporary of a run still going
             {all, "", ".tessel-0000abcd-00000001.probe", false},
             {all, "", ".tessel-DeAd-BeEf.tmp", true},  // not of Tessel's form: the user's
             {some, "a/b/", "x.TMP", false},            // a name, at any depth, letter case ignored
             {some, "build/", "tmp", false},            // a path below the root
             {some, "", "tmp", true},
             {some, "src/build/", "tmp", true},
             {some, "a/b/", "cache", false},  // "*" crosses "/"
             {some, "", "cache", true},
             {some, "", "out", false},
             {some, "x/", "out", true},
             {some, "x/y/", "logs", false},
             {some, "", "a.txt", true},
         }) {
        SCOPED_TRACE(std::string(row.relative) + row.name);
        EXPECT_EQ(row.rules.takes(row.relative, row.name), row.taken);
    }
}

class WalkRulesTest : public ::testing::Test, public test::TreeFixture {
  protected:
    WalkRulesTest() {
        context.options.stateFolder = dir / "state";
        test::makeFolders(dst);
    }
    // Runs the watch with `extras`, a preview first: it changes nothing and tells what the run does.
    RunResult run() {
        const Tree before[] = {snapshotTree(src), snapshotTree(dst)};
        PlanRecorder preview, done;
        context.observer = &preview;
        runWatch(Doing::Preview);
        EXPECT_EQ(snapshotTree(src), before[0]);
        EXPECT_EQ(snapshotTree(dst), before[1]);
        context.observer = &done;
        const RunResult result = runWatch();
        context.observer = nullptr;
        EXPECT_EQ(lines(preview), lines(done));
        EXPECT_EQ(preview.errors, done.errors);
        return result;
    }
    static Tree lines(const PlanRecorder& plan) {
        Tree lines;
        for (const RunAction& action : plan.actions) lines.push_back(actionLine(action));
        return lines;
    }
    void link(const std::string& target, const std::string& path) {
        ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0) << path;
    }
};

// Excluded names, names with a dot where they are skipped and Tessel's versions folder (even with an
// empty exclude list) are neither copied, moved nor deleted, on either side, and no preview says them.
TEST_F(WalkRulesTest, ExcludesAndHiddenNamesInEveryKindOfRun) {
    const std::vector<std::string> excludes = {"*.tmp", "build/tmp"};
    struct Case {
        const char* name;
        std::vector<std::string> excludes;
        HiddenFiles hidden;
        std::uint8_t action, both, deleteAbsent;
        Tree source, destination;
    };
    const Tree source = {
        ".config/",   ".config/app.ini=c", ".profile=p", ".tessel-versions/", ".tessel-versions/s.txt=s",
        "build/",     "build/keep.o=b",    "build/tmp/", "build/tmp/x.o=x",   "keep.txt=k",
        "notes.tmp=t"};
    const Tree ownVersions = {".tessel-versions/", ".tessel-versions/kept/", ".tessel-versions/kept/v.txt=v"};
    const auto with = [](Tree tree, const Tree& more) {
        tree.insert(tree.end(), more.begin(), more.end());
        std::sort(tree.begin(), tree.end());
        return tree;
    };
    const Case cases[] = {
        {"one way, names with a dot skipped", excludes, HiddenFiles::Skip, faCopy, 0, 1, source,
         with(ownVersions, {".cache/", ".cache/z=z", ".old=o", "build/", "build/keep.o=b", "build/tmp/",
                            "build/tmp/y.o=y", "keep.txt=k", "stale.tmp=s"})},
        {"one way, names with a dot included", excludes, HiddenFiles::Include, faCopy, 0, 1, source,
         with(ownVersions, {".cache/", ".cache/z=z", ".config/", ".config/app.ini=c", ".profile=p", "build/",
                            "build/keep.o=b", "build/tmp/", "build/tmp/y.o=y", "keep.txt=k", "stale.tmp=s"})},
        {"one way, nothing excluded",
         {},
         HiddenFiles::Include,
         faCopy,
         0,
         1,
         source,
         with(ownVersions, {".cache/", ".cache/z=z", ".config/", ".config/app.ini=c", ".profile=p", "build/",
                            "build/keep.o=b", "build/tmp/", "build/tmp/x.o=x", "keep.txt=k", "notes.tmp=t"})},
        {"both directions, a first run", excludes, HiddenFiles::Include, faCopy, 1, 1,
         with(source, {".cache/", ".cache/z=z", ".old=o", "old.txt=o"}),
         with(ownVersions,
              {".cache/", ".cache/z=z", ".config/", ".config/app.ini=c", ".old=o", ".profile=p", "build/",
               "build/keep.o=b", "build/tmp/", "build/tmp/y.o=y", "keep.txt=k", "old.txt=o", "stale.tmp=s"})},
        {"move",
         excludes,
         HiddenFiles::Skip,
         faMove,
         0,
         0,
         {".config/", ".config/app.ini=c", ".profile=p", ".tessel-versions/", ".tessel-versions/s.txt=s",
          "build/", "build/tmp/", "build/tmp/x.o=x", "notes.tmp=t"},
         with(ownVersions, {".cache/", ".cache/z=z", ".old=o", "build/", "build/keep.o=b", "build/tmp/",
                            "build/tmp/y.o=y", "keep.txt=k", "old.txt=o", "stale.tmp=s"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(src);
        std::filesystem::remove_all(dst);
        std::filesystem::remove_all(dir / "state");
        for (const char* file : {".config/app.ini=c", ".profile=p", ".tessel-versions/s.txt=s",
                                 "build/keep.o=b", "build/tmp/x.o=x", "keep.txt=k", "notes.tmp=t"}) {
            const std::string entry = file;
            writeFile(src + "/" + entry.substr(0, entry.find('=')), entry.substr(entry.find('=') + 1));
        }
        for (const char* file : {"old.txt=o", ".old=o", "stale.tmp=s", "build/tmp/y.o=y", ".cache/z=z",
                                 ".tessel-versions/kept/v.txt=v"}) {
            const std::string entry = file;
            writeFile(dst + "/" + entry.substr(0, entry.find('=')), entry.substr(entry.find('=') + 1));
        }
        extras.excludes = c.excludes;
        extras.hidden = c.hidden;
        watch.FileAction = c.action;
        watch.BiDirect = c.both;
        watch.DeleteAbsent = c.deleteAbsent;
        EXPECT_EQ(run().failed, 0);
        EXPECT_EQ(snapshotTree(src), c.source);
        EXPECT_EQ(snapshotTree(dst), c.destination);
    }
}

// The guard counts only the files the rules take: an emptied source full of excluded files, or a few
// files left among many excluded ones, still stops the deletions.
TEST_F(WalkRulesTest, TheGuardCountsOnlyWhatTheRulesTake) {
    context.options.deleteLimitPercent = 50;
    watch.DeleteAbsent = 1;
    extras.excludes = {"*.log"};
    for (int i = 0; i < 20; ++i) {
        writeFile(src + "/" + std::to_string(i) + ".log", "log");
        writeFile(dst + "/" + std::to_string(i) + ".log", "log");
    }
    for (int i = 0; i < 12; ++i) writeFile(dst + "/gone-" + std::to_string(i) + ".txt", "gone");
    writeFile(src + "/kept.txt", "k");
    writeFile(dst + "/kept.txt", "k");
    RunResult result = run();
    EXPECT_EQ(result.refusedDeletions, 12);
    ASSERT_FALSE(loggedMessages().empty());
    EXPECT_EQ(loggedMessages().back(), "Error deleting files in " + dst +
                                           "/: 12 of the 13 files held would be deleted, more than the "
                                           "limit of 50 %; nothing was deleted");
    std::filesystem::remove(src + "/kept.txt");
    result = run();
    EXPECT_EQ(result.refusedDeletions, 13) << "a source of excluded files alone is an empty one";
    EXPECT_EQ(result.deleted, 0);
}

// A two-way watch keeps what it knew of a name left out: not deleted while excluded, and once taken
// again, a deletion the user made meanwhile is carried over as any other.
TEST_F(WalkRulesTest, TwoWayStateKeepsWhatItKnewOfNamesLeftOut) {
    watch.BiDirect = 1;
    watch.DeleteAbsent = 1;
    writeFile(src + "/a.log", "a");
    writeFile(src + "/b.txt", "b");
    run();
    ASSERT_TRUE(test::exists(dst + "/a.log"));
    std::filesystem::remove(src + "/a.log");
    extras.excludes = {"*.log"};
    EXPECT_EQ(run().deleted, 0);
    EXPECT_TRUE(test::exists(dst + "/a.log")) << "not deleted while excluded";
    extras.excludes = {};
    EXPECT_EQ(run().deleted, 1);
    EXPECT_EQ(snapshotTree(dst), Tree{"b.txt=b"}) << "the deletion made while excluded, carried over";
    EXPECT_EQ(snapshotTree(src), Tree{"b.txt=b"});
}

// Links on the side a run reads: followed (the file they lead to copied), copied as links (compared by
// their target, whatever they lead to: a file, a folder, nothing, each other), or left out on both sides.
TEST_F(WalkRulesTest, LinksFollowedCopiedAsLinksOrSkipped) {
    struct Case {
        LinkHandling links;
        std::uint8_t both;
        Tree destination;
    };
    const Case cases[] = {
        {LinkHandling::Follow, 0, {"file.txt=f", "sub/", "sub/x.txt=x", "to-file=f"}},
        {LinkHandling::CopyAsLinks,
         0,
         {"dangling->nowhere", "file.txt=f", "loop-a->loop-b", "loop-b->loop-a", "sub/", "sub/x.txt=x",
          "to-file->file.txt", "to-folder->sub"}},
        {LinkHandling::Skip, 0, {"extra->file.txt", "file.txt=f", "sub/", "sub/x.txt=x"}},
        {LinkHandling::CopyAsLinks,
         1,
         {"dangling->nowhere", "extra->file.txt", "file.txt=f", "loop-a->loop-b", "loop-b->loop-a", "sub/",
          "sub/x.txt=x", "to-file->file.txt", "to-folder->sub"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.links) * 10 + c.both);
        std::filesystem::remove_all(src);
        std::filesystem::remove_all(dst);
        std::filesystem::remove_all(dir / "state");
        writeFile(src + "/file.txt", "f");
        writeFile(src + "/sub/x.txt", "x");
        link("file.txt", src + "/to-file");
        link("nowhere", src + "/dangling");
        link("loop-b", src + "/loop-a");
        link("loop-a", src + "/loop-b");
        link("sub", src + "/to-folder");
        // The source lacks it: deleted (the link, not what it leads to), unless links are left out.
        writeFile(dst + "/file.txt", "f");
        link("file.txt", dst + "/extra");
        extras.links = c.links;
        watch.BiDirect = c.both;
        watch.DeleteAbsent = 1;
        EXPECT_EQ(run().failed, 0);
        EXPECT_EQ(snapshotTree(dst), c.destination);
        if (c.links != LinkHandling::CopyAsLinks) continue;
        EXPECT_EQ(run().copied, 0) << "alike by their targets";
        // A link that leads elsewhere now replaces the other side's; one deleted goes on the other side.
        std::filesystem::remove(src + "/to-file");
        link("sub/x.txt", src + "/to-file");
        std::filesystem::remove(src + "/dangling");
        const RunResult result = run();
        EXPECT_EQ(result.copied, 1);
        EXPECT_EQ(result.deleted, 1);
        EXPECT_EQ(std::filesystem::read_symlink(dst + "/to-file"), "sub/x.txt");
        EXPECT_FALSE(std::filesystem::is_symlink(dst + "/dangling"));
        EXPECT_EQ(test::readFile(dst + "/file.txt"), "f") << "what a link led to stays as it was";
        if (c.both) {
            EXPECT_EQ(std::filesystem::read_symlink(src + "/extra"), "file.txt");
        }
    }
}

#ifdef TESSEL_FAULT_INJECTION
// A file system without symbolic links (as the probe finds it) gets one error line per link to copy as a
// link, counted, and nothing written for it; the rest of the run goes on.
TEST_F(WalkRulesTest, FaultLinksOntoAFileSystemWithoutThem) {
    platform::faults::refuse(platform::faults::Operation::MakeLink, EPERM);
    extras.links = LinkHandling::CopyAsLinks;
    writeFile(src + "/file.txt", "f");
    link("file.txt", src + "/to-file");
    for (const std::uint8_t both : {0, 1}) {
        watch.BiDirect = both;
        EXPECT_EQ(run().failed, 1);
        EXPECT_EQ(snapshotTree(dst), Tree{"file.txt=f"});
        ASSERT_FALSE(loggedMessages().empty());
        EXPECT_EQ(loggedMessages().back(), "Error copying file " + src +
                                               "/to-file: the file system it was to go to cannot hold "
                                               "symbolic links");
    }
}
#endif

}  // namespace
}  // namespace tessel
