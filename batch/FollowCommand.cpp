#include "batch/FollowCommand.h"

#include <condition_variable>
#include <mutex>

#include "batch/BatchCommands.h"
#include "sync/FollowSession.h"
#include "watch/WatchStore.h"

namespace tessel::batch {

int followWatches(RunContext& context, NoticeSender& notices, bool notify) {
    // The follower's thread wakes this one; a stop signal only sets the context's request, seen within
    // a second.
    std::mutex mutex;
    std::condition_variable woken;
    bool told = false;
    FollowSession session(context, [&] {
        const std::lock_guard lock(mutex);
        told = true;
        woken.notify_one();
    });
    if (!session.start()) return kExitFailed;
    session.reload();
    while (!context.stopRequested()) {
        {
            std::unique_lock lock(mutex);
            woken.wait_for(lock, std::chrono::seconds(1), [&] { return told; });
            told = false;
        }
        if (context.stopRequested()) break;
        if (session.wantsReload()) session.reload();
        const SchedulerReport report = session.runDue(context);
        if (notify) sendNotices(report, notices);
    }
    return kExitOk;
}

int pauseFollowing(RunContext& context, Console& console, const Command& command) {
    const bool pause = command.follow == "pause";
    for (const std::string& name : command.names) {
        FileProblem problem;
        switch (storeFollowPaused(context.WatchFilePath, name, pause, problem)) {
            case PauseResult::Done:
                continue;
            case PauseResult::NoSuchWatch:
                console.printError("tessel-batch: no watch " + name + " in " + context.WatchFilePath);
                return kExitUsage;
            case PauseResult::NotOnChange:
                console.printError("tessel-batch: " + name +
                                   " does not run on change: nothing follows it (--run-mode on-change)");
                return kExitUsage;
            case PauseResult::Failed:
                console.printError("tessel-batch: cannot change the watches: " + problem.text() +
                                   "; nothing was changed");
                return kExitFailed;
        }
    }
    return kExitOk;
}

}  // namespace tessel::batch
