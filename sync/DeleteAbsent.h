#pragma once
// Absent-file deletion: removes from a destination tree the files that match a mask and have no
// namesake at the same place in the source tree.

#include <string>

#include "watch/RunContext.h"

namespace tessel {

// Follows the source tree: a destination folder without a source counterpart is never entered, folders
// are never deleted, hidden, system and read-only files never. A file is deleted only when the source
// certainly lacks it: when the source cannot be examined (an unreadable folder, an I/O error) the file
// stays. Every visited source folder gets its destination counterpart.
RunResult DeleteAbsentFiles(RunContext& context, const std::string& SourceFolder,
                            const std::string& DestinationFolder, const std::string& Mask);

}  // namespace tessel
