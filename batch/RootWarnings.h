#pragma once
// What tessel-batch says after add and set when one of a watch's trees lies inside the other: the
// warning the editor shows too (watch/WatchWarning.h). The watch is saved all the same.

#include <string>
#include <vector>

namespace tessel {

// Says on standard error, for each of the watches `names` of `watchFile`, whether one of its trees
// lies inside the other.
void sayRootWarnings(const std::string& watchFile, const std::vector<std::string>& names);

}  // namespace tessel
