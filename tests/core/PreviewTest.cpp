// The preview's promise: for a tree nobody changes meanwhile, it lists exactly the actions the run
// then takes, in the same order, and it changes nothing itself.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "support/TestSupport.h"
#include "sync/Preview.h"
#include "sync/SyncWatch.h"

namespace tessel {
namespace {

using test::writeFile;

class PreviewTest : public ::testing::Test, public test::TreeFixture {
  protected:
    RunResult run(RunObserver& observer, bool preview) {
        context.observer = &observer;
        const RunResult result = runWatch(preview ? Doing::Preview : Doing::Run);
        context.observer = nullptr;
        return result;
    }
};

bool sameAction(const RunAction& a, const RunAction& b) {
    return a.kind == b.kind && a.path == b.path && a.target == b.target && a.size == b.size &&
           a.newer == b.newer;
}

TEST_F(PreviewTest, ListsWhatTheRunThenDoesAndChangesNothing) {
    static const char* const kMasks[] = {"*.*", "*.txt", "*.txt;a*", "*.doc,b*", "b*;*.txt"};
    const std::vector<std::string> kExcludes[] = {{}, {"*.doc"}, {"x/z", "b*"}, {"*/a.txt", ".h"}};
    // What links lead to outside the trees: no run changes it, so a run finds what its preview found.
    writeFile(dir / "outside.txt", "outside");
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        std::filesystem::remove_all(src);
        std::filesystem::remove_all(dst);
        test::makeFolders(src);
        test::randomTree(random, src);
        if (random() % 4 != 0) test::randomTree(random, dst);
        // Now and then a read-only file the run must neither replace nor delete: the preview says so.
        test::makeReadOnlyNowAndThen(random, dst);
        // Now and then names with a dot and links, for the watch's settings to take or leave out.
        for (const std::string& root : {src, dst}) {
            if (!test::exists(root) || random() % 3 != 0) continue;
            writeFile(root + "/.hidden.txt", "h");
            writeFile(root + "/x/.h/a.txt", "h");
            symlink((dir / "outside.txt").c_str(), (root + "/l.txt").c_str());
            symlink("nowhere", (root + "/x/dangling.txt").c_str());
            symlink("..", (root + "/x/up").c_str());
        }
        extras.excludes = kExcludes[random() % 4];
        extras.hidden = random() % 2 == 0 ? HiddenFiles::Skip : HiddenFiles::Include;
        extras.links = static_cast<LinkHandling>(random() % 3);
        watch.TuneMode = static_cast<std::int32_t>(random() % 4) - (random() % 8 == 0 ? 4 : 0);
        watch.FileAction = random() % 3 == 0 ? faMove : faCopy;
        watch.BiDirect = random() % 2;
        watch.DeleteAbsent = random() % 2;
        watch.CopyWithRoot = random() % 4 == 0;
        setText(watch.FileMask, kMasks[random() % 5]);
        context.options.deleteLimitPercent = random() % 2 == 0 ? 50 : 100;
        context.options.keepVersions = random() % 2 == 0;
        context.options.jobs = seed % 2 == 0 ? 4 : 1;  // the promise holds with threads too

        const std::vector<std::string> before = test::snapshotTree(dir.path());
        PlanRecorder preview, done;
        const RunResult previewed = run(preview, true);
        EXPECT_EQ(test::snapshotTree(dir.path()), before) << "a preview changes nothing";
        const RunResult result = run(done, false);
        ASSERT_EQ(preview.actions.size(), done.actions.size());
        for (std::size_t i = 0; i < done.actions.size(); ++i)
            EXPECT_TRUE(sameAction(preview.actions[i], done.actions[i]))
                << actionLine(preview.actions[i]) << "\n   ran: " << actionLine(done.actions[i]);
        EXPECT_EQ(previewed.failed, result.failed);
        EXPECT_EQ(previewed.refusedDeletions, result.refusedDeletions);
        EXPECT_EQ(preview.errors, done.errors) << "the preview shows the error lines the run logs";
    }
}

}  // namespace
}  // namespace tessel
