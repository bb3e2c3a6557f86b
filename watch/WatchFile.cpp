#include "watch/WatchFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>

#include "platform/FileIo.h"
#include "platform/FileLock.h"
#include "platform/Paths.h"
#include "watch/EventLog.h"
#include "watch/WatchStore.h"

namespace tessel {

namespace {

using platform::File;

constexpr const char* kMissingFileWarning = "Error.";
constexpr const char* kMissingFileCaption = "Warning";

constexpr auto kReading = platform::FileLock::Mode::Shared;
constexpr auto kChanging = platform::FileLock::Mode::Exclusive;

std::uint64_t offsetOf(std::int64_t position) {
    return static_cast<std::uint64_t>(position) * kWatchRecSize;
}

bool countRecords(const File& file, std::int64_t& count, std::error_code& error) {
    std::uint64_t bytes = 0;
    if (!file.size(bytes, error)) return false;
    if (bytes > kMaxWatchFileSize)
        return platform::fail(error, std::make_error_code(std::errc::file_too_large));
    count = static_cast<std::int64_t>(bytes / kWatchRecSize);
    return true;
}

std::int32_t clampedCount(std::int64_t count) {
    return static_cast<std::int32_t>(std::min<std::int64_t>(count, std::numeric_limits<std::int32_t>::max()));
}

// Reads into a scratch record first, so that a short read never leaves half a record behind.
bool readRecord(const File& file, std::int64_t position, TWatchRec& watch, std::error_code& error) {
    TWatchRec scratch;
    if (!file.readAt(offsetOf(position), &scratch, kWatchRecSize, error)) return false;
    std::memcpy(&watch, &scratch, kWatchRecSize);
    return true;
}

}  // namespace

WatchFileLock::WatchFileLock(const std::string& watchFile, platform::FileLock::Mode mode) {
    std::string target;
    std::error_code error;
    if (!platform::resolvePath(watchFile, target, error)) target = watchFile;
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const char c : target) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char name[48];
    std::snprintf(name, sizeof name, "tessel-watchfile-%016llx", static_cast<unsigned long long>(hash));
    m_lock.acquire(platform::userLockPath(name), mode, true, true, error);
}

std::int32_t GetCountWatchRec(StoreContext& context, const std::string& FileName) {
    if (!platform::fileExists(FileName)) return 0;
    std::int64_t count = 0;
    File file;
    std::error_code error;
    if (!file.open(FileName, File::Mode::ReadOnly, error) || !countRecords(file, count, error)) {
        context.messages.showMessage(kIoErrorMessage);
        return 0;
    }
    return clampedCount(count);
}

TWatchRec ReadWatchRec(StoreContext& context, std::int32_t n) {
    TWatchRec watch;
    InitWatchRec(watch);
    if (!platform::fileExists(context.WatchFilePath)) {
        context.messages.showWarning(kMissingFileWarning, kMissingFileCaption);
        return watch;
    }
    if (n < 0) return watch;
    const WatchFileLock lock(context.WatchFilePath, kReading);
    File file;
    std::error_code error;
    std::int64_t count = 0;
    // Reading only at complete records keeps an incomplete tail from passing for a watch.
    if (file.open(context.WatchFilePath, File::Mode::ReadOnly, error) && countRecords(file, count, error) &&
        n < count)
        readRecord(file, n, watch, error);
    return watch;
}

bool WriteWatchRec(StoreContext& context, const TWatchRec& r) {
    if (!platform::fileExists(context.WatchFilePath)) {
        context.messages.showWarning(kMissingFileWarning, kMissingFileCaption);
        return false;
    }
    if (r.WatchIndex < 0) return false;
    const WatchFileLock lock(context.WatchFilePath, kChanging);
    File file;
    std::error_code error;
    std::int64_t count = 0;
    if (!file.open(context.WatchFilePath, File::Mode::ReadWrite, error) ||
        !countRecords(file, count, error) || r.WatchIndex >= count)
        return false;
    bool ok = file.writeAt(offsetOf(r.WatchIndex), &r, kWatchRecSize, error);
    ok = file.close(error) && ok;
    return ok;
}

bool AppendWatchRec(StoreContext& context, TWatchRec r, const std::string& FileName) {
    const WatchFileLock lock(FileName, kChanging);
    File file;
    std::error_code error;
    std::int64_t count = 0;
    bool ok = file.open(FileName, File::Mode::ReadWriteOrCreate, error) && countRecords(file, count, error);
    // A record the file could not be numbered for is not added.
    ok = ok && count < std::numeric_limits<std::int32_t>::max();
    if (ok) {
        r.WatchIndex = static_cast<std::int32_t>(count);
        ok = file.writeAt(offsetOf(count), &r, kWatchRecSize, error);
    }
    ok = file.close(error) && ok;
    if (!ok) context.messages.showMessage(kIoErrorMessage);
    return ok;
}

bool DelWatchFromFile(StoreContext& /*context*/, const std::string& FileName, std::int32_t WatchIndex) {
    if (!platform::fileExists(FileName)) return false;
    const WatchFileLock lock(FileName, kChanging);
    File source;
    std::int64_t count = 0;
    std::error_code error;
    if (!source.open(FileName, File::Mode::ReadWrite, error) || !countRecords(source, count, error))
        return false;

    std::int64_t removed = 0;
    std::vector<TWatchRec> removedRecords;
    const auto writeRemaining = [&](File& temp, std::error_code& writeError) {
        for (std::int64_t position = 0; position < count; ++position) {
            TWatchRec watch;
            if (!readRecord(source, position, watch, writeError)) return false;
            if (watch.WatchIndex == WatchIndex) {
                ++removed;
                removedRecords.push_back(watch);
                continue;
            }
            // Done in wider arithmetic: a damaged index near the lower limit must not overflow.
            watch.WatchIndex = static_cast<std::int32_t>(static_cast<std::uint32_t>(watch.WatchIndex) -
                                                         static_cast<std::uint32_t>(removed));
            if (!temp.writeAt(offsetOf(position - removed), &watch, kWatchRecSize, writeError)) return false;
        }
        // Nothing to remove: the watch file already is what a rewrite would make of it.
        return removed > 0 ||
               !platform::fail(writeError, std::make_error_code(std::errc::operation_canceled));
    };
    if (platform::replaceFile(FileName, writeRemaining, error)) {
        // The text file's entries of the removed watches go with them.
        forgetTextEntriesLocked(FileName, removedRecords);
        return source.close(error);
    }
    return error == std::errc::operation_canceled;
}

bool readAllWatchRecs(const std::string& FileName, std::vector<TWatchRec>& watches) {
    std::error_code error;
    return readAllWatchRecs(FileName, watches, error);
}

bool readAllWatchRecs(const std::string& FileName, std::vector<TWatchRec>& watches, std::error_code& error) {
    watches.clear();
    if (!platform::fileExists(FileName))
        return platform::fail(error, std::make_error_code(std::errc::no_such_file_or_directory));
    const WatchFileLock lock(FileName, kReading);
    return readAllWatchRecsLocked(FileName, watches, error);
}

bool readAllWatchRecsLocked(const std::string& FileName, std::vector<TWatchRec>& watches,
                            std::error_code& error) {
    watches.clear();
    File file;
    std::int64_t count = 0;
    if (!file.open(FileName, File::Mode::ReadOnly, error) || !countRecords(file, count, error)) return false;
    watches.reserve(static_cast<std::size_t>(count));
    for (std::int64_t position = 0; position < count; ++position) {
        TWatchRec watch;
        if (!readRecord(file, position, watch, error)) return false;
        watches.push_back(watch);
    }
    return true;
}

StoreResult storeLastRunTime(StoreContext& context, std::int32_t position, const TWatchRec& watch,
                             TDateTime time, std::error_code& error) {
    if (position < 0) return StoreResult::Changed;
    if (!platform::fileExists(context.WatchFilePath)) {
        error = std::make_error_code(std::errc::no_such_file_or_directory);
        return StoreResult::Failed;
    }
    const WatchFileLock lock(context.WatchFilePath, kChanging);
    File file;
    std::int64_t count = 0;
    TWatchRec stored;
    if (!file.open(context.WatchFilePath, File::Mode::ReadWrite, error) || !countRecords(file, count, error))
        return StoreResult::Failed;
    if (position >= count) return StoreResult::Changed;
    if (!readRecord(file, position, stored, error)) return StoreResult::Failed;
    if (getText(stored.SourceDir) != getText(watch.SourceDir) ||
        getText(stored.DestDir) != getText(watch.DestDir))
        return StoreResult::Changed;
    // Only the time (and a damaged index mended): an edit saved while the watch ran stays as saved.
    stored.LastRunTime = time;
    stored.WatchIndex = position;
    const bool ok = file.writeAt(offsetOf(position), &stored, kWatchRecSize, error);
    return file.close(error) && ok ? StoreResult::Stored : StoreResult::Failed;
}

}  // namespace tessel
