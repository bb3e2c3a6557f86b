#pragma once
// Watches with both directions that copy: one walk over both trees in which every file is decided
// against what the last run of the pair left (the state, watch/SyncState.h), so that a deletion on one
// side is told from a creation on the other and an edit on one side from edits on both.

#include <string>
#include <vector>

#include "watch/WatchRec.h"

namespace tessel {

class RunState;

// Runs the watch between the folders `source` and `destination` (worked out as the run uses them) for
// the files that match any of `masks`:
// - a file created or changed on one side since the last run is copied to the other, whatever the two
//   times say;
// - a file deleted on one side and unchanged on the other is deleted there with "Delete absent files"
//   (through the mass-deletion guard) and copied back without it; a changed file is always copied back;
// - a file changed on both sides, or created on both, with different content is a conflict: the newer
//   file takes the place of the other on both sides, and the other is kept beside it on its own side
//   as "name.conflict-<yyyymmdd-hhmmss>.ext" (the run's start in local time);
// - without a state (the first run, or a state that cannot be read) it takes the union of both sides,
//   deletes nothing, and a file on both sides follows the watch's TuneMode, but an older file never
//   replaces a newer one.
// TuneMode filters throughout: "Copy only absent files" never replaces a file (a conflict is left as it
// is and logged), "Update only old files" never makes a file on the other side. Folders are mirrored
// both ways and never deleted. Every replaced or deleted file is kept as a version where versions are
// kept. The state is written after the run (never by a preview); a stopped or failing run keeps the
// last run's state for the files it did not finish. A state that cannot be read (as opposed to a missing
// or damaged one) stops the run before anything is done: false then.
bool syncTwoWay(RunState& run, const std::string& source, const std::string& destination,
                const std::vector<std::string>& masks, const TWatchRec& watch);

}  // namespace tessel
