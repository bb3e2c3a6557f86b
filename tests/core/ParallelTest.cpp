// Threads change how fast a run is, nothing else: the same trees, log lines, actions and results come
// out of a run with one job and a run with four, for any tree and any watch.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <thread>

#include "support/TestSupport.h"
#include "sync/OrderedPool.h"
#include "sync/Preview.h"
#include "sync/SyncWatch.h"

namespace tessel {
namespace {

struct Outcome {
    std::vector<std::string> source, destination, log, actions;
    std::vector<std::string> folderTimes;  // of the trees a one-way run writes in, "path=time"
    RunResult result;
};

using FolderTimes = std::map<std::string, std::filesystem::file_time_type>;

// The modification time of every folder below `root` (and of `root`, as ""), the versions left out.
FolderTimes folderTimes(const std::string& root) {
    FolderTimes times;
    if (!test::exists(root)) return times;
    times[""] = std::filesystem::last_write_time(root);
    for (auto at = std::filesystem::recursive_directory_iterator(root);
         at != std::filesystem::recursive_directory_iterator(); ++at) {
        if (at->path().filename() == ".tessel-versions")
            at.disable_recursion_pending();
        else if (at->is_directory())
            times[std::filesystem::relative(at->path(), root).string()] = at->last_write_time();
    }
    return times;
}

class ParallelTest : public ::testing::Test, public test::CoreFixture {
  protected:
    // Builds the trees and the watch of `seed` below `folder` and runs it with `jobs` threads. Paths in
    // what it returns are given without `folder`, so two runs compare.
    Outcome runSeed(unsigned seed, const std::string& folder, int jobs) {
        const std::string src = dir / (folder + "/src"), dst = dir / (folder + "/dst");
        std::mt19937 random(seed);
        test::makeFolders(src);
        test::randomTree(random, src);
        if (random() % 4 != 0) test::randomTree(random, dst);
        // Every tenth seed has a crowded folder, which the threads share in pieces; every twentieth has
        // it below the root, too large to read ahead of the walk.
        const bool below = seed % 20 == 0;
        for (const std::string& root : {src, dst})
            for (int i = 0; seed % 10 == 0 && i < (below ? 900 : 300); ++i) {
                if (random() % 3 == 0) continue;
                const std::string path =
                    root + (below ? "/many/crowd-" : "/crowd-") + std::to_string(i) + ".txt";
                test::writeFile(path, std::string(random() % 3, 'a'));
                test::setModificationTime(path, 1'600'000'000 + 10 * (random() % 3));
            }
        // Every tenth seed from the fifth has more folders on both sides than the walk reads ahead at once.
        for (const std::string& root : {src, dst})
            for (int i = 0; seed % 10 == 5 && i < 40; ++i) {
                const std::string path =
                    root + "/wide-" + std::to_string(i / 8) + "/" + std::to_string(i % 8);
                if (random() % 4 == 0) continue;
                test::writeFile(path + "/f.txt", std::string(random() % 3, 'a'));
                test::setModificationTime(path + "/f.txt", 1'600'000'000 + 10 * (random() % 3));
            }
        // Now and then a link to a file that the run may replace before it comes to the link.
        for (const std::string& root : {src, dst})
            if (seed % 9 == 4 && test::exists(root + "/x")) symlink("a.txt", (root + "/x/link.txt").c_str());
        // Now and then a folder holds a file's name: a copy refused among the others.
        if (seed % 7 == 3) {
            test::writeFile(src + "/x/clash.txt", "file");
            test::makeFolders(dst + "/x/clash.txt");
        }
        // Every folder starts with a time of its own, the same in both runs of the seed.
        for (const std::string& root : {src, dst})
            for (const auto& [path, time] : folderTimes(root))
                test::setModificationTime(
                    path.empty() ? root : root + "/" + path,
                    1'500'000'000 + static_cast<std::int64_t>(std::hash<std::string>{}(path) % 1000));
        static const char* const kMasks[] = {"*.*", "*.txt", "*.txt;a*", "b*;*.txt"};
        TWatchRec watch = test::makeWatch(src, dst);
        watch.TuneMode = static_cast<std::int32_t>(random() % 3);
        watch.FileAction = random() % 3 == 0 ? faMove : faCopy;
        watch.BiDirect = random() % 2;
        watch.DeleteAbsent = random() % 2;
        watch.WideLog = 1;
        setText(watch.FileMask, kMasks[random() % 4]);
        context.options.deleteLimitPercent = random() % 2 == 0 ? 50 : 100;
        context.options.keepVersions = random() % 2 == 0;
        context.options.jobs = jobs;
        context.LogFilePath = dir / (folder + ".Log");
        context.options.stateFolder = dir / (folder + "-state");

        PlanRecorder actions;
        context.observer = &actions;
        Outcome outcome;
        const bool twoWay = isOn(watch.BiDirect) && watch.FileAction == faCopy;
        const FolderTimes before[] = {folderTimes(src), folderTimes(dst)};
        outcome.result = SyncWatch(context, src, dst, getText(watch.FileMask), "", watch.FileAction, watch);
        // A two-way run gives every folder it wrote in its own times back once its copies are done, and
        // a folder it made those of the folder it mirrors. (A root that gets a versions folder changes.)
        for (int side = 0; side < 2 && twoWay; ++side)
            for (const auto& [path, time] : folderTimes(side == 0 ? src : dst)) {
                const auto old = before[side].find(path);
                EXPECT_EQ(time, old != before[side].end() ? old->second : before[1 - side].at(path)) << path;
            }
        // A one-way run gives the folders it wrote in the times of those they mirror, whatever the jobs: the
        // destination's times come out the same. (A move's source folders change as their files go.)
        if (!isOn(watch.BiDirect))
            for (const auto& [path, time] : folderTimes(dst))
                outcome.folderTimes.push_back(path + "=" + std::to_string(time.time_since_epoch().count()));
        // A two-way watch runs again after changes on both sides, deciding from the state it left.
        if (isOn(watch.BiDirect)) {
            test::randomTree(random, src);
            std::vector<std::string> files;
            for (const std::string& entry : test::snapshotTree(dst))
                if (entry.back() != '/') files.push_back(dst + "/" + entry.substr(0, entry.find('=')));
            for (std::size_t i = 0; i < files.size(); ++i)
                if (random() % 4 == 0) std::filesystem::remove(files[i]);
            outcome.result +=
                SyncWatch(context, src, dst, getText(watch.FileMask), "", watch.FileAction, watch);
        }
        context.observer = nullptr;
        const auto local = [&](std::string text) {
            for (std::size_t at; (at = text.find(dir / folder)) != std::string::npos;)
                text.replace(at, (dir / folder).size(), "");
            return text;
        };
        outcome.source = test::snapshotTree(src);
        outcome.destination = test::exists(dst) ? test::snapshotTree(dst) : std::vector<std::string>{};
        for (const std::string& line : loggedMessages()) outcome.log.push_back(local(line));
        for (const RunAction& action : actions.actions) outcome.actions.push_back(local(actionLine(action)));
        return outcome;
    }
    test::FixedClock clock{platform::WallClock{1'780'000'000, 0}};  // versions folders named alike
};

TEST_F(ParallelTest, OneJobAndFourGiveTheSameRun) {
    for (unsigned seed = 1; seed <= 150; ++seed) {
        SCOPED_TRACE(seed);
        const Outcome one = runSeed(seed, "one-" + std::to_string(seed), 1);
        const Outcome four = runSeed(seed, "four-" + std::to_string(seed), 4);
        EXPECT_EQ(one.source, four.source);
        EXPECT_EQ(one.destination, four.destination);
        EXPECT_EQ(one.log, four.log);
        EXPECT_EQ(one.actions, four.actions);
        EXPECT_EQ(one.folderTimes, four.folderTimes);
        const auto counts = [](const RunResult& r) {
            return std::vector<std::int64_t>{
                r.copied,    r.moved,        r.deleted,
                r.skipped,   r.failed,       r.refusedDeletions,
                r.conflicts, r.versionsKept, static_cast<std::int64_t>(r.bytesCopied)};
        };
        EXPECT_EQ(counts(one.result), counts(four.result));
    }
}

}  // namespace
}  // namespace tessel

namespace tessel {
namespace {

// A release may hand over more work (a file decided again once its rename is done): the pool still
// releases everything in the order handed over, every follow-up right where its release put it, and
// a drain leaves nothing behind, however the threads happen to finish.
TEST(OrderedPoolTest, FollowUpsHandedOverFromAReleaseAreReleasedInOrderByTheDrain) {
    class Piece : public OrderedPool::Task {
      public:
        Piece(OrderedPool& pool, std::vector<std::string>& told, std::string name, int followUps)
            : m_pool(pool), m_told(told), m_name(std::move(name)), m_followUps(followUps) {}
        void run() override {
            if (m_name.size() % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        void release() override {
            m_told.push_back(m_name);
            if (m_followUps > 0)
                m_pool.submitSmall(std::make_unique<Piece>(m_pool, m_told, m_name + "'", m_followUps - 1));
        }

      private:
        OrderedPool& m_pool;
        std::vector<std::string>& m_told;
        std::string m_name;
        int m_followUps;
    };
    std::mt19937 random(7);
    for (const int threads : {1, 2, 4}) {
        for (int round = 0; round < 20; ++round) {
            std::vector<std::string> told, expected;
            {
                OrderedPool pool(threads, 8);
                const int pieces = static_cast<int>(random() % 40);
                for (int i = 0; i < pieces; ++i) {
                    const int followUps =
                        static_cast<int>(random() % 4) == 0 ? static_cast<int>(random() % 3) : 0;
                    const std::string name = "p" + std::to_string(i);
                    for (int k = 0; k <= followUps; ++k) expected.push_back(name + std::string(k, '\''));
                    pool.submitSmall(std::make_unique<Piece>(pool, told, name, followUps));
                }
                pool.drain();
                // Every first piece comes out in the order handed over; each follow-up after its own.
                std::vector<std::string> firsts;
                for (const std::string& name : told)
                    if (name.find('\'') == std::string::npos) firsts.push_back(name);
                std::vector<std::string> handedOver;
                for (const std::string& name : expected)
                    if (name.find('\'') == std::string::npos) handedOver.push_back(name);
                EXPECT_EQ(firsts, handedOver) << threads << " threads, round " << round;
                std::vector<std::string> sortedTold = told, sortedExpected = expected;
                std::sort(sortedTold.begin(), sortedTold.end());
                std::sort(sortedExpected.begin(), sortedExpected.end());
                EXPECT_EQ(sortedTold, sortedExpected)
                    << "drained " << told.size() << " of " << expected.size();
            }
        }
    }
}

// Memory does not grow with the tree: while the oldest piece is still running, the walk hands over no
// more than the window and then waits for it.
TEST(OrderedPoolTest, NoMoreThanTheWindowIsHandedOverWhileTheOldestPieceRuns) {
    constexpr std::size_t kWindow = 4, kPieces = 40;
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t begun = 0, handedOver = 0;  // submits called, and returned
    std::optional<std::size_t> handedOverWhenTheOldestEnded;
    class Piece : public OrderedPool::Task {
      public:
        explicit Piece(std::function<void()> work) : m_work(std::move(work)) {}
        void run() override {
            if (m_work) m_work();
        }
        void release() override {}

      private:
        std::function<void()> m_work;
    };
    // The oldest piece runs until every piece is handed over; the submits it lets through otherwise
    // show in a moment.
    auto oldest = [&] {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::milliseconds(200), [&] { return begun == kPieces; });
        handedOverWhenTheOldestEnded = handedOver;
    };
    {
        OrderedPool pool(2, kWindow);
        for (std::size_t i = 0; i < kPieces; ++i) {
            {
                std::lock_guard lock(mutex);
                ++begun;
            }
            changed.notify_all();
            pool.submit(std::make_unique<Piece>(i == 0 ? std::function<void()>(oldest) : nullptr));
            std::lock_guard lock(mutex);
            ++handedOver;
        }
        pool.drain();
    }
    ASSERT_TRUE(handedOverWhenTheOldestEnded.has_value());
    EXPECT_LE(*handedOverWhenTheOldestEnded, kWindow);
}

}  // namespace
}  // namespace tessel
