#pragma once
// Absent-file deletion: removes from a destination tree the files that match a mask and have no
// namesake at the same place in the source tree. Every deletion is planned first (planDeletions), the
// mass-deletion guard asked once for all of a watch's plans (deletionsAllowed), and only then the plans
// done (Applier::executeDeletions).

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "platform/Folders.h"
#include "sync/RunContext.h"
#include "sync/WalkRules.h"

namespace tessel {

// Follows the source tree: a destination folder without a source counterpart is never entered, folders
// are never deleted, hidden (the rules of a watch without settings: WalkRules), special and read-only
// files never, nor Tessel's own files (RunState). A file is
// deleted only when the source certainly lacks it: when the source cannot be examined (an unreadable folder,
// an I/O error) the file stays. Every visited source folder gets its destination counterpart. Decides every
// deletion first and deletes nothing when the mass-deletion guard (context.options) refuses them.
RunResult DeleteAbsentFiles(RunContext& context, const std::string& SourceFolder,
                            const std::string& DestinationFolder, const std::string& Mask);

class Applier;
class RunState;

// The deletions one pass would make, decided before any of them is made.
struct DeletionPlan {
    static constexpr std::size_t kNoState = std::numeric_limits<std::size_t>::max();
    struct Candidate {
        std::string name;
        platform::FileInfo info;            // as looked at: a file changed since then is not deleted
        std::size_t stateIndex = kNoState;  // a two-way watch's entry of the file
    };
    struct MissingFolder {
        std::string relative;  // below the folder of its group, with a trailing "/"
        platform::FileInfo sourceInfo;
    };
    // One destination folder with something to do, in walk order.
    struct Group {
        std::string relative;  // below the destination root, with a trailing "/" ("" for the root)
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        platform::FileInfo sourceInfo;  // the counterpart (or the folder itself), whose times it gets back
        std::vector<Candidate> files;
        std::vector<MissingFolder> folders;  // counterparts to make once the files are gone
    };
    std::string sourceRoot;       // with a trailing "/"
    std::string destinationRoot;  // with a trailing "/"
    std::vector<Group> groups;

    std::int64_t fileCount() const;
    // The group of the folder `relative` with its identity and the times it gets back, made when missing.
    Group& groupFor(const std::string& relative, const platform::FileInfo& folder,
                    const platform::FileInfo& sourceInfo);
};

// Decides the deletions of one pass of a watch run for files that match `mask` (nothing is changed on
// disk but a missing destination root, which is made). Nothing the watch's `rules` leave out is deleted.
DeletionPlan planDeletions(RunState& run, Applier& applier, const std::string& SourceFolder,
                           const std::string& DestinationFolder, const std::string& Mask,
                           const WalkRules& rules);

// The mass-deletion guard, asked once for everything a watch would delete in one tree (`plans`, one
// per mask, all deleting below the same root): false, after logging why and reporting every deletion
// refused, when deleting them all from a tree that held `held` files the masks cover at the start of
// the run would take more than the limit, or when the source side held no such file at all then (an
// unplugged disk, an empty mount point).
bool deletionsAllowed(RunState& run, std::span<const DeletionPlan> plans, std::int64_t held,
                      std::int64_t sourceFiles);

}  // namespace tessel
