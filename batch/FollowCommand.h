#pragma once
// tessel-batch follow: the watches that run on change followed without the window, until a stop signal;
// and follow --pause / --resume, which stop and start following a watch for every follower at once.

#include "batch/BatchConsole.h"
#include "batch/BatchNotices.h"
#include "batch/BatchOptions.h"
#include "sync/RunContext.h"

namespace tessel::batch {

// Follows until SIGINT or SIGTERM (0, a clean end, also after a run the signal stopped), or 1 when nothing
// can be followed (the system gives no queue). Each run that needs the user notifies the desktop
// unless `notify` is off.
int followWatches(RunContext& context, NoticeSender& notices, bool notify);
// follow --pause WATCH ... and --resume WATCH ...
int pauseFollowing(RunContext& context, Console& console, const Command& command);

}  // namespace tessel::batch
