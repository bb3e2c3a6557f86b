#pragma once
// What a program that follows watches does, tessel-batch follow and the window alike: it follows the
// watches of its watch file that run on change and are not paused (sync/Follower.h), each under its
// follow lock, so that no two programs ever follow one watch: the second says so once and waits until
// the lock is free. It reads the watch file again when that changes, and runs what the follower asks
// for, one watch after another, each under its run lock as every run is, telling the follower how each
// ended: a run with failures (Follower::Ended::Failed) is asked for again after a backoff.
//
// Threads: the owner's thread makes the session and calls start, reload, wantsReload, takeDue and putBack;
// run (and runDue) may go on another thread (the window's run thread) while the owner reloads: it touches
// only the follower, which has its own lock, what it is given, and the note of busy watches, which has
// one too.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/FileLock.h"
#include "sync/Follower.h"
#include "sync/RunContext.h"
#include "sync/Scheduler.h"

namespace tessel {

class FollowSession {
  public:
    // How often a watch another program follows is tried again, and the watch file read again anyway.
    static constexpr std::chrono::seconds kRetry{10};

    // Lines go to `context` (the owner's); `wake` is called, on the follower's thread, when there is
    // something to run or read again.
    FollowSession(RunContext& context, std::function<void()> wake);

    // Starts the follower: false, after logging why, when the system gives it nothing to follow with.
    bool start();
    // Reads the watch file and follows its watches that run on change and are not paused, as far as their
    // follow locks can be had; lets go of the others, each with a line.
    void reload();
    // Whether reload is due: the watch file changed, or the last reading is kRetry old.
    bool wantsReload();
    // Logs what the follower has to say, then runs what is due, with `context`.
    SchedulerReport runDue(RunContext& context);
    // The same in steps, for an owner that takes the due runs on its own thread and runs them on another
    // (the window): the lines, the runs due now (each handed out until it has been run), and the runs.
    void logLines(RunContext& context);
    std::vector<FollowRun> takeDue() { return m_follower.takeDue(); }
    SchedulerReport run(RunContext& context, const std::vector<FollowRun>& runs);
    // Hands back runs taken but never run (the owner could not start them): asked for again later.
    void putBack(const std::vector<FollowRun>& runs);

    // The positions of the watches followed now.
    std::vector<std::int32_t> followed() const;
    const Follower& follower() const { return m_follower; }

  private:
    struct Held {
        std::unique_ptr<platform::FileLock> lock;
        std::string label;
        std::int32_t position = -1;
    };

    RunContext& m_context;
    Follower m_follower;
    std::map<std::string, Held> m_held;  // the watches followed, by their key (followKey)
    std::set<std::string> m_waiting;     // keys another program follows, said once
    std::chrono::steady_clock::time_point m_lastReload{};
    bool m_unreadableSaid = false;
    // Runs that found their watch busy, said once until it runs (runDue's, on any thread).
    std::mutex m_busyMutex;
    std::set<std::string> m_busy;
};

}  // namespace tessel
