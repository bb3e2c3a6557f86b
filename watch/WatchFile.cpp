#include "watch/WatchFile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <system_error>

#include "platform/FileIo.h"
#include "platform/Paths.h"
#include "watch/EventLog.h"

namespace tessel {

namespace {

using platform::File;

constexpr const char* kMissingFileWarning = "Error.";
constexpr const char* kMissingFileCaption = "Warning";

std::uint64_t offsetOf(std::int64_t position) {
    return static_cast<std::uint64_t>(position) * kWatchRecSize;
}

bool countRecords(const File& file, std::int64_t& count, std::error_code& error) {
    std::uint64_t bytes = 0;
    if (!file.size(bytes, error)) return false;
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

std::int32_t GetCountWatchRec(RunContext& context, const std::string& FileName) {
    if (!platform::fileExists(FileName)) return 0;
    std::int64_t count = 0;
    File file;
    std::error_code error;
    if (!file.open(FileName, File::Mode::ReadWrite, error) || !countRecords(file, count, error)) {
        context.messages.showMessage(kIoErrorMessage);
        return 0;
    }
    return clampedCount(count);
}

TWatchRec ReadWatchRec(RunContext& context, std::int32_t n) {
    TWatchRec watch;
    InitWatchRec(watch);
    if (!platform::fileExists(context.WatchFilePath)) {
        context.messages.showWarning(kMissingFileWarning, kMissingFileCaption);
        return watch;
    }
    if (n < 0) return watch;
    File file;
    std::error_code error;
    std::int64_t count = 0;
    // Reading only at complete records keeps an incomplete tail from passing for a watch.
    if (file.open(context.WatchFilePath, File::Mode::ReadWrite, error) && countRecords(file, count, error) &&
        n < count)
        readRecord(file, n, watch, error);
    return watch;
}

bool WriteWatchRec(RunContext& context, const TWatchRec& r) {
    if (!platform::fileExists(context.WatchFilePath)) {
        context.messages.showWarning(kMissingFileWarning, kMissingFileCaption);
        return false;
    }
    if (r.WatchIndex < 0) return false;
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

bool AppendWatchRec(RunContext& context, TWatchRec r, const std::string& FileName) {
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

bool DelWatchFromFile(RunContext& /*context*/, const std::string& FileName, std::int32_t WatchIndex) {
    if (!platform::fileExists(FileName)) return false;
    File source;
    std::int64_t count = 0;
    std::error_code error;
    if (!source.open(FileName, File::Mode::ReadWrite, error) || !countRecords(source, count, error))
        return false;

    std::int64_t removed = 0;
    const auto writeRemaining = [&](File& temp, std::error_code& writeError) {
        for (std::int64_t position = 0; position < count; ++position) {
            TWatchRec watch;
            if (!readRecord(source, position, watch, writeError)) return false;
            if (watch.WatchIndex == WatchIndex) {
                ++removed;
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
    if (platform::replaceFile(FileName, writeRemaining, error)) return source.close(error);
    return error == std::errc::operation_canceled;
}

bool readAllWatchRecs(const std::string& FileName, std::vector<TWatchRec>& watches) {
    watches.clear();
    if (!platform::fileExists(FileName)) return false;
    File file;
    std::error_code error;
    std::int64_t count = 0;
    if (!file.open(FileName, File::Mode::ReadWrite, error) || !countRecords(file, count, error)) return false;
    for (std::int64_t position = 0; position < count; ++position) {
        TWatchRec watch;
        if (!readRecord(file, position, watch, error)) return false;
        watches.push_back(watch);
    }
    return true;
}

}  // namespace tessel
