#include "batch/RootWarnings.h"

#include <cstdio>

#include "watch/EventLog.h"
#include "watch/WatchStore.h"
#include "watch/WatchWarning.h"

namespace tessel {

void sayRootWarnings(const std::string& watchFile, const std::vector<std::string>& names) {
    WatchList list;
    FileProblem problem;
    if (!loadWatches(watchFile, list, problem)) return;
    for (const std::string& name : names) {
        const StoredWatch* stored = list.find(name);
        const std::optional<WatchWarning> warning = stored ? warnAbout(stored->watch) : std::nullopt;
        if (!warning) continue;
        const std::string line =
            "tessel-batch: warning: watch " + stored->watch.name + ": " + describe(*warning);
        std::fprintf(stderr, "%s\n", escapeControls(line).c_str());
    }
    std::fflush(stderr);
}

}  // namespace tessel
