// Two-way watches that remember their last run: each row of the table starts from two trees in step,
// changes either side, runs the watch and checks both trees and the log; the first run, a damaged
// state and an interrupted run; and random changes on both sides checked against a small model.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>

#include "platform/Faults.h"
#include "platform/Versions.h"
#include "support/TestSupport.h"
#include "sync/SyncState.h"
#include "sync/SyncWatch.h"

namespace tessel {
namespace {

using test::exists;
using test::snapshotTree;
using test::writeFile;
using Tree = std::vector<std::string>;
using Lines = std::vector<std::string>;

constexpr std::int64_t T = 1'780'000'000;  // the time of the files at the last sync
const platform::LocalTime kRunStart{2026, 12, 8, 10, 30, 0, 0};
constexpr const char* kStamp = "20261208-103000";

// Every action a run reports, as one line each.
class Actions : public RunObserver {
  public:
    void action(const RunAction& action) override {
        static const char* const kinds[] = {"copy",     "replace", "move",  "delete", "folder",
                                            "conflict", "refused", "prune", "rename"};
        lines.push_back(std::string(kinds[static_cast<int>(action.kind)]) + " " + action.path + " > " +
                        action.target + " " + std::to_string(action.size) + " newer " +
                        std::to_string(static_cast<int>(action.newer)));
    }
    Lines lines;
};

// A file's content and modification time, in the model of the randomised test.
struct Version {
    std::string content;
    std::int64_t time = 0;
    bool operator==(const Version&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const Version& version) {
        return out << version.content << "@" << version.time;
    }
};

class TwoWayTest : public ::testing::Test, public test::TreeFixture {
  protected:
    TwoWayTest() {
        watch.BiDirect = 1;
        context.options.stateFolder = dir / "state";
        test::makeFolders(dst);
    }
    void TearDown() override {
#ifdef TESSEL_FAULT_INJECTION
        platform::faults::clear();
#endif
    }

    RunResult run(Doing doing = Doing::Run) {
        return SyncWatch(context, src, dst, getText(watch.FileMask), "", faCopy, watch, doing);
    }
    // A preview first, which must change nothing and tell the actions the run then reports.
    RunResult previewedRun() {
        const Tree before[] = {snapshotTree(src), snapshotTree(dst)};
        const std::string state = stateBytes();
        Actions preview, done;
        context.observer = &preview;
        run(Doing::Preview);
        EXPECT_EQ(snapshotTree(src), before[0]) << "the preview changed the source";
        EXPECT_EQ(snapshotTree(dst), before[1]) << "the preview changed the destination";
        EXPECT_EQ(stateBytes(), state) << "the preview wrote the state";
        test::writeFile(context.LogFilePath, "");
        context.observer = &done;
        const RunResult result = run();
        context.observer = nullptr;
        EXPECT_EQ(done.lines, preview.lines);
        return result;
    }
    void put(const std::string& path, const std::string& content, std::int64_t time) {
        test::writeFile(path, content);
        test::setModificationTime(path, time);
    }
    void reset() {
        for (const std::string& folder : {src, dst, dir / "state"}) std::filesystem::remove_all(folder);
        test::makeFolders(src);
        test::makeFolders(dst);
        test::writeFile(context.LogFilePath, "");
    }
    std::string stateFile() const {
        return SyncState::filePath(dir / "state", src + "/", dst + "/");
    }
    std::string stateBytes() const {
        return exists(stateFile()) ? test::readFile(stateFile()) : "";
    }
    std::string kept(const std::string& root, const std::string& base, const std::string& extension) const {
        return root + "/" + base + ".conflict-" + kStamp + extension;
    }

    test::FixedClock clock{kRunStart};
};

TEST_F(TwoWayTest, EachChangeSinceTheLastRunIsDecidedAsTheTableSays) {
    struct Row {
        std::string name;
        std::function<void()> change;
        int deleteAbsent;  // 0 off, 1 on, -1 either
        std::int32_t tune;
        Tree source, destination;
        Lines log;
        bool settles = true;  // a run right after it has nothing left to do
    };
    const std::string conflictLine = "Conflict " + dst +
                                     "/f.txt: both sides changed since the last run; kept as " +
                                     kept(dst, "f", ".txt") + ", replaced by the newer " + src + "/f.txt";
    const Row rows[] = {
        {"changed on the source: copied, though older than the destination",
         [&] { put(src + "/f.txt", "edited", T - 1000); },
         -1,
         tmSyncAll,
         {"f.txt=edited"},
         {"f.txt=edited"},
         {}},
        {"changed on the destination: copied back",
         [&] { put(dst + "/f.txt", "edited", T + 100); },
         -1,
         tmSyncAll,
         {"f.txt=edited"},
         {"f.txt=edited"},
         {}},
        {"changed on both sides alike: nothing to do",
         [&] {
             put(src + "/f.txt", "same", T + 100);
             put(dst + "/f.txt", "same", T + 200);
         },
         -1,
         tmSyncAll,
         {"f.txt=same"},
         {"f.txt=same"},
         {}},
        {"changed on both sides: the newer wins, the other is kept beside it",
         [&] {
             put(src + "/f.txt", "from the source", T + 300);
             put(dst + "/f.txt", "from the destination", T + 100);
         },
         -1,
         tmSyncAll,
         {"f.txt=from the source"},
         {"f.conflict-" + std::string(kStamp) + ".txt=from the destination", "f.txt=from the source"},
         {conflictLine}},
        {"deleted on the source, unchanged on the destination, deletions on",
         [&] { std::filesystem::remove(src + "/f.txt"); },
         1,
         tmSyncAll,
         {},
         {},
         {"Delete file " + dst + "/f.txt"}},
        {"the same with deletions off: copied back",
         [&] { std::filesystem::remove(src + "/f.txt"); },
         0,
         tmSyncAll,
         {"f.txt=base"},
         {"f.txt=base"},
         {}},
        {"deleted on the destination, deletions on",
         [&] { std::filesystem::remove(dst + "/f.txt"); },
         1,
         tmSyncAll,
         {},
         {},
         {"Delete file " + src + "/f.txt"}},
        {"deleted on the destination, deletions off",
         [&] { std::filesystem::remove(dst + "/f.txt"); },
         0,
         tmSyncAll,
         {"f.txt=base"},
         {"f.txt=base"},
         {}},
        {"deleted on the source, changed on the destination: the change wins",
         [&] {
             std::filesystem::remove(src + "/f.txt");
             put(dst + "/f.txt", "edited", T + 100);
         },
         -1,
         tmSyncAll,
         {"f.txt=edited"},
         {"f.txt=edited"},
         {}},
        {"created on both sides differently: the newer wins",
         [&] {
             put(src + "/new.txt", "one", T + 100);
             put(dst + "/new.txt", "two", T + 200);
         },
         -1,
         tmSyncAll,
         {"f.txt=base", "new.conflict-" + std::string(kStamp) + ".txt=one", "new.txt=two"},
         {"f.txt=base", "new.txt=two"},
         {"Conflict " + src + "/new.txt: both sides changed since the last run; kept as " +
          kept(src, "new", ".txt") + ", replaced by the newer " + dst + "/new.txt"}},
        {"created on both sides alike, and on one side only",
         [&] {
             put(src + "/new.txt", "one", T + 100);
             put(dst + "/new.txt", "one", T + 200);
             put(dst + "/sub/only.txt", "o", T);
         },
         -1,
         tmSyncAll,
         {"f.txt=base", "new.txt=one", "sub/", "sub/only.txt=o"},
         {"f.txt=base", "new.txt=one", "sub/", "sub/only.txt=o"},
         {}},
        {"copy only absent files: a conflict stays as it is and is logged",
         [&] {
             put(src + "/f.txt", "one", T + 100);
             put(dst + "/f.txt", "two", T + 200);
         },
         -1,
         tmAbsentOnly,
         {"f.txt=one"},
         {"f.txt=two"},
         {"Conflict " + src + "/f.txt and " + dst +
          "/f.txt: both changed since the last run; left as they are"},
         false},
        {"copy only absent files: a change on one side replaces nothing",
         [&] { put(src + "/f.txt", "edited", T + 100); },
         -1,
         tmAbsentOnly,
         {"f.txt=edited"},
         {"f.txt=base"},
         {}},
        {"edited in place within the same two seconds, same size, deleted on the other side: copied back",
         [&] {
             put(src + "/f.txt", "BASE", T + 1);
             std::filesystem::remove(dst + "/f.txt");
         },
         1,
         tmSyncAll,
         {"f.txt=BASE"},
         {"f.txt=BASE"},
         {}},
        {"written anew within the same two seconds, same size: copied across",
         [&] {
             std::filesystem::remove(dst + "/f.txt");
             put(dst + "/f.txt", "BASE", T + 1);
         },
         -1,
         tmSyncAll,
         {"f.txt=BASE"},
         {"f.txt=BASE"},
         {}},
        {"touched without a change of content: nothing to copy",
         [&] { chmod((src + "/f.txt").c_str(), 0600); },
         1,
         tmSyncAll,
         {"f.txt=base"},
         {"f.txt=base"},
         {}},
        {"update only old files: a change crosses, a new file does not",
         [&] {
             put(src + "/f.txt", "edited", T - 100);
             put(dst + "/new.txt", "n", T);
         },
         -1,
         tmUpdateOld,
         {"f.txt=edited"},
         {"f.txt=edited", "new.txt=n"},
         {}},
    };
    for (const Row& row : rows) {
        for (const int deleteAbsent : {0, 1}) {
            if (row.deleteAbsent >= 0 && row.deleteAbsent != deleteAbsent) continue;
            SCOPED_TRACE(row.name + (deleteAbsent ? ", deletions on" : ", deletions off"));
            reset();
            watch.DeleteAbsent = static_cast<std::uint8_t>(deleteAbsent);
            watch.TuneMode = row.tune;
            put(src + "/f.txt", "base", T);
            put(dst + "/f.txt", "base", T);
            ASSERT_EQ(run().copied, 0);
            ASSERT_TRUE(exists(stateFile()));
            row.change();
            const RunResult result = previewedRun();
            EXPECT_EQ(snapshotTree(src), row.source);
            EXPECT_EQ(snapshotTree(dst), row.destination);
            EXPECT_EQ(loggedMessages(), row.log);
            EXPECT_EQ(result.failed, 0);
            EXPECT_EQ(result.conflicts,
                      static_cast<int>(row.log.size() == 1 && row.log[0].starts_with("Conflict")));
            if (!row.settles) continue;
            run();  // a conflict copy crosses now
            test::writeFile(context.LogFilePath, "");
            const Tree after[] = {snapshotTree(src), snapshotTree(dst)};
            const RunResult again = previewedRun();
            EXPECT_EQ(again.copied + again.deleted + again.conflicts + again.failed, 0);
            EXPECT_EQ(snapshotTree(src), after[0]);
            EXPECT_EQ(snapshotTree(dst), after[1]);
        }
    }
}

TEST_F(TwoWayTest, AConflictsLoserIsAlsoKeptAsAVersion) {
    context.options.keepVersions = true;
    put(src + "/f.txt", "base", T);
    put(dst + "/f.txt", "base", T);
    run();
    put(src + "/f.txt", "older edit", T + 100);
    put(dst + "/f.txt", "newer edit", T + 200);
    const RunResult result = run();
    EXPECT_EQ(result.conflicts, 1);
    EXPECT_EQ(result.versionsKept, 1);
    EXPECT_TRUE(result.needsAttention());
    const std::string version = src + "/" + std::string(platform::kVersionsFolderName) + "/" +
                                platform::versionStamp(kRunStart) + "/f.txt";
    EXPECT_EQ(test::readFile(version), "older edit");
    EXPECT_EQ(test::readFile(kept(src, "f", ".txt")), "older edit");
    EXPECT_EQ(test::readFile(src + "/f.txt"), "newer edit");

    // A file deleted on the destination since is deleted from the source too, into its versions.
    watch.DeleteAbsent = 1;
    run();
    std::filesystem::remove(dst + "/f.txt");
    EXPECT_EQ(run().deleted, 1);
    EXPECT_FALSE(test::exists(src + "/f.txt"));
    EXPECT_EQ(test::readFile(version + ".1"), "newer edit") << "the same stamp: a name of its own";
}

// Deletions decided from the state pass the mass-deletion guard, and a refused one is decided again.
TEST_F(TwoWayTest, DeletionsFromTheStatePassTheGuard) {
    watch.DeleteAbsent = 1;
    context.options.deleteLimitPercent = 50;
    for (int i = 0; i < 12; ++i) {
        put(src + "/f" + std::to_string(i) + ".txt", "base", T);
        put(dst + "/f" + std::to_string(i) + ".txt", "base", T);
    }
    run();
    for (int i = 0; i < 12; ++i) std::filesystem::remove(src + "/f" + std::to_string(i) + ".txt");
    for (int attempt = 0; attempt < 2; ++attempt) {
        const RunResult refused = previewedRun();
        EXPECT_EQ(refused.refusedDeletions, 12);
        EXPECT_EQ(refused.failed, 1);
        EXPECT_EQ(
            loggedMessages(),
            Lines{"Error deleting files in " + dst + "/: the source folder " + src +
                  "/ held no file the watch's masks cover at the start of the run; 12 of the 12 files held "
                  "would be deleted; nothing was deleted"});
        EXPECT_EQ(test::listFolder(src).size(), 0u);
        EXPECT_EQ(test::listFolder(dst).size(), 12u);
    }
    context.options.deleteLimitPercent = 100;
    EXPECT_EQ(previewedRun().deleted, 12);
    EXPECT_EQ(test::listFolder(dst).size(), 0u);
}

// Two watches of one pair with other masks share its state and forget nothing of each other's; a
// destination that vanished (an unplugged disk) is made anew, and nothing is deleted for its sake.
TEST_F(TwoWayTest, OtherMasksOfThePairAndAVanishedDestination) {
    watch.DeleteAbsent = 1;
    put(src + "/a.txt", "a", T);
    put(src + "/b.doc", "b", T);
    for (const char* mask : {"*.txt", "*.doc"}) {
        setText(watch.FileMask, mask);
        run();
    }
    std::filesystem::remove(dst + "/b.doc");
    setText(watch.FileMask, "*.txt");
    run();
    setText(watch.FileMask, "*.doc");
    EXPECT_EQ(run().deleted, 1);
    EXPECT_FALSE(exists(src + "/b.doc")) << "deleted there, unchanged here: deleted, not brought back";

    std::filesystem::remove_all(dst);
    setText(watch.FileMask, "*.*");
    writeFile(context.LogFilePath, "");
    const RunResult result = run();
    EXPECT_EQ(result.deleted, 0);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(snapshotTree(src), Tree{"a.txt=a"});
    EXPECT_EQ(snapshotTree(dst), Tree{"a.txt=a"});
}

// Without a state, or with one that cannot be trusted: the union, nothing deleted, the newer file wins.
TEST_F(TwoWayTest, FirstRunAndDamagedStateTakeTheUnion) {
    watch.DeleteAbsent = 1;
    put(src + "/a.txt", "older and longer", T);
    put(dst + "/a.txt", "newer", T + 100);
    put(src + "/only-source.txt", "s", T);
    put(dst + "/sub/only-destination.txt", "d", T);
    EXPECT_EQ(previewedRun().failed, 0);
    const Tree both{"a.txt=newer", "only-source.txt=s", "sub/", "sub/only-destination.txt=d"};
    EXPECT_EQ(snapshotTree(src), both);
    EXPECT_EQ(snapshotTree(dst), both);

    struct Damage {
        const char* name;
        std::function<void(std::string&)> apply;
        std::string reason;
    };
    const Damage damages[] = {
        {"a byte changed", [](std::string& bytes) { bytes[bytes.size() - 9] ^= 0x20; },
         "its checksum does not match"},
        {"cut short", [](std::string& bytes) { bytes.resize(bytes.size() - 9); }, "the file is damaged"},
        {"another version", [](std::string& bytes) { bytes[8] = 7; }, "written by another version of Tessel"},
        {"not a state at all", [](std::string& bytes) { bytes = "[Main]\n"; }, "not a state file of Tessel"},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        std::string bytes = stateBytes();
        ASSERT_FALSE(bytes.empty());
        damage.apply(bytes);
        test::writeFile(stateFile(), bytes);
        std::filesystem::remove(src + "/only-source.txt");  // deleted by the user, but nobody can tell
        const RunResult result = previewedRun();
        EXPECT_EQ(result.failed, 1);
        EXPECT_EQ(result.deleted, 0);
        EXPECT_EQ(loggedMessages(),
                  Lines{"Error reading the state file " + stateFile() + ": " + damage.reason +
                        "; this run deletes nothing and keeps the files of both sides"});
        EXPECT_EQ(snapshotTree(src), both);
        EXPECT_EQ(snapshotTree(dst), both);
        // The next run has a sound state again.
        test::writeFile(context.LogFilePath, "");
        EXPECT_EQ(run().failed, 0);
        EXPECT_EQ(loggedMessages(), Lines{});
    }
}

// A state that cannot be trusted (not a regular file of the user's, or one whose reading fails) stops
// the watch: taken for a first run, it would bring back what the user deleted and be overwritten, and a
// link in its place would have the new state written wherever it leads.
TEST_F(TwoWayTest, AStateThatCannotBeReadStopsTheRunAndStaysAsItIs) {
    watch.DeleteAbsent = 1;
    put(src + "/a.txt", "a", T);
    put(src + "/gone.txt", "g", T);
    ASSERT_EQ(run().failed, 0);
    std::filesystem::remove(src + "/gone.txt");
    const std::string sound = stateBytes();
    const std::string victim = dir / "victim.txt";
    struct Case {
        const char* name;
        std::function<void()> setUp;
        std::string reason;
    };
    std::vector<Case> cases = {
        {"a link to another file",
         [&] {
             writeFile(victim, "not Tessel's");
             std::filesystem::remove(stateFile());
             std::filesystem::create_symlink(victim, stateFile());
         },
         "a symbolic link, not followed"},
        {"a folder", [&] { std::filesystem::remove(stateFile()), test::makeFolders(stateFile()); },
         "not a regular file"},
    };
#ifdef TESSEL_FAULT_INJECTION
    cases.push_back({"a read that fails",
                     [] { platform::faults::inject(platform::faults::Operation::Read, 1, EIO); },
                     "Input/output error"});
#endif
    if (geteuid() == 0)
        cases.push_back({"another user's", [&] { ASSERT_EQ(chown(stateFile().c_str(), 12345, 12345), 0); },
                         "it belongs to another user"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(stateFile());
        writeFile(stateFile(), sound);
        writeFile(context.LogFilePath, "");
        c.setUp();
        const Tree before[] = {snapshotTree(src), snapshotTree(dst), snapshotTree(dir / "state")};
        // An injected failure is taken by the first reading: no preview before the run then.
        const RunResult result = c.reason == "Input/output error" ? run() : previewedRun();
        EXPECT_EQ(result.failed, 1);
        EXPECT_EQ(loggedMessages(), Lines{"Error reading the state file " + stateFile() + ": " + c.reason +
                                          "; the watch was not run and the state file was left as it is"});
        EXPECT_EQ(snapshotTree(src), before[0]);
        EXPECT_EQ(snapshotTree(dst), before[1]) << "gone.txt stays: nobody can tell it was deleted";
        EXPECT_EQ(snapshotTree(dir / "state"), before[2]);
        if (exists(victim)) {
            EXPECT_EQ(test::readFile(victim), "not Tessel's");
        }
#ifdef TESSEL_FAULT_INJECTION
        platform::faults::clear();
#endif
    }
}

// Stopped while the threads still read subfolders ahead of the walk: the run ends cleanly (they end
// before it), and the next one does the rest.
TEST_F(TwoWayTest, AStopWhileSubfoldersAreReadAhead) {
    context.options.jobs = 4;
    for (int i = 0; i < 40; ++i) {
        put(src + "/d" + std::to_string(i) + "/a.txt", "new", T);
        test::makeFolders(dst + "/d" + std::to_string(i));
    }
    int steps = 0;
    display.onStep = [&] {
        if (++steps == 2) context.requestStop();
    };
    const RunResult stopped = run();
    EXPECT_TRUE(stopped.stopped);
    display.onStep = nullptr;
    context.clearStop();
    EXPECT_EQ(stopped.copied + run().copied, 40);
    EXPECT_EQ(snapshotTree(dst), snapshotTree(src));
}

#ifdef TESSEL_FAULT_INJECTION
// Stopped as the first copy opens its source: the copies handed to the threads but not begun are left for
// the next run, at most one a thread goes on.
TEST_F(TwoWayTest, CopiesNotBegunWhenTheRunStopsAreLeftForTheNext) {
    context.options.jobs = 4;
    for (int i = 0; i < 40; ++i) put(src + "/f" + std::to_string(i) + ".txt", "new", T);
    platform::faults::onPoint(platform::faults::Point::CopyOpening, [&] { context.requestStop(); });
    const RunResult stopped = run();
    platform::faults::clear();
    context.clearStop();
    EXPECT_TRUE(stopped.stopped);
    EXPECT_LE(stopped.copied, context.options.jobs);
    EXPECT_EQ(test::listFolder(dst).size(), static_cast<std::size_t>(stopped.copied));
    EXPECT_EQ(stopped.copied + run().copied, 40);
    EXPECT_EQ(snapshotTree(dst), snapshotTree(src));
}
#endif

// A run cut short keeps what it did and the last state for the rest; the next run finishes the work
// without taking its own copies for conflicts.
TEST_F(TwoWayTest, AnInterruptedRunIsCompletedByTheNext) {
    watch.DeleteAbsent = 1;
    for (int i = 1; i <= 6; ++i) {
        put(src + "/f" + std::to_string(i) + ".txt", "base", T);
        put(dst + "/f" + std::to_string(i) + ".txt", "base", T);
    }
    run();
    const auto change = [&] {
        for (const int i : {1, 3, 5}) put(src + "/f" + std::to_string(i) + ".txt", "edited", T + 100);
        for (const int i : {2, 4}) std::filesystem::remove(dst + "/f" + std::to_string(i) + ".txt");
    };
    const Tree finished{"f1.txt=edited", "f3.txt=edited", "f5.txt=edited", "f6.txt=base"};

    change();
    int steps = 0;
    display.onStep = [&] {
        if (++steps == 3) context.requestStop();
    };
    RunResult result = run();
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.copied, 2);
    EXPECT_EQ(result.deleted, 0);
    display.onStep = nullptr;
    context.clearStop();
    test::writeFile(context.LogFilePath, "");
    result = run();
    EXPECT_EQ(result.conflicts, 0);
    EXPECT_EQ(result.copied, 1);
    EXPECT_EQ(loggedMessages(), (Lines{"Delete file " + src + "/f2.txt", "Delete file " + src + "/f4.txt"}));
    EXPECT_EQ(snapshotTree(src), finished);
    EXPECT_EQ(snapshotTree(dst), finished);

#ifdef TESSEL_FAULT_INJECTION
    using platform::faults::Operation;
    // A copy that fails keeps its file's state, and no deletion happens beside it this time.
    put(src + "/f1.txt", "again", T + 200);
    std::filesystem::remove(dst + "/f6.txt");
    platform::faults::inject(Operation::Write, 1, ENOSPC);
    test::writeFile(context.LogFilePath, "");
    result = run();
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(result.deleted, 0);
    EXPECT_TRUE(exists(src + "/f6.txt"));
    platform::faults::clear();
    result = run();
    EXPECT_EQ(result.failed + result.conflicts, 0);
    EXPECT_EQ(result.deleted, 1);
    EXPECT_EQ(test::readFile(dst + "/f1.txt"), "again");

    // A state that cannot be saved leaves the last one: the next run finds the copies alike.
    put(src + "/f3.txt", "third", T + 300);
    platform::faults::inject(Operation::Rename, 2, EIO);  // the copy's, then the state's
    test::writeFile(context.LogFilePath, "");
    result = run();
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(loggedMessages(), Lines{"Error saving the state file " + stateFile() + ": Input/output error"});
    platform::faults::clear();
    test::writeFile(context.LogFilePath, "");
    result = run();
    EXPECT_EQ(result.copied + result.conflicts + result.failed, 0);
    EXPECT_EQ(loggedMessages(), Lines{});
#endif
}

// Random changes on both sides, run after run, against a small model of the rules: both trees as the
// model says, every conflict's loser kept beside the winner, and no content gone from both sides
// unless the user deleted or replaced it on one side while the other was unchanged.
TEST_F(TwoWayTest, RandomChangesFollowTheModel) {
    using Side = std::map<std::string, Version>;
    const Tree pool{"a.txt", "b.dat", "sub/c.txt", "sub/d", "sub/deep/e.txt"};
    const auto read = [](const std::string& root) {
        Side side;
        for (const std::string& line : snapshotTree(root)) {
            if (line.back() == '/') continue;
            const std::string path = line.substr(0, line.find('='));
            side[path] = {line.substr(path.size() + 1), test::modificationTime(root + "/" + path)};
        }
        return side;
    };
    for (int seed = 0; seed < 16; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        reset();
        watch.DeleteAbsent = seed % 2;
        std::int64_t now = T;
        std::map<std::string, std::string> synced;  // the content both sides held after the last run
        bool remembering = false;
        for (int round = 0; round < 6; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            Side before[2] = {read(src), read(dst)};
            // The user's changes: new content always, sometimes the same new content on both sides.
            for (const std::string& path : pool) {
                for (int side = 0; side < 2; ++side) {
                    if (random() % 3 != 0) continue;
                    const std::string root = side == 0 ? src : dst;
                    if (before[side].contains(path) && random() % 3 == 0) {
                        std::filesystem::remove(root + "/" + path);
                        before[side].erase(path);
                        continue;
                    }
                    // New content every time, of varying size.
                    Version made{"r", now += 10};
                    made.content += std::to_string(round);
                    made.content += 's';
                    made.content += std::to_string(side);
                    made.content += path;
                    made.content.append(random() % 4, '+');
                    put(root + "/" + path, made.content, made.time);
                    before[side][path] = made;
                    if (random() % 4 == 0) {
                        const std::string other = side == 0 ? dst : src;
                        put(other + "/" + path, made.content, now += 10);
                        before[1 - side][path] = {made.content, now};
                    }
                }
            }
            // What the rules say.
            Side expected[2] = {before[0], before[1]};
            std::vector<std::pair<int, std::string>> losers;  // side, content
            std::set<std::string> paths;
            for (const auto& side : before)
                for (const auto& [path, version] : side) paths.insert(path);
            for (const auto& [path, version] : synced) paths.insert(path);
            for (const std::string& path : paths) {
                std::optional<Version> current[2];
                for (int side = 0; side < 2; ++side)
                    if (before[side].contains(path)) current[side] = before[side].at(path);
                const auto newer = [&] { return current[1]->time > current[0]->time ? 1 : 0; };
                if (!remembering) {
                    if (current[0] && current[1] && !(*current[0] == *current[1])) {
                        const int winner = newer();
                        expected[1 - winner][path] = *current[winner];
                    } else if (current[0] || current[1]) {
                        const int from = current[0] ? 0 : 1;
                        expected[1 - from][path] = *current[from];
                    }
                    continue;
                }
                const std::optional<std::string> last =
                    synced.contains(path) ? std::optional<std::string>(synced.at(path)) : std::nullopt;
                bool changed[2];
                for (int side = 0; side < 2; ++side)
                    changed[side] =
                        (current[side] ? std::optional(current[side]->content) : std::nullopt) != last;
                if (changed[0] != changed[1]) {
                    const int from = changed[0] ? 0 : 1;
                    if (current[from])
                        expected[1 - from][path] = *current[from];
                    else if (watch.DeleteAbsent)
                        expected[1 - from].erase(path);
                    else
                        expected[from][path] = *current[1 - from];
                } else if (changed[0] && (current[0] || current[1])) {
                    if (!current[0] || !current[1]) {
                        const int from = current[0] ? 0 : 1;
                        expected[1 - from][path] = *current[from];
                    } else if (current[0]->content != current[1]->content) {
                        const int winner = newer();
                        losers.emplace_back(1 - winner, current[1 - winner]->content);
                        expected[1 - winner][path] = *current[winner];
                    }
                }
            }
            clock.set(platform::WallClock{T + round * 3600, 0});
            const RunResult result = run();
            ASSERT_EQ(result.failed, 0) << testing::PrintToString(loggedMessages());
            EXPECT_EQ(result.conflicts, static_cast<int>(losers.size()));
            Side after[2] = {read(src), read(dst)};
            // Conflict copies are checked apart: each holds a loser, on the loser's side.
            for (int side = 0; side < 2; ++side) {
                for (auto it = after[side].begin(); it != after[side].end();) {
                    if (it->first.find(".conflict-") == std::string::npos ||
                        expected[side].contains(it->first)) {
                        ++it;
                        continue;
                    }
                    const auto loser =
                        std::find(losers.begin(), losers.end(), std::pair(side, it->second.content));
                    EXPECT_NE(loser, losers.end()) << it->first;
                    if (loser != losers.end()) losers.erase(loser);
                    it = after[side].erase(it);
                }
            }
            EXPECT_TRUE(losers.empty());
            EXPECT_EQ(after[0], expected[0]);
            EXPECT_EQ(after[1], expected[1]);
            // No content gone from both sides but one the user replaced or deleted while the other side
            // still held what the last run left; a first run only lets a newer file replace an older one.
            const std::set<std::string> contents = [&] {
                std::set<std::string> all;
                for (const Side& side : {read(src), read(dst)})
                    for (const auto& [path, version] : side) all.insert(version.content);
                return all;
            }();
            for (int side = 0; side < 2; ++side) {
                for (const auto& [path, version] : before[side]) {
                    if (contents.contains(version.content)) continue;
                    const bool wasLast = synced.contains(path) && synced.at(path) == version.content;
                    const bool otherChanged = !before[1 - side].contains(path) ||
                                              before[1 - side].at(path).content != version.content;
                    const bool replacedByNewer =
                        before[1 - side].contains(path) && before[1 - side].at(path).time > version.time;
                    EXPECT_TRUE(remembering ? wasLast && otherChanged : replacedByNewer)
                        << path << " lost " << version.content;
                }
            }
            synced.clear();
            const Side destination = read(dst);
            for (const auto& [path, version] : read(src))
                if (destination.contains(path) && destination.at(path).content == version.content)
                    synced[path] = version.content;
            remembering = true;
        }
    }
}

}  // namespace
}  // namespace tessel
