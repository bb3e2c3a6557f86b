// tessel-batch follow on real trees with the kernel's real changes: every kind of change reaches the
// other side within the delay and a little more, renames as renames; a two-way watch with both sides
// changing; a source that goes away (nothing deleted, an error line); a restart that catches up; two
// followers of one watch, of which one waits; pausing and resuming; SIGTERM ends it cleanly.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/Faults.h"
#include "support/TestSupport.h"
#include "sync/FollowSession.h"
#include "watch/WatchText.h"

namespace tessel {
namespace {

using namespace std::chrono_literals;
using test::exists;
using test::readFile;
using test::writeFile;
using Lines = std::vector<std::string>;

std::uint64_t inodeOf(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

// Whether `condition` comes true within `limit`, looked at every 50 ms.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 15s) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

bool contains(const Lines& lines, const std::string& wanted) {
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

// tessel-batch run in the background, its output in files of its own.
class Background {
  public:
    Background(const std::string& folder, std::vector<std::string> arguments, const std::string& output) {
        arguments.insert(arguments.begin(), TESSEL_BATCH_PATH);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        m_child = fork();
        if (m_child == 0) {
            const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0 || chdir(folder.c_str()) != 0) _exit(126);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Background() {
        if (m_child > 0) stop();
    }
    // SIGTERM, and its exit status once it has ended (-1 when it did not end by itself within 20 s).
    int stop() {
        ::kill(m_child, SIGTERM);
        int status = 0;
        const bool ended = eventually([&] { return waitpid(m_child, &status, WNOHANG) == m_child; }, 20s);
        if (!ended) {
            ::kill(m_child, SIGKILL);
            waitpid(m_child, &status, 0);
        }
        m_child = -1;
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t m_child = -1;
};

class FollowTest : public ::testing::Test, public test::CoreFixture {
  protected:
    std::string src = dir / "src";
    std::string dst = dir / "dst";

    // tessel-batch with the test's folder, waited for; its exit status.
    int command(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {TESSEL_BATCH_PATH, "--folder", dir.path()});
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            const int out = open((dir / "command.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) _exit(126);
            execv(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::unique_ptr<Background> follow(const std::string& output = "follow.out") {
        return std::make_unique<Background>(
            dir.path(), std::vector<std::string>{"--folder", dir.path(), "follow"}, dir / output);
    }
    void addWatch(std::vector<std::string> options) {
        test::makeFolders(src);
        options.insert(options.begin(), {"add", "docs", "--source", src, "--destination", dst, "--run-mode",
                                         "on-change", "--change-delay", "1"});
        ASSERT_EQ(command(options), 0) << readFile(dir / "command.out");
    }
    Lines logged() const { return test::loggedMessages(dir / "WatchLog.Log"); }
    std::string label() const { return "Synhro folder " + src + " with folder " + dst; }
};

TEST_F(FollowTest, EveryKindOfChangeReachesTheOtherSide) {
    writeFile(src + "/a.txt", "a");
    writeFile(src + "/gone.txt", "gone");
    writeFile(src + "/old/one.txt", "1");
    test::makeFolders(dir / "outside/in/deep");
    writeFile(dir / "outside/in/deep/x.txt", "x");
    addWatch({"--delete-absent", "yes"});
    const auto follower = follow();
    // The start runs in full: what changed while nobody followed is copied.
    ASSERT_TRUE(eventually([&] { return exists(dst + "/old/one.txt"); }));
    const std::uint64_t folder = inodeOf(dst + "/old");
    const std::uint64_t file = inodeOf(dst + "/a.txt");
    // A change runs only its folder: a full run would delete what only the destination has elsewhere.
    writeFile(dst + "/old/stray.txt", "s");
    writeFile(src + "/first.txt", "1");
    ASSERT_TRUE(eventually([&] { return exists(dst + "/first.txt"); }));
    EXPECT_TRUE(exists(dst + "/old/stray.txt"));
    std::remove((dst + "/old/stray.txt").c_str());

    const struct {
        const char* what;
        std::function<void()> change;
        std::function<bool()> done;
    } steps[] = {
        {"a new file", [&] { writeFile(src + "/new.txt", "new"); },
         [&] { return exists(dst + "/new.txt") && readFile(dst + "/new.txt") == "new"; }},
        {"a changed file", [&] { writeFile(src + "/new.txt", "changed"); },
         [&] { return readFile(dst + "/new.txt") == "changed"; }},
        {"a deleted file", [&] { std::remove((src + "/gone.txt").c_str()); },
         [&] { return !exists(dst + "/gone.txt"); }},
        {"a renamed file", [&] { std::rename((src + "/a.txt").c_str(), (src + "/b.txt").c_str()); },
         [&] {
             return exists(dst + "/b.txt") && !exists(dst + "/a.txt") && inodeOf(dst + "/b.txt") == file;
         }},
        {"a folder made and filled at once",
         [&] {
             test::makeFolders(src + "/made/deeper");
             for (int i = 0; i < 20; ++i) writeFile(src + "/made/deeper/" + std::to_string(i), "m");
         },
         [&] { return exists(dst + "/made/deeper") && test::listFolder(dst + "/made/deeper").size() == 20; }},
        {"a renamed folder", [&] { std::rename((src + "/old").c_str(), (src + "/new-name").c_str()); },
         [&] { return inodeOf(dst + "/new-name") == folder && !exists(dst + "/old"); }},
        {"a file moved out of the tree",
         [&] { std::rename((src + "/new.txt").c_str(), (dir / "outside/new.txt").c_str()); },
         [&] { return !exists(dst + "/new.txt"); }},
        {"a folder moved into the tree",
         [&] { std::rename((dir / "outside/in").c_str(), (src + "/in").c_str()); },
         [&] { return exists(dst + "/in/deep/x.txt"); }},
        {"a file in the folder moved in", [&] { writeFile(src + "/in/deep/y.txt", "y"); },
         [&] { return exists(dst + "/in/deep/y.txt"); }},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        EXPECT_TRUE(eventually(step.done));
    }
    // What the runs replaced and deleted is kept as versions, as a full run keeps it.
    Lines copied = test::snapshotTree(dst);
    const auto versions = std::partition(copied.begin(), copied.end(), [](const std::string& entry) {
        return !entry.starts_with(".tessel-versions/");
    });
    EXPECT_EQ(std::count_if(versions, copied.end(),
                            [](const std::string& entry) {
                                return entry.ends_with("/gone.txt=gone") ||
                                       entry.ends_with("/new.txt=changed");
                            }),
              2);
    copied.erase(versions, copied.end());
    std::sort(copied.begin(), copied.end());
    EXPECT_EQ(copied, test::snapshotTree(src));
    EXPECT_EQ(follower->stop(), 0) << "SIGTERM is its ordinary end";
    const Lines lines = logged();
    EXPECT_TRUE(contains(lines, "Following " + label() + ", 2 folders")) << testing::PrintToString(lines);
    EXPECT_TRUE(contains(lines, "Renamed file " + dst + "/a.txt as " + dst + "/b.txt"));
    EXPECT_TRUE(contains(lines, "Renamed folder " + dst + "/old as " + dst + "/new-name"));
    EXPECT_TRUE(std::none_of(lines.begin(), lines.end(),
                             [](const std::string& line) { return line.starts_with("Error"); }));
}

TEST_F(FollowTest, BothSidesOfATwoWayWatchChangingAtOnce) {
    writeFile(src + "/shared.txt", "s");
    addWatch({"--both-directions", "yes"});
    const auto follower = follow();
    ASSERT_TRUE(eventually([&] { return exists(dst + "/shared.txt"); }));
    writeFile(src + "/from-source.txt", "1");
    writeFile(dst + "/from-destination.txt", "2");
    test::makeFolders(dst + "/folder");
    writeFile(dst + "/folder/inside.txt", "3");
    EXPECT_TRUE(eventually([&] {
        return exists(dst + "/from-source.txt") && exists(src + "/from-destination.txt") &&
               exists(src + "/folder/inside.txt");
    }));
    const std::uint64_t renamed = inodeOf(src + "/shared.txt");
    std::rename((dst + "/shared.txt").c_str(), (dst + "/folder/shared.txt").c_str());
    EXPECT_TRUE(eventually([&] { return inodeOf(src + "/folder/shared.txt") == renamed; }));
    EXPECT_TRUE(eventually([&] { return test::snapshotTree(src) == test::snapshotTree(dst); }));
    EXPECT_EQ(follower->stop(), 0);
}

TEST_F(FollowTest, ASourceThatGoesAwayDeletesNothing) {
    writeFile(src + "/keep.txt", "k");
    addWatch({"--delete-absent", "yes"});
    const auto follower = follow();
    ASSERT_TRUE(eventually([&] { return exists(dst + "/keep.txt"); }));
    // The disk is unplugged, as far as the watch can tell.
    ASSERT_EQ(std::rename(src.c_str(), (dir / "unplugged").c_str()), 0);
    EXPECT_TRUE(eventually(
        [&] { return contains(logged(), "Error opening folder " + src + "/: No such file or directory"); }));
    EXPECT_TRUE(contains(logged(), "Error following " + label() + ": folder " + src +
                                       "/ went away; the watch runs every 10 minutes until it is back"));
    EXPECT_TRUE(exists(dst + "/keep.txt"));
    EXPECT_EQ(follower->stop(), 0);
}

TEST_F(FollowTest, ARestartCatchesUpAndOnlyOneFollowerFollowsAWatch) {
    writeFile(src + "/first.txt", "1");
    addWatch({});
    auto first = follow();
    ASSERT_TRUE(eventually([&] { return exists(dst + "/first.txt"); }));
    // A second follower of the same watch says so, and waits.
    auto second = follow("second.out");
    const std::string waiting = label() + " is followed by another Tessel; this one waits until it stops";
    EXPECT_TRUE(eventually([&] { return contains(logged(), waiting); }));
    EXPECT_EQ(first->stop(), 0);
    // Changed while nobody followed: the follower that takes over starts with a full run.
    writeFile(src + "/while-away.txt", "away");
    EXPECT_TRUE(eventually([&] { return exists(dst + "/while-away.txt"); }, 30s));
    writeFile(src + "/after.txt", "after");
    EXPECT_TRUE(eventually([&] { return exists(dst + "/after.txt"); }));
    EXPECT_EQ(second->stop(), 0);
}

TEST_F(FollowTest, PausedAndResumed) {
    writeFile(src + "/a.txt", "a");
    addWatch({});
    const auto follower = follow();
    ASSERT_TRUE(eventually([&] { return exists(dst + "/a.txt"); }));
    ASSERT_EQ(command({"follow", "--pause", "docs"}), 0) << readFile(dir / "command.out");
    EXPECT_TRUE(eventually([&] { return contains(logged(), "Stopped following " + label()); }));
    writeFile(src + "/while-paused.txt", "p");
    std::this_thread::sleep_for(3s);
    EXPECT_FALSE(exists(dst + "/while-paused.txt"));
    ASSERT_EQ(command({"follow", "--resume", "docs"}), 0) << readFile(dir / "command.out");
    EXPECT_TRUE(eventually([&] { return exists(dst + "/while-paused.txt"); }));
    EXPECT_EQ(follower->stop(), 0);

    ASSERT_EQ(command({"set", "docs", "--run-mode", "manual"}), 0);
    EXPECT_EQ(command({"follow", "--pause", "docs"}), 2);
    EXPECT_EQ(readFile(dir / "command.out"),
              "tessel-batch: docs does not run on change: nothing follows it (--run-mode on-change)\n");
    EXPECT_EQ(command({"follow", "--pause"}), 2);
    EXPECT_EQ(command({"follow", "--resume", "nothing"}), 2);
}

#ifdef TESSEL_FAULT_INJECTION

TEST_F(FollowTest, FaultAFailedRunIsRunAgainWithoutAnotherChange) {
    writeFile(src + "/first.txt", "1");
    addWatch({});
    // The follow command's loop, in this process, so that the fault seam reaches its runs.
    context.WatchFilePath = dir / "Data/WatchDef.wth";
    FollowSession session(context, [] {});
    ASSERT_TRUE(session.start());
    session.reload();
    int failed = 0;
    const auto followUntil = [&](const std::function<bool()>& done) {
        return eventually([&] {
            if (session.wantsReload()) session.reload();
            failed += session.runDue(context).result.failed;
            return done();
        });
    };
    ASSERT_TRUE(followUntil([&] { return exists(dst + "/first.txt"); })) << testing::PrintToString(logged());
    const std::string textFile = textFilePath(context.WatchFilePath);
    const struct {
        const char* what;
        std::function<void()> spoil, mend;
    } cases[] = {
        {"a copy that failed", [] { platform::faults::refuse(platform::faults::Operation::Write, EACCES); },
         [] { platform::faults::clear(); }},
        {"settings that could not be read",
         [&] {
             ASSERT_EQ(std::rename(textFile.c_str(), (dir / "text.away").c_str()), 0);
             test::makeFolders(textFile);
         },
         [&] {
             std::filesystem::remove(textFile);
             ASSERT_EQ(std::rename((dir / "text.away").c_str(), textFile.c_str()), 0);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = std::string("/") + c.what + ".txt";
        failed = 0;
        c.spoil();
        writeFile(src + name, "x");
        EXPECT_TRUE(followUntil([&] { return failed > 0; }));
        c.mend();
        EXPECT_TRUE(followUntil([&] { return exists(dst + name); }));
    }
    platform::faults::clear();
}

#endif

}  // namespace
}  // namespace tessel
