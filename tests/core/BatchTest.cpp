// tessel-batch from the outside: a watch file built here, the program run, the trees, the log, the
// output and the exit status checked.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
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

// Where the program's standard output and standard error go.
enum class Streams {
    Apart,             // each to a file of its own
    OutputThrownAway,  // standard output to /dev/null, as the systemd unit and cron lines did
    Together,          // both to one file (2>&1)
};

class BatchTest : public ::testing::Test, public test::CoreFixture {
  protected:
    Outcome run(std::vector<std::string> arguments, const std::string& folder = "",
                Streams streams = Streams::Apart) {
        arguments.insert(arguments.begin(), TESSEL_BATCH_PATH);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        const std::string out = output / "out", err = output / "err";
        const std::string in = output / "in";
        writeFile(in, input);
        const pid_t child = fork();
        if (child == 0) {
            const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int outFd = streams == Streams::Together ? errFd
                              : streams == Streams::OutputThrownAway
                                  ? open("/dev/null", O_WRONLY)
                                  : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int inFd = open(in.c_str(), O_RDONLY);
            if (outFd < 0 || errFd < 0 || inFd < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0 ||
                dup2(inFd, 0) < 0)
                _exit(126);
            // Run as root, the program would get back the permission override that the test drops; out
            // of its bounding set, it cannot.
            if (asUser)
                for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER, CAP_LINUX_IMMUTABLE})
                    prctl(PR_CAPBSET_DROP, cap, 0, 0, 0);
            if (chdir((folder.empty() ? dir.path() : folder).c_str()) != 0) _exit(126);
            execv(argv[0], argv.data());
            _exit(127);
        }
        Outcome outcome;
        int status = 0;
        if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
            outcome.status = WEXITSTATUS(status);
        outcome.out = streams == Streams::Apart ? readFile(out) : "";
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
    std::string input;    // what the program reads on standard input
    bool asUser = false;  // whether it runs without the permission override root has
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
    EXPECT_EQ(test::withoutDurations(loggedMessages()),
              (std::vector<std::string>{
                  "Start Manual Synhro folder " + pair("plain"), "End Manual Synhro folder " + pair("plain"),
                  "Summary of watch plain-src: ok; 2 copied, 0 moved, 0 deleted, 0 kept as "
                  "versions, 0 conflicts, 0 failed, 0 deletions refused, 16 bytes"}));
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
    ASSERT_FALSE(loggedMessages().empty());
    EXPECT_EQ(loggedMessages().back(), "Start Manual Synhro folder  with folder ");
}

// A run nobody watches (the systemd unit, a cron line, both throwing standard output away) is still
// heard: every problem and the summary of a run that failed reach standard error, whatever else goes.
TEST_F(BatchTest, AFailedRunIsHeardOnStandardErrorWhateverStandardOutputDoes) {
    ASSERT_TRUE(AppendWatchRec(context, watch("plain", rmManual, Now() - 5), context.WatchFilePath));
    ASSERT_TRUE(AppendWatchRec(context, watch("blocked", rmManual, Now() - 5), context.WatchFilePath));
    test::makeFolders(dir / "blocked-dst/a.txt");  // a folder where the copy of a file should go
    const std::vector<std::string> files{"--watch-file", context.WatchFilePath, "--log-file",
                                         context.LogFilePath};
    struct Case {
        const char* what;
        std::vector<std::string> options;
        std::string watch;
        Streams streams;
        int status;
        std::vector<std::string> out, err;  // messages of the lines, in the order of the log
    };
    const std::string failure = "Error copying file " + dir / "blocked-src/a.txt: Is a directory";
    const std::string failed =
        "Summary of watch blocked-src: failed; 1 copied, 0 moved, 0 deleted, 0 kept as "
        "versions, 0 conflicts, 1 failed, 0 deletions refused, 13 bytes";
    const std::string started = "Start Manual Synhro folder " + pair("blocked");
    const std::string ended = "End Manual Synhro folder " + pair("blocked");
    for (const Case& c : std::vector<Case>{
             {"thrown away", {}, "blocked-src", Streams::OutputThrownAway, 1, {}, {failure, failed}},
             {"thrown away, a run that went well", {}, "plain-src", Streams::OutputThrownAway, 0, {}, {}},
             {"apart",
              {},
              "blocked-src",
              Streams::Apart,
              1,
              {started, failure, ended, failed},
              {failure, failed}},
             {"quiet", {"--quiet"}, "blocked-src", Streams::Apart, 1, {}, {failure, failed}},
             {"brief", {"--brief"}, "blocked-src", Streams::Apart, 1, {failed}, {failure, failed}},
             {"brief, a run that went well",
              {"--brief"},
              "plain-src",
              Streams::Apart,
              0,
              {"Summary of watch plain-src: ok; 2 copied, 0 moved, 0 deleted, 0 kept as versions, 0 "
               "conflicts, "
               "0 failed, 0 deletions refused, 16 bytes"},
              {}},
             {"together: each line once",
              {},
              "blocked-src",
              Streams::Together,
              1,
              {},
              {started, failure, ended, failed}},
             {"together and brief",
              {"--brief"},
              "blocked-src",
              Streams::Together,
              1,
              {},
              {failure, failed}}}) {
        SCOPED_TRACE(c.what);
        // Every run finds the same work to do.
        std::filesystem::remove_all(dir / "plain-dst");
        std::filesystem::remove_all(dir / "blocked-dst/sub");
        std::vector<std::string> arguments = files;
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.push_back(c.watch);
        const std::size_t before = loggedMessages().size();
        const Outcome outcome = run(arguments, "", c.streams);
        EXPECT_EQ(outcome.status, c.status) << outcome.err;
        // Each printed line is a line of the log, date and all.
        const std::vector<std::string> logged = lines(readFile(context.LogFilePath));
        const auto asLogged = [&](const std::string& printed) {
            std::vector<std::string> messages;
            for (const std::string& line : lines(printed)) {
                EXPECT_NE(std::find(logged.begin() + static_cast<long>(before), logged.end(), line),
                          logged.end())
                    << line;
                messages.push_back(line.substr(line.find(": ") + 2));
            }
            return test::withoutDurations(messages);
        };
        EXPECT_EQ(asLogged(outcome.out), c.out);
        EXPECT_EQ(asLogged(outcome.err), c.err);
    }
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
        ASSERT_GE(logged.size(), 2u);
        EXPECT_EQ(logged[logged.size() - 2],
                  std::string(kStoppedLine) + dir / "big-src with folder " + destination);
        // The three watches of one source are named big-src, big-src-2 and big-src-3.
        EXPECT_EQ(logged.back().rfind("Summary of watch big-src", 0), 0u) << logged.back();
        EXPECT_NE(logged.back().find(": stopped; "), std::string::npos) << logged.back();
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
                            dir / "listed-src" + "\t" + dir / "listed-dst" +
                            "\t*.*\tlisted-src\t-\t-\tdue\t-\n")
        << "the name after the old columns, proposed from the source folder; no result yet, due";
    EXPECT_EQ(run({"0"}).status, 0);
    ASSERT_FALSE(loggedMessages().empty());
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
    EXPECT_EQ(
        test::withoutDurations(loggedMessages()),
        (std::vector<std::string>{"Synhro folder " + pair("due"),
                                  "Summary of watch due-src: ok; 2 copied, 0 moved, 0 deleted, 0 kept as "
                                  "versions, 0 conflicts, 0 failed, 0 deletions refused, 12 bytes"}));
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
    ASSERT_FALSE(loggedMessages().empty());
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

TEST_F(BatchTest, PreviewPrintsWhatARunWouldDoAndChangesNothingAndItsPlanRunsAsEdited) {
    ASSERT_TRUE(AppendWatchRec(context, watch("looked", rmManual, Now() - 5), context.WatchFilePath));
    TWatchRec unplugged = watch("unplugged", rmManual, Now() - 5);
    setText(unplugged.SourceDir, dir / "nowhere");
    ASSERT_TRUE(AppendWatchRec(context, unplugged, context.WatchFilePath));
    const std::string before = readFile(context.WatchFilePath);
    const Outcome preview = run(
        {"--watch-file", context.WatchFilePath, "--log-file", context.LogFilePath, "--dry-run", "0", "1"});
    EXPECT_EQ(preview.status, 1) << "a failure the run would have";
    std::vector<std::string> printed = lines(preview.out);
    ASSERT_EQ(printed.size(), 9u);
    EXPECT_TRUE(printed[0].starts_with("plan of watch 0 (looked-src) made 20")) << printed[0];
    EXPECT_TRUE(printed[6].starts_with("plan of watch 1 (nowhere) made 20")) << printed[6];
    const std::string header = printed[0];
    printed.erase(printed.begin() + 6);
    printed.erase(printed.begin());
    EXPECT_EQ(printed,
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

    // The first watch's plan with the copy of a.txt left out; a text that is no plan changes nothing.
    writeFile(dir / "plan.txt",
              "copy  " + dir / "looked-src/a.txt -> " + dir / "looked-dst/a.txt  6 bytes\n");
    EXPECT_EQ(run({"--watch-file", context.WatchFilePath, "--plan", dir / "plan.txt"}).status, 2);
    EXPECT_FALSE(test::exists(dir / "looked-dst"));
    writeFile(dir / "plan.txt", header + "\n" + printed[0] + "\n" + printed[2] + "\n" + printed[3] + "\n");
    const Outcome ran = run({"--watch-file", context.WatchFilePath, "--log-file", context.LogFilePath,
                             "--plan", dir / "plan.txt"});
    EXPECT_EQ(ran.status, 0) << ran.out;
    EXPECT_EQ(test::snapshotTree(dir / "looked-dst"),
              (std::vector<std::string>{"sub/", "sub/b.txt=looked below"}));
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
    const std::vector<std::string> logged = loggedMessages();
    ASSERT_GE(logged.size(), 2u);
    EXPECT_EQ(logged[logged.size() - 2], "End Manual Synhro folder " + pair("chatty"));
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

class BatchCommandTest : public BatchTest {
  protected:
    // tessel-batch with the test's watch file and log.
    Outcome batch(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(),
                         {"--watch-file", context.WatchFilePath, "--log-file", context.LogFilePath});
        return run(arguments);
    }
    // Adds a watch of the folders <name>-src, which gets a file, and <name>-dst.
    void add(const std::string& name, std::vector<std::string> options = {}) {
        writeFile(dir / (name + "-src/a.txt"), name);
        options.insert(options.begin(), {"add", name, "--source", dir / (name + "-src"), "--destination",
                                         dir / (name + "-dst")});
        const Outcome added = batch(options);
        ASSERT_EQ(added.status, 0) << added.err;
        ASSERT_EQ(added.out, "");
    }
    std::string textFile() const { return dir / "WatchDef.toml"; }
    // The name column of --list, the eleventh.
    std::vector<std::string> listedNames() {
        std::vector<std::string> names;
        for (const std::string& line : lines(batch({"--list"}).out)) {
            std::string_view rest = line;
            for (int column = 0; column < 10 && rest.find('\t') != std::string_view::npos; ++column)
                rest.remove_prefix(rest.find('\t') + 1);
            names.emplace_back(rest.substr(0, rest.find('\t')));
        }
        return names;
    }
};

TEST_F(BatchCommandTest, WatchesAreMadeChangedRunAndRemovedByName) {
    add("docs");
    add("photos", {"--mask",
                   "*.jpg; *.png",
                   "--exclude",
                   "cache ; *.tmp",
                   "--hidden",
                   "skip",
                   "--links",
                   "skip",
                   "--run-mode",
                   "timer",
                   "--period",
                   "07:30",
                   "--wide-log",
                   "yes",
                   "--copy-with-root=yes",
                   "--tune",
                   "update-old",
                   "--program",
                   "/bin/true",
                   "--program-args",
                   "-v \"two words\"",
                   "--both-directions",
                   "yes"});
    add("music");
    const std::vector<std::string> listed = lines(batch({"--list"}).out);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[1].substr(0, listed[1].find("\t20")),
              "1\tTimer\tOn Time: 07:30\tCopy\tUpdate only old files\twide-log,with-root,bidirect,versions");
    EXPECT_EQ(
        listed[1].substr(listed[1].find("\t/"), listed[1].find("\tphotos\t") + 7 - listed[1].find("\t/")),
        "\t" + dir / "photos-src" + "\t" + dir / "photos-dst" + "\t*.jpg;*.png\tphotos");

    const Outcome shown = batch({"show", "PHOTOS"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    for (const std::string line :
         {"name = \"photos\"", "mask = [ \"*.jpg\", \"*.png\" ]", "exclude = [ \"cache\", \"*.tmp\" ]",
          "hidden = \"skip\"", "links = \"skip\"", "run-mode = \"timer\"", "period = \"07:30\"",
          "tune = \"update-old\"", "both-directions = true", "copy-with-root = true", "wide-log = true",
          "program-args = \"-v \\\"two words\\\"\""})
        EXPECT_NE(shown.out.find("\n" + line + "\n"), std::string::npos) << line << " in\n" << shown.out;
    const std::string docs = batch({"show", "docs"}).out;
    EXPECT_NE(docs.find("\nhidden = \"include\"\n"), std::string::npos) << "new watches include hidden files";
    EXPECT_NE(docs.find("\"System Volume Information\""), std::string::npos) << "and leave out the usual";

    // A cron line that names a watch keeps meaning it while others are removed, added and renamed.
    EXPECT_EQ(batch({"remove", "docs"}).status, 0);
    add("films");
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"photos", "music", "films"}));
    // Runs and previews take each watch's settings: a new one copies names with a dot and leaves out the
    // usual.
    writeFile(dir / "music-src/.notes", "notes");
    writeFile(dir / "music-src/Thumbs.db", "thumbs");
    writeFile(dir / "films-src/Thumbs.db", "thumbs");
    const Outcome ran = batch({"Music"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(readFile(dir / "music-dst/a.txt"), "music");
    EXPECT_EQ(readFile(dir / "music-dst/.notes"), "notes");
    EXPECT_FALSE(test::exists(dir / "music-dst/Thumbs.db"));
    ASSERT_FALSE(loggedMessages().empty());
    EXPECT_EQ(loggedMessages().front(), "Start Manual Synhro folder " + pair("music"));
    EXPECT_FALSE(test::exists(dir / "films-dst"));

    // On change: the record says Manual, the list and the text say what the watch does.
    EXPECT_EQ(batch({"set", "music", "--run-mode", "on-change", "--change-delay", "5"}).status, 0);
    EXPECT_EQ(lines(batch({"--list"}).out)[1].substr(0, 12), "1\tOn Change\t");
    const std::string music = batch({"show", "music"}).out;
    EXPECT_NE(music.find("\nrun-mode = \"on-change\"\n"), std::string::npos) << music;
    EXPECT_NE(music.find("\nchange-delay = 5\n"), std::string::npos) << music;
    EXPECT_EQ(ReadWatchRec(context, 1).RunMode, rmManual);
    EXPECT_EQ(batch({"set", "music", "--change-delay", "0"}).status, 2);
    EXPECT_EQ(batch({"set", "music", "--name", "tunes", "--action", "move"}).status, 0);
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"photos", "tunes", "films"}));
    EXPECT_NE(lines(batch({"--list"}).out)[1].find("\tMove\t"), std::string::npos);
    const Outcome gone = batch({"music"});
    EXPECT_EQ(gone.status, 2);
    EXPECT_NE(gone.err.find("no watch music in " + context.WatchFilePath), std::string::npos) << gone.err;
    const Outcome preview = batch({"--preview", "films"});
    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_NE(preview.out.find("watch 2 (films): 1 copy"), std::string::npos) << preview.out;
}

TEST_F(BatchCommandTest, RefusalsLeaveBothFilesAsTheyWere) {
    add("docs");
    add("photos");
    const std::string records = readFile(context.WatchFilePath), text = readFile(textFile());
    const std::string src = dir / "docs-src", dst = dir / "new-dst";
    const auto adding = [&](std::vector<std::string> more) {
        std::vector<std::string> arguments{"add", "new", "--source", src, "--destination", dst};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    };
    writeFile(dir / "half.toml",
              "[[watch]]\nname = \"new\"\nsource = \"" + src + "\"\ndestination = \"" + dst +
                  "\"\n\n[[watch]]\nname = \"docs\"\naction = \"move\"\ndelete-absent = true\n");
    writeFile(dir / "twice.toml", "[[watch]]\nname = \"a\"\n[[watch]]\nname = \"A\"\n");
    writeFile(dir / "broken.toml", "[[watch]]\nname = \"a\"\nsource = \n");
    writeFile(dir / "unknown.toml", "[[watch]]\nname = \"docs\"\ncolour = \"blue\"\n");
    struct Case {
        std::vector<std::string> arguments;
        std::string said;
    };
    for (const Case& c : std::vector<Case>{
             {adding({"--hidden", "maybe"}), "--hidden: say include or skip, not \"maybe\""},
             {adding({"--bogus", "1"}), "unknown option --bogus for add"},
             {adding({"--period"}), "--period needs a value"},
             {{"add", "DOCS", "--source", src, "--destination", dst}, "another watch is named \"docs\""},
             {{"add", "2024", "--source", src, "--destination", dst}, "\"2024\" is all digits"},
             {{"add", "show", "--source", src, "--destination", dst},
              "\"show\" is a command of tessel-batch"},
             {adding({"--action", "move", "--delete-absent", "yes"}), "--delete-absent: cannot be yes"},
             {{"set", "docs", "--action", "move", "--delete-absent", "yes"},
              "--delete-absent: cannot be yes"},
             {{"add", "new", "--source", "", "--destination", dst}, "--source: must not be empty"},
             {{"add", "new", "--source", src, "--destination", "backup/docs"},
              "--destination: must be a full path"},
             {{"add", "new", "--destination", dst}, "--source: must not be empty"},
             {adding({"--program", "/" + std::string(255, 'p')}), "--program: is longer than 255 bytes"},
             {adding({"--mask", " ; "}), "--mask: needs at least one mask"},
             {adding({"--mask", "docs/*.txt"}), "--mask: \"docs/*.txt\" holds a \"/\""},
             {{"set", "docs", "--name", "Photos"}, "--name: another watch is named \"photos\""},
             {{"set", "docs"}, "set needs a watch option"},
             {{"set", "nothere", "--wide-log", "yes"}, "no watch nothere in"},
             {{"remove", "nothere"}, "no watch nothere in"},
             {{"show", "nothere"}, "no watch nothere in"},
             {{"export", "docs", "nothere"}, "no watch nothere in"},
             {{"import", dir / "half.toml"}, dir / "half.toml, line 6: delete-absent: cannot be yes"},
             {{"import", dir / "twice.toml"}, dir / "twice.toml, line 3: the name \"A\" is given twice"},
             {{"import", dir / "broken.toml"}, dir / "broken.toml, line 3:"},
             {{"import", dir / "unknown.toml"}, dir / "unknown.toml, line 3: unknown key colour"},
             {{"--list", "add", "x"}, "give only one of"}}) {
        std::string joined;
        for (const auto& argument : c.arguments) joined += argument + " ";
        SCOPED_TRACE(joined);
        const Outcome outcome = batch(c.arguments);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_NE(outcome.err.find(c.said), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(readFile(context.WatchFilePath), records);
        EXPECT_EQ(readFile(textFile()), text);
    }
    EXPECT_FALSE(test::exists(context.LogFilePath));
}

// A plan is of one watch: once the watch at its position is gone or another, it is refused and nothing
// runs or is logged; a plan's text is read no further than a plan may be long.
TEST_F(BatchCommandTest, APlanRunsOnlyTheWatchItWasMadeFor) {
    for (const char* name : {"docs", "photos", "music"}) add(name);
    const auto planOf = [&](const std::string& watch, const std::string& file) {
        const Outcome preview = batch({"--preview", watch});
        ASSERT_EQ(preview.status, 0) << preview.err;
        writeFile(dir / file, preview.out);
    };
    planOf("music", "music.txt");
    planOf("photos", "photos.txt");
    EXPECT_TRUE(readFile(dir / "photos.txt").starts_with("plan of watch 1 (photos) made 20"));
    ASSERT_EQ(batch({"remove", "docs"}).status, 0);
    struct Case {
        std::string plan;
        std::string said;
    };
    for (const Case& c : {Case{"music.txt", "is a plan of watch 2 (music), which is not in"},
                          Case{"photos.txt", "is a plan of watch 1 (photos), but watch 1 is now music"}}) {
        SCOPED_TRACE(c.plan);
        const Outcome ran = batch({"--plan", dir / c.plan});
        EXPECT_EQ(ran.status, 2);
        EXPECT_NE(ran.err.find(c.said), std::string::npos) << ran.err;
        EXPECT_NE(ran.err.find("nothing was run"), std::string::npos) << ran.err;
    }
    EXPECT_FALSE(test::exists(context.LogFilePath));
    EXPECT_FALSE(test::exists(dir / "music-dst"));
    EXPECT_FALSE(test::exists(dir / "photos-dst"));

    input = std::string(64 << 20, '#') + "\n";
    const Outcome large = batch({"--plan", "-"});
    EXPECT_EQ(large.status, 1);
    EXPECT_NE(large.err.find("cannot read standard input: larger than 64 MiB"), std::string::npos)
        << large.err;
}

TEST_F(BatchCommandTest, ExportThenImportIntoAnEmptyFolderGivesTheSameWatches) {
    add("docs", {"--exclude", "*.bak", "--period", "1month", "--run-mode", "on-start"});
    add("photos",
        {"--action", "move", "--links", "copy", "--program", "/usr/bin/env", "--program-args", "a 'b c'"});
    // Watches made before names, and one that runs both ways with a daily time.
    TWatchRec old = watch("old", rmTimer, encodeDateTime({2025, 1, 2, 3, 4, 5, 0}));
    old.Period = pdOnTime;
    old.OnTime = encodeDateTime({1899, 12, 30, 18, 45, 0, 0});
    old.BiDirect = 1;
    ASSERT_TRUE(AppendWatchRec(context, old, context.WatchFilePath));
    // A paused watch that deletes both ways must come back paused, not followed at once.
    add("tw", {"--run-mode", "on-change", "--both-directions", "yes", "--delete-absent", "yes"});
    ASSERT_EQ(batch({"follow", "--pause", "tw"}).status, 0);
    EXPECT_NE(batch({"show", "tw"}).out.find("\nfollow-paused = true\n"), std::string::npos);
    const Outcome exported = batch({"export"});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.out.find("follow-paused"), exported.out.rfind("follow-paused")) << "tw's alone";
    EXPECT_NE(exported.out.find("name = \"old-src\"\n"), std::string::npos) << exported.out;
    EXPECT_NE(exported.out.find("period = \"18:45\"\n"), std::string::npos);

    input = exported.out;
    const std::string elsewhere = dir / "elsewhere";
    const Outcome imported = run({"--folder", elsewhere, "import", "-"});
    EXPECT_EQ(imported.status, 0) << imported.err;
    const Outcome again = run({"--folder", elsewhere, "export"});
    EXPECT_EQ(again.out, exported.out);
    EXPECT_TRUE(test::exists(elsewhere + "/Data/WatchDef.wth"));
    EXPECT_TRUE(test::exists(elsewhere + "/Data/WatchDef.toml"));
    EXPECT_NE(readFile(elsewhere + "/Data/WatchDef.toml").find("follow-paused = true"), std::string::npos);

    // Import replaces by name, keeping what the text leaves out, and adds the rest.
    writeFile(dir / "change.toml",
              "version = 1\n[[watch]]\nname = \"DOCS\"\nwide-log = true\n\n[[watch]]\nname = "
              "\"more\"\nsource = \"/m\"\ndestination = \"/n\"\n");
    EXPECT_EQ(run({"--folder", elsewhere, "import", dir / "change.toml"}).status, 0);
    const std::string changed = run({"--folder", elsewhere, "show", "docs"}).out;
    EXPECT_NE(changed.find("name = \"DOCS\"\n"), std::string::npos) << changed;
    EXPECT_NE(changed.find("wide-log = true\n"), std::string::npos);
    EXPECT_NE(changed.find("exclude = [ \"*.bak\" ]\n"), std::string::npos);
    EXPECT_EQ(lines(run({"--folder", elsewhere, "--list"}).out).size(), 5u);
}

// What the last run came to outlives the program that ran it: a later start lists it, with the first
// problem and the next run, after the columns scripts have always cut.
TEST_F(BatchCommandTest, TheLastResultOutlivesTheRunAndIsListed) {
    add("docs", {"--run-mode", "timer", "--period", "1h"});
    add("notes");
    test::makeFolders(dir / "docs-dst/a.txt");  // a folder where the copy of a file should go
    const auto columns = [&](std::size_t row) {
        std::vector<std::string> found;
        const std::vector<std::string> listed = lines(batch({"--list"}).out);
        EXPECT_EQ(listed.size(), 2u);
        if (row >= listed.size()) return found;
        std::istringstream line(listed[row]);
        for (std::string column; std::getline(line, column, '\t');) found.push_back(column);
        EXPECT_EQ(found.size(), 15u) << listed[row];
        found.resize(15);
        return found;
    };
    const auto iso = [](TDateTime value) {
        const platform::LocalTime local = decodeDateTime(value);
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", local.year, local.month, local.day,
                      local.hour, local.minute, local.second);
        return std::string(text);
    };
    using Columns = std::vector<std::string>;
    const auto after = [](Columns all) { return Columns(all.begin() + 10, all.end()); };
    EXPECT_EQ(after(columns(0)),
              (Columns{"docs", "-", "-", iso(ReadWatchRec(context, 0).LastRunTime + 1.0 / 24), "-"}));
    EXPECT_EQ(after(columns(1)), (Columns{"notes", "-", "-", "-", "-"}));

    EXPECT_EQ(batch({"docs"}).status, 1);
    const TDateTime ran = ReadWatchRec(context, 0).LastRunTime;
    EXPECT_EQ(after(columns(0)), (Columns{"docs", "failed", iso(ran), iso(ran + 1.0 / 24),
                                          "Error copying file " + dir / "docs-src/a.txt: Is a directory"}));
    EXPECT_EQ(after(columns(1)), (Columns{"notes", "-", "-", "-", "-"})) << "another watch keeps its own";

    ASSERT_EQ(rmdir((dir / "docs-dst/a.txt").c_str()), 0);
    ASSERT_EQ(batch({"set", "docs", "--run-mode", "manual"}).status, 0);
    EXPECT_EQ(batch({"docs"}).status, 0);
    const Columns fixed = after(columns(0));
    EXPECT_EQ(Columns(fixed.begin(), fixed.begin() + 2), (Columns{"docs", "ok"}))
        << "kept through the change";
    EXPECT_EQ(Columns(fixed.begin() + 3, fixed.end()), (Columns{"-", "-"}));
}

// A watch file that cannot be read or written, a log that cannot be written: every failure is said,
// with the file and the reason, and the status tells of it.
TEST_F(BatchCommandTest, FilesThatCannotBeReadOrWrittenAreSaid) {
    const Outcome usage = run({"--bogus"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(lines(usage.err), (std::vector<std::string>{"tessel-batch: unknown option --bogus",
                                                          "Try 'tessel-batch --help' for the usage."}));

    add("docs");
    asUser = true;
    // Read-only (a read-only mount, another owner's file): it lists, previews and runs; only the last
    // run time cannot be saved, which fails the run.
    chmod(context.WatchFilePath.c_str(), 0444);
    const std::string records = readFile(context.WatchFilePath);
    const Outcome listed = batch({"--list"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("\tdocs\t"), std::string::npos);
    EXPECT_EQ(batch({"--preview", "docs"}).status, 0);
    const Outcome ran = batch({"docs"});
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(readFile(dir / "docs-dst/a.txt"), "docs");
    EXPECT_NE(ran.err.find("the last run time of 1 watch(es) could not be saved"), std::string::npos)
        << ran.err;
    const std::vector<std::string> logged = loggedMessages();
    EXPECT_EQ(
        std::count(logged.begin(), logged.end(),
                   "Error saving the last run time of Synhro folder " + pair("docs") + ": Permission denied"),
        1);
    EXPECT_EQ(readFile(context.WatchFilePath), records);

    // Unreadable: the due pass and a run say so, and fail.
    chmod(context.WatchFilePath.c_str(), 0);
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--due"}, {"0"}, {"--list"}}) {
        const Outcome outcome = batch(arguments);
        EXPECT_EQ(outcome.status, 1) << arguments[0];
        EXPECT_EQ(outcome.err,
                  "tessel-batch: cannot read " + context.WatchFilePath + ": Permission denied\n");
    }
    asUser = false;
    chmod(context.WatchFilePath.c_str(), 0644);

    // Two watches of one name typed into the text file: every command says where, none renames either
    // watch or runs one by the name, and both files stay as they were.
    add("es");
    const std::string named = readFile(textFile()), both = readFile(context.WatchFilePath);
    std::string twice = named;
    const std::size_t at = twice.find("name = \"es\"");
    ASSERT_NE(at, std::string::npos) << twice;
    twice.replace(at, 11, "name = \"Docs\"");
    writeFile(textFile(), twice);
    const std::string where = textFile() + ", line " +
                              std::to_string(std::count(twice.begin(), twice.begin() + at, '\n') + 1) +
                              ": name: another watch is named \"docs\"";
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--list"},
                                               {"docs"},
                                               {"--preview", "docs"},
                                               {"1"},
                                               {"set", "docs", "--wide-log", "no"},
                                               {"follow", "--pause", "docs"}}) {
        SCOPED_TRACE(arguments[0]);
        const Outcome outcome = batch(arguments);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_NE(outcome.err.find(where), std::string::npos) << outcome.err;
        EXPECT_EQ(readFile(textFile()), twice);
    }
    EXPECT_EQ(readFile(context.WatchFilePath), both);
    EXPECT_FALSE(test::exists(dir / "es-dst"));
    writeFile(textFile(), named);

    // Far too large (a sparse 2 GiB file): refused before it is read.
    writeFile(dir / "huge.wth", "");
    ASSERT_EQ(truncate((dir / "huge.wth").c_str(), 2ll << 30), 0);
    const Outcome huge = run({"--watch-file", dir / "huge.wth", "--list"});
    EXPECT_EQ(huge.status, 1);
    EXPECT_NE(huge.err.find(dir / "huge.wth: larger than 64 MiB"), std::string::npos) << huge.err;

    // A log that cannot be written: every line still on stdout, the failures on stderr too.
    test::makeFolders(dir / "docs-dst/b.txt");  // a folder where a copy should go
    writeFile(dir / "docs-src/b.txt", "b");
    ASSERT_EQ(batch({"set", "docs", "--wide-log", "yes"}).status, 0);
    int round = 0;
    for (const std::string& log : {dir / "no-folder/WatchLog.Log", std::string("/dev/full")}) {
        SCOPED_TRACE(log);
        const std::string fresh = dir / ("docs-src/new" + std::to_string(++round));
        writeFile(fresh, "new");
        const Outcome outcome = run({"--watch-file", context.WatchFilePath, "--log-file", log, "docs"});
        EXPECT_EQ(outcome.status, 1);
        const std::vector<std::string> out = lines(outcome.out);
        ASSERT_EQ(out.size(), 5u) << outcome.out;
        EXPECT_NE(out.front().find(": Start Manual Synhro folder " + pair("docs")), std::string::npos);
        EXPECT_NE(out[3].find(": End Manual Synhro folder " + pair("docs")), std::string::npos);
        EXPECT_NE(out.back().find(": Summary of watch docs: failed; 1 copied, "), std::string::npos);
        const auto failed = std::find_if(out.begin(), out.end(), [&](const std::string& line) {
            return line.find(": Error copying file " + dir / "docs-src/b.txt") != std::string::npos;
        });
        ASSERT_NE(failed, out.end());
        EXPECT_EQ(std::count_if(out.begin(), out.end(),
                                [&](const std::string& line) {
                                    return line.find(": Copied file " + fresh) != std::string::npos;
                                }),
                  1);
        const std::vector<std::string> err = lines(outcome.err);
        ASSERT_EQ(err.size(), 3u) << outcome.err;
        EXPECT_EQ(err[0], *failed);
        EXPECT_EQ(err[1], out.back()) << "the summary of a failed run";
        EXPECT_EQ(err[2].rfind("tessel-batch: 5 log line(s) could not be written to " + log + ": ", 0), 0u)
            << err[2];
    }
}

}  // namespace
}  // namespace tessel
