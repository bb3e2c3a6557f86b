#pragma once
// Renames a follower saw in a watch's tree (RunScope::renames), carried over to the other tree as renames
// before the run walks, where a walk alone would copy the file under its new name and delete, or keep,
// the old one: a renamed folder costs one rename, whatever it holds. A rename is carried only where it
// changes nothing but the name: the other tree still has the old name as this one had it (a copy in step
// with the renamed file, or for a two-way watch the file both sides held at the last run, unchanged
// since) and nothing under the new one, in a folder that is there. Anything else, and a rename that
// fails, is left to the walk, which decides the folders of both names as any run does.

#include <string>
#include <vector>

#include "sync/RunScope.h"

namespace tessel {

class Applier;
class RunState;
class SyncState;
class WalkRules;

struct CarriedRenameSettings {
    std::vector<std::string> masks;    // a file takes part when its name matches one (both its names must)
    const WalkRules* rules = nullptr;  // the run's: both paths must be ones its walks take, name by name
    // Renames seen in either tree, each checked against what the last run left (`state`); else only those
    // of the source, each checked against the copy.
    bool twoWay = false;
};

// Carries `renames` over between the trees at `roots` (each with its trailing "/") and waits for them.
// A two-way watch's `state` remembers each file under its new path.
void carryRenames(RunState& run, Applier& applier, const std::vector<ScopeRename>& renames,
                  const std::string (&roots)[2], const CarriedRenameSettings& settings, SyncState* state);

}  // namespace tessel
