// tessel-batch versions and restore from the outside: kept files laid out as runs keep them, the
// program run, the trees, the log, the output and the exit status checked.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace tessel {
namespace {

using test::readFile;
using test::writeFile;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) result.push_back(line);
    return result;
}

class BatchRestoreTest : public ::testing::Test, public test::CoreFixture {
  protected:
    BatchRestoreTest() {
        // A watch that runs both ways: kept files on both sides, and conflict copies.
        const Outcome added =
            batch({"add", "docs", "--source", src, "--destination", dst, "--both-directions", "yes"});
        EXPECT_EQ(added.status, 0) << added.err;
        writeFile(dst + "/.tessel-versions/2026-12-02 090000/report.txt", "older");
        writeFile(dst + "/.tessel-versions/2026-12-03 090000/report.txt", "newest kept");
        writeFile(dst + "/.tessel-versions/2026-12-03 090000/sub/notes.txt", "notes");
        writeFile(src + "/report.conflict-20261201-090000.txt", "the other edit");
        writeFile(dst + "/report.txt", "current");
    }

    // tessel-batch in the test's folder, with its watch file and log.
    Outcome batch(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {TESSEL_BATCH_PATH, "--watch-file", context.WatchFilePath,
                                             "--log-file", context.LogFilePath});
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        const std::string out = output / "out", err = output / "err";
        const pid_t child = fork();
        if (child == 0) {
            const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (outFd < 0 || errFd < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0 ||
                chdir(dir.path().c_str()) != 0)
                _exit(126);
            execv(argv[0], argv.data());
            _exit(127);
        }
        Outcome outcome;
        int status = 0;
        if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
            outcome.status = WEXITSTATUS(status);
        outcome.out = readFile(out);
        outcome.err = readFile(err);
        return outcome;
    }

    test::TempDir output;
    const std::string src = dir / "src", dst = dir / "dst";
};

TEST_F(BatchRestoreTest, KeptFilesAreListedAndPutBackByPathAndTime) {
    const std::string newest = dst + "/.tessel-versions/2026-12-03 090000/report.txt";
    const std::string older = dst + "/.tessel-versions/2026-12-02 090000/report.txt";
    const std::string conflict = src + "/report.conflict-20261201-090000.txt";
    const std::vector<std::string> reportLines{"report.txt\t2026-12-03T09:00:00\t11\t" + newest,
                                               "report.txt\t2026-12-02T09:00:00\t5\t" + older,
                                               "report.txt\t2026-12-01T09:00:00\t14\t" + conflict};
    Outcome listed = batch({"versions", "docs"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    std::vector<std::string> all = reportLines;
    all.push_back("sub/notes.txt\t2026-12-03T09:00:00\t5\t" + dst +
                  "/.tessel-versions/2026-12-03 090000/sub/notes.txt");
    EXPECT_EQ(lines(listed.out), all);
    for (const std::string& path : {std::string("report.txt"), dst + "/report.txt", src + "/./report.txt"}) {
        listed = batch({"versions", "0", path});
        EXPECT_EQ(listed.status, 0) << path << ": " << listed.err;
        EXPECT_EQ(lines(listed.out), reportLines) << path;
    }

    // The newest in place: the current file is kept first, and the restore logged.
    Outcome restored = batch({"restore", "DOCS", "report.txt"});
    ASSERT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(readFile(dst + "/report.txt"), "newest kept");
    const std::vector<std::string> logged = loggedMessages();
    ASSERT_EQ(logged.size(), 1u);
    const std::string prefix = "Restored " + dst + "/report.txt from " + newest +
                               ", keeping the file it replaced as " + dst + "/.tessel-versions/";
    EXPECT_EQ(logged[0].substr(0, prefix.size()), prefix) << logged[0];
    EXPECT_EQ(readFile(logged[0].substr(logged[0].rfind(" as ") + 4)), "current");
    EXPECT_NE(restored.out.find(logged[0]), std::string::npos) << "the log line on stdout too";

    // By time, in any of the forms it is written in; a conflict copy goes beside its own file.
    restored = batch({"restore", "docs", "report.txt", "--time", "20261201-090000"});
    ASSERT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(readFile(src + "/report.txt"), "the other edit");
    test::makeFolders(dir / "out");
    restored = batch({"restore", "docs", "report.txt", "--time=2026-12-02 090000", "--to", "out"});
    ASSERT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(readFile(dir / "out/report.txt"), "older");
    ASSERT_FALSE(loggedMessages().empty());
    EXPECT_EQ(loggedMessages().back(), "Restored " + dir / "out/report.txt" + " from " + older);

    // Refusals: a file already in the other folder, a link where it would write, a run going on.
    restored = batch({"restore", "docs", "report.txt", "--to", dir / "out"});
    EXPECT_EQ(restored.status, 1);
    EXPECT_NE(restored.err.find("a file of that name is already there; nothing was written"),
              std::string::npos)
        << restored.err;
    EXPECT_EQ(readFile(dir / "out/report.txt"), "older");
    writeFile(dir / "outside.txt", "not Tessel's");
    ASSERT_EQ(::unlink((dst + "/report.txt").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "outside.txt").c_str(), (dst + "/report.txt").c_str()), 0);
    restored = batch({"restore", "docs", "report.txt"});
    EXPECT_EQ(restored.status, 1);
    EXPECT_NE(restored.err.find("writing " + dst + "/report.txt: a symbolic link, not followed"),
              std::string::npos)
        << restored.err;
    EXPECT_EQ(readFile(dir / "outside.txt"), "not Tessel's");
    EXPECT_EQ(loggedMessages().size(), 3u) << "a refusal is no restore";
}

TEST_F(BatchRestoreTest, WhatMatchesNothingAndWrongWordsAreUsageErrors) {
    const std::string records = readFile(context.WatchFilePath);
    struct Case {
        std::vector<std::string> arguments;
        const char* said;
    };
    for (const Case& c : std::vector<Case>{
             {{"restore", "docs", "report.txt", "--time", "2020-01-01T00:00:00"},
              "nothing of report.txt was kept at 2020-01-01T00:00:00 in watch docs (tessel-batch versions "
              "docs"},
             {{"restore", "docs", "missing.txt"}, "nothing of missing.txt is kept in watch docs"},
             {{"versions", "docs", "missing.txt"}, "nothing of missing.txt is kept in watch docs\n"},
             {{"restore", "photos", "report.txt"}, "no watch photos in"},
             {{"versions", "photos"}, "no watch photos in"},
             {{"restore", "docs", "report.txt", "--time", "yesterday"},
              "--time needs a time as versions lists it"},
             {{"restore", "docs", "report.txt", "--time"}, "--time needs a time"},
             {{"restore", "docs", "report.txt", "--to="}, "--to needs a folder"},
             {{"restore", "docs"}, "restore needs a WATCH and the PATH of a file"},
             {{"restore", "docs", "/"}, "restore needs the PATH of a file"},
             {{"versions"}, "versions needs a WATCH"},
             {{"versions", "docs", "a", "b"}, "takes one WATCH and one PATH, not also \"b\""},
             {{"versions", "docs", "--time", "20261201-090000"}, "unknown option --time for versions"},
             {{"add", "restore", "--source", "/a", "--destination", "/b"},
              "\"restore\" is a command of tessel-batch"},
             {{"add", "versions", "--source", "/a", "--destination", "/b"},
              "is a command of tessel-batch"}}) {
        SCOPED_TRACE(c.arguments[0] + " " + (c.arguments.size() > 2 ? c.arguments[2] : ""));
        const Outcome outcome = batch(c.arguments);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_NE(outcome.err.find(c.said), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.out, "");
    }
    EXPECT_EQ(readFile(dst + "/report.txt"), "current");
    EXPECT_EQ(readFile(context.WatchFilePath), records);
    EXPECT_TRUE(loggedMessages().empty());

    // One folder inside the other is said, and saved all the same.
    Outcome inside = batch({"add", "inside", "--source", src, "--destination", src + "/backup"});
    EXPECT_EQ(inside.status, 0) << inside.err;
    EXPECT_EQ(inside.err, "tessel-batch: warning: watch inside: the destination folder " + src +
                              "/backup lies inside the source folder " + src +
                              "; runs skip it when they read the source\n");
    inside = batch({"set", "inside", "--destination", dir.path(), "--name", "outside"});
    EXPECT_EQ(inside.status, 0) << inside.err;
    EXPECT_NE(
        inside.err.find("watch outside: the source folder " + src + " lies inside the destination folder"),
        std::string::npos)
        << inside.err;
    EXPECT_EQ(batch({"set", "outside", "--destination", dir / "elsewhere"}).err, "");
}

}  // namespace
}  // namespace tessel
