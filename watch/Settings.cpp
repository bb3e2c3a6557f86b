#include "watch/Settings.h"

#include "platform/Paths.h"
#include "platform/Profile.h"

namespace tessel {

using platform::withTrailingSlash;

Settings firstStartSettings(const std::string& folder) {
    const std::string base = withTrailingSlash(folder);
    return {base + kDataFolderName, base + kDataFolderName + "/" + kDefaultWatchFileName,
            base + kDefaultLogFileName, "0"};
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
    return ok;
}

}  // namespace tessel
