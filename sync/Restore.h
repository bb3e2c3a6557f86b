#pragma once
// Getting a file back: a kept file (KeptFiles.h) put back in place, or saved in another folder, by the
// rules a run replaces files by: the file it replaces is kept as a version first, no link is followed
// where it writes, and nothing half-written ever carries the final name. The window's Restore dialog
// and tessel-batch's restore command both work through here.

#include <string>
#include <system_error>

#include "sync/KeptFiles.h"
#include "watch/WatchRec.h"

namespace tessel {

// Where a restore writes: the kept file's own place in its tree, or a folder the user names (under
// the file's own name).
enum class RestorePlace { InPlace, OtherFolder };
// What a restore into another folder does where that folder has a file of the name: refuses, or
// replaces it (kept as a version in that folder's own .tessel-versions first).
enum class ExistingFile { Refuse, Replace };

struct RestoreResult {
    enum class Kind {
        Restored,
        Exists,  // another folder already has a file of the name: nothing was written
        Busy,    // a run of the watch is going on: nothing was written
        Failed,  // `doing` and `error` say why; nothing was replaced
    };
    Kind kind = Kind::Failed;
    std::string target;  // the file written, or that would have been
    std::string keptAs;  // the version the replaced file was kept as; empty when none was replaced
    std::string doing;   // "opening folder /x", "keeping a version of /x/a", ...
    std::error_code error;
};

// Puts `file` back: in place of the file it stands for, or into `folder` under the file's own name.
// Holds the watch's run lock meanwhile (a run of the watch going on gives Busy). The file there is
// replaced only by a complete copy, after it was kept as a version; a link where the restore writes,
// on the way or at the name, is refused. The copy carries the kept file's times and permissions.
RestoreResult restoreKeptFile(const TWatchRec& watch, const KeptFile& file, RestorePlace place,
                              const std::string& folder = {}, ExistingFile existing = ExistingFile::Refuse);

// The log line of a restore that was made: "Restored /b/docs/report.txt from /b/.tessel-versions/...,
// keeping the file it replaced as ...".
std::string restoredLine(const KeptFile& file, const RestoreResult& result);
// What went wrong, in English: "cannot restore /b/docs/report.txt: opening folder /b/docs: a symbolic
// link, not followed".
std::string restoreFailureText(const RestoreResult& result);

}  // namespace tessel
