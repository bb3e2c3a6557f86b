// The follower on real trees with real kernel changes: what it asks to run after each kind of change
// (new, changed, deleted, renamed and moved files and folders, a folder made and filled at once, moves
// out of and into the tree), when it asks (the quiet delay, the longest wait), and when it asks for a
// full run instead (a start, a full queue, a root that goes away, the kernel's limit).

#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "platform/Faults.h"
#include "support/TestSupport.h"
#include "sync/Follower.h"

namespace tessel {
namespace {

using namespace std::chrono_literals;
using Depth = RunScope::Depth;
using test::makeFolders;
using test::writeFile;

// A follower whose runs a test takes as they come due.
class Following {
  public:
    explicit Following(const FollowSettings& settings = {})
        : m_follower(settings, [this] {
              const std::lock_guard lock(m_mutex);
              ++m_wakes;
              m_woken.notify_all();
          }) {}

    bool start(const std::string& watchFile) {
        std::error_code error;
        return m_follower.start(watchFile, error);
    }
    // The next runs due, each ended at once as having run; none when nothing comes due within `wait`.
    std::vector<FollowRun> next(std::chrono::milliseconds wait = 5s) {
        std::vector<FollowRun> runs = take(wait);
        for (const FollowRun& run : runs) m_follower.ended(run, Follower::Ended::Ran);
        return runs;
    }
    // The same, the runs left for the test to end.
    std::vector<FollowRun> take(std::chrono::milliseconds wait = 5s) {
        const auto until = std::chrono::steady_clock::now() + wait;
        for (;;) {
            std::vector<FollowRun> runs = m_follower.takeDue();
            if (!runs.empty()) return runs;
            std::unique_lock lock(m_mutex);
            const int wakes = m_wakes;
            if (!m_woken.wait_until(lock, until, [&] { return m_wakes != wakes; })) return {};
        }
    }
    Follower& follower() { return m_follower; }

  private:
    std::mutex m_mutex;
    std::condition_variable m_woken;
    int m_wakes = 0;
    Follower m_follower;
};

FollowedWatch watchOf(const std::string& source, std::chrono::milliseconds delay = 100ms,
                      const std::string& destination = {}) {
    FollowedWatch watch;
    watch.key = source;
    watch.position = 3;
    watch.label = "Synhro folder " + source;
    watch.roots[0] = source + "/";
    if (!destination.empty()) watch.roots[1] = destination + "/";
    watch.delay = delay;
    return watch;
}

RunScope scopeOf(std::initializer_list<std::pair<std::string, Depth>> folders,
                 std::initializer_list<ScopeRename> renames = {}) {
    RunScope scope;
    for (const auto& [folder, depth] : folders) scope.add(folder, depth);
    for (const ScopeRename& rename : renames) scope.addRename(rename);
    return scope;
}

struct FollowerTest : ::testing::Test {
    test::TempDir dir;
    std::string src = dir / "src";
    Following following;

    // Starts following src and takes the first run, which is full.
    void startFollowing(std::chrono::milliseconds delay = 100ms) {
        ASSERT_TRUE(following.start(dir / "Data/WatchDef.wth"));
        following.follower().follow({watchOf(src, delay)});
        const std::vector<FollowRun> first = following.next();
        ASSERT_EQ(first.size(), 1u);
        EXPECT_TRUE(first[0].full);
        EXPECT_EQ(first[0].position, 3);
        const std::vector<std::string> lines = following.follower().takeLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("Following Synhro folder " + src, 0), 0u) << lines.back();
    }
    // The one run that follows what the test did: its scope.
    RunScope scopeAfter() {
        const std::vector<FollowRun> runs = following.next();
        EXPECT_EQ(runs.size(), 1u);
        if (runs.empty()) return {};
        EXPECT_FALSE(runs[0].full);
        return runs[0].scope;
    }
};

TEST_F(FollowerTest, EachChangeAsksForItsFolders) {
    makeFolders(src + "/a/b");
    makeFolders(src + "/c");
    makeFolders(dir / "outside/tree");
    writeFile(dir / "outside/tree/in.txt", "in");
    writeFile(src + "/a/old.txt", "old");
    writeFile(src + "/c/gone.txt", "gone");
    startFollowing();

    const struct {
        const char* what;
        std::function<void()> change;
        RunScope expected;
    } cases[] = {
        {"a new file", [&] { writeFile(src + "/a/b/new.txt", "new"); }, scopeOf({{"a/b/", Depth::Names}})},
        {"a changed file", [&] { writeFile(src + "/a/old.txt", "changed"); },
         scopeOf({{"a/", Depth::Names}})},
        {"new times", [&] { test::setModificationTime(src + "/a/old.txt", 1'000'000); },
         scopeOf({{"a/", Depth::Names}})},
        {"a deleted file", [&] { std::remove((src + "/c/gone.txt").c_str()); },
         scopeOf({{"c/", Depth::Names}})},
        {"a renamed file",
         [&] { std::rename((src + "/a/old.txt").c_str(), (src + "/a/b/renamed.txt").c_str()); },
         scopeOf({{"a/", Depth::Names}, {"a/b/", Depth::Names}}, {{0, "a/old.txt", "a/b/renamed.txt"}})},
        {"a folder made and filled at once",
         [&] {
             makeFolders(src + "/made/deep/deeper");
             writeFile(src + "/made/deep/deeper/f.txt", "f");
         },
         scopeOf({{"", Depth::Names}, {"made/", Depth::Tree}})},
        {"a renamed folder", [&] { std::rename((src + "/a/b").c_str(), (src + "/c/b2").c_str()); },
         scopeOf({{"a/", Depth::Names}, {"a/b/", Depth::Tree}, {"c/", Depth::Names}, {"c/b2/", Depth::Tree}},
                 {{0, "a/b/", "c/b2/"}})},
        {"a file in the renamed folder, known by its new path",
         [&] { writeFile(src + "/c/b2/later.txt", "later"); }, scopeOf({{"c/b2/", Depth::Names}})},
        {"a file in the new folder's new subfolder", [&] { writeFile(src + "/made/deep/deeper/g.txt", "g"); },
         scopeOf({{"made/deep/deeper/", Depth::Names}})},
        {"a folder moved out of the tree",
         [&] { std::rename((src + "/made").c_str(), (dir / "outside/made").c_str()); },
         scopeOf({{"", Depth::Names}, {"made/", Depth::Tree}})},
        {"a folder moved into the tree",
         [&] { std::rename((dir / "outside/tree").c_str(), (src + "/a/tree").c_str()); },
         scopeOf({{"a/", Depth::Names}, {"a/tree/", Depth::Tree}})},
        {"a hidden file, and Tessel's own",
         [&] {
             writeFile(src + "/a/.hidden", "h");
             writeFile(src + "/a/.tessel-00000001-00000001.tmp", "t");
             writeFile(src + "/a/tree/seen.txt", "s");
         },
         scopeOf({{"a/tree/", Depth::Names}})},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.what);
        each.change();
        EXPECT_EQ(scopeAfter(), each.expected);
    }
    // The folder that left is no longer followed: what happens in it now is nobody's business.
    writeFile(dir / "outside/made/deep/deeper/h.txt", "h");
    EXPECT_TRUE(following.next(500ms).empty());
}

TEST_F(FollowerTest, QuietDelayAndLongestWait) {
    makeFolders(src);
    startFollowing(300ms);
    // Changes keep coming every 100 ms: the run waits for no quiet moment longer than ten delays.
    const auto started = std::chrono::steady_clock::now();
    std::vector<FollowRun> runs;
    for (int i = 0; runs.empty() && i < 60; ++i) {
        writeFile(src + "/busy.txt", std::to_string(i));
        std::this_thread::sleep_for(100ms);
        runs = following.follower().takeDue();
    }
    const auto waited = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_GE(waited, kLongestWaitFactor * 300ms);
    EXPECT_LT(waited, kLongestWaitFactor * 300ms + 1500ms);
    following.follower().ended(runs[0], Follower::Ended::Ran);

    // One change, then quiet: a delay later it runs, not before.
    const auto changed = std::chrono::steady_clock::now();
    writeFile(src + "/once.txt", "once");
    ASSERT_EQ(following.next().size(), 1u);
    EXPECT_GE(std::chrono::steady_clock::now() - changed, 300ms);

    // A run another run kept from going is asked for again, with what it covered.
    writeFile(src + "/again.txt", "again");
    std::vector<FollowRun> busy;
    for (int i = 0; busy.empty() && i < 50; ++i) {
        std::this_thread::sleep_for(100ms);
        busy = following.follower().takeDue();
    }
    ASSERT_EQ(busy.size(), 1u);
    following.follower().ended(busy[0], Follower::Ended::Busy);
    EXPECT_EQ(scopeAfter(), scopeOf({{"", Depth::Names}}));

    // A run that failed is asked for again with what it covered, though nothing changes: a delay later,
    // then two delays after a second failure in a row. A run that succeeds ends it.
    writeFile(src + "/sub.txt", "refused");
    std::vector<FollowRun> failing = following.take();
    for (const auto backoff : {300ms, 600ms}) {
        SCOPED_TRACE(backoff.count());
        ASSERT_EQ(failing.size(), 1u);
        const auto failedAt = std::chrono::steady_clock::now();
        following.follower().ended(failing[0], Follower::Ended::Failed);
        failing = following.take();
        ASSERT_EQ(failing.size(), 1u);
        EXPECT_GE(std::chrono::steady_clock::now() - failedAt, backoff);
        EXPECT_EQ(failing[0].scope, scopeOf({{"", Depth::Names}}));
    }
    following.follower().ended(failing[0], Follower::Ended::Ran);
    EXPECT_TRUE(following.next(1500ms).empty());
    // A full run that failed is asked for again in full.
    following.follower().follow({});
    following.follower().follow({watchOf(src, 300ms)});
    failing = following.take();
    ASSERT_EQ(failing.size(), 1u);
    following.follower().ended(failing[0], Follower::Ended::Failed);
    EXPECT_TRUE(following.next().at(0).full);
}

TEST_F(FollowerTest, FullRunsWhenChangesCannotBeTrusted) {
    makeFolders(src + "/a");
    FollowSettings settings;
    settings.rescan = 1500ms;
    settings.fallback = 800ms;
    Following timed(settings);
    ASSERT_TRUE(timed.start(dir / "WatchDef.wth"));
    timed.follower().follow({watchOf(src)});
    ASSERT_EQ(timed.next().size(), 1u);  // the start's full run
    EXPECT_EQ(timed.follower().takeLines(),
              std::vector<std::string>{"Following Synhro folder " + src + ", 2 folders"});

    // RescanHours: nothing changed, and still a full run comes.
    const std::vector<FollowRun> rescan = timed.next();
    ASSERT_EQ(rescan.size(), 1u);
    EXPECT_TRUE(rescan[0].full);

    // The source goes away: a full run says so (and deletes nothing), then one every FallbackMinutes
    // until it is back, and then it is followed again.
    ASSERT_EQ(std::rename(src.c_str(), (dir / "elsewhere").c_str()), 0);
    std::vector<FollowRun> gone = timed.next();
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_TRUE(gone[0].full);
    const std::vector<std::string> lines = timed.follower().takeLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Error following Synhro folder " + src + ": folder " + src +
                            "/ went away; the watch runs every minute until it is back");
    EXPECT_TRUE(timed.next().at(0).full);
    ASSERT_EQ(std::rename((dir / "elsewhere").c_str(), src.c_str()), 0);
    EXPECT_TRUE(timed.next().at(0).full);
    writeFile(src + "/a/back.txt", "back");
    const std::vector<FollowRun> back = timed.next();
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].scope, scopeOf({{"a/", Depth::Names}}));
}

TEST_F(FollowerTest, TwoTreesOfATwoWayWatch) {
    const std::string dst = dir / "dst";
    makeFolders(src + "/x");
    makeFolders(dst + "/x");
    ASSERT_TRUE(following.start(dir / "WatchDef.wth"));
    following.follower().follow({watchOf(src, 100ms, dst)});
    ASSERT_TRUE(following.next().at(0).full);
    writeFile(dst + "/x/other.txt", "o");
    std::rename((dst + "/x").c_str(), (dst + "/y").c_str());
    EXPECT_EQ(scopeAfter(),
              scopeOf({{"", Depth::Names}, {"x/", Depth::Tree}, {"y/", Depth::Tree}}, {{1, "x/", "y/"}}));
    // A watch left out is let go of; one taken up again starts with a full run.
    following.follower().follow({});
    EXPECT_EQ(following.follower().followCount(), 1u);  // the watch file's folder alone
    following.follower().follow({watchOf(src, 100ms, dst)});
    EXPECT_TRUE(following.next().at(0).full);
}

#ifdef TESSEL_FAULT_INJECTION

TEST_F(FollowerTest, FaultAFullQueueIsOneFullRun) {
    makeFolders(src + "/a");
    startFollowing();
    platform::faults::inject(platform::faults::Operation::ReadChanges, 1, 0);
    writeFile(src + "/a/lost.txt", "lost");
    const std::vector<FollowRun> runs = following.next();
    platform::faults::clear();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].full);
    EXPECT_EQ(following.follower().takeLines(),
              std::vector<std::string>{"The kernel's queue of changes was full and lost some: the followed "
                                       "watches run in full"});
    EXPECT_TRUE(following.next(500ms).empty());  // one run, not a loop
}

TEST_F(FollowerTest, FaultAFolderThatCannotBeFollowed) {
    makeFolders(src + "/a/b");
    platform::faults::inject(platform::faults::Operation::Follow, 3, EACCES);
    FollowSettings settings;
    settings.fallback = 1s;
    Following timed(settings);
    ASSERT_TRUE(timed.start(dir / "WatchDef.wth"));
    timed.follower().follow({watchOf(src)});
    ASSERT_TRUE(timed.next().at(0).full);
    platform::faults::clear();
    const std::vector<std::string> lines = timed.follower().takeLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Error following folder " + src + "/a/", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("Synhro folder " + src + " also runs every minute"), std::string::npos);
    // The rest is followed, and full runs come every FallbackMinutes.
    writeFile(src + "/new.txt", "n");
    EXPECT_FALSE(timed.next().at(0).full);
    EXPECT_TRUE(timed.next().at(0).full);
}

TEST_F(FollowerTest, FaultMoreFoldersThanTheKernelAllows) {
    makeFolders(src + "/a");
    platform::faults::refuse(platform::faults::Operation::Follow, ENOSPC);
    Following full;
    ASSERT_TRUE(full.start(dir / "WatchDef.wth"));
    full.follower().follow({watchOf(src)});
    ASSERT_TRUE(full.next().at(0).full);
    platform::faults::clear();
    const std::vector<std::string> lines = full.follower().takeLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(
        lines[0].find("Error following Synhro folder " + src + ": its 2 folders need more change watches"),
        std::string::npos)
        << lines[0];
    EXPECT_NE(lines[0].find("To raise the limit: sudo sysctl fs.inotify.max_user_watches=524288"),
              std::string::npos);
    EXPECT_EQ(full.follower().followCount(), 0u);
}

TEST_F(FollowerTest, FaultNewFoldersBeyondTheKernelsLimitAreOneLine) {
    makeFolders(src + "/a");
    startFollowing();
    platform::faults::refuse(platform::faults::Operation::Follow, ENOSPC);
    // Two bursts of new folders, each with a file: every one runs, and the limit is said once.
    for (const char* burst : {"n", "m"}) {
        for (int i = 0; i < 5; ++i) writeFile(src + "/" + burst + std::to_string(i) + "/f.txt", "f");
        ASSERT_FALSE(following.next().empty());
        const std::vector<std::string> lines = following.follower().takeLines();
        if (std::string(burst) == "m") {
            EXPECT_TRUE(lines.empty()) << testing::PrintToString(lines);
            continue;
        }
        ASSERT_EQ(lines.size(), 1u) << testing::PrintToString(lines);
        EXPECT_EQ(lines[0].rfind("Error following Synhro folder " + src + ": its ", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find(" already; the watch also runs every 10 minutes. To raise the limit: sudo "
                                "sysctl fs.inotify.max_user_watches="),
                  std::string::npos)
            << lines[0];
    }
    platform::faults::clear();
}

#endif

}  // namespace
}  // namespace tessel
