#pragma once
// The watch file: a headerless run of 1328-byte TWatchRec records, the only place watches are kept.
// Every operation opens the file for reading and writing, does its work and closes it again, so a
// read-only watch file fails every operation. Bytes of an incomplete last record are not a record:
// counting and reading ignore them and the next append writes over them.

#include <cstdint>
#include <string>
#include <vector>

#include "watch/DateTime.h"
#include "watch/RunContext.h"
#include "watch/WatchRec.h"

namespace tessel {

inline constexpr const char* kWatchFileExtension = "wth";

// The number of complete records in FileName; 0 for a missing file. When the file cannot be opened
// the user gets the I/O error message and the count reached so far comes back.
std::int32_t GetCountWatchRec(RunContext& context, const std::string& FileName);

// Record n of context.WatchFilePath. When there is no such record (n negative or past the end, an
// incomplete last record, an I/O error) the result has the values of InitWatchRec and WatchIndex -1.
// A missing watch file also shows the "Error." warning.
TWatchRec ReadWatchRec(RunContext& context, std::int32_t n);

// Replaces the record at position r.WatchIndex of context.WatchFilePath; it never appends. False when
// nothing was written: a negative or unknown position, an I/O error, or a missing watch file (which
// also shows the "Error." warning and is not created).
bool WriteWatchRec(RunContext& context, const TWatchRec& r);

// Adds r after the last complete record of FileName (creating the file when it is missing) with
// WatchIndex set to its position. On an I/O error the user gets the I/O error message, the result
// is false and the file holds the records it held.
bool AppendWatchRec(RunContext& context, TWatchRec r, const std::string& FileName);

// Removes every record whose stored WatchIndex equals WatchIndex and numbers the later ones down to
// close the gap. The new content is written to a temporary file beside the watch file and renamed
// over it in one step, so the watch file is either fully rewritten or, after any failure, exactly
// as it was. False when the file is missing or could not be rewritten; no message either way.
bool DelWatchFromFile(RunContext& context, const std::string& FileName, std::int32_t WatchIndex);

// Every complete record of FileName in file order, for readers that go through the whole file.
// False on a missing file or an I/O error, with the records read until then. No message.
bool readAllWatchRecs(const std::string& FileName, std::vector<TWatchRec>& watches);

// After a run: sets LastRunTime of the record at `position` to `time` and changes nothing else, when
// that record is still the watch that ran (the same source and destination as `watch`). Changed when
// it is not (deleted or replaced meanwhile): nothing is written then. Failed, with `error` set, when
// the watch file is gone or could not be read or written.
enum class StoreResult { Stored, Changed, Failed };
StoreResult storeLastRunTime(RunContext& context, std::int32_t position, const TWatchRec& watch,
                             TDateTime time, std::error_code& error);

}  // namespace tessel
