#include "watch/Settings.h"

#include <charconv>

#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "platform/Paths.h"
#include "platform/Profile.h"

namespace tessel {

using platform::withTrailingSlash;

namespace {

// A whole number from `lowest` to `highest` (a "%" after it is fine); anything else gives the default.
int numberOf(std::string text, int lowest, int highest, int defaultValue) {
    if (!text.empty() && text.back() == '%') text.pop_back();
    while (!text.empty() && text.back() == ' ') text.pop_back();
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < lowest ||
        value > highest)
        return defaultValue;
    return value;
}

}  // namespace

static RunOptions firstStartOptions() {
    RunOptions options;
    options.jobs = defaultJobs();
    return options;
}

Settings firstStartSettings(const std::string& folder) {
    const std::string base = withTrailingSlash(folder);
    return {base + kDataFolderName, base + kDataFolderName + "/" + kDefaultWatchFileName,
            base + kDefaultLogFileName, "0", firstStartOptions()};
}

bool readSettings(const std::string& folder, Settings& settings, std::error_code& error) {
    const std::string base = withTrailingSlash(folder);
    platform::Profile profile;
    bool ok = platform::loadProfile(base + kSettingsFileName, profile, error);
    if (!ok && error == std::errc::no_such_file_or_directory) {
        error.clear();
        ok = true;
    }
    const auto read = [&](const char* key, std::string defaultValue) {
        auto value = profile.value(kSettingsSection, key);
        return value ? *value : defaultValue;
    };
    settings.DataPath = read(kDataPathKey, base + kDataFolderName);
    settings.WatchFilePath = read(kWatchFileKey, base + kDefaultWatchFileName);
    settings.LogFilePath = read(kLogFileKey, base + kDefaultLogFileName);
    settings.MinimizeOnStartFlag = read(kMinimizeOnStartKey, "0");
    const RunOptions defaults;
    settings.options.deleteLimitPercent =
        numberOf(read(kDeleteLimitKey, ""), 0, 100, defaults.deleteLimitPercent);
    settings.options.keepVersions =
        numberOf(read(kKeepVersionsKey, ""), 0, 1, defaults.keepVersions ? 1 : 0) == 1;
    settings.options.versionDays = numberOf(read(kVersionDaysKey, ""), 0, 36500, defaults.versionDays);
    settings.options.jobs = numberOf(read(kJobsKey, ""), 1, 64, defaultJobs());
    settings.options.rescanHours = numberOf(read(kRescanHoursKey, ""), 1, 8760, defaults.rescanHours);
    settings.options.fallbackMinutes =
        numberOf(read(kFallbackMinutesKey, ""), 1, 1440, defaults.fallbackMinutes);
    return ok;
}

std::string settingsFilePath(const std::string& folder) {
    return withTrailingSlash(folder) + kSettingsFileName;
}

std::string stateFolderFor(const std::string& dataPath) {
    // Without a data folder (a settings file that could not be made) there is no state, never "/state".
    return dataPath.empty() ? std::string() : withTrailingSlash(dataPath) + "state";
}

std::string unableToWriteMessage(const std::string& path) {
    return "Unable to write to " + path;
}

bool createSettings(const std::string& folder, Settings& settings, std::error_code& error) {
    const std::string path = settingsFilePath(folder);
    const Settings first = firstStartSettings(folder);
    const auto write = [&](const char* key, const std::string& value, std::string& setting) {
        if (!platform::writeProfileString(path, kSettingsSection, key, value, error)) return false;
        setting = value;
        return true;
    };
    if (!write(kDataPathKey, first.DataPath, settings.DataPath)) return false;
    if (!platform::isExistingFolder(first.DataPath)) platform::ForceFolders(first.DataPath);
    return write(kWatchFileKey, first.WatchFilePath, settings.WatchFilePath) &&
           write(kLogFileKey, first.LogFilePath, settings.LogFilePath) &&
           write(kMinimizeOnStartKey, first.MinimizeOnStartFlag, settings.MinimizeOnStartFlag);
}

bool writeMinimizeOnStart(const std::string& folder, const std::string& flag, std::error_code& error) {
    const std::string path = settingsFilePath(folder);
    if (!platform::fileExists(path)) return true;
    return platform::writeProfileString(path, kSettingsSection, kMinimizeOnStartKey, flag, error);
}

}  // namespace tessel
