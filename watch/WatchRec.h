#pragma once
// The watch record: one synchronisation job, and at the same time the exact 1328-byte image of one
// record of the watch file. Integers are little-endian, date-times are IEEE doubles (see DateTime.h),
// texts are zero-terminated byte strings of at most 255 bytes in fixed 256-byte fields.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "watch/DateTime.h"

namespace tessel {

enum TRunMode : std::uint8_t { rmStop = 0, rmOnStart = 1, rmManual = 2, rmTimer = 3 };
enum TFileAction : std::uint8_t { faCopy = 0, faMove = 1 };
enum TPeriod : std::uint8_t {
    pd10Minutes = 0,
    pd1Hour = 1,
    pd1Day = 2,
    pd1Week = 3,
    pd10Days = 4,
    pd1Month = 5,
    pdOnTime = 6
};
enum TTuneMode : std::int32_t { tmSyncAll = 0, tmUpdateOld = 1, tmAbsentOnly = 2 };

inline constexpr std::size_t kTextFieldSize = 256;
inline constexpr std::size_t kMaxTextLength = kTextFieldSize - 1;
inline constexpr std::size_t kWatchRecSize = 1328;

using TextField = char[kTextFieldSize];

// Fields keep the raw stored values: a record read from a file may hold any byte in any field.
struct TWatchRec {
    std::int32_t WatchIndex;  // position in the watch file; -1 for a record not read from it
    std::int32_t Interval;    // always 600; nothing reads it
    TDateTime EditTime;
    TDateTime OnTime;  // only hour and minute count, for pdOnTime
    TDateTime LastRunTime;
    std::uint8_t RunMode;     // TRunMode
    std::uint8_t FileAction;  // TFileAction
    std::uint8_t Period;      // TPeriod
    TextField SourceDir;
    TextField DestDir;
    TextField FileMask;
    TextField RunFile;
    TextField RunParams;
    std::uint8_t WideLog;  // flags: on only when exactly 1
    std::uint8_t CopyWithRoot;
    std::uint8_t BiDirect;
    std::uint8_t DeleteAbsent;
    std::uint8_t Padding1;
    std::int32_t TuneMode;  // TTuneMode; -1 straight from InitWatchRec
    std::uint8_t Padding2[4];
};

static_assert(std::endian::native == std::endian::little, "the watch file is little-endian");
static_assert(std::is_standard_layout_v<TWatchRec> && std::is_trivially_copyable_v<TWatchRec>);
static_assert(sizeof(double) == 8 && sizeof(TWatchRec) == kWatchRecSize);
static_assert(offsetof(TWatchRec, WatchIndex) == 0);
static_assert(offsetof(TWatchRec, Interval) == 4);
static_assert(offsetof(TWatchRec, EditTime) == 8);
static_assert(offsetof(TWatchRec, OnTime) == 16);
static_assert(offsetof(TWatchRec, LastRunTime) == 24);
static_assert(offsetof(TWatchRec, RunMode) == 32);
static_assert(offsetof(TWatchRec, FileAction) == 33);
static_assert(offsetof(TWatchRec, Period) == 34);
static_assert(offsetof(TWatchRec, SourceDir) == 35);
static_assert(offsetof(TWatchRec, DestDir) == 291);
static_assert(offsetof(TWatchRec, FileMask) == 547);
static_assert(offsetof(TWatchRec, RunFile) == 803);
static_assert(offsetof(TWatchRec, RunParams) == 1059);
static_assert(offsetof(TWatchRec, WideLog) == 1315);
static_assert(offsetof(TWatchRec, CopyWithRoot) == 1316);
static_assert(offsetof(TWatchRec, BiDirect) == 1317);
static_assert(offsetof(TWatchRec, DeleteAbsent) == 1318);
static_assert(offsetof(TWatchRec, Padding1) == 1319);
static_assert(offsetof(TWatchRec, TuneMode) == 1320);
static_assert(offsetof(TWatchRec, Padding2) == 1324);

// Gives `watch` its initial values, reading the clock once for EditTime and LastRunTime.
void InitWatchRec(TWatchRec& watch);

// Stores `text` with its terminating zero. A text longer than 255 bytes is refused: the result is
// false and the field keeps what it held.
bool setText(TextField& field, std::string_view text);
// The bytes up to the first zero, at most 255 even when a damaged field holds no zero.
std::string getText(const TextField& field);

inline bool isOn(std::uint8_t flag) {
    return flag == 1;
}

}  // namespace tessel
