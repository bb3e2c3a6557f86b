#pragma once
// The system clock and the local calendar. "Now" can be fixed by tests.

#include <cstdint>
#include <optional>
#include <string>

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

// While set, clockNow() answers this moment instead of the system clock.
void setClockForTesting(std::optional<WallClock> fixed);

LocalTime toLocalTime(WallClock moment);
// Interprets `local` in the local time zone; nullopt when it names no moment the system can represent.
std::optional<WallClock> fromLocalTime(const LocalTime& local);

// The date in the user's short date format, a blank and the time in the long time format, as the
// locale chosen by setlocale(LC_ALL, "") writes them; only the date when the time is exactly 00:00:00.
std::string formatLocalDateTime(const LocalTime& local);

}  // namespace tessel::platform
