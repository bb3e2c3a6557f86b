#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/TestSupport.h"
#include "sync/SyncWatch.h"

namespace tessel {
namespace {

using test::exists;
using test::readFile;
using test::snapshotTree;
using test::writeFile;

class SyncWatchTest : public ::testing::Test, public test::TreeFixture {
  protected:
    void run() {
        SyncWatch(context, getText(watch.SourceDir), getText(watch.DestDir), getText(watch.FileMask),
                  getText(watch.RunFile), watch.FileAction, watch);
    }
};

TEST_F(SyncWatchTest, MaskListsRunEachMaskInOrder) {
    test::makeFolders(src + "/sub");
    writeFile(src + "/a.txt", "a");
    writeFile(src + "/b.doc", "b");
    writeFile(src + "/c.csv", "c");
    writeFile(src + "/d.md", "d");
    writeFile(src + "/sub/e.txt", "e");
    watch.WideLog = 1;

    struct Case {
        const char* masks;
        std::vector<std::string> tree;
    };
    const Case cases[] = {
        {"*.txt,*.doc:*.csv", {"a.txt=a", "b.doc=b", "c.csv=c", "sub/", "sub/e.txt=e"}},
        {"*.md;", {"d.md=d", "sub/"}},                   // a trailing ";" adds nothing
        {";", {"sub/"}},                                 // one empty mask: folders only
        {"", {"sub/"}},                                  // the empty list runs as one empty mask
        {"*.doc; *.md", {"b.doc=b", "d.md=d", "sub/"}},  // read as typed: the blank goes
        {"*.doc;;*.md", {"b.doc=b", "d.md=d", "sub/"}},
        {"*.MD", {"d.md=d", "sub/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.masks);
        test::TempDir out;
        setText(watch.DestDir, out / "d");
        setText(watch.FileMask, c.masks);
        run();
        EXPECT_EQ(snapshotTree(out / "d"), c.tree);
    }
    // Three masks log in mask order.
    writeFile(context.LogFilePath, "");
    setText(watch.DestDir, dst);
    setText(watch.FileMask, "*.csv,*.doc");
    run();
    EXPECT_EQ(loggedMessages(),
              (std::vector<std::string>{"Copied file " + src + "/c.csv ", "Copied file " + src + "/b.doc "}));
}

TEST_F(SyncWatchTest, ProgressBarIsSizedShownAndHidden) {
    writeFile(src + "/1", "1");
    writeFile(src + "/2", "2");
    writeFile(src + "/.hidden", "h");
    display.progressVisible = false;
    run();
    EXPECT_EQ(display.progressMax, 2);
    EXPECT_EQ(display.progressMin, 0);
    EXPECT_EQ(display.steps, 2);
    EXPECT_FALSE(display.progressVisible);
    EXPECT_EQ(display.statusText, "");
}

TEST_F(SyncWatchTest, CopyWithRootFolder) {
    writeFile(src + "/a.txt", "a");
    watch.CopyWithRoot = 1;
    run();
    EXPECT_EQ(snapshotTree(dst), (std::vector<std::string>{"src/", "src/a.txt=a"}));

    // A source ending in "/" has no name of its own: the destination stays as it is.
    test::TempDir out;
    setText(watch.SourceDir, src + "/");
    setText(watch.DestDir, out / "d");
    run();
    EXPECT_EQ(snapshotTree(out / "d"), (std::vector<std::string>{"a.txt=a"}));

    // Off unless exactly 1.
    watch.CopyWithRoot = 2;
    setText(watch.SourceDir, src);
    setText(watch.DestDir, out / "e");
    run();
    EXPECT_EQ(snapshotTree(out / "e"), (std::vector<std::string>{"a.txt=a"}));
}

TEST_F(SyncWatchTest, BothDirectionsWithDeletion) {
    test::makeFolders(dst);
    writeFile(src + "/only-source.txt", "s");
    writeFile(dst + "/only-destination.txt", "d");
    watch.BiDirect = 1;
    run();
    EXPECT_EQ(snapshotTree(src), snapshotTree(dst));
    EXPECT_EQ(snapshotTree(src), (std::vector<std::string>{"only-destination.txt=d", "only-source.txt=s"}));

    // With deletion in both directions a file gone from one side is not brought back once the copy
    // passes have run: it is copied back first. Deletion removes what appears on one side only after
    // the copy passes, which with copies in both directions is nothing.
    watch.DeleteAbsent = 1;
    std::remove((src + "/only-source.txt").c_str());
    run();
    EXPECT_TRUE(exists(src + "/only-source.txt"));

    // One direction with deletion: the destination follows the source.
    watch.BiDirect = 0;
    std::remove((src + "/only-source.txt").c_str());
    run();
    EXPECT_EQ(snapshotTree(dst), (std::vector<std::string>{"only-destination.txt=d"}));
    ASSERT_FALSE(loggedMessages().empty());
    EXPECT_EQ(loggedMessages().back(), "Delete file " + dst + "/only-source.txt");
}

TEST_F(SyncWatchTest, MoveBothWaysEndsInTheSource) {
    test::makeFolders(dst);
    writeFile(src + "/s.txt", "s");
    writeFile(dst + "/d.txt", "d");
    watch.FileAction = faMove;
    watch.BiDirect = 1;
    run();
    EXPECT_EQ(snapshotTree(src), (std::vector<std::string>{"d.txt=d", "s.txt=s"}));
    EXPECT_EQ(snapshotTree(dst), (std::vector<std::string>{}));
}

class AfterSyncProgram : public SyncWatchTest {
  protected:
    // A script that records its working folder and arguments, then exits with `status`.
    std::string makeScript(int status) {
        const std::string folder = dir / "tools";
        test::makeFolders(folder);
        const std::string script = folder + "/record.sh";
        writeFile(
            script,
            "#!/bin/sh\npwd > \"$0.out\"\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\" >> \"$0.out\"; done\n"
            "read line && echo stdin-had-data >> \"$0.out\"\nexit " +
                std::to_string(status) + "\n");
        chmod(script.c_str(), 0755);
        return script;
    }
};

TEST_F(AfterSyncProgram, RunsInItsFolderWithItsParameters) {
    const std::string script = makeScript(1);
    setText(watch.RunFile, script);
    setText(watch.RunParams, "-v 'two words' \"$HOME\"");
    run();
    EXPECT_EQ(readFile(script + ".out"), dir / "tools\n[-v]\n[two words]\n[$HOME]\n");
    // The program ran, so "Ok Worked"; its exit status 1 is a failure of its own.
    EXPECT_EQ(loggedMessages(),
              (std::vector<std::string>{"Start " + script, "Ok Worked " + script,
                                        "Error running program " + script + ": exit status 1"}));
    ASSERT_GE(display.statusHistory.size(), 3u);
    EXPECT_EQ(display.statusHistory[display.statusHistory.size() - 3], "Running " + script);
    EXPECT_EQ(display.statusText, "");
}

TEST_F(AfterSyncProgram, ProgramThatCannotStart) {
    struct Case {
        std::string program;
        std::string parameters;
        std::string reason;
    };
    writeFile(dir / "not-executable", "data");
    const Case cases[] = {
        {dir / "missing-program", "", "No such file or directory"},
        {dir / "not-executable", "", "Permission denied"},
        {makeScript(0), "'unbalanced", "Invalid argument"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program + " " + c.parameters);
        writeFile(context.LogFilePath, "");
        setText(watch.RunFile, c.program);
        setText(watch.RunParams, c.parameters);
        run();
        EXPECT_EQ(loggedMessages(),
                  (std::vector<std::string>{"Start " + c.program, "Abnormal Stop " + c.program,
                                            "Error running program " + c.program + ": " + c.reason}));
    }
    EXPECT_FALSE(exists(dir / "tools/record.sh.out"));
}

TEST_F(AfterSyncProgram, EmptyRunFileStartsNothing) {
    writeFile(src + "/a", "a");
    run();
    EXPECT_FALSE(exists(context.LogFilePath));
    EXPECT_EQ(display.statusText, "");
}

}  // namespace
}  // namespace tessel
