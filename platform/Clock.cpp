#include "platform/Clock.h"

#include <locale.h>

#include <ctime>
#include <fstream>
#include <mutex>
#include <string_view>

namespace tessel::platform {

namespace {

std::optional<WallClock> g_fixedClock;

const std::vector<std::string> kRegionalSettingsFiles = {"/etc/locale.conf", "/etc/default/locale"};

// The log's locale for dates and times, made once: every line of a process is written alike.
std::mutex g_timeLocaleMutex;
std::vector<std::string> g_settingsFiles = kRegionalSettingsFiles;
locale_t g_timeLocale = nullptr;

// The value of `key` in a file of KEY=value lines as pam_env and systemd read them (quotes removed,
// "#" lines skipped); empty when the file does not set it.
std::string settingOf(const std::string& file, std::string_view key) {
    std::ifstream in(file);
    std::string found;
    for (std::string line; std::getline(in, line);) {
        std::string_view text = line;
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
        if (text.starts_with("export ")) text.remove_prefix(7);
        if (!text.starts_with(key) || text.substr(key.size(), 1) != "=") continue;
        text.remove_prefix(key.size() + 1);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
            text.remove_suffix(1);
        if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
            text = text.substr(1, text.size() - 2);
        found = text;  // the last setting counts, as when the file is read by a shell
    }
    return found;
}

}  // namespace

std::string machineTimeLocale() {
    std::vector<std::string> files;
    {
        const std::lock_guard lock(g_timeLocaleMutex);
        files = g_settingsFiles;
    }
    for (const std::string& file : files)
        for (const std::string_view key : {"LC_ALL", "LC_TIME", "LANG"})
            if (std::string value = settingOf(file, key); !value.empty()) return value;
    return "C";
}

void setRegionalSettingsFilesForTesting(const std::vector<std::string>& files) {
    const std::lock_guard lock(g_timeLocaleMutex);
    g_settingsFiles = files.empty() ? kRegionalSettingsFiles : files;
    if (g_timeLocale != nullptr) freelocale(g_timeLocale);
    g_timeLocale = nullptr;
}

WallClock clockNow() {
    if (g_fixedClock) return *g_fixedClock;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return {ts.tv_sec, static_cast<std::int32_t>(ts.tv_nsec)};
}

WallClock fileClockNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME_COARSE, &ts);
    return {ts.tv_sec, static_cast<std::int32_t>(ts.tv_nsec)};
}

WallClock fileClockNextTick() {
    WallClock last = fileClockNow();
    // A tick is 1 to 10 ms (the kernel's HZ); the bound only guards against a clock that stands still.
    int ticks = 0;
    for (int waited = 0; ticks < 2 && waited < 2000; ++waited) {
        const timespec pause{0, 500'000};
        nanosleep(&pause, nullptr);
        const WallClock now = fileClockNow();
        if (now.seconds != last.seconds || now.nanoseconds != last.nanoseconds) ++ticks;
        last = now;
    }
    return last;
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
    std::size_t length = 0;
    {
        // The settings are read without the lock, which machineTimeLocale takes itself.
        std::unique_lock lock(g_timeLocaleMutex);
        if (g_timeLocale == nullptr) {
            lock.unlock();
            const std::string name = machineTimeLocale();
            lock.lock();
            if (g_timeLocale == nullptr) {
                g_timeLocale = newlocale(LC_TIME_MASK, name.c_str(), static_cast<locale_t>(0));
                // A locale the machine names but has not generated: the plain one.
                if (g_timeLocale == nullptr)
                    g_timeLocale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
            }
        }
        length = strftime_l(text, sizeof text, midnight ? "%x" : "%x %X", &parts, g_timeLocale);
    }
    return std::string(text, length);
}

}  // namespace tessel::platform
