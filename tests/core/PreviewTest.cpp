// The preview's promise: for a tree nobody changes meanwhile, it lists exactly the actions the run
// then takes, in the same order, and it changes nothing itself.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "platform/Clock.h"
#include "support/TestSupport.h"
#include "sync/EditedPlan.h"
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

// The plan in the user's hands: any file's row left out, any conflict decided for a side. A run of the
// edited plan does what the preview of that plan lists, which is the plan as edited: no row left out,
// nothing the plan does not hold, no conflict otherwise than chosen.
TEST_F(PreviewTest, AnEditedPlanIsRunAsEdited) {
    using Kind = RunAction::Kind;
    const auto isFileRow = [](Kind kind) {
        return kind == Kind::Copy || kind == Kind::Replace || kind == Kind::Move || kind == Kind::Delete ||
               kind == Kind::Conflict || kind == Kind::Rename;
    };
    context.options.stateFolder = dir / "state";
    // Conflict copies are named after the run's start: the preview and the run start at one moment.
    const test::FixedClock clock(platform::WallClock{1'780'000'000, 0});
    for (unsigned seed = 1; seed <= 120; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        for (const std::string& tree : {src, dst, dir / "state"}) std::filesystem::remove_all(tree);
        test::makeFolders(src);
        test::randomTree(random, src);
        watch.FileAction = random() % 4 == 0 ? faMove : faCopy;
        watch.BiDirect = random() % 2;
        watch.DeleteAbsent = watch.FileAction == faCopy && random() % 2;
        context.options.jobs = seed % 2 == 0 ? 4 : 1;
        // A run first, then both sides changed: a two-way watch then meets conflicts.
        test::randomTree(random, dst);
        ASSERT_NO_FATAL_FAILURE(runWatch());
        test::randomTree(random, src);
        test::randomTree(random, dst);

        EditedPlan plan;
        plan.madeAt = platform::fileClockNextTick();
        PlanRecorder preview;
        context.observer = &preview;
        runWatch(Doing::Preview);
        // A conflict's copy is part of its conflict's row, not a row of its own.
        std::set<std::string> conflicts;
        for (const RunAction& action : preview.actions)
            if (action.kind == Kind::Conflict) conflicts.insert(action.path);
        std::vector<RunAction> leftOut;
        for (const RunAction& action : preview.actions) {
            if (isFileRow(action.kind) && !conflicts.contains(action.target) && random() % 4 == 0) {
                leftOut.push_back(action);
                continue;
            }
            plan.add(action.kind, action.path, static_cast<ConflictChoice>(random() % 3),
                     hasSize(action.kind) ? std::optional(action.size) : std::nullopt);
        }
        const Watch planned = watchFromRecord(watch, {});
        PlanRecorder previewOfPlan, done;
        context.observer = &previewOfPlan;
        tessel::runWatch(context, planned, Doing::Preview, {&plan});
        context.observer = &done;
        const RunResult result = tessel::runWatch(context, planned, Doing::Run, {&plan});
        context.observer = nullptr;

        const auto lines = [](const std::vector<RunAction>& actions) {
            std::string text;
            for (const RunAction& action : actions) text += actionLine(action) + "\n";
            return text;
        };
        ASSERT_EQ(previewOfPlan.actions.size(), done.actions.size())
            << "preview of the plan:\n"
            << lines(previewOfPlan.actions) << "run:\n"
            << lines(done.actions) << "preview:\n"
            << lines(preview.actions);
        for (std::size_t i = 0; i < done.actions.size(); ++i) {
            const RunAction& action = done.actions[i];
            EXPECT_TRUE(sameAction(previewOfPlan.actions[i], action))
                << actionLine(previewOfPlan.actions[i]) << "\n   ran: " << actionLine(action);
            if (isFileRow(action.kind) && action.kind != Kind::Replace && action.kind != Kind::Copy) {
                EXPECT_TRUE(plan.holds(action.kind, action.path))
                    << "not in the plan: " << actionLine(action);
            }
        }
        for (const RunAction& left : leftOut)
            for (const RunAction& action : done.actions)
                EXPECT_FALSE(action.kind == left.kind && action.path == left.path)
                    << "left out, and done: " << actionLine(action);
        EXPECT_EQ(done.errors, previewOfPlan.errors);
        // Nothing changed since the preview: nothing is refused for it.
        const std::string changed = make_error_code(platform::WalkError::ChangedSincePreview).message();
        for (const std::string& line : done.errors) EXPECT_EQ(line.find(changed), std::string::npos) << line;
        EXPECT_EQ(result.failed, static_cast<int>(done.errors.size()));
    }
}

// What changed after the preview began is left as it is and said, each with its own line: a file
// edited, one made, one edited where the plan deletes it. A row left out is left silently.
TEST_F(PreviewTest, WhatChangedSinceThePreviewIsLeftAndSaid) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) writeFile(src + "/in/" + name, name);
    test::makeFolders(src + "/out");
    writeFile(dst + "/out/old.txt", "old");
    watch.DeleteAbsent = 1;
    EditedPlan plan;
    plan.madeAt = platform::fileClockNextTick();
    PlanRecorder preview;
    context.observer = &preview;
    runWatch(Doing::Preview);
    context.observer = nullptr;
    for (const RunAction& action : preview.actions)
        if (!action.path.ends_with("c.txt")) plan.add(action.kind, action.path);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    writeFile(src + "/in/b.txt", "edited");
    writeFile(src + "/in/new.txt", "new");
    writeFile(dst + "/out/old.txt", "edited");

    PlanRecorder done;
    context.observer = &done;
    const RunResult result = tessel::runWatch(context, watchFromRecord(watch, {}), Doing::Run, {&plan});
    context.observer = nullptr;
    EXPECT_EQ(test::snapshotTree(dst),
              (std::vector<std::string>{"in/", "in/a.txt=a.txt", "out/", "out/old.txt=edited"}));
    const std::string why = ": " + make_error_code(platform::WalkError::ChangedSincePreview).message();
    EXPECT_EQ(done.errors, (std::vector<std::string>{"Error copying file " + src + "/in/b.txt" + why,
                                                     "Error copying file " + src + "/in/new.txt" + why,
                                                     "Error deleting file " + dst + "/out/old.txt" + why}));
    EXPECT_EQ(result.failed, 3);
}

// A plan is text a user edits: every row read back is the row printed, names that differ give rows that
// differ, and the header names the watch (a header without a name, as plans had one, still reads).
TEST_F(PreviewTest, APlanReadsBackAsPrinted) {
    using Kind = RunAction::Kind;
    const std::string names[] = {"q\\x0ar.txt", "q\nr.txt",          "back\\",
                                 "two\\\\x41",  "a -> /b <-> /c",    "tab\t  9 bytes",
                                 "del\x7f",     "end, source newer", "plain.txt"};
    std::vector<RunAction> actions;
    std::uint64_t size = 1'234'567;
    for (const std::string& name : names) {
        actions.push_back({Kind::Delete, dst + "/" + name, {}, size++});
        actions.push_back(
            {Kind::Replace, src + "/" + name, dst + "/" + name, size++, RunAction::Side::Source});
        actions.push_back({Kind::CreateFolder, dst + "/" + name + "/", {}});
    }
    const platform::WallClock madeAt{1'780'000'000, 5};
    std::string text = planHeader(7, "a (b) made \\ x\n", madeAt) + "\n";
    for (const RunAction& action : actions) text += actionLine(action) + "\n";
    EditedPlan plan;
    PlanWatch of;
    std::string problem;
    ASSERT_TRUE(readPlanText(text, plan, of, problem)) << problem;
    EXPECT_EQ(of.position, 7);
    EXPECT_EQ(of.name, "a (b) made \\ x\n");
    EXPECT_EQ(plan.madeAt.seconds, madeAt.seconds);
    EXPECT_EQ(plan.size(), actions.size()) << text;
    for (const RunAction& action : actions) {
        const PlanRow* const row = plan.row(action.kind, action.path);
        ASSERT_NE(row, nullptr) << actionLine(action);
        EXPECT_EQ(row->path, action.path);
        EXPECT_EQ(row->size, hasSize(action.kind) ? std::optional(action.size) : std::nullopt);
    }

    const std::string moment = text.substr(text.find(" made 2") + 6, 29);
    struct Header {
        std::string line;
        std::int32_t position;
        std::optional<std::string> name;
    };
    for (const Header& header : {Header{"plan of watch 3 made " + moment, 3, std::nullopt},
                                 Header{"plan of watch 12 (photos) made " + moment, 12, "photos"},
                                 Header{"plan of watch 0 () made " + moment, 0, ""}}) {
        PlanWatch read;
        EXPECT_TRUE(readPlanText(header.line + "\n", plan, read, problem)) << header.line << ": " << problem;
        EXPECT_EQ(read.position, header.position);
        EXPECT_EQ(read.name, header.name);
    }
    const std::string wrongs[] = {"plan of watch x (photos) made " + moment,
                                  "plan of watch 3 (photos made " + moment,
                                  "plan of watch 3 (photos) made yesterday"};
    for (const std::string& wrong : wrongs) {
        PlanWatch read;
        EXPECT_FALSE(readPlanText(wrong + "\n", plan, read, problem)) << wrong;
    }
}

// What a plan run cannot match is never done and never passed over in silence: a row whose file went
// after the preview, rows naming files outside the watch, a row whose size is not its file's, each get
// their error line. A row of a name is never taken for another name printed alike.
TEST_F(PreviewTest, RowsTheRunCannotMatchAreSaidAndLeft) {
    writeFile(src + "/keep.txt", "k");
    writeFile(src + "/vanish.txt", "v");
    writeFile(dst + "/q\nr.txt", "REAL\n");
    writeFile(dst + "/q\\x0ar.txt", "LITERAL\n");
    writeFile(dst + "/sized.txt", "12345");
    writeFile(dir / "outside.txt", "outside");
    watch.DeleteAbsent = 1;
    const platform::WallClock madeAt = platform::fileClockNextTick();
    PlanRecorder preview;
    context.observer = &preview;
    runWatch(Doing::Preview);
    context.observer = nullptr;
    std::string text = planHeader(0, "w", madeAt) + "\n";
    for (const RunAction& action : preview.actions)
        if (action.path != dst + "/q\nr.txt") text += actionLine(action) + "\n";
    ASSERT_NE(text.find("delete  " + dst + "/sized.txt  5 bytes\n"), std::string::npos) << text;
    text.replace(text.find("sized.txt  5 bytes"), 18, "sized.txt  4 bytes");
    const std::string injected[] = {
        "copy  /etc/passwd -> " + dst + "/passwd  100 bytes", "delete  /etc/hostname  5 bytes",
        "delete  " + dst + "/../outside.txt  7 bytes", "create folder  " + dst + "/../made"};
    for (const std::string& row : injected) text += row + "\n";
    EditedPlan plan;
    PlanWatch of;
    std::string problem;
    ASSERT_TRUE(readPlanText(text, plan, of, problem)) << problem;
    std::filesystem::remove(src + "/vanish.txt");

    PlanRecorder done;
    context.observer = &done;
    const RunResult result = tessel::runWatch(context, watchFromRecord(watch, {}), Doing::Run, {&plan});
    context.observer = nullptr;
    EXPECT_EQ(test::snapshotTree(dst),
              (std::vector<std::string>{"keep.txt=k", "q\nr.txt=REAL\n", "sized.txt=12345"}));
    EXPECT_EQ(test::readFile(dir / "outside.txt"), "outside");
    EXPECT_FALSE(test::exists(dir / "made"));
    const std::string why = ": " + make_error_code(platform::WalkError::ChangedSincePreview).message();
    EXPECT_EQ(done.errors, (std::vector<std::string>{"Error deleting file " + dst + "/sized.txt" + why,
                                                     "Error copying file " + src + "/vanish.txt" + why,
                                                     "Error copying file /etc/passwd" + why,
                                                     "Error deleting file /etc/hostname" + why,
                                                     "Error deleting file " + dst + "/../outside.txt" + why,
                                                     "Error creating folder " + dst + "/../made" + why}));
    EXPECT_EQ(result.failed, 6);
}

}  // namespace
}  // namespace tessel
