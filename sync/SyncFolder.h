#pragma once
// The folder walk: copies or moves the files of one source tree that match one mask into the
// destination tree, deciding file by file by the watch's TuneMode.

#include <cstdint>
#include <string>

#include "watch/RunContext.h"
#include "watch/WatchRec.h"

namespace tessel {

// Walks SourceFolder depth first, a folder's own files before its subfolders, and mirrors its folders
// in DestinationFolder. Hidden entries (names starting with a dot), devices, pipes, sockets, dangling
// links and links to folders are left alone. When DestinationFolder lies inside the source tree the
// walk does not enter it.
RunResult SyncFolder(RunContext& context, const std::string& SourceFolder,
                     const std::string& DestinationFolder, const std::string& Mask, std::uint8_t FileAction,
                     const TWatchRec& Watch);

// Creates every missing folder along Path. False when Path is empty or "/", or when a folder could not
// be created; the walk along the path goes on to its end in any case.
bool ForceFolders(const std::string& Path);

// The files (not hidden, not system) in the tree below Folder, whatever the masks; 0 for a missing
// folder. Links to folders are not followed.
std::int32_t CountFiles(const std::string& Folder);

}  // namespace tessel
