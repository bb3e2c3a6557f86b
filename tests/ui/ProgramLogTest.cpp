// The two programs as the log sees them from outside: the window ends with "End Work Program" once
// when SIGTERM ends it, also in the middle of a run; and every line has the same date and time form,
// whichever program wrote it in whatever language and environment.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "support/TestSupport.h"
#include "watch/WatchFile.h"

extern char** environ;

namespace tessel {
namespace {

using Lines = std::vector<std::string>;

// Starts `program` in `folder` with the environment this test runs in, less the variables that set a
// language or a locale, plus `environment`; its output goes to `output`.
pid_t start(const std::vector<std::string>& arguments, const std::string& folder, const Lines& environment,
            const std::string& output) {
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string text = *variable;
        if (text.rfind("LANG", 0) == 0 || text.rfind("LC_", 0) == 0 || text.rfind("LOCPATH=", 0) == 0)
            continue;
        variables.push_back(text);
    }
    variables.insert(variables.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (out < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0 || chdir(folder.c_str()) != 0) _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return child;
}

// The exit status, -1 for a process that did not exit by itself within a minute (it is then killed).
int finish(pid_t child) {
    int status = 0;
    for (int i = 0; i < 600; ++i) {
        if (waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return -1;
}

// The log's lines that begin with `message`.
long count(const std::string& log, const std::string& message) {
    const Lines lines = test::exists(log) ? test::loggedMessages(log) : Lines{};
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& line) { return line.rfind(message, 0) == 0; });
}

// Waits until the log holds more lines that begin with `message` than `before`; false after a minute.
bool waitForLine(const std::string& log, const std::string& message, long before) {
    for (int i = 0; i < 6000; ++i) {
        if (count(log, message) > before) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// A date and time with every digit made 9 and every letter a: "99/99/99 99:99:99" for "12/08/26 14:05:09",
// so that AM and PM are one form too.
std::string form(std::string stamp) {
    for (char& c : stamp) {
        if (std::isdigit(static_cast<unsigned char>(c)))
            c = '9';
        else if (std::isalpha(static_cast<unsigned char>(c)))
            c = 'a';
    }
    return stamp;
}

class ProgramLogTest : public ::testing::Test {
  protected:
    ProgramLogTest() {
        // Its own runtime folder: the single-instance mark of this window is nobody else's.
        test::makeFolders(dir / "runtime");
        common = {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + dir / "runtime"};
    }

    // The window in the test's folder, until SIGTERM ends it once `ready` is in the log.
    int windowUntilSigterm(const Lines& environment, const std::string& ready) {
        Lines all = common;
        all.insert(all.end(), environment.begin(), environment.end());
        const long before = count(log(), ready);
        const pid_t window = start({TESSEL_PROGRAM_PATH}, dir.path(), all, dir / "window.out");
        EXPECT_TRUE(waitForLine(log(), ready, before)) << test::readFile(dir / "window.out");
        kill(window, SIGTERM);
        return finish(window);
    }
    std::string log() const { return dir / "WatchLog.Log"; }

    test::TempDir dir;
    Lines common;
};

TEST_F(ProgramLogTest, SigtermEndsTheWindowWithOneEndLineAlsoDuringARun) {
    // Idle.
    EXPECT_EQ(windowUntilSigterm({}, "Start Work Program"), 143) << test::readFile(dir / "window.out");
    EXPECT_EQ(test::loggedMessages(log()), (Lines{"Start Work Program", "End Work Program"}));

    // In the middle of an On Start run: the run stops after the file in hand, then Tessel leaves.
    const int files = 4000;
    for (int i = 0; i < files; ++i) test::writeFile(dir / ("src/f" + std::to_string(i)), "file");
    TWatchRec watch = test::makeWatch(dir / "src", dir / "dst", rmOnStart);
    watch.WideLog = 1;
    NullRunDisplay display;
    test::FakeMessages messages;
    RunContext context{display, messages, dir / "Data/WatchDef.wth", log()};
    test::writeWatches(context, context.WatchFilePath, {watch});
    test::writeFile(log(), "");
    EXPECT_EQ(windowUntilSigterm({}, "Copied file"), 143) << test::readFile(dir / "window.out");
    const Lines lines = test::loggedMessages(log());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.back(), "End Work Program");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "End Work Program"), 1);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Stopped Synhro folder " + dir / "src with folder " + dir / "dst"),
              lines.end());
    EXPECT_LT(test::listFolder(dir / "dst").size(), static_cast<std::size_t>(files))
        << "stopped, not finished";
}

// The window in Russian and in English and tessel-batch from a terminal and from cron, with LANG and
// LC_TIME unlike the window's language: one form of date and time, the machine's.
TEST_F(ProgramLogTest, OneDateAndTimeFormWhoeverWritesTheLine) {
    const std::string locales = test::generatedLocales({"ru_RU.UTF-8", "en_US.UTF-8", "de_DE.UTF-8"});
    if (locales.empty()) GTEST_SKIP() << "localedef cannot make the locales here (package locales)";
    const std::string locpath = "LOCPATH=" + locales;
    EXPECT_EQ(windowUntilSigterm({locpath, "LANGUAGE=ru", "LANG=ru_RU.UTF-8", "LC_TIME=en_US.UTF-8"},
                                 "Start Work Program"),
              143);
    EXPECT_EQ(windowUntilSigterm({locpath, "LANGUAGE=en", "LANG=en_US.UTF-8", "LC_TIME=ru_RU.UTF-8"},
                                 "Start Work Program"),
              143);
    test::writeFile(dir / "src/a.txt", "a");
    NullRunDisplay display;
    test::FakeMessages messages;
    RunContext context{display, messages, dir / "Data/WatchDef.wth", log()};
    test::writeWatches(context, context.WatchFilePath, {test::makeWatch(dir / "src", dir / "dst")});
    for (const Lines& environment : {Lines{locpath, "LANG=de_DE.UTF-8", "LC_ALL=de_DE.UTF-8"}, Lines{}}) {
        const pid_t batch = start({TESSEL_BATCH_PATH, "0"}, dir.path(), environment, dir / "batch.out");
        EXPECT_EQ(finish(batch), 0) << test::readFile(dir / "batch.out");
    }

    // Every line as the machine's regional settings write it, this test's process included.
    const std::string machine = form(platform::formatLocalDateTime({2026, 12, 8, 14, 5, 9, 0}));
    Lines lines;
    std::istringstream written(test::readFile(log()));
    for (std::string line; std::getline(written, line);) lines.push_back(line);
    for (const std::string& line : lines) {
        const std::size_t separator = line.find(": ");
        ASSERT_NE(separator, std::string::npos) << line;
        EXPECT_EQ(form(line.substr(0, separator)), machine) << line;
    }
    const Lines logged = test::loggedMessages(log());
    EXPECT_EQ(std::count(logged.begin(), logged.end(), "Start Work Program"), 2);
    EXPECT_EQ(std::count(logged.begin(), logged.end(), "End Work Program"), 2);
    EXPECT_EQ(
        std::count_if(logged.begin(), logged.end(),
                      [](const std::string& message) { return message.rfind("Summary of watch ", 0) == 0; }),
        2)
        << "two runs of tessel-batch";
}

}  // namespace
}  // namespace tessel
