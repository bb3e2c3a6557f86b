#include "platform/Clock.h"

#include <ctime>

namespace tessel::platform {

namespace {
std::optional<WallClock> g_fixedClock;
}

WallClock clockNow() {
    if (g_fixedClock) return *g_fixedClock;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return {ts.tv_sec, static_cast<std::int32_t>(ts.tv_nsec)};
}

void setClockForTesting(std::optional<WallClock> fixed) {
    g_fixedClock = fixed;
}

LocalTime toLocalTime(WallClock moment) {
    const time_t seconds = static_cast<time_t>(moment.seconds);
    tm parts{};
    if (localtime_r(&seconds, &parts) == nullptr) return {};
    return {parts.tm_year + 1900,
            parts.tm_mon + 1,
            parts.tm_mday,
            parts.tm_hour,
            parts.tm_min,
            parts.tm_sec,
            moment.nanoseconds / 1'000'000};
}

std::optional<WallClock> fromLocalTime(const LocalTime& local) {
    tm parts{};
    parts.tm_year = local.year - 1900;
    parts.tm_mon = local.month - 1;
    parts.tm_mday = local.day;
    parts.tm_hour = local.hour;
    parts.tm_min = local.minute;
    parts.tm_sec = local.second;
    parts.tm_isdst = -1;
    const time_t seconds = mktime(&parts);
    if (seconds == static_cast<time_t>(-1) && !(parts.tm_year == 69 && parts.tm_mon == 11))
        return std::nullopt;
    return WallClock{seconds, local.millisecond * 1'000'000};
}

std::string formatLocalDateTime(const LocalTime& local) {
    tm parts{};
    parts.tm_year = local.year - 1900;
    parts.tm_mon = local.month - 1;
    parts.tm_mday = local.day;
    parts.tm_hour = local.hour;
    parts.tm_min = local.minute;
    parts.tm_sec = local.second;
    parts.tm_isdst = -1;
    const bool midnight = local.hour == 0 && local.minute == 0 && local.second == 0 && local.millisecond == 0;
    char text[128];
    const size_t length = strftime(text, sizeof text, midnight ? "%x" : "%x %X", &parts);
    return std::string(text, length);
}

}  // namespace tessel::platform
