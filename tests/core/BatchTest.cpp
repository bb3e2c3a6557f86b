// tessel-batch from the outside: a watch file built here, the program run, the trees, the log, the
// output and the exit status checked.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "sync/Scheduler.h"
#include "watch/WatchFile.h"

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
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        result.push_back(line);
    }
    return result;
}

class BatchTest : public ::testing::Test, public test::CoreFixture {
  protected:
    Outcome run(std::vector<std::string> arguments, const std::string& folder = "") {
        arguments.insert(arguments.begin(), TESSEL_BATCH_PATH);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        const std::string out = output / "out", err = output / "err";
        const pid_t child = fork();
        if (child == 0) {
            const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (outFd < 0 || errFd < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0) _exit(126);
            if (chdir((folder.empty() ? dir.path() : folder).c_str()) != 0) _exit(126);
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

    TWatchRec watch(const std::string& name, std::uint8_t runMode, TDateTime lastRun) {
        TWatchRec watch = test::makeWatch(dir / (name + "-src"), dir / (name + "-dst"), runMode, pd1Day);
        watch.LastRunTime = lastRun;
        test::makeFolders(dir / (name + "-src/sub"));
        writeFile(dir / (name + "-src/a.txt"), name);
        writeFile(dir / (name + "-src/sub/b.txt"), name + " below");
        return watch;
    }

    std::string pair(const std::string& name) {
        return dir / (name + "-src") + " with folder " + dir / (name + "-dst");
    }

    test::TempDir output;
};

TEST_F(BatchTest, RunsWatchesByIndexLikeCheckNow) {
    const TDateTime longAgo = Now() - 1000;
    ASSERT_TRUE(AppendWatchRec(context, watch("plain", rmStop, longAgo), context.WatchFilePath));
    ASSERT_TRUE(AppendWatchRec(context, watch("blocked", rmManual, longAgo), context.WatchFilePath));
    test::makeFolders(dir / "blocked-dst/a.txt");  // a folder where the copy of a file should go

    const Outcome plain =
        run({"--watch-file", context.WatchFilePath, "--log-file=" + context.LogFilePath, "0"});
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(test::snapshotTree(dir / "plain-dst"), test::snapshotTree(dir / "plain-src"));
    EXPECT_EQ(loggedMessages(), (std::vector<std::string>{"Start Manual Synhro folder " + pair("plain"),
                                                          "End Manual Synhro folder " + pair("plain")}));
    EXPECT_EQ(lines(plain.out), lines(readFile(context.LogFilePath))) << "every log line also on stdout";
    EXPECT_EQ(plain.err, "") << "no progress line when stderr is not a terminal";
    EXPECT_GT(ReadWatchRec(context, 0).LastRunTime, longAgo + 999);
    EXPECT_EQ(ReadWatchRec(context, 1).LastRunTime, longAgo);

    const Outcome failed =
        run({"--watch-file", context.WatchFilePath, "--log-file", context.LogFilePath, "1"});
    EXPECT_EQ(failed.status, 1) << failed.err;
    EXPECT_TRUE(test::exists(dir / "blocked-dst/sub/b.txt"));

    const Outcome missing =
        run({"--watch-file", context.WatchFilePath, "--log-file", context.LogFilePath, "0", "7"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("no watch 7"), std::string::npos) << missing.err;
    EXPECT_EQ(loggedMessages().back(), "Start Manual Synhro folder  with folder ");
}

TEST_F(BatchTest, SigintAndSigtermStopTheRunAtTheNextFile) {
    const int files = 3000;
    test::makeFolders(dir / "big-src");
    for (int i = 0; i < files; ++i)
        writeFile(dir / ("big-src/f" + std::to_string(i)), "file " + std::to_string(i));
    const std::string mark = dir / "program-ran";
    writeFile(dir / "program.sh", "#!/bin/sh\ntouch " + mark + "\n");
    chmod((dir / "program.sh").c_str(), 0755);
    const TDateTime longAgo = Now() - 1000;
    for (const char* destination : {"dst-term", "dst-int", "dst-twice"}) {
        TWatchRec watch;
        InitWatchRec(watch);
        watch.TuneMode = tmSyncAll;
        watch.WideLog = 1;
        watch.LastRunTime = longAgo;
        setText(watch.SourceDir, dir / "big-src");
        setText(watch.DestDir, dir / destination);
        setText(watch.FileMask, "*.*");
        setText(watch.RunFile, dir / "program.sh");
        ASSERT_TRUE(AppendWatchRec(context, watch, context.WatchFilePath));
    }

    int index = 0;
    // The third run gets both signals: the second ends it at once, whichever came first.
    for (const std::vector<int>& signals :
         {std::vector{SIGTERM}, std::vector{SIGINT}, std::vector{SIGINT, SIGTERM}}) {
        const int signal = signals.front();
        SCOPED_TRACE(index);
        // Stdout is a pipe read only a little at first: once it is full, the run waits mid-way.
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        const std::string argument = std::to_string(index);
        const pid_t child = fork();
        if (child == 0) {
            std::signal(SIGINT, SIG_DFL);
            std::signal(SIGTERM, SIG_DFL);
            const int errFd = open((output / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (errFd < 0 || dup2(out[1], 1) < 0 || dup2(errFd, 2) < 0) _exit(126);
            close(out[0]);
            execl(TESSEL_BATCH_PATH, TESSEL_BATCH_PATH, "--watch-file", context.WatchFilePath.c_str(),
                  "--log-file", context.LogFilePath.c_str(), argument.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_GT(child, 0);
        close(out[1]);
        std::string seen;
        char buffer[4096];
        while (seen.find("Copied file") == std::string::npos) {
            const ssize_t got = read(out[0], buffer, sizeof buffer);
            ASSERT_GT(got, 0) << "the run ended before it copied";
            seen.append(buffer, static_cast<std::size_t>(got));
        }
        for (const int sent : signals) kill(child, sent);
        while (read(out[0], buffer, sizeof buffer) > 0) {
        }
        close(out[0]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (signals.size() > 1) {
            EXPECT_TRUE(WIFSIGNALED(status) && (WTERMSIG(status) == SIGINT || WTERMSIG(status) == SIGTERM))
                << status;
            continue;
        }
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_NE(
            readFile(output / "err").find(signal == SIGINT ? "stopped by SIGINT" : "stopped by SIGTERM"),
            std::string::npos);

        // Every file that is there is whole; the rest were not begun.
        const std::string destination = dir / (index == 0 ? "dst-term" : "dst-int");
        const std::vector<std::string> copied = test::listFolder(destination);
        EXPECT_GT(copied.size(), 0u);
        EXPECT_LT(copied.size(), static_cast<std::size_t>(files));
        for (const std::string& name : copied)
            EXPECT_EQ(readFile(destination + "/" + name), readFile(dir / ("big-src/" + name))) << name;
        const std::vector<std::string> logged = loggedMessages();
        EXPECT_EQ(logged.back(), std::string(kStoppedLine) + dir / "big-src with folder " + destination);
        EXPECT_EQ(ReadWatchRec(context, index).LastRunTime, longAgo);
        EXPECT_FALSE(test::exists(mark));
        ++index;
    }
}

// A two-way watch keeps its state in the data folder; a conflict needs the user's attention.
TEST_F(BatchTest, TwoWayStateLivesInTheDataFolderAndAConflictFails) {
    TWatchRec both = watch("both", rmManual, Now());
    both.BiDirect = 1;
    ASSERT_TRUE(AppendWatchRec(context, both, context.WatchFilePath));
    const std::vector<std::string> arguments{"--watch-file", context.WatchFilePath, "--log-file",
                                             context.LogFilePath, "0"};
    EXPECT_EQ(run(arguments).status, 0);
    EXPECT_EQ(test::listFolder(dir / "Data/state").size(), 1u);
    writeFile(dir / "both-src/a.txt", "edited in the source");
    writeFile(dir / "both-dst/a.txt", "edited in the destination");
    test::setModificationTime(dir / "both-src/a.txt", 1'600'000'000);
    test::setModificationTime(dir / "both-dst/a.txt", 1'700'000'000);
    const Outcome conflict = run(arguments);
    EXPECT_EQ(conflict.status, 1) << conflict.err;
    EXPECT_NE(conflict.out.find("Conflict " + dir / "both-src/a.txt: "), std::string::npos) << conflict.out;
    EXPECT_EQ(readFile(dir / "both-src/a.txt"), "edited in the destination");
}

TEST_F(BatchTest, PathsComeFromTheCurrentFolder) {
    // Without Tessel.ini: where a first start would put the files.
    test::makeFolders(dir / "Data");
    TWatchRec listed = watch("listed", rmTimer, encodeDateTime({2026, 5, 1, 8, 30, 15, 0}));
    listed.WideLog = 1;
    listed.BiDirect = 1;
    ASSERT_TRUE(AppendWatchRec(context, listed, dir / "Data/WatchDef.wth"));
    const Outcome list = run({"--list"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, "0\tTimer\t1 Day\tCopy\tSync All\twide-log,bidirect,versions\t2026-05-01T08:30:15\t" +
                            dir / "listed-src" + "\t" + dir / "listed-dst" + "\t*.*\tlisted-src\n")
        << "the name last, proposed from the source folder";
    EXPECT_EQ(run({"0"}).status, 0);
    EXPECT_EQ(loggedMessages().front(), "Start Manual Synhro folder " + pair("listed"));
    EXPECT_FALSE(test::exists(dir / "Tessel.ini")) << "never written";

    // With Tessel.ini: its keys, whatever their case; the command line still wins.
    test::makeFolders(dir / "elsewhere");
    writeFile(dir / "elsewhere/Tessel.ini", "[main]\ndeffilenamefullpath = " + context.WatchFilePath +
                                                "\nDefLogNameFullPath=" + dir / "other.Log" + "\n");
    ASSERT_TRUE(AppendWatchRec(context, watch("due", rmTimer, Now() - 2), context.WatchFilePath));
    ASSERT_TRUE(AppendWatchRec(context, watch("fresh", rmTimer, Now()), context.WatchFilePath));
    const Outcome due = run({"--due"}, dir / "elsewhere");
    EXPECT_EQ(due.status, 0) << due.err;
    EXPECT_TRUE(test::exists(dir / "due-dst/sub/b.txt"));
    EXPECT_FALSE(test::exists(dir / "fresh-dst"));
    context.LogFilePath = dir / "other.Log";
    EXPECT_EQ(loggedMessages(), std::vector<std::string>{"Synhro folder " + pair("due")});
    EXPECT_EQ(run({"--due"}, dir / "elsewhere").out, "") << "nothing due any more";
    EXPECT_EQ(run({"--log-file", dir / "third.Log", "1"}, dir / "elsewhere").status, 0);
    EXPECT_TRUE(test::exists(dir / "third.Log"));
}

TEST_F(BatchTest, UsageErrorsAndMissingFiles) {
    ASSERT_TRUE(AppendWatchRec(context, watch("w", rmStop, Now()), dir / "Data.wth"));
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{},
                                               {"--list", "--due"},
                                               {"--list", "0"},
                                               {"x"},
                                               {"-1"},
                                               {"3000000000"},
                                               {"--watch-file"},
                                               {"--bogus", "--list"},
                                               {"--watch-file", dir / "none.wth", "--list"},
                                               {"--folder"},
                                               {"--folder=", "--list"},
                                               {"--folder", dir.path(), "--user-folder", "--list"},
                                               {"--folder", dir / "Data.wth/below", "--list"}}) {
        std::string joined;
        for (const auto& argument : arguments) joined += argument + " ";
        SCOPED_TRACE(joined);
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_NE(outcome.err, "");
        EXPECT_EQ(outcome.out, "");
    }
    EXPECT_FALSE(test::exists(context.LogFilePath));
    const Outcome help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: tessel-batch", 0), 0u);
}

TEST_F(BatchTest, AFolderOptionWorksInThatFolderAndKeepsCommandLinePathsWhereTheyWereTyped) {
    const std::string typed = dir / "typed";
    test::makeFolders(typed);
    // A folder that does not exist yet is made, and its files are looked for there.
    const Outcome fresh = run({"--folder", "new/tessel", "--list"}, typed);
    EXPECT_EQ(fresh.status, 2);
    EXPECT_NE(fresh.err.find(typed + "/new/tessel/Data/WatchDef.wth"), std::string::npos) << fresh.err;
    EXPECT_TRUE(test::isFolder(typed + "/new/tessel"));

    const std::string user = dir / "data/tessel";
    test::makeFolders(user + "/Data");
    ASSERT_TRUE(AppendWatchRec(context, watch("w", rmManual, Now()), user + "/Data/WatchDef.wth"));
    test::ScopedEnvironment dataHome("XDG_DATA_HOME", dir / "data");
    const Outcome ran = run({"--user-folder", "0"}, typed);
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(loggedMessages().size(), 0u);
    context.LogFilePath = user + "/WatchLog.Log";
    EXPECT_EQ(loggedMessages().front(), "Start Manual Synhro folder " + pair("w"));
    EXPECT_EQ(run({"--folder=" + user, "--log-file", "typed.Log", "0"}, typed).status, 0);
    EXPECT_TRUE(test::exists(typed + "/typed.Log"));
    EXPECT_EQ(test::listFolder(typed), (std::vector<std::string>{"new", "typed.Log"}));
    EXPECT_EQ(test::listFolder(user), (std::vector<std::string>{"Data", "WatchLog.Log"})) << "no Tessel.ini";
}

// Starts tessel-batch in the test's folder with its output going where `outFd` leads; the process id.
pid_t start(std::vector<std::string> arguments, int outFd, const std::string& folder) {
    arguments.insert(arguments.begin(), TESSEL_BATCH_PATH);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        if (dup2(outFd, 1) < 0 || chdir(folder.c_str()) != 0) _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

int exitStatus(pid_t child) {
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(BatchTest, PreviewPrintsWhatARunWouldDoAndChangesNothing) {
    ASSERT_TRUE(AppendWatchRec(context, watch("looked", rmManual, Now() - 5), context.WatchFilePath));
    TWatchRec unplugged = watch("unplugged", rmManual, Now() - 5);
    setText(unplugged.SourceDir, dir / "nowhere");
    ASSERT_TRUE(AppendWatchRec(context, unplugged, context.WatchFilePath));
    const std::string before = readFile(context.WatchFilePath);
    const Outcome preview = run(
        {"--watch-file", context.WatchFilePath, "--log-file", context.LogFilePath, "--dry-run", "0", "1"});
    EXPECT_EQ(preview.status, 1) << "a failure the run would have";
    EXPECT_EQ(lines(preview.out),
              (std::vector<std::string>{
                  "create folder  " + dir / "looked-dst/",
                  "copy  " + dir / "looked-src/a.txt -> " + dir / "looked-dst/a.txt  6 bytes",
                  "create folder  " + dir / "looked-dst/sub",
                  "copy  " + dir / "looked-src/sub/b.txt -> " + dir / "looked-dst/sub/b.txt  12 bytes",
                  "watch 0 (looked-src): 2 copies (18 bytes), 2 new folders",
                  "error  Error opening folder " + dir / "nowhere/: No such file or directory",
                  "watch 1 (nowhere): nothing to do"}));
    EXPECT_FALSE(test::exists(dir / "looked-dst"));
    EXPECT_FALSE(test::exists(context.LogFilePath));
    EXPECT_EQ(readFile(context.WatchFilePath), before) << "LastRunTime untouched";
}

TEST_F(BatchTest, OutputThatGoesAwayDoesNotEndTheRun) {
    TWatchRec chatty = watch("chatty", rmManual, Now() - 5);
    chatty.WideLog = 1;
    for (int i = 0; i < 200; ++i) writeFile(dir / ("chatty-src/f" + std::to_string(i)), "x");
    ASSERT_TRUE(AppendWatchRec(context, chatty, context.WatchFilePath));
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);  // like "| head" that has read what it wanted
    const pid_t child = start({"--watch-file", context.WatchFilePath, "--log-file", context.LogFilePath, "0"},
                              ends[1], dir.path());
    close(ends[1]);
    EXPECT_EQ(exitStatus(child), 0);
    ASSERT_FALSE(loggedMessages().empty());
    EXPECT_EQ(loggedMessages().back(), "End Manual Synhro folder " + pair("chatty"));
    EXPECT_GT(ReadWatchRec(context, 0).LastRunTime, Now() - 1);
}

TEST_F(BatchTest, RunsStartedTogetherRunAWatchOnce) {
    TWatchRec slow = watch("slow", rmTimer, Now() - 5);
    const std::string script = dir / "slow.sh";
    writeFile(script, "#!/bin/sh\nsleep 2\n");
    chmod(script.c_str(), 0755);
    setText(slow.RunFile, script);
    ASSERT_TRUE(AppendWatchRec(context, slow, context.WatchFilePath));
    const int devNull = open("/dev/null", O_WRONLY);
    std::vector<pid_t> children;
    for (int i = 0; i < 3; ++i) {
        children.push_back(
            start({"--watch-file", context.WatchFilePath, "--log-file", context.LogFilePath, "--due"},
                  devNull, dir.path()));
        usleep(300'000);
    }
    close(devNull);
    for (const pid_t child : children) EXPECT_EQ(exitStatus(child), 0);
    const std::vector<std::string> logged = loggedMessages();
    EXPECT_EQ(std::count(logged.begin(), logged.end(), "Synhro folder " + pair("slow")), 1);
    EXPECT_EQ(std::count(logged.begin(), logged.end(), "Already running Synhro folder " + pair("slow")), 2);
}

}  // namespace
}  // namespace tessel
