#pragma once
// The system clock and the local calendar. "Now" can be fixed by tests.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessel::platform {

struct WallClock {
    std::int64_t seconds = 0;      // since 1970-01-01 00:00 UTC
    std::int32_t nanoseconds = 0;  // 0..999'999'999
};

// A moment broken down in the local time zone.
struct LocalTime {
    int year = 1899;
    int month = 12;  // 1..12
    int day = 30;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

WallClock clockNow();
// Now as the file systems stamp change times: the kernel's coarse clock, which may lag the precise one
// by a tick. A file changed after this moment has a change time at or after it.
WallClock fileClockNow();
// A moment of the file clock that every change made before the call is stamped before, and every
// change after the call at or after, whatever the kernel stamps with (its coarse clock, or the precise
// one for a file whose times were just looked at). Waits two ticks of the coarse clock (a few
// milliseconds): the coarse clock moves in whole ticks and may lag the precise one by up to one.
WallClock fileClockNextTick();

// While set, clockNow() answers this moment instead of the system clock.
void setClockForTesting(std::optional<WallClock> fixed);

LocalTime toLocalTime(WallClock moment);
// Interprets `local` in the local time zone; nullopt when it names no moment the system can represent.
std::optional<WallClock> fromLocalTime(const LocalTime& local);

// The date in the short date format, a blank and the time in the long time format of the machine's
// regional settings (machineTimeLocale); only the date when the time is exactly 00:00:00. Every program
// that writes the log writes the same form, whatever its language and environment: the window in any
// language, tessel-batch from a terminal, cron or systemd.
std::string formatLocalDateTime(const LocalTime& local);

// The locale the machine's regional settings name for dates and times: LC_ALL, else LC_TIME, else LANG
// of the first of /etc/locale.conf and /etc/default/locale that names one ("localectl set-locale"
// writes them); "C" where none does. The process's own environment does not count: cron and systemd
// start programs without it, and a window may be started in another language.
std::string machineTimeLocale();
// Where machineTimeLocale looks, in this order, until reset with an empty list; for the tests.
void setRegionalSettingsFilesForTesting(const std::vector<std::string>& files);

}  // namespace tessel::platform
