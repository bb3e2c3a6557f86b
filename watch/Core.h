#pragma once
// What every core operation works with: where it shows progress, how it talks to the user, and the
// two files it keeps. The main window and the headless runner each own one.

#include <string>

#include "watch/RunDisplay.h"

namespace tessel {

struct Core {
    RunDisplay& display;
    UserMessages& messages;
    std::string WatchFilePath;
    std::string LogFilePath;
    // Copies, moves and deletions that failed; the caller resets it when it likes.
    int failedActions = 0;
};

}  // namespace tessel
