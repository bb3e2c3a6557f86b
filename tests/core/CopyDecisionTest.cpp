// What a copy pass decides for a file, by what the destination keeps of a copy: its time step, its
// permission bits and its clock. No disk is touched: the decisions are pure functions.

#include <gtest/gtest.h>

#include "sync/CopyDecision.h"

namespace tessel {
namespace {

using platform::FileInfo;
using platform::FileTime;
using platform::PermissionsKept;

constexpr std::int64_t kNanosecond = 1, kNtfs = 100, kSecond = 1'000'000'000, kFat = 2'000'000'000;
constexpr std::int64_t kBase = 1'700'000'000;  // an even second

FileInfo file(FileTime modified, std::uint64_t size = 10, std::uint32_t mode = 0644) {
    FileInfo info;
    info.kind = platform::EntryKind::File;
    info.modified = modified;
    info.size = size;
    info.mode = mode;
    return info;
}

// A symbolic link looked at as itself (links copied as links).
FileInfo link(const std::string& target, FileTime modified) {
    FileInfo info = file(modified, target.size(), 0777);
    info.isLink = true;
    info.linkTarget = target;
    return info;
}

TEST(CopyDecision, ASecondRunCopiesNothingThatTheDestinationKeptAsFarAsItCan) {
    struct Case {
        const char* name;
        Comparison comparison;
        FileInfo source, destination;
        CopyDecision syncAll, updateOld;
    };
    const Comparison ext4{kNanosecond, PermissionsKept::All, TimeBase::Utc};
    const Comparison ntfs{kNtfs, PermissionsKept::None, TimeBase::Utc};
    const Comparison sshfs{kSecond, PermissionsKept::All, TimeBase::Utc};
    const Comparison exfat{kSecond, PermissionsKept::None, TimeBase::Local};
    const Comparison fat{kFat, PermissionsKept::ReadOnlyBit, TimeBase::Local};
    const Comparison legacy{};  // what Tessel compared before it probed: two-second steps of UTC
    using enum CopyDecision;
    const Case cases[] = {
        {"ext4: the very same time", ext4, file({kBase, 123'456'789}), file({kBase, 123'456'789}), Skip,
         Skip},
        {"ext4: a nanosecond newer", ext4, file({kBase, 123'456'790}), file({kBase, 123'456'789}), Replace,
         Replace},
        {"ext4: a nanosecond older", ext4, file({kBase, 123'456'788}), file({kBase, 123'456'789}), Skip,
         Skip},
        {"ext4: another size at the same time", ext4, file({kBase, 5}, 11), file({kBase, 5}, 10), Replace,
         Skip},
        {"ext4: other permission bits", ext4, file({kBase, 0}, 10, 0600), file({kBase, 0}, 10, 0644), Replace,
         Skip},
        {"NTFS keeps hundreds of nanoseconds", ntfs, file({kBase, 123'456'789}), file({kBase, 123'456'700}),
         Skip, Skip},
        {"NTFS: a step of 100 ns newer", ntfs, file({kBase, 123'456'800}), file({kBase, 123'456'700}),
         Replace, Replace},
        {"NTFS shows 0777 for every file", ntfs, file({kBase, 0}, 10, 0644), file({kBase, 0}, 10, 0777), Skip,
         Skip},
        {"SFTP keeps whole seconds", sshfs, file({kBase, 999'999'999}), file({kBase, 0}), Skip, Skip},
        {"SFTP: a second newer", sshfs, file({kBase + 1, 0}), file({kBase, 0}), Replace, Replace},
        {"FAT keeps even seconds", fat, file({kBase + 1, 500}), file({kBase, 0}), Skip, Skip},
        {"FAT: the next even second", fat, file({kBase + 2, 0}), file({kBase, 0}), Replace, Replace},
        {"FAT keeps the read-only bit", fat, file({kBase, 0}, 10, 0444), file({kBase, 0}, 10, 0755), Replace,
         Skip},
        {"FAT: the other bits are the mount's", fat, file({kBase, 0}, 10, 0640), file({kBase, 0}, 10, 0755),
         Skip, Skip},
        {"exFAT: summer time ended (an hour)", exfat, file({kBase, 0}), file({kBase + 3600, 0}), Skip, Skip},
        {"exFAT: summer time began", exfat, file({kBase + 3600, 0}), file({kBase, 0}), Skip, Skip},
        {"exFAT: a quarter-hour zone", exfat, file({kBase + 45 * 60, 0}), file({kBase, 0}), Skip, Skip},
        {"exFAT: the widest zones apart", exfat, file({kBase + 14 * 3600, 0}), file({kBase, 0}), Skip, Skip},
        {"exFAT: farther than any zone", exfat, file({kBase + 14 * 3600 + 900, 0}), file({kBase, 0}), Replace,
         Replace},
        {"exFAT: an hour and a second", exfat, file({kBase + 3601, 0}), file({kBase, 0}), Replace, Replace},
        {"exFAT: an hour, another size", exfat, file({kBase + 3600, 0}, 11), file({kBase, 0}), Replace,
         Replace},
        {"UTC: an hour is an edit", sshfs, file({kBase + 3600, 0}), file({kBase, 0}), Replace, Replace},
        {"before probing: one second apart", legacy, file({kBase + 1, 0}), file({kBase, 0}), Skip, Skip},
        {"before probing: two seconds apart", legacy, file({kBase + 2, 0}), file({kBase, 0}), Replace,
         Replace},
        {"before probing: all bits", legacy, file({kBase, 0}, 10, 0600), file({kBase, 0}, 10, 0644), Replace,
         Skip},
        {"links to one target, whatever their times", ext4, link("a", {kBase + 5, 0}), link("a", {kBase, 0}),
         Skip, Skip},
        {"links to targets of one length", ext4, link("b", {kBase, 0}), link("a", {kBase, 0}), Replace, Skip},
        {"a newer link elsewhere", ext4, link("b", {kBase + 5, 0}), link("a", {kBase, 0}), Replace, Replace},
        {"a link where a file of its size and time is", ext4, link("a", {kBase, 0}),
         file({kBase, 0}, 1, 0777), Replace, Skip},
        {"a file where a link is", ext4, file({kBase, 0}, 1, 0777), link("a", {kBase, 0}), Replace, Skip},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decideCopy(tmSyncAll, false, c.source, c.destination, c.comparison), c.syncAll);
        EXPECT_EQ(decideCopy(tmUpdateOld, false, c.source, c.destination, c.comparison), c.updateOld);
        EXPECT_EQ(looksCopied(c.source, c.destination, c.comparison), c.syncAll == Skip);
        // A move never replaces, and "Copy only absent files" never touches a file that is there.
        EXPECT_EQ(decideCopy(tmSyncAll, true, c.source, c.destination, c.comparison),
                  c.syncAll == Skip ? Skip : Copy);
        EXPECT_EQ(decideCopy(tmAbsentOnly, false, c.source, c.destination, c.comparison), Skip);
    }
}

TEST(CopyDecision, TimesCutToStepsAndTwoSidesCompareAsTheCoarser) {
    // Steps of whole seconds cut towards the past, also before 1970.
    EXPECT_EQ(stepOf({-1, 500}, kFat), stepOf({-2, 0}, kFat));
    EXPECT_NE(stepOf({-1, 0}, kFat), stepOf({0, 0}, kFat));
    EXPECT_EQ(stepOf({3, 999'999'999}, kFat), stepOf({2, 0}, kFat));
    EXPECT_EQ(stepOf({3, 999'999'999}, kSecond), stepOf({3, 0}, kSecond));
    EXPECT_LT(stepOf({3, 999'999'999}, kNtfs), stepOf({4, 0}, kNtfs));
    // Far times stay ordered: no step multiplies seconds into an overflow.
    EXPECT_LT(stepOf({std::int64_t{1} << 40, 0}, kNanosecond),
              stepOf({(std::int64_t{1} << 40) + 1, 0}, kNanosecond));

    platform::FileSystemTraits ext4, ntfs, exfat;
    ext4.timeResolution = kNanosecond;
    ntfs.timeResolution = kNtfs;
    ntfs.permissions = PermissionsKept::None;
    exfat.timeResolution = kSecond;
    exfat.permissions = PermissionsKept::ReadOnlyBit;
    exfat.localTime = true;
    struct Case {
        const char* name;
        const platform::FileSystemTraits &one, &other;
        Comparison expected;
    };
    const Case cases[] = {
        {"alike", ext4, ext4, {kNanosecond, PermissionsKept::All, TimeBase::Utc}},
        {"NTFS either side", ext4, ntfs, {kNtfs, PermissionsKept::None, TimeBase::Utc}},
        {"NTFS the other side", ntfs, ext4, {kNtfs, PermissionsKept::None, TimeBase::Utc}},
        {"exFAT and NTFS", exfat, ntfs, {kSecond, PermissionsKept::None, TimeBase::Local}},
        {"ext4 and exFAT", ext4, exfat, {kSecond, PermissionsKept::ReadOnlyBit, TimeBase::Local}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Comparison both = comparisonFor(c.one, c.other);
        EXPECT_EQ(both.timeResolution, c.expected.timeResolution);
        EXPECT_EQ(both.permissions, c.expected.permissions);
        EXPECT_EQ(both.timeBase, c.expected.timeBase);
    }
    const Comparison oneWay = comparisonFor(exfat);
    EXPECT_EQ(oneWay.timeResolution, kSecond);
    EXPECT_EQ(oneWay.permissions, PermissionsKept::ReadOnlyBit);
    EXPECT_EQ(oneWay.timeBase, TimeBase::Local);
}

TEST(CopyDecision, NamesAFileSystemRefuses) {
    platform::FileSystemTraits exfat;
    exfat.refusedCharacters = ":*?\"<>|\\";
    exfat.refusesControlBytes = true;
    exfat.refusesTrailingDot = true;
    exfat.longestName = 20;
    for (const char* name : {"a:b", "what?", "x\x01y", "dot.", "back\\slash", "abcdefghijklmnopqrstu"})
        EXPECT_TRUE(exfat.refusesName(name)) << name;
    for (const char* name : {"plain.txt", "blank ", ".hidden", "abcdefghijklmnopqrst", "caf\xc3\xa9"})
        EXPECT_FALSE(exfat.refusesName(name)) << name;
    EXPECT_FALSE(platform::FileSystemTraits{}.refusesName("a:b?. "));
}

}  // namespace
}  // namespace tessel
