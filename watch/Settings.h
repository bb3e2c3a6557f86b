#pragma once
// The settings file "Tessel.ini": section "Main" names the data folder, the watch file and the log
// file, and holds the Minimize on Start switch. It lives in the folder Tessel is started from.

#include <string>
#include <system_error>

#include "watch/RunBasics.h"

namespace tessel {

inline constexpr const char* kSettingsFileName = "Tessel.ini";
inline constexpr const char* kSettingsSection = "Main";
inline constexpr const char* kDataPathKey = "DataFullPath";
inline constexpr const char* kWatchFileKey = "DefFileNameFullPath";
inline constexpr const char* kLogFileKey = "DefLogNameFullPath";
inline constexpr const char* kMinimizeOnStartKey = "MinimizeOnStart";
// Optional keys, never written by Tessel; a missing or unreadable value gives the default.
inline constexpr const char* kDeleteLimitKey = "DeleteLimitPercent";
inline constexpr const char* kKeepVersionsKey = "KeepVersions";
inline constexpr const char* kVersionDaysKey = "VersionDays";
inline constexpr const char* kJobsKey = "Jobs";
inline constexpr const char* kRescanHoursKey = "RescanHours";
inline constexpr const char* kFallbackMinutesKey = "FallbackMinutes";

inline constexpr const char* kDataFolderName = "Data";
inline constexpr const char* kDefaultWatchFileName = "WatchDef.wth";
inline constexpr const char* kDefaultLogFileName = "WatchLog.Log";

struct Settings {
    std::string DataPath;  // no trailing "/"; holds the states of two-way watches (stateFolderFor)
    std::string WatchFilePath;
    std::string LogFilePath;
    std::string MinimizeOnStartFlag;  // "1" is on, any other text off
    RunOptions options;               // how runs behave
};

// What a first start in `folder` puts into a new settings file: the watch file goes into the Data
// folder, the log beside the settings file.
Settings firstStartSettings(const std::string& folder);

// Reads section "Main" of `folder`/Tessel.ini. A key the file lacks takes its default: the data
// folder is folder/Data, the watch file folder/WatchDef.wth (not in Data, unlike a first start), the
// log folder/WatchLog.Log and Minimize on Start "0"; the run options take theirs (RunOptions). A missing file
// gives the defaults and true; a file that exists but cannot be read gives the defaults and false with the
// system's reason.
bool readSettings(const std::string& folder, Settings& settings, std::error_code& error);

// folder/Tessel.ini
std::string settingsFilePath(const std::string& folder);

// Where the watches with both directions keep what their last run left: the "state" folder of the data
// folder (RunOptions::stateFolder); empty without a data folder.
std::string stateFolderFor(const std::string& dataPath);

// What the user is told when the settings file at `path` cannot be written.
std::string unableToWriteMessage(const std::string& path);

// A first start in `folder`: writes the values of firstStartSettings into a new folder/Tessel.ini key by
// key, in the order DataFullPath, DefFileNameFullPath, DefLogNameFullPath, MinimizeOnStart, each on disk
// before the next. Right after the first key a missing data folder is made (with every folder above it);
// whether that works does not matter to the start. Each value goes into `settings` once its key is written,
// so after a failure `settings` holds what was written until then. False, with the reason, when a write
// fails.
bool createSettings(const std::string& folder, Settings& settings, std::error_code& error);

// Stores `flag` as MinimizeOnStart in folder/Tessel.ini when that file exists; a missing file stays
// missing and counts as success. False, with the reason, when the file cannot be written.
bool writeMinimizeOnStart(const std::string& folder, const std::string& flag, std::error_code& error);

}  // namespace tessel
