// The watch file and its text file together: names that follow their watches, entries that another
// program's change leaves behind, damaged text files, the text format's round trip, and the values
// people type.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/PermissionOverride.h"
#include "support/TestSupport.h"
#include "watch/WatchCheck.h"
#include "watch/WatchFile.h"
#include "watch/WatchStore.h"
#include "watch/WatchText.h"

namespace tessel {
namespace {

using test::readFile;
using test::writeFile;

class WatchStoreTest : public ::testing::Test, public test::CoreFixture {
  protected:
    std::string textFile() const { return dir / "WatchDef.toml"; }

    void add(const std::string& name, const std::string& source, WatchEdit edit = {}) {
        edit.name = name;
        edit.source = source;
        edit.destination = source + "-copy";
        ChangeProblem problem;
        ASSERT_TRUE(
            changeWatches(context.WatchFilePath, {{WatchChange::Kind::Add, {}, std::nullopt, edit}}, problem))
            << problem.file.text() << describe(problem.input);
    }

    WatchList load() {
        WatchList list;
        FileProblem problem;
        EXPECT_TRUE(loadWatches(context.WatchFilePath, list, problem)) << problem.text();
        return list;
    }

    // Each watch as "name source", in file order.
    std::vector<std::string> named() {
        std::vector<std::string> result;
        for (const StoredWatch& stored : load().watches)
            result.push_back(stored.watch.name + " " + stored.watch.source);
        return result;
    }

    void writeRecords(const std::vector<TWatchRec>& records) {
        std::string bytes;
        for (const TWatchRec& record : records)
            bytes.append(reinterpret_cast<const char*>(&record), kWatchRecSize);
        writeFile(context.WatchFilePath, bytes);
    }
};

TEST_F(WatchStoreTest, NamesFollowTheirWatchesThroughDeletionsReorderingAndOtherPrograms) {
    add("docs", "/home/docs");
    add("photos", "/home/photos");
    add("music", "/home/music");
    EXPECT_EQ(named(),
              (std::vector<std::string>{"docs /home/docs", "photos /home/photos", "music /home/music"}));
    ASSERT_NE(load().find("PHOTOS"), nullptr);
    EXPECT_EQ(load().find("PHOTOS")->position, 1) << "letter case does not count";
    ASSERT_NE(load().find("2"), nullptr);
    EXPECT_EQ(load().find("2")->watch.name, "music") << "a position still names a watch";
    std::vector<TWatchRec> before = test::storedWatches(context.WatchFilePath);

    // tessel-batch remove, then another program that reorders the records: the names stay with them.
    ChangeProblem problem;
    ASSERT_TRUE(changeWatches(context.WatchFilePath, {{WatchChange::Kind::Remove, "docs", std::nullopt, {}}},
                              problem));
    std::vector<TWatchRec> records = test::storedWatches(context.WatchFilePath);
    ASSERT_EQ(records.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        before[i + 1].WatchIndex = static_cast<std::int32_t>(i);
        EXPECT_EQ(std::memcmp(&records[i], &before[i + 1], kWatchRecSize), 0)
            << "the others stay as they were";
    }
    std::swap(records[0], records[1]);
    records[0].WatchIndex = 0;
    records[1].WatchIndex = 1;
    writeRecords(records);
    EXPECT_EQ(named(), (std::vector<std::string>{"music /home/music", "photos /home/photos"}));

    // The window's Delete takes the watch's entry with it.
    ASSERT_TRUE(DelWatchFromFile(context, context.WatchFilePath, 1));
    EXPECT_EQ(readFile(textFile()).find("photos"), std::string::npos);
    EXPECT_EQ(named(), (std::vector<std::string>{"music /home/music"}));

    // Another program (an older Tessel) saves the watch with a new EditTime and appends one of its own.
    records = test::storedWatches(context.WatchFilePath);
    records[0].EditTime += 1.0;
    records.push_back(test::makeWatch("/home/music/", "/elsewhere"));
    writeRecords(records);
    const std::string textBefore = readFile(textFile());
    const WatchList list = load();
    ASSERT_EQ(list.watches.size(), 2u);
    EXPECT_EQ(list.watches[0].watch.name, "music") << "proposed again from the source folder";
    EXPECT_TRUE(list.watches[0].named) << "and saved at once";
    EXPECT_EQ(list.watches[0].watch.hidden, HiddenFiles::Skip) << "the old entry's settings are not applied";
    EXPECT_EQ(list.watches[1].watch.name, "music-2");
    // The old entry is kept, whole, after the two new ones.
    const std::string textAfter = readFile(textFile());
    const std::string oldEntry = textBefore.substr(textBefore.find("\n[[watch]]") + 1);
    EXPECT_EQ(textAfter.substr(textAfter.size() - oldEntry.size()), oldEntry);
    EXPECT_NE(oldEntry.find("hidden = \"include\""), std::string::npos);

    // Tessel's own writes give every record an EditTime of its own, also when the clock stands still.
    const test::FixedClock clock({2026, 3, 4, 5, 6, 7, 0});
    add("a", "/a");
    add("b", "/b");
    std::vector<std::uint64_t> times;
    for (const TWatchRec& record : test::storedWatches(context.WatchFilePath))
        times.push_back(watchKeyOf(record).editTime);
    std::sort(times.begin(), times.end());
    EXPECT_EQ(std::unique(times.begin(), times.end()), times.end());
}

TEST_F(WatchStoreTest, OnChangeLivesInTheTextFileBesideARecordThatSaysManual) {
    WatchEdit edit;
    edit.runMode = WatchRunMode::OnChange;
    edit.changeDelay = 7;
    add("docs", "/home/docs", edit);
    add("music", "/home/music");
    std::vector<TWatchRec> records = test::storedWatches(context.WatchFilePath);
    ASSERT_EQ(records.size(), 2u);
    // A reader of the record alone (an older Tessel, the format's own reader) sees a manual watch, which
    // never runs by itself.
    EXPECT_EQ(records[0].RunMode, rmManual);
    EXPECT_EQ(watchFromRecord(records[0], {}).schedule.mode, WatchRunMode::Manual);
    const std::string text = readFile(textFile());
    EXPECT_NE(text.find("run-mode = \"on-change\"\nchange-delay = 7\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("run-mode", text.find("name = \"music\"")), std::string::npos) << text;
    WatchList list = load();
    ASSERT_EQ(list.watches.size(), 2u);
    EXPECT_EQ(list.watches[0].watch.schedule.mode, WatchRunMode::OnChange);
    EXPECT_EQ(list.watches[0].watch.schedule.changeDelaySeconds, 7);
    EXPECT_EQ(list.watches[1].watch.schedule.mode, WatchRunMode::Manual);
    EXPECT_EQ(list.watches[1].watch.schedule.changeDelaySeconds, kDefaultChangeDelay);

    // A program that sets the record's run mode in place is what the record says.
    records[0].RunMode = rmTimer;
    writeRecords(records);
    EXPECT_EQ(load().watches[0].watch.schedule.mode, WatchRunMode::Timer);
    records[0].RunMode = rmManual;
    writeRecords(records);

    // Any other run mode takes the text file's lines away again; the delay stays where it was set.
    ChangeProblem problem;
    WatchEdit timer;
    timer.runMode = WatchRunMode::Timer;
    ASSERT_TRUE(changeWatches(context.WatchFilePath,
                              {{WatchChange::Kind::Replace, "docs", std::nullopt, timer}}, problem));
    EXPECT_EQ(readFile(textFile()).find("on-change"), std::string::npos);
    EXPECT_EQ(load().watches[0].watch.schedule.changeDelaySeconds, 7);

    // A delay out of its range is refused like any other value.
    WatchEdit wrong;
    wrong.changeDelay = 0;
    EXPECT_FALSE(changeWatches(context.WatchFilePath,
                               {{WatchChange::Kind::Replace, "docs", std::nullopt, wrong}}, problem));
    EXPECT_EQ(problem.input.field, WatchField::ChangeDelay);
    EXPECT_EQ(describe(problem.input), "must be a number of seconds from 1 to 3600, not 0");
}

TEST_F(WatchStoreTest, WatchesMadeBeforeNamesGetThemOnTheirFirstReading) {
    test::writeWatches(
        context, context.WatchFilePath,
        {test::makeWatch("/data/2024", "/b"), test::makeWatch("/x/docs", "/b"),
         test::makeWatch("/y/Docs/", "/b"), test::makeWatch("/", "/b"), test::makeWatch("/z/show", "/b")});
    const std::string records = readFile(context.WatchFilePath);
    const std::vector<std::string> expected{"watch-2024 /data/2024", "docs /x/docs", "Docs-2 /y/Docs/",
                                            "watch /", "watch-show /z/show"};
    {
        // A folder the user may not write in: the names live in memory only, and nothing fails.
        test::NoPermissionOverride asUser;
        chmod(dir.path().c_str(), 0500);
        EXPECT_EQ(named(), expected);
        EXPECT_FALSE(load().namesSaved);
        chmod(dir.path().c_str(), 0700);
    }
    EXPECT_FALSE(test::exists(textFile()));
    EXPECT_EQ(named(), expected);
    EXPECT_TRUE(test::exists(textFile()));
    EXPECT_EQ(readFile(context.WatchFilePath), records) << "the watch file is not touched";
    for (const StoredWatch& stored : load().watches) EXPECT_TRUE(stored.named);
}

TEST_F(WatchStoreTest, ADamagedTextFileNamesItsLineAndNothingIsOverwritten) {
    add("docs", "/home/docs");
    add("music", "/home/music");
    const std::string good = readFile(textFile());
    const std::string records = readFile(context.WatchFilePath);
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const auto lineOf = [&](const std::string& start) {
        const std::string before = good.substr(0, good.find("\n" + start) + 1);
        return static_cast<int>(std::count(before.begin(), before.end(), '\n')) + 1;
    };
    const int nameLine = lineOf("name = ");
    const auto afterLinks = [&](const std::string& line) {
        return replaced("links = \"follow\"\n", "links = \"follow\"\n" + line + "\n");
    };
    const int addedLine = lineOf("links = ") + 1;
    struct Case {
        const char* what;
        std::string text;
        int line;
        std::string reason;
    };
    for (const Case& c : std::vector<Case>{
             {"not TOML", replaced("name = ", "name = = "), nameLine, "value"},
             {"a hidden value of no meaning", replaced("hidden = \"include\"", "hidden = \"maybe\""),
              lineOf("hidden"), "say include or skip"},
             {"a later format", replaced("version = 1", "version = 2"), lineOf("version"),
              "format version 2"},
             {"a name of digits", replaced("name = \"docs\"", "name = \"42\""), nameLine, "all digits"},
             {"a command word", replaced("name = \"docs\"", "name = \"follow\""), nameLine,
              "\"follow\" is a command of tessel-batch"},
             {"another watch's name", replaced("name = \"music\"", "name = \"DOCS\""),
              lineOf("name = \"music\""),
              "name: another watch is named \"docs\" (letter case does not count) at line " +
                  std::to_string(nameLine)},
             {"a run mode of no meaning", afterLinks("run-mode = \"sometimes\""), addedLine,
              "run-mode: say stop, on-start, manual, timer or on-change"},
             {"a run mode of a number", afterLinks("run-mode = 7"), addedLine, "must be a text in quotes"},
             {"a run mode the record holds", afterLinks("run-mode = \"timer\""), addedLine,
              "only \"on-change\" is kept here"},
             {"a pause said in words", afterLinks("follow-paused = \"yes\""), addedLine,
              "follow-paused must be true or false"},
             {"a pause as a number", afterLinks("follow-paused = 1"), addedLine, "must be true or false"},
             {"an entry without its key", replaced("edit-time = ", "edit-tim = "), lineOf("[[watch]]"),
              "needs edit-time"}}) {
        SCOPED_TRACE(c.what);
        writeFile(textFile(), c.text);
        WatchList list;
        FileProblem problem;
        EXPECT_FALSE(loadWatches(context.WatchFilePath, list, problem));
        EXPECT_EQ(problem.path, textFile());
        EXPECT_EQ(problem.line, c.line) << problem.text();
        EXPECT_NE(problem.reason.find(c.reason), std::string::npos) << problem.reason;
        ChangeProblem change;
        EXPECT_FALSE(changeWatches(context.WatchFilePath,
                                   {{WatchChange::Kind::Remove, "0", std::nullopt, {}}}, change));
        EXPECT_EQ(change.kind, ChangeProblem::Kind::File);
        EXPECT_EQ(change.file.line, c.line);
        EXPECT_EQ(readFile(textFile()), c.text);
        EXPECT_EQ(readFile(context.WatchFilePath), records);
    }

    // Keys this Tessel does not know, at the top and in an entry, outlive a change.
    std::string unknown = afterLinks("colour = \"blue\"\nlast-result = { failed = 0 }");
    writeFile(textFile(),
              unknown.replace(unknown.find("version = 1\n"), 12, "version = 1\nlater = { a = [1, 2] }\n"));
    ChangeProblem change;
    WatchEdit edit;
    edit.excludes = std::vector<std::string>{"*.bak"};
    ASSERT_TRUE(changeWatches(context.WatchFilePath,
                              {{WatchChange::Kind::Replace, "docs", std::nullopt, edit}}, change));
    const std::string kept = readFile(textFile());
    for (const char* line : {"later = { a = [ 1, 2 ] }", "colour = \"blue\"", "last-result = { failed = 0 }",
                             "exclude = [ \"*.bak\" ]"})
        EXPECT_NE(kept.find(line), std::string::npos) << line << " in\n" << kept;
    EXPECT_EQ(kept.find("colour"), kept.rfind("colour")) << "once: the replaced record's entry is gone";

    // A text file far larger than any set of watches is not read.
    ASSERT_EQ(truncate(textFile().c_str(), static_cast<off_t>(kMaxWatchTextSize + 1)), 0);
    WatchList list;
    FileProblem problem;
    EXPECT_FALSE(loadWatches(context.WatchFilePath, list, problem));
    EXPECT_NE(problem.reason.find("larger than 32 MiB"), std::string::npos) << problem.text();
}

// A run's last result lives in the watch's entry: read back as it was, kept through an edit, read from
// what a later Tessel may write there, and kept as it is where it cannot be read, until the next run
// of this Tessel replaces it. The format's version stays 1.
TEST_F(WatchStoreTest, TheLastResultIsKeptWithItsWatchAndReadAcrossVersions) {
    add("docs", "/home/docs");
    add("music", "/home/music");
    LastRunResult result;
    result.endedAt = encodeDateTime({2026, 12, 8, 10, 30, 15, 250});
    result.seconds = 2.0 / 3.0;
    result.counts.copied = 3;
    result.counts.failed = 1;
    result.counts.versionsKept = 2;
    result.counts.bytesCopied = 5'000'000'000ull;
    result.counts.stopped = true;
    result.firstProblem = "Error copying file /home/docs/r\xe9sum\xe9 & \"notes\".txt: Permission denied";
    const auto stored = [&](std::int32_t position, const TWatchRec& record) {
        std::string name;
        FileProblem problem;
        return storeLastResult(context.WatchFilePath, position, record, result, name, problem);
    };
    ASSERT_EQ(load().watches.size(), 2u);
    const TWatchRec docs = load().watches[0].record;
    const std::string records = readFile(context.WatchFilePath);
    EXPECT_EQ(stored(1, docs), StoreResult::Changed) << "another watch is at that position";
    EXPECT_EQ(stored(2, docs), StoreResult::Changed);
    ASSERT_EQ(stored(0, docs), StoreResult::Stored);
    EXPECT_EQ(readFile(context.WatchFilePath), records) << "the watch file is not written";
    EXPECT_EQ(load().watches[0].watch.lastResult, result);
    EXPECT_FALSE(load().watches[1].watch.lastResult.has_value());
    const std::string text = readFile(textFile());
    EXPECT_NE(text.find("\nversion = 1\n"), std::string::npos);
    EXPECT_NE(text.find("last-result = { time = 2026-12-08T10:30:15.250, result = \"failed\", copied = 3,"),
              std::string::npos)
        << text;

    WatchEdit edit;
    edit.logEachFile = true;
    ChangeProblem change;
    ASSERT_TRUE(changeWatches(context.WatchFilePath,
                              {{WatchChange::Kind::Replace, "docs", std::nullopt, edit}}, change));
    ASSERT_EQ(load().watches.size(), 2u);
    EXPECT_EQ(load().watches[0].watch.lastResult, result) << "an edit keeps it";

    const std::string edited = readFile(textFile());
    const std::size_t start = edited.find("last-result = ");
    ASSERT_NE(start, std::string::npos);
    const auto withLastResult = [&](const std::string& line) {
        return edited.substr(0, start) + line + edited.substr(edited.find('\n', start));
    };
    // What a later Tessel may write: keys and words this one does not know.
    writeFile(textFile(), withLastResult("last-result = { time = 2026-12-09T08:00:00, result = \"skipped\", "
                                         "copied = 7, colour = \"blue\", seconds = 1 }"));
    ASSERT_EQ(load().watches.size(), 2u);
    const std::optional<LastRunResult> later = load().watches[0].watch.lastResult;
    ASSERT_TRUE(later.has_value());
    EXPECT_EQ(later->counts.copied, 7);
    EXPECT_EQ(later->seconds, 1.0);
    EXPECT_EQ(later->endedAt, encodeDateTime({2026, 12, 9, 8, 0, 0, 0}));

    // One it cannot read is kept as it is, never an error, until a run of this Tessel replaces it.
    const std::string unreadable = "last-result = \"failed at nine\"";
    writeFile(textFile(), withLastResult(unreadable));
    ASSERT_EQ(load().watches.size(), 2u);
    EXPECT_FALSE(load().watches[0].watch.lastResult.has_value());
    edit.logEachFile = false;
    ASSERT_TRUE(changeWatches(context.WatchFilePath,
                              {{WatchChange::Kind::Replace, "docs", std::nullopt, edit}}, change));
    EXPECT_NE(readFile(textFile()).find(unreadable), std::string::npos);
    ASSERT_EQ(stored(0, load().watches[0].record), StoreResult::Stored);
    const std::string replaced = readFile(textFile());
    EXPECT_EQ(replaced.find(unreadable), std::string::npos);
    EXPECT_EQ(replaced.find("last-result"), replaced.rfind("last-result")) << "one last result";
    EXPECT_EQ(load().watches[0].watch.lastResult, result);
}

// Random watches written as text and read back into an empty file are the same watches, field for
// field; so are texts that are not UTF-8 and control characters.
TEST_F(WatchStoreTest, TextOfWatchesReadsBackFieldForField) {
    std::mt19937 random(20261208);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const std::vector<std::string> texts{
        "plain", "two words", "quote \" and \\ back", "\xe9t\xe9 latin-1", "tab\there", "Фото", "a;b", ""};
    std::vector<Watch> made;
    for (int i = 0; i < 40; ++i) {
        Watch watch = newWatch();
        watch.name = "watch " + std::to_string(i) + " " + texts[static_cast<std::size_t>(pick(3))];
        watch.source = "/src/" + texts[static_cast<std::size_t>(pick(8))];
        watch.destination = "/dst/" + texts[static_cast<std::size_t>(pick(8))];
        watch.masks = {"*.txt", "*.d" + std::to_string(pick(9))};
        watch.excludes = {texts[static_cast<std::size_t>(pick(6))]};
        if (pick(3) == 0) watch.excludes.clear();
        watch.hidden = static_cast<HiddenFiles>(pick(2));
        watch.links = static_cast<LinkHandling>(pick(3));
        watch.action = static_cast<WatchAction>(pick(2));
        watch.bothDirections = pick(2) == 0;
        watch.deleteAbsentFiles = watch.action == WatchAction::Copy && pick(2) == 0;
        watch.tune = static_cast<WatchTune>(pick(4));
        watch.schedule.mode = static_cast<WatchRunMode>(pick(5));
        watch.schedule.changeDelaySeconds =
            pick(2) == 0 ? kDefaultChangeDelay : 1 + pick(kLongestChangeDelay);
        watch.schedule.every = static_cast<WatchPeriod>(pick(7));
        if (watch.schedule.every == WatchPeriod::Daily) watch.schedule.dailyAt = {pick(24), pick(60)};
        watch.withRootFolder = pick(2) == 0;
        watch.logEachFile = pick(2) == 0;
        watch.program = pick(2) == 0 ? "" : "/usr/bin/" + texts[static_cast<std::size_t>(pick(8))];
        watch.programArgs = texts[static_cast<std::size_t>(pick(8))];
        watch.lastRun = encodeDateTime(
            {2020 + pick(8), 1 + pick(12), 1 + pick(28), pick(24), pick(60), pick(60), pick(1000)});
        made.push_back(watch);
    }
    std::vector<const Watch*> pointers;
    for (const Watch& watch : made) pointers.push_back(&watch);
    const std::string text = watchesText(pointers);

    std::vector<WatchTextEntry> entries;
    FileProblem problem;
    ASSERT_TRUE(readWatchesText(text, "exported", entries, problem)) << problem.text() << "\n" << text;
    std::vector<WatchChange> changes;
    for (const WatchTextEntry& entry : entries)
        changes.push_back({WatchChange::Kind::Put, {}, std::nullopt, entry.edit});
    ChangeProblem change;
    ASSERT_TRUE(changeWatches(context.WatchFilePath, changes, change))
        << describe(change.input) << change.change;
    const WatchList list = load();
    ASSERT_EQ(list.watches.size(), made.size());
    for (std::size_t i = 0; i < made.size(); ++i) {
        SCOPED_TRACE(made[i].name);
        Watch read = list.watches[i].watch;
        read.editedAt = made[i].editedAt;  // the one field a save makes anew
        EXPECT_TRUE(read == made[i]);
        EXPECT_EQ(read.source, made[i].source);
        EXPECT_EQ(read.lastRun, made[i].lastRun);
    }
    std::vector<const Watch*> again;
    for (const StoredWatch& stored : list.watches) again.push_back(&stored.watch);
    EXPECT_EQ(watchesText(again), text);
}

TEST(WatchValues, TypedValuesAreReadOrRefusedWithWhatIsWanted) {
    struct Case {
        WatchField field;
        const char* typed;
        const char* wanted;  // nullptr: taken
    };
    for (const Case& c :
         std::vector<Case>{{WatchField::Action, "Move", nullptr},
                           {WatchField::Action, "moved", "copy or move"},
                           {WatchField::BothDirections, "yes", nullptr},
                           {WatchField::DeleteAbsent, "true", "yes or no"},
                           {WatchField::Hidden, "include", nullptr},
                           {WatchField::Links, "copy", nullptr},
                           {WatchField::Links, "hard", "follow, copy or skip"},
                           {WatchField::RunMode, "on-start", nullptr},
                           {WatchField::RunMode, "on-change", nullptr},
                           {WatchField::RunMode, "onchange", "stop, on-start, manual, timer or on-change"},
                           {WatchField::ChangeDelay, "30", nullptr},
                           {WatchField::ChangeDelay, "0", "a number of seconds from 1 to 3600"},
                           {WatchField::ChangeDelay, "3601", "from 1 to 3600"},
                           {WatchField::ChangeDelay, "2s", "from 1 to 3600"},
                           {WatchField::Tune, "absent-only", nullptr},
                           {WatchField::Tune, "none", "sync-all, update-old or absent-only"},
                           {WatchField::Period, "1month", nullptr},
                           {WatchField::Period, "7:05", nullptr},
                           {WatchField::Period, "24:00", "or a daily time HH:MM"},
                           {WatchField::Period, "2h", "10min, 1h"}}) {
        SCOPED_TRACE(std::string(keyOf(c.field)) + " " + c.typed);
        WatchEdit edit;
        std::string problem;
        EXPECT_EQ(readFieldValue(c.field, c.typed, edit, problem), c.wanted == nullptr);
        EXPECT_EQ(edit.sets(c.field), c.wanted == nullptr);
        if (c.wanted != nullptr) {
            EXPECT_NE(problem.find(c.wanted), std::string::npos) << problem;
        }
    }
    WatchEdit edit;
    std::string problem;
    ASSERT_TRUE(readFieldValue(WatchField::Period, "7:05", edit, problem));
    EXPECT_EQ(edit.period, WatchPeriod::Daily);
    EXPECT_EQ(edit.dailyAt, (DailyTime{7, 5}));

    // Masks as people type them; the record's "," and ":" separate as runs always took them.
    EXPECT_EQ(splitMasks(" *.jpg; *.png ;;*.gif,*.bmp:"),
              (std::vector<std::string>{"*.jpg", "*.png", "*.gif", "*.bmp"}));
    EXPECT_EQ(splitExcludes(" a, b ; ;c "), (std::vector<std::string>{"a, b", "c"}));
    EXPECT_TRUE(splitMasks(" ; ").empty());

    EXPECT_TRUE(sameName("Фото Docs", "фото docs"));
    EXPECT_TRUE(sameName("ÉTÉ", "été"));
    EXPECT_FALSE(sameName("docs", "docs "));
    EXPECT_EQ(proposeName("/home/me/Docs", {"docs", "DOCS-2"}), "Docs-3");
    EXPECT_EQ(proposeName("/bad/\x01name\xff", {}), "name_");

    const std::vector<std::string> options{"--mask",   "*.a", "--mask=*.b; *.c", "--hidden", "skip",
                                           "--period", "1d"};
    const std::vector<std::string_view> arguments(options.begin(), options.end());
    edit = {};
    for (std::size_t i = 0; i < arguments.size(); ++i)
        ASSERT_EQ(takeWatchOption(arguments, i, edit, problem), WatchOption::Taken) << problem;
    EXPECT_EQ(edit.masks, (std::vector<std::string>{"*.a", "*.b", "*.c"})) << "given twice, the lists add up";
    const std::vector<std::string_view> twice{"--hidden", "skip", "--hidden=include"};
    std::size_t i = 0;
    edit = {};
    EXPECT_EQ(takeWatchOption(twice, i, edit, problem), WatchOption::Taken);
    ++i;
    EXPECT_EQ(takeWatchOption(twice, i, edit, problem), WatchOption::Invalid);
    EXPECT_EQ(problem, "--hidden is given twice");
}

}  // namespace
}  // namespace tessel
