#pragma once
// Follows the trees of watches that run on change: the kernel tells of every change in each folder
// (platform::FolderChanges, one follow per folder, added as folders appear), the follower gathers the
// changes per watch and, once a watch's trees have been quiet for its delay, asks for a run that covers
// only the folders that changed (RunScope), renames included. Where changes cannot be trusted to come
// it asks for a full run instead: when it starts following a watch (what changed while nobody followed
// is unknown), after the kernel's queue overflowed (once, however many overflows), for a tree on a file
// system that does not tell of changes made elsewhere (network mounts) or a folder that could not be
// followed (every FallbackMinutes), when a watch needs more follows than the kernel allows (every
// FallbackMinutes, with no follows at all), and once every RescanHours in any case.
//
// A run that failed (or could not run: the watch's settings could not be read) keeps what it covered
// due: the same folders, or the whole watch, are asked for again after a backoff that starts at the
// watch's delay and doubles with each failure in a row, up to FallbackMinutes, whether or not anything
// changes meanwhile; a run that succeeds ends the backoff. A watch whose root is away keeps to its full
// run every FallbackMinutes, whose failures are expected until the root is back.
//
// It runs nothing itself: its owner (tessel-batch follow, the window) takes the runs that are due and
// runs them one after another, and tells how each ended.
//
// Threads: the follower's own thread reads the kernel's changes, follows new folders and keeps every
// watch's state; the owner's thread calls the public functions, which take the follower's lock. `wake`
// is called on the follower's thread, without the lock, when a run is due, a line waits or the watch
// file changed: the owner then takes them on its own thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/FolderChanges.h"
#include "sync/FollowedFolders.h"
#include "sync/RunScope.h"

namespace tessel {

// How often a followed watch runs in full, from Tessel.ini: every RescanHours, and every FallbackMinutes
// where its changes cannot all be followed.
struct FollowSettings {
    std::chrono::milliseconds rescan = std::chrono::hours(24);
    std::chrono::milliseconds fallback = std::chrono::minutes(10);
};

// A watch handed to the follower.
struct FollowedWatch {
    // Tells this watch, with its settings, from every other: a watch whose key changes is followed anew.
    std::string key;
    std::int32_t position = -1;  // in the watch file, for running it
    std::string label;           // "Synhro folder <source> with folder <destination>", for its lines
    // The trees followed: the source, and for a watch with both directions the destination (else empty).
    std::string roots[2];
    // The quiet time after a change before the run; changes that never stop wait kLongestWaitFactor times
    // as long at most.
    std::chrono::milliseconds delay = std::chrono::seconds(2);
    FollowedFolders::Sees sees;  // the names the watch's runs see; the rest are not followed
};

// Under changes that never stop, a watch runs at the latest this many delays after the first of them.
inline constexpr int kLongestWaitFactor = 10;

// One run the follower asks for.
struct FollowRun {
    std::string key;
    std::int32_t position = -1;
    std::string label;
    bool full = false;  // the whole watch; else only `scope`
    RunScope scope;
};

class Follower {
  public:
    using Clock = std::chrono::steady_clock;
    // How a run the follower asked for ended: it ran without a failure (whatever else it found); it ran
    // with failures or could not run (its settings could not be read), and is asked for again after the
    // backoff; or it could not run now (another run of the watch held its lock) or was stopped, and is
    // asked for again after the delay.
    enum class Ended { Ran, Failed, Busy, Stopped };

    Follower(const FollowSettings& settings, std::function<void()> wake);
    // Stops the follower's thread.
    ~Follower();
    Follower(const Follower&) = delete;
    Follower& operator=(const Follower&) = delete;

    // Opens the kernel's queue, follows the folder of `watchFile` (for takeWatchFileChanged) and starts
    // the follower's thread. False, with the reason, when the kernel gives no queue.
    bool start(const std::string& watchFile, std::error_code& error);
    // The watches to follow from now on. A watch it follows already (by its key) goes on as it was; a new
    // one is set up on the follower's thread and then runs in full; one left out is let go.
    void follow(std::vector<FollowedWatch> watches);

    // The runs due now, at most one per watch, each handed out until ended() is told of it.
    std::vector<FollowRun> takeDue();
    void ended(const FollowRun& run, Ended how);
    // Lines for the log: what could not be followed and why, a full queue.
    std::vector<std::string> takeLines();
    // Whether the watch file or its text file changed since the last ask.
    bool takeWatchFileChanged();

    // What it follows now: the number of follows, and the memory its own bookkeeping takes.
    std::size_t followCount() const;

  private:
    struct Watched;
    struct Tree;
    struct Away;

    void loop();
    void setUp(Watched& watched, Clock::time_point now);
    void letGo(Watched& watched);
    void handle(const platform::FolderChange& change, Clock::time_point now);
    void handleName(int tree, const std::string& relative, const platform::FolderChange& change,
                    Clock::time_point now);
    void arrived(int tree, const std::string& relative, const std::string& name, bool isFolder,
                 Clock::time_point now);
    void departed(int tree, const std::string& relative, const std::string& name, bool isFolder,
                  Clock::time_point now);
    void settleAways(bool all, Clock::time_point now);
    void rootLost(Watched& watched, std::string root, Clock::time_point now);
    void touched(Watched& watched, Clock::time_point now);
    void failed(Watched& watched, const FollowRun& run, Clock::time_point now);
    void sayLimit(Watched& watched, std::int64_t needed, bool followsKept);
    bool isDue(const Watched& watched, Clock::time_point now) const;
    Clock::time_point nextMoment(const Watched& watched) const;
    bool hasNews(Clock::time_point now) const;
    void say(const std::string& line);

    const FollowSettings m_settings;
    const std::function<void()> m_wake;
    platform::FolderChanges m_changes;
    std::thread m_thread;

    // Under the lock: everything below.
    mutable std::mutex m_mutex;
    bool m_stop = false;
    bool m_told = false;  // the owner was woken and has not taken what was due since
    FollowedFolders m_folders{m_changes};
    std::map<std::string, std::unique_ptr<Watched>> m_watched;  // by key
    std::map<int, Tree> m_trees;                                // by tree number
    int m_nextTree = 0;
    std::multimap<std::uint32_t, Away> m_aways;  // renames away from a folder, waiting for their pair
    std::vector<std::string> m_lines;
    std::string m_watchFileNames[2];  // the watch file's name and its text file's, in their folder
    bool m_watchFileChanged = false;
};

}  // namespace tessel
