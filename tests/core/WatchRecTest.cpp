#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "support/TestSupport.h"
#include "watch/DateTime.h"
#include "watch/WatchRec.h"

namespace tessel {
namespace {

class FixedClock : public ::testing::Test {
  protected:
    test::FixedClock clock;
};

std::int32_t int32At(const unsigned char* bytes, std::size_t offset) {
    std::int32_t value;
    std::memcpy(&value, bytes + offset, 4);
    return value;
}

double doubleAt(const unsigned char* bytes, std::size_t offset) {
    double value;
    std::memcpy(&value, bytes + offset, 8);
    return value;
}

TEST(WatchRecLayout, FieldsSitAtTheirByteOffsets) {
    TWatchRec watch{};
    watch.WatchIndex = 0x01020304;
    watch.Interval = 600;
    watch.EditTime = 1.5;
    watch.OnTime = 0.75;
    watch.LastRunTime = 46000.25;
    watch.RunMode = rmTimer;
    watch.FileAction = faMove;
    watch.Period = pdOnTime;
    ASSERT_TRUE(setText(watch.SourceDir, "/src"));
    ASSERT_TRUE(setText(watch.DestDir, "/dst"));
    ASSERT_TRUE(setText(watch.FileMask, "*.txt"));
    ASSERT_TRUE(setText(watch.RunFile, "/bin/true"));
    ASSERT_TRUE(setText(watch.RunParams, "-v"));
    watch.WideLog = 1;
    watch.CopyWithRoot = 2;
    watch.BiDirect = 3;
    watch.DeleteAbsent = 4;
    watch.TuneMode = tmAbsentOnly;

    unsigned char bytes[kWatchRecSize];
    std::memcpy(bytes, &watch, sizeof bytes);
    EXPECT_EQ(bytes[0], 0x04);  // little-endian
    EXPECT_EQ(int32At(bytes, 0), 0x01020304);
    EXPECT_EQ(int32At(bytes, 4), 600);
    EXPECT_EQ(doubleAt(bytes, 8), 1.5);
    EXPECT_EQ(doubleAt(bytes, 16), 0.75);
    EXPECT_EQ(doubleAt(bytes, 24), 46000.25);
    EXPECT_EQ(bytes[32], 3);
    EXPECT_EQ(bytes[33], 1);
    EXPECT_EQ(bytes[34], 6);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes + 35)), "/src");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes + 291)), "/dst");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes + 547)), "*.txt");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes + 803)), "/bin/true");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes + 1059)), "-v");
    EXPECT_EQ(bytes[1315], 1);
    EXPECT_EQ(bytes[1316], 2);
    EXPECT_EQ(bytes[1317], 3);
    EXPECT_EQ(bytes[1318], 4);
    EXPECT_EQ(int32At(bytes, 1320), 2);

    TWatchRec back;
    std::memcpy(&back, bytes, sizeof back);
    EXPECT_EQ(std::memcmp(&back, &watch, 1319), 0);
    EXPECT_EQ(std::memcmp(reinterpret_cast<char*>(&back) + 1320, reinterpret_cast<char*>(&watch) + 1320, 4),
              0);
    // Only exactly 1 switches a flag on.
    EXPECT_TRUE(isOn(back.WideLog));
    EXPECT_FALSE(isOn(back.CopyWithRoot));
}

TEST(WatchRecText, LimitsAndDamagedFields) {
    TWatchRec watch{};
    const std::string longest(255, 'x');
    ASSERT_TRUE(setText(watch.SourceDir, longest));
    const auto* field = reinterpret_cast<const unsigned char*>(watch.SourceDir);
    EXPECT_EQ(field[254], 'x');
    EXPECT_EQ(field[255], 0);
    EXPECT_EQ(getText(watch.SourceDir), longest);

    // Too long: refused and the field keeps what it held.
    EXPECT_FALSE(setText(watch.SourceDir, std::string(256, 'y')));
    EXPECT_EQ(getText(watch.SourceDir), longest);

    ASSERT_TRUE(setText(watch.DestDir, ""));
    EXPECT_EQ(watch.DestDir[0], 0);
    EXPECT_EQ(getText(watch.DestDir), "");

    // A damaged record without any zero in the field still reads as at most 255 bytes.
    std::memset(watch.FileMask, 'z', kTextFieldSize);
    EXPECT_EQ(getText(watch.FileMask), std::string(255, 'z'));

    // Bytes that are not UTF-8 pass through untouched.
    ASSERT_TRUE(setText(watch.RunFile, "/tmp/\xff\xfe"));
    EXPECT_EQ(getText(watch.RunFile), "/tmp/\xff\xfe");
}

TEST_F(FixedClock, InitWatchRecGivesTheInitialValues) {
    clock.set(platform::WallClock{1'800'000'000, 250'000'000});
    TWatchRec watch;
    std::memset(&watch, 0x5a, sizeof watch);
    InitWatchRec(watch);
    EXPECT_EQ(watch.WatchIndex, -1);
    EXPECT_EQ(watch.Interval, 600);
    EXPECT_EQ(watch.RunMode, rmStop);
    EXPECT_EQ(watch.FileAction, faCopy);
    EXPECT_EQ(watch.Period, pd1Day);
    EXPECT_EQ(watch.TuneMode, -1);
    EXPECT_EQ(watch.WideLog + watch.CopyWithRoot + watch.BiDirect + watch.DeleteAbsent, 0);
    for (const TextField* text :
         {&watch.SourceDir, &watch.DestDir, &watch.FileMask, &watch.RunFile, &watch.RunParams})
        for (char c : *text) ASSERT_EQ(c, 0);
    EXPECT_EQ(watch.EditTime, dateTimeFromClock({1'800'000'000, 250'000'000}));
    EXPECT_EQ(watch.LastRunTime, watch.EditTime);
}

TEST(DateTime, DayCountsAndTimeOfDay) {
    struct Case {
        platform::LocalTime local;
        double expected;
    };
    const Case cases[] = {
        {{1899, 12, 30, 0, 0, 0, 0}, 0.0},   {{1900, 1, 1, 12, 0, 0, 0}, 2.5},
        {{1970, 1, 1, 0, 0, 0, 0}, 25569.0}, {{2000, 2, 29, 18, 0, 0, 0}, 36585.75},
        {{1899, 12, 29, 6, 0, 0, 0}, -1.25},  // before the epoch the fraction still counts forwards
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_DOUBLE_EQ(encodeDateTime(c.local), c.expected);
        const platform::LocalTime back = decodeDateTime(c.expected);
        EXPECT_EQ(back.year, c.local.year);
        EXPECT_EQ(back.month, c.local.month);
        EXPECT_EQ(back.day, c.local.day);
        EXPECT_EQ(back.hour, c.local.hour);
        EXPECT_EQ(back.minute, c.local.minute);
    }
    // An OnTime of 0.75 stands for 18:00 whatever its date part.
    EXPECT_EQ(hourOf(0.75), 18);
    EXPECT_EQ(minuteOf(0.75), 0);
    EXPECT_EQ(hourOf(45000.75), 18);
    // 07:05 and a value a hair below the next minute, which must not round into 07:06's hour or beyond.
    EXPECT_EQ(hourOf((7 * 60 + 5) / 1440.0), 7);
    EXPECT_EQ(minuteOf((7 * 60 + 5) / 1440.0), 5);
    EXPECT_EQ(hourOf(0.9999999999), 0);  // rounds to the next midnight

    // Values a damaged watch file may hold decode to something defined.
    for (double odd : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity(), 1e300, -1e300}) {
        const platform::LocalTime local = decodeDateTime(odd);
        EXPECT_GE(local.hour, 0);
        EXPECT_LT(local.hour, 24);
        EXPECT_GE(local.year, 1);
        EXPECT_LE(local.year, 10000);
    }
}

TEST_F(FixedClock, NowFollowsThePlatformClock) {
    const auto local = platform::LocalTime{2031, 7, 14, 9, 41, 30, 0};
    const auto moment = platform::fromLocalTime(local);
    ASSERT_TRUE(moment);
    clock.set(*moment);
    EXPECT_DOUBLE_EQ(Now(), encodeDateTime(local));
    EXPECT_DOUBLE_EQ(dateTimeFromTime(static_cast<std::time_t>(moment->seconds)), encodeDateTime(local));
    EXPECT_EQ(hourOf(Now()), 9);
    EXPECT_EQ(minuteOf(Now()), 41);
}

}  // namespace
}  // namespace tessel
