#pragma once
// One pass of the folder walk on its own: the files of one source tree that match one mask copied or
// moved into the destination tree, decided file by file by the watch's TuneMode; and the counts of
// files a tree holds.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileSystemTraits.h"
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

// CountFiles (with the watch's `rules`) on a thread of its own, for a run that goes on meanwhile (with
// several jobs it does not wait for a reading of the tree ahead of it): the count gives the display the bar's
// end (extendProgressRange) once it has the whole, and stops when the object goes. It asks the run's
// `fileSystems` (RunState), which must outlive it.
//
// Threads: the counting thread owns the count's own context and ledger, and calls the display once,
// which the display allows of any thread (RunDisplay).
class FileCountAhead {
  public:
    FileCountAhead(std::string folder, WalkRules rules, RunDisplay& display,
                   platform::FileSystems& fileSystems);
    ~FileCountAhead();
    FileCountAhead(const FileCountAhead&) = delete;
    FileCountAhead& operator=(const FileCountAhead&) = delete;

  private:
    // The count begins after this: it lists the whole source tree once more, which a run over by then
    // need not pay for.
    static constexpr auto kCountDelay = std::chrono::seconds(1);

    struct Quiet;
    std::unique_ptr<Quiet> m_quiet;  // the count's context, which this object stops
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_ending = false;  // under m_mutex: the run is over before the count began
    std::thread m_thread;
};

}  // namespace tessel
