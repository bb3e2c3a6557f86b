#pragma once
// What reading and writing Tessel's files works with: where it shows what it does, how it talks to the
// user, the watch file, the log, and the first problem the log got. The engine's RunContext is one.

#include <string>

#include "watch/RunDisplay.h"

namespace tessel {

struct StoreContext {
    StoreContext(RunDisplay& display, UserMessages& messages, std::string watchFile = {},
                 std::string logFile = {})
        : display(display),
          messages(messages),
          WatchFilePath(std::move(watchFile)),
          LogFilePath(std::move(logFile)) {}
    StoreContext(const StoreContext&) = delete;
    StoreContext& operator=(const StoreContext&) = delete;

    RunDisplay& display;
    UserMessages& messages;
    std::string WatchFilePath;
    std::string LogFilePath;
    // The first line logged since it was last emptied that tells of a problem (reportsFailure), without
    // its time stamp: the scheduler empties it before each watch's run and keeps it in the watch's last
    // result. WriteLogLine fills it, on the thread that logs.
    std::string firstProblemLine;
};

}  // namespace tessel
