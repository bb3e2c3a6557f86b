#include "watch/DateTime.h"

#include <cmath>
#include <cstdint>

namespace tessel {

namespace {

constexpr std::int64_t kMillisecondsPerDay = 86'400'000;
// 1899-12-30 lies 25569 days before 1970-01-01.
constexpr std::int64_t kEpochOffsetDays = 25'569;
// Keeps decoding inside years 1..9999, where every step below is defined.
constexpr double kMinDays = -693'593.0;
constexpr double kMaxDays = 2'958'465.0;

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146'097 + static_cast<std::int64_t>(dayOfEra) - 719'468;
}

void civilFromDays(std::int64_t days, int& year, int& month, int& day) {
    days += 719'468;
    const std::int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146'097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2));
}

}  // namespace

TDateTime encodeDateTime(const platform::LocalTime& local) {
    const std::int64_t days =
        daysFromCivil(local.year, static_cast<unsigned>(local.month), static_cast<unsigned>(local.day)) +
        kEpochOffsetDays;
    const std::int64_t milliseconds =
        ((local.hour * 60LL + local.minute) * 60 + local.second) * 1000 + local.millisecond;
    const double fraction = static_cast<double>(milliseconds) / kMillisecondsPerDay;
    // Before 1899-12-30 the whole days count backwards while the fraction still counts forwards.
    return days < 0 ? static_cast<double>(days) - fraction : static_cast<double>(days) + fraction;
}

platform::LocalTime decodeDateTime(TDateTime value) {
    if (!std::isfinite(value)) value = 0.0;
    value = std::fmin(std::fmax(value, kMinDays), kMaxDays);
    double wholeDays = std::trunc(value);
    std::int64_t milliseconds = std::llround(std::fabs(value - wholeDays) * kMillisecondsPerDay);
    if (milliseconds >= kMillisecondsPerDay) {
        milliseconds = 0;
        wholeDays += value < 0 ? -1 : 1;
    }
    platform::LocalTime local;
    civilFromDays(static_cast<std::int64_t>(wholeDays) - kEpochOffsetDays, local.year, local.month,
                  local.day);
    local.millisecond = static_cast<int>(milliseconds % 1000);
    local.second = static_cast<int>(milliseconds / 1000 % 60);
    local.minute = static_cast<int>(milliseconds / 60'000 % 60);
    local.hour = static_cast<int>(milliseconds / 3'600'000);
    return local;
}

TDateTime dateTimeFromClock(platform::WallClock moment) {
    return encodeDateTime(platform::toLocalTime(moment));
}

TDateTime dateTimeFromTime(std::time_t seconds) {
    return dateTimeFromClock({seconds, 0});
}

TDateTime Now() {
    return dateTimeFromClock(platform::clockNow());
}

int hourOf(TDateTime value) {
    return decodeDateTime(value).hour;
}

int minuteOf(TDateTime value) {
    return decodeDateTime(value).minute;
}

}  // namespace tessel
