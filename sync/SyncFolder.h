#pragma once
// One pass of the folder walk on its own: the files of one source tree that match one mask copied or
// moved into the destination tree, decided file by file by the watch's TuneMode; and the counts of
// files a tree holds.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Folders.h"
#include "sync/RunContext.h"
#include "sync/WalkRules.h"
#include "watch/WatchRec.h"

namespace tessel {

// Walks SourceFolder depth first, a folder's own files before its subfolders, each folder in name
// order, and mirrors its folders in DestinationFolder. Hidden entries (names starting with a dot),
// devices, pipes, sockets, dangling links and links to folders are left alone; a link where the walk
// would write is never followed. When DestinationFolder lies inside the source tree the walk does not
// enter it. Every failure is logged with its reason and counted.
RunResult SyncFolder(RunContext& context, const std::string& SourceFolder,
                     const std::string& DestinationFolder, const std::string& Mask, std::uint8_t FileAction,
                     const TWatchRec& Watch);

using platform::ForceFolders;

// The files in the tree below Folder that the rules take (without rules: not hidden, not system),
// whatever the masks; 0 for a missing folder. Links to folders are not followed.
std::int32_t CountFiles(const std::string& Folder, const WalkRules& rules = {});
// The files in the tree below `folder` that match one of `masks` (every file without masks), as the
// walks of a watch with those `rules` see them.
std::int64_t countMatchingFiles(const std::string& folder, const std::vector<std::string>& masks,
                                const WalkRules& rules);

}  // namespace tessel
