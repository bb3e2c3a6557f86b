#pragma once
// The watch file: a headerless run of 1328-byte TWatchRec records, the only place watches are kept
// (what a record has no room for lives in the text file beside it: WatchText.h, WatchStore.h). Every
// operation opens the file, does its work and closes it again: a reading opens it for reading only, so
// a watch file the user may not change (a read-only mount, another owner's) still lists and runs; a
// change opens it for writing and fails there. Bytes of an incomplete last record are not a record:
// counting and reading ignore them and the next append writes over them.

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "platform/FileLock.h"
#include "watch/DateTime.h"
#include "watch/StoreContext.h"
#include "watch/WatchRec.h"

namespace tessel {

inline constexpr const char* kWatchFileExtension = "wth";
// A watch file larger than this (about 50,000 watches) is refused by every operation, with
// file_too_large, before anything is read: a damaged or sparse file must not take all memory.
inline constexpr std::uint64_t kMaxWatchFileSize = 64ull << 20;

// Every change of a watch file and of its text file happens under this lock held exclusively, every
// reading under it shared, so the window and tessel-batch never see or make half a change. The lock
// file is the user's, named after the watch file's real path, so nothing is added beside the watch
// file. Where no lock can be had the operation goes ahead without one, as it always did. A process
// must not take it twice for one watch file: the second waits for the first.
class WatchFileLock {
  public:
    WatchFileLock(const std::string& watchFile, platform::FileLock::Mode mode);

  private:
    platform::FileLock m_lock;
};

// The number of complete records in FileName; 0 for a missing file. When the file cannot be opened
// the user gets the I/O error message and the count reached so far comes back.
std::int32_t GetCountWatchRec(StoreContext& context, const std::string& FileName);

// Record n of context.WatchFilePath. When there is no such record (n negative or past the end, an
// incomplete last record, an I/O error) the result has the values of InitWatchRec and WatchIndex -1.
// A missing watch file also shows the "Error." warning.
TWatchRec ReadWatchRec(StoreContext& context, std::int32_t n);

// Replaces the record at position r.WatchIndex of context.WatchFilePath; it never appends. False when
// nothing was written: a negative or unknown position, an I/O error, or a missing watch file (which
// also shows the "Error." warning and is not created).
bool WriteWatchRec(StoreContext& context, const TWatchRec& r);

// Adds r after the last complete record of FileName (creating the file when it is missing) with
// WatchIndex set to its position. On an I/O error the user gets the I/O error message, the result
// is false and the file holds the records it held.
bool AppendWatchRec(StoreContext& context, TWatchRec r, const std::string& FileName);

// Removes every record whose stored WatchIndex equals WatchIndex and numbers the later ones down to
// close the gap. The new content is written to a temporary file beside the watch file and renamed
// over it in one step, so the watch file is either fully rewritten or, after any failure, exactly
// as it was. False when the file is missing or could not be rewritten; no message either way.
bool DelWatchFromFile(StoreContext& context, const std::string& FileName, std::int32_t WatchIndex);

// Every complete record of FileName in file order, for readers that go through the whole file.
// False on a missing file, a file over kMaxWatchFileSize or an I/O error, with the records read until
// then and the reason. No message.
bool readAllWatchRecs(const std::string& FileName, std::vector<TWatchRec>& watches);
bool readAllWatchRecs(const std::string& FileName, std::vector<TWatchRec>& watches, std::error_code& error);
// The same for a caller that holds the WatchFileLock.
bool readAllWatchRecsLocked(const std::string& FileName, std::vector<TWatchRec>& watches,
                            std::error_code& error);

// After a run: sets LastRunTime of the record at `position` to `time` and changes nothing else, when
// that record is still the watch that ran (the same source and destination as `watch`). Changed when
// it is not (deleted or replaced meanwhile): nothing is written then. Failed, with `error` set, when
// the watch file is gone or could not be read or written.
enum class StoreResult { Stored, Changed, Failed };
StoreResult storeLastRunTime(StoreContext& context, std::int32_t position, const TWatchRec& watch,
                             TDateTime time, std::error_code& error);

}  // namespace tessel
