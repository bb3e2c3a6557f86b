// The desktop hears of the runs nobody watches: the words of a run's summary and notice, tessel-batch
// telling its notice sender (the seam), and the notice reaching a notification service on a real
// session bus.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "batch/BatchRun.h"
#include "support/TestSupport.h"
#include "watch/RunSummary.h"
#include "watch/WatchFile.h"

extern char** environ;

namespace tessel {
namespace {

TEST(RunSummaryTest, OutcomesSummariesAndNoticesFollowTheCounts) {
    struct Case {
        const char* what;
        RunResult counts;
        std::string firstProblem;
        RunOutcome outcome;
        std::string summary;                                        // after "Summary of watch docs: "
        std::optional<std::pair<std::string, std::string>> notice;  // title, body
    };
    const auto counts = [](int copied, int failed, int refused, int conflicts, bool stopped) {
        RunResult result;
        result.copied = copied;
        result.moved = 1;
        result.deleted = 2;
        result.versionsKept = 3;
        result.failed = failed;
        result.refusedDeletions = refused;
        result.conflicts = conflicts;
        result.bytesCopied = 4096;
        result.stopped = stopped;
        return result;
    };
    const std::string error = "Error copying file /docs/a.txt: Permission denied";
    for (
        const Case& c : std::vector<Case>{
            {"went well", counts(5, 0, 0, 0, false), "", RunOutcome::Succeeded,
             "ok; 5 copied, 1 moved, 2 deleted, 3 kept as versions, 0 conflicts, 0 failed, 0 deletions "
             "refused, 4096 bytes, 12.3 s",
             std::nullopt},
            {"stopped", counts(5, 0, 0, 0, true), "", RunOutcome::Stopped,
             "stopped; 5 copied, 1 moved, 2 deleted, 3 kept as versions, 0 conflicts, 0 failed, 0 deletions "
             "refused, 4096 bytes, 12.3 s",
             std::nullopt},
            {"a failure", counts(5, 2, 0, 0, false), error, RunOutcome::Failed,
             "failed; 5 copied, 1 moved, 2 deleted, 3 kept as versions, 0 conflicts, 2 failed, 0 deletions "
             "refused, 4096 bytes, 12.3 s",
             std::pair{"Tessel: docs failed", error + "\n6 copied, 2 failed"}},
            {"stopped after a failure", counts(0, 1, 0, 0, true), error, RunOutcome::Failed,
             "failed; 0 copied, 1 moved, 2 deleted, 3 kept as versions, 0 conflicts, 1 failed, 0 deletions "
             "refused, 4096 bytes, 12.3 s",
             std::pair{"Tessel: docs failed", error + "\n1 copied, 1 failed"}},
            {"refused deletions", counts(0, 0, 4, 0, false), "Error deleting ...", RunOutcome::Failed,
             "failed; 0 copied, 1 moved, 2 deleted, 3 kept as versions, 0 conflicts, 0 failed, 4 deletions "
             "refused, 4096 bytes, 12.3 s",
             std::pair{"Tessel: docs failed", "Error deleting ...\n1 copied, 0 failed, 4 deletions refused"}},
            {"a conflict", counts(0, 0, 0, 1, false), "Conflict /docs/b.txt: ...", RunOutcome::Conflict,
             "conflict; 0 copied, 1 moved, 2 deleted, 3 kept as versions, 1 conflicts, 0 failed, 0 deletions "
             "refused, 4096 bytes, 12.3 s",
             std::pair{"Tessel: docs met a conflict",
                       "Conflict /docs/b.txt: ...\n1 copied, 0 failed, 1 conflicts"}},
            {"a failure that logged no line", counts(0, 1, 0, 0, false), "", RunOutcome::Failed,
             "failed; 0 copied, 1 moved, 2 deleted, 3 kept as versions, 0 conflicts, 1 failed, 0 deletions "
             "refused, 4096 bytes, 12.3 s",
             std::pair{"Tessel: docs failed", "1 copied, 1 failed"}}}) {
        SCOPED_TRACE(c.what);
        const WatchRunSummary run{3, "docs", {0, 12.34, c.counts, c.firstProblem}};
        EXPECT_EQ(run.result.outcome(), c.outcome);
        EXPECT_EQ(outcomeOfWord(wordOf(c.outcome)), c.outcome);
        EXPECT_EQ(summaryMessage(run.name, run.result), "Summary of watch docs: " + c.summary);
        const std::optional<RunNotice> notice = noticeFor(run);
        ASSERT_EQ(notice.has_value(), c.notice.has_value());
        if (notice) {
            EXPECT_EQ(std::pair(notice->title, notice->body), *c.notice);
        }
    }
    EXPECT_FALSE(outcomeOfWord("skipped").has_value());
}

// Standard output and standard error into files while it lives.
class CapturedOutput {
  public:
    explicit CapturedOutput(const std::string& folder) : m_out(folder + "/out"), m_err(folder + "/err") {
        std::fflush(stdout);
        std::fflush(stderr);
        m_savedOut = dup(1);
        m_savedErr = dup(2);
        const int out = open(m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        close(out);
        close(err);
    }
    ~CapturedOutput() { restore(); }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;

    void restore() {
        if (m_savedOut < 0) return;
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(m_savedOut, 1);
        dup2(m_savedErr, 2);
        close(m_savedOut);
        close(m_savedErr);
        m_savedOut = m_savedErr = -1;
    }
    std::string err() const { return test::readFile(m_err); }

  private:
    std::string m_out, m_err;
    int m_savedOut = -1, m_savedErr = -1;
};

class NoticeTest : public ::testing::Test, public test::CoreFixture {
  protected:
    // A watch of the folders <name>-src, holding a.txt, and <name>-dst; a failing one finds a folder
    // where the copy of a.txt should go.
    void add(const std::string& name, bool failing) {
        test::writeFile(dir / (name + "-src/a.txt"), name);
        if (failing) test::makeFolders(dir / (name + "-dst/a.txt"));
        ASSERT_TRUE(AppendWatchRec(context, test::makeWatch(dir / (name + "-src"), dir / (name + "-dst")),
                                   context.WatchFilePath));
    }
    std::vector<std::string> files() const {
        return {"--watch-file", context.WatchFilePath, "--log-file", context.LogFilePath};
    }
};

class RecordedNotices : public batch::NoticeSender {
  public:
    void send(const RunNotice& notice) override { sent.push_back(notice); }
    std::vector<RunNotice> sent;
};

// Through the seam: a run that failed names its watch and its first problem; one that went well, and
// any run with --no-notify, tells nothing.
TEST_F(NoticeTest, ARunThatNeedsTheUserIsNotifiedByItsNameThroughTheSender) {
    add("docs", true);
    add("photos", false);
    test::TempDir output;
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        int status;
        std::vector<std::string> titles;
    };
    for (const Case& c :
         std::vector<Case>{{"both", {"--quiet", "photos-src", "docs-src"}, 1, {"Tessel: docs-src failed"}},
                           {"the good one", {"photos-src"}, 0, {}},
                           {"--no-notify", {"--no-notify", "--brief", "docs-src"}, 1, {}}}) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> arguments = files();
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const std::vector<std::string_view> views(arguments.begin(), arguments.end());
        RecordedNotices notices;
        CapturedOutput captured(output.path());
        const int status = batch::runBatch(views, notices);
        captured.restore();
        EXPECT_EQ(status, c.status) << captured.err();
        std::vector<std::string> titles;
        for (const RunNotice& notice : notices.sent) titles.push_back(notice.title);
        EXPECT_EQ(titles, c.titles);
        if (!notices.sent.empty()) {
            EXPECT_EQ(notices.sent[0].body.rfind(
                          "Error copying file " + dir / "docs-src/a.txt: Is a directory\n", 0),
                      0u)
                << notices.sent[0].body;
        }
    }
}

// A child process that is ended, if it still runs, when the test is done with it.
class Child {
  public:
    Child(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
          const std::string& output = "/dev/null") {
        std::vector<std::string> copies = arguments;
        std::vector<char*> argv;
        for (std::string& argument : copies) argv.push_back(argument.data());
        argv.push_back(nullptr);
        std::vector<std::string> variables;
        for (char** variable = environ; *variable != nullptr; ++variable) {
            const std::string text = *variable;
            const std::string name = text.substr(0, text.find('='));
            bool replaced = false;
            for (const std::string& given : environment)
                replaced = replaced || given.rfind(name + "=", 0) == 0 || given == name;
            if (!replaced) variables.push_back(text);
        }
        for (const std::string& given : environment)
            if (given.find('=') != std::string::npos) variables.push_back(given);  // a bare name is removed
        std::vector<char*> envp;
        for (std::string& variable : variables) envp.push_back(variable.data());
        envp.push_back(nullptr);
        m_pid = fork();
        if (m_pid == 0) {
            const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) _exit(126);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
    }
    ~Child() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        wait();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The exit status, or -1 when it did not end by itself.
    int wait() {
        if (m_pid <= 0) return m_status;
        int status = 0;
        m_status = waitpid(m_pid, &status, 0) == m_pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        m_pid = 0;
        return m_status;
    }

  private:
    pid_t m_pid = -1;
    int m_status = -1;
};

bool waitFor(const std::string& path) {
    for (int i = 0; i < 200 && !test::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return test::exists(path);
}

// Once for real: a session bus of its own (dbus-daemon) with a stand-in notification service on it
// (python3 with Debian's python3-dbus and python3-gi), which writes down what it gets.
TEST_F(NoticeTest, AFailedRunReachesTheSessionsNotificationServiceAndNoServiceIsNoFailure) {
    if (access("/usr/bin/dbus-daemon", X_OK) != 0) GTEST_SKIP() << "no dbus-daemon (package dbus-daemon)";
    if (Child({"/usr/bin/python3", "-c", "import dbus, dbus.mainloop.glib, gi.repository.GLib"}, {}).wait() !=
        0)
        GTEST_SKIP() << "no /usr/bin/python3 with dbus and gi (packages python3-dbus, python3-gi)";
    add("R&D", true);  // the service reads markup: the body must say "&amp;"
    add("fine", false);
    const std::string socket = dir / "bus";
    test::writeFile(dir / "bus.conf",
                    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                    "<busconfig><type>session</type><listen>unix:path=" +
                        socket +
                        "</listen>\n"
                        "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
                        "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    Child bus({"/usr/bin/dbus-daemon", "--config-file=" + dir / "bus.conf", "--nofork", "--nopidfile"}, {});
    if (!waitFor(socket)) GTEST_SKIP() << "dbus-daemon did not start a session bus here";
    const std::string address = "DBUS_SESSION_BUS_ADDRESS=unix:path=" + socket;
    const auto batch = [&](std::vector<std::string> arguments, std::vector<std::string> environment) {
        const std::vector<std::string> named = files();
        arguments.insert(arguments.begin(), named.begin(), named.end());
        arguments.insert(arguments.begin(), TESSEL_BATCH_PATH);
        const auto started = std::chrono::steady_clock::now();
        const int status = Child(arguments, environment, dir / "batch.err").wait();
        return std::pair{status, std::chrono::steady_clock::now() - started};
    };

    // A bus without the service, and no bus at all: nothing said, nothing waited for, the run as it was.
    test::TempDir runtime;
    for (const std::vector<std::string>& environment :
         {std::vector<std::string>{address},
          {"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR=" + runtime.path()}}) {
        SCOPED_TRACE(environment[0]);
        const auto [status, took] = batch({"--quiet", "R&D-src"}, environment);
        EXPECT_EQ(status, 1);
        const std::vector<std::string> said = test::withoutDurations(test::loggedMessages(dir / "batch.err"));
        ASSERT_EQ(said.size(), 2u) << test::readFile(dir / "batch.err");
        EXPECT_EQ(said[0].rfind("Error copying file ", 0), 0u);
        EXPECT_EQ(said[1].rfind("Summary of watch R&D-src: failed; ", 0), 0u);
        EXPECT_LT(took, std::chrono::seconds(4));
    }

    const std::string notices = dir / "notices", ready = dir / "ready";
    Child service({"/usr/bin/python3", TESSEL_TEST_SUPPORT_DIR "/NotificationService.py", notices, ready},
                  {address});
    if (!waitFor(ready)) GTEST_SKIP() << "the stand-in notification service did not start";
    EXPECT_EQ(batch({"--quiet", "R&D-src", "fine-src"}, {address}).first, 1);
    EXPECT_EQ(batch({"--quiet", "--no-notify", "R&D-src"}, {address}).first, 1);
    EXPECT_EQ(batch({"--quiet", "fine-src"}, {address}).first, 0);
    std::vector<std::string> received;
    std::istringstream written(test::exists(notices) ? test::readFile(notices) : "");
    for (std::string line; std::getline(written, line);) received.push_back(line);
    ASSERT_EQ(received.size(), 1u) << "one notice: the failed run's, and only where notices are wanted";
    for (const std::string& part :
         {std::string("\"app\": \"Tessel\""), std::string("\"summary\": \"Tessel: R&D-src failed\""),
          "\"body\": \"Error copying file " +
              dir / "R&amp;D-src/a.txt: Is a directory\\n0 copied, 1 failed\"",
          std::string("\"desktop-entry\": \"org.example.Tessel\""), std::string("\"actions\": []")})
        EXPECT_NE(received[0].find(part), std::string::npos) << part << " in " << received[0];
}

}  // namespace
}  // namespace tessel
