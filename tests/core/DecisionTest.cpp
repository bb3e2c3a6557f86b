// The decisions of a run, without a disk: every combination of what the two sides hold, what the last
// run left, the tune mode and the switches, checked against the rules no decision may break, and the
// rows of the two-way table checked one by one.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "sync/CopyDecision.h"
#include "sync/TreeWalk.h"
#include "sync/TwoWayDecision.h"

namespace tessel {
namespace {

using platform::EntryKind;
using platform::FileInfo;
using Action = TwoWayDecision::Action;

constexpr std::int64_t T = 1'780'000'000;

FileInfo fileOf(std::uint64_t size, std::int64_t time, std::uint32_t mode = 0644, std::uint64_t inode = 7) {
    FileInfo info;
    info.kind = EntryKind::File;
    info.size = size;
    info.modified = {time, 0};
    info.changed = {time, 0};
    info.mode = mode;
    info.device = 1;
    info.inode = inode;
    return info;
}

// A symbolic link looked at as itself (links copied as links).
FileInfo linkOf(const std::string& target, std::int64_t time) {
    FileInfo info = fileOf(target.size(), time, 0777);
    info.isLink = true;
    info.linkTarget = target;
    return info;
}

FileInfo kindOnly(EntryKind kind) {
    FileInfo info;
    info.kind = kind;
    return info;
}

// What a side may hold now, against a last run that left a 4-byte file of time T, inode 7.
struct SideNow {
    const char* name;
    FileInfo info;
};
const SideNow kSides[] = {
    {"missing", kindOnly(EntryKind::Missing)},
    {"as left", fileOf(4, T)},
    {"as left, read-only",
     [] {
         FileInfo info = fileOf(4, T, 0444);
         info.changed = {T, 0};
         return info;
     }()},
    {"edited", fileOf(9, T + 100)},
    {"edited, older", fileOf(9, T - 100)},
    {"same size within two seconds, changed in place",
     [] {
         FileInfo info = fileOf(4, T + 1);
         info.changed = {T + 50, 0};
         return info;
     }()},
    {"written anew (another inode)", fileOf(4, T, 0644, 8)},
    {"edited, read-only", fileOf(9, T + 100, 0444)},
    {"a folder", kindOnly(EntryKind::Folder)},
    {"a device", kindOnly(EntryKind::Special)},
    {"unreadable", kindOnly(EntryKind::Unreadable)},
};

bool changedSinceLastRun(const FileInfo& info) {
    // The last run left a 4-byte file of time T, inode 7.
    return info.kind == EntryKind::File && sinceLastRun(info, sideRecord(fileOf(4, T))) != Since::Unchanged;
}

struct Combination {
    std::string trace;
    TwoWayFacts facts;
    bool stateHasIt = false;
};

// Every combination of the two sides, the state, the tune mode, the switch and the content.
std::vector<Combination> everyCombination() {
    std::vector<Combination> all;
    const std::int32_t tunes[] = {tmSyncAll, tmUpdateOld, tmAbsentOnly, 5};
    for (const SideNow& source : kSides)
        for (const SideNow& destination : kSides)
            for (const int state : {0, 1, 2})  // no state; a state without the name; with it
                for (const std::int32_t tune : tunes)
                    for (const bool deleteAbsent : {false, true})
                        for (const int content : {-1, 0, 1}) {
                            Combination c;
                            c.facts.seen[kSource] = source.info;
                            c.facts.seen[kDestination] = destination.info;
                            c.facts.remembering = state > 0;
                            c.stateHasIt = state == 2;
                            if (c.stateHasIt)
                                c.facts.last = PairRecord{sideRecord(fileOf(4, T)), sideRecord(fileOf(4, T))};
                            c.facts.tuneMode = tune;
                            c.facts.deleteAbsent = deleteAbsent;
                            if (content >= 0) c.facts.sameContent = content == 1;
                            std::ostringstream trace;
                            trace << source.name << " | " << destination.name << " | state " << state
                                  << " tune " << tune << " delete " << deleteAbsent << " content " << content;
                            c.trace = trace.str();
                            all.push_back(c);
                        }
    return all;
}

TEST(DecisionTest, TwoWayNeverBreaksItsRules) {
    const std::vector<Combination> all = everyCombination();
    EXPECT_EQ(all.size(), 11u * 11 * 3 * 4 * 2 * 3);
    for (const Combination& c : all) {
        SCOPED_TRACE(c.trace);
        const TwoWayFacts& facts = c.facts;
        const TwoWayDecision d = decideTwoWay(facts);
        const FileInfo& from = facts.seen[d.from];
        const FileInfo& to = facts.seen[1 - d.from];
        const bool unreadable = facts.seen[kSource].kind == EntryKind::Unreadable ||
                                facts.seen[kDestination].kind == EntryKind::Unreadable;
        if (unreadable) {
            EXPECT_EQ(d.action, Action::Refuse) << "an unreadable side stops everything";
        }
        switch (d.action) {
            case Action::Copy:
                EXPECT_EQ(from.kind, EntryKind::File);
                EXPECT_TRUE(isKnownTuneMode(facts.tuneMode)) << "nothing crosses";
                EXPECT_TRUE(to.kind == EntryKind::Missing || to.kind == EntryKind::File);
                EXPECT_FALSE(to.kind == EntryKind::File && facts.tuneMode == tmAbsentOnly)
                    << "replaces nothing";
                EXPECT_FALSE(to.kind == EntryKind::File && (to.mode & 0200) == 0)
                    << "a read-only file replaced";
                EXPECT_FALSE(to.kind == EntryKind::Missing && facts.tuneMode == tmUpdateOld)
                    << "makes nothing new";
                EXPECT_FALSE(!facts.remembering && to.kind == EntryKind::File && isNewer(to, from))
                    << "an older file replaced a newer one";
                break;
            case Action::Delete:
                EXPECT_TRUE(facts.deleteAbsent && c.stateHasIt) << "a deletion without a state";
                EXPECT_FALSE(changedSinceLastRun(from)) << "a change was deleted";
                EXPECT_EQ(to.kind, EntryKind::Missing);
                EXPECT_NE(from.mode & 0200, 0u) << "a read-only file deleted";
                break;
            case Action::Conflict:
                EXPECT_TRUE(facts.tuneMode == tmSyncAll || facts.tuneMode == tmUpdateOld);
                EXPECT_FALSE(isNewer(to, from)) << "the older file won";
                EXPECT_NE(to.mode & 0200, 0u) << "a read-only file replaced";
                [[fallthrough]];
            case Action::ConflictLeft:
                EXPECT_TRUE(facts.remembering);
                EXPECT_EQ(facts.sameContent, std::optional<bool>(false)) << "a conflict of alike files";
                break;
            case Action::CompareContent:
                EXPECT_FALSE(facts.sameContent.has_value()) << "asked twice";
                EXPECT_EQ(facts.seen[kSource].kind, EntryKind::File);
                EXPECT_EQ(facts.seen[kDestination].kind, EntryKind::File);
                break;
            case Action::Refuse:
                EXPECT_NE(d.reason, std::error_code());
                break;
            case Action::Nothing:
                EXPECT_NE(facts.seen[kSource].kind, EntryKind::File);
                EXPECT_NE(facts.seen[kDestination].kind, EntryKind::File);
                break;
            case Action::Record:
            case Action::Keep:
                break;
        }
    }
}

// The rows of the table in README ("Two-way watches"), with a state, Sync All.
TEST(DecisionTest, TwoWayTableRows) {
    struct Row {
        const char* name;
        FileInfo source, destination;
        bool deleteAbsent;
        std::optional<bool> sameContent;
        Action action;
        int from;
    };
    const FileInfo missing = kindOnly(EntryKind::Missing);
    const FileInfo left = fileOf(4, T);
    const Row rows[] = {
        {"changed on the source, though older", fileOf(9, T - 100), left, false, {}, Action::Copy, kSource},
        {"changed on the destination", left, fileOf(9, T + 100), false, {}, Action::Copy, kDestination},
        {"changed on both alike", fileOf(9, T + 100), fileOf(9, T + 200), false, true, Action::Record,
         kSource},
        {"changed on both sides: a conflict, the newer wins", fileOf(9, T + 300), fileOf(8, T + 100), false,
         false, Action::Conflict, kSource},
        {"the destination newer", fileOf(9, T + 100), fileOf(8, T + 300), false, false, Action::Conflict,
         kDestination},
        {"deleted on the source, deletions on", missing, left, true, {}, Action::Delete, kDestination},
        {"deleted on the source, deletions off: copied back",
         missing,
         left,
         false,
         {},
         Action::Copy,
         kDestination},
        {"deleted on the source, changed on the destination",
         missing,
         fileOf(9, T + 100),
         true,
         {},
         Action::Copy,
         kDestination},
        {"both as left", left, left, true, {}, Action::Record, kSource},
        {"touched in place on one side, other content", fileOf(4, T + 1, 0644, 7), left, false, false,
         Action::Copy, kSource},
        // Within one two-second step a change shows only in the change time: the contents tell.
        {"a same-size edit, two seconds on", fileOf(4, T + 2), left, false, {}, Action::Copy, kSource},
        {"a same-size edit in its step", fileOf(4, T + 1), left, false, {}, Action::CompareContent, kSource},
        // A link holds its target: nothing to read to tell two changes apart.
        {"links given one target on both sides",
         linkOf("ab", T + 100),
         linkOf("ab", T + 200),
         false,
         {},
         Action::Record,
         kSource},
        {"links given two targets: a conflict, the newer wins",
         linkOf("xy", T + 300),
         linkOf("ab", T + 100),
         false,
         {},
         Action::Conflict,
         kSource},
        {"a link on one side, a file on the other",
         linkOf("abcd", T + 100),
         fileOf(9, T + 200),
         false,
         {},
         Action::Conflict,
         kDestination},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TwoWayFacts facts;
        facts.seen[kSource] = row.source;
        facts.seen[kDestination] = row.destination;
        if (row.name == std::string("touched in place on one side, other content"))
            facts.seen[kSource].changed = {T + 9, 0};
        facts.last = PairRecord{sideRecord(left), sideRecord(left)};
        facts.remembering = true;
        facts.deleteAbsent = row.deleteAbsent;
        facts.sameContent = row.sameContent;
        const TwoWayDecision d = decideTwoWay(facts);
        EXPECT_EQ(d.action, row.action);
        if (row.action != Action::Record) {
            EXPECT_EQ(d.from, row.from);
        }
    }
}

// How the walk pairs the names of two folders where a side does not tell letter cases apart: each
// entry as "source|destination" ("-" where a side lacks it), a clash marked "!" with the name it
// clashes with.
TEST(DecisionTest, NamesPairAcrossLetterCaseOnlyWhereASideCannotTellThemApart) {
    struct Row {
        std::vector<std::string> source, destination;
        bool blind[2];
        std::string expected;
    };
    const Row rows[] = {
        {{"A.txt", "b"}, {"a.txt", "b"}, {false, false}, "A.txt|- -|a.txt b|b"},
        {{"A.txt", "b"}, {"a.txt", "b"}, {false, true}, "A.txt|a.txt b|b"},
        {{"A.txt", "b"}, {"a.txt", "b"}, {true, false}, "A.txt|a.txt b|b"},
        // Two source names the destination holds as one: the one it has is paired, the other clashes.
        {{"A.txt", "a.txt"}, {"a.txt"}, {false, true}, "A.txt|-!a.txt a.txt|a.txt"},
        {{"A.txt", "a.txt"}, {}, {false, true}, "A.txt|- a.txt|-!A.txt"},
        {{"A.txt", "a.txt"}, {"A.TXT"}, {false, true}, "A.txt|A.TXT a.txt|-!A.txt"},
        // Letters beyond ASCII are left as they are; folders pair as files do.
        {{"\xc3\x84"}, {"\xc3\xa4"}, {false, true}, "\xc3\x84|- -|\xc3\xa4"},
        {{"Docs", "x"}, {"DOCS", "X"}, {true, true}, "Docs|DOCS x|X"},
    };
    for (const Row& row : rows) {
        std::vector<platform::ListedName> names[2];
        for (const std::string& name : row.source)
            names[kSource].push_back({name, platform::ListedType::File});
        for (const std::string& name : row.destination)
            names[kDestination].push_back({name, platform::ListedType::File});
        std::string got;
        for (const WalkEntry& entry : mergeListings(names, row.blind)) {
            if (!got.empty()) got += ' ';
            for (const int side : tessel::kSides) {
                if (side == kDestination) got += '|';
                got += entry.on[side] ? entry.spelling(side) : "-";
            }
            if (entry.clashesWith != nullptr) got += "!" + *entry.clashesWith;
        }
        EXPECT_EQ(got, row.expected) << row.source.size() << " source names, blind " << row.blind[0]
                                     << row.blind[1];
    }
}

}  // namespace
}  // namespace tessel
