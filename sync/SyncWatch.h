#pragma once
// One watch from start to end: progress bar, masks, copy with root folder, both directions, absent-file
// deletion, then the after-sync program. A run does it; a preview decides everything the run would and
// does none of it: nothing on disk changes, nothing is logged, no program starts.

#include <cstdint>
#include <string>

#include "platform/Process.h"
#include "sync/RunContext.h"
#include "sync/RunScope.h"
#include "watch/Watch.h"
#include "watch/WatchRec.h"

namespace tessel {

// The two trees a run of a watch works in: the source and destination worked out from their text
// ("." and ".." and repeated slashes), the destination with the source folder's own name added for
// "Copy with root folder" (none for a source that ends in "/").
struct WatchRoots {
    std::string source;
    std::string destination;
};
WatchRoots watchRoots(const std::string& SourceDir, const std::string& DestDir, bool copyWithRoot);

enum class Doing { Run, Preview };

struct EditedPlan;

// What a run is given besides its watch.
struct RunInputs {
    // A preview's plan as the user edited it: the run (or a preview of it) does these rows and nothing
    // else (sync/EditedPlan.h).
    const EditedPlan* plan = nullptr;
    // The folders a follower saw change, with their renames (sync/RunScope.h): the run covers only these;
    // null for the whole watch.
    const RunScope* scope = nullptr;
};

// Runs `watch` (or, with Preview, tells `context.observer` what a run would do, in the order it would)
// and says what it did. It changes neither the watch nor the watch file: the caller writes LastRunTime
// back when it wants to. A stop request ends the run at the next file; the after-sync program then does
// not start. With inputs.scope the run covers only its folders, after carrying over its renames (a
// followed watch's changes): every rule of a full run holds there, and the mass-deletion guard counts
// the whole watch.
RunResult runWatch(RunContext& context, const Watch& watch, Doing doing = Doing::Run,
                   const RunInputs& inputs = {});

// runWatch for the record `Watch`, with the given texts (taken by the caller from the record), and the
// settings of a watch that has none beyond its record: names that start with a dot skipped, links
// followed, nothing excluded. The scheduler runs watches with their settings (runWatch).
RunResult SyncWatch(RunContext& context, const std::string& SourceDir, const std::string& DestDir,
                    const std::string& FileMask, const std::string& RunFile, std::uint8_t FileAction,
                    const TWatchRec& Watch, Doing doing = Doing::Run, const RunInputs& inputs = {});

// Starts Program with Parameters split into arguments as a shell splits words (without expanding
// anything), in the program's own folder, and waits for it to end. True when it was started, whatever
// its exit status; false when it could not be (also for unbalanced quotes in Parameters).
bool RunAndWait(const std::string& Program, const std::string& Parameters, platform::ProcessEnd& end);

}  // namespace tessel
