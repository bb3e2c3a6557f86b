#include "sync/Follower.h"

#include <algorithm>

#include "platform/FileCopy.h"
#include "platform/Folders.h"
#include "platform/Paths.h"
#include "sync/Sides.h"
#include "watch/WatchText.h"

namespace tessel {

namespace {

using platform::FolderChange;
using Clock = Follower::Clock;
using std::chrono::milliseconds;

// The tree number of the watch file's folder.
constexpr int kWatchFileTree = -1;
// The kernel queues a rename's two halves one right after the other: a half whose pair has not come
// in this long went out of the followed trees (or came in from outside).
constexpr milliseconds kPairWait{20};
// The longest the follower's thread sleeps without looking at the clock.
constexpr milliseconds kLongestSleep = std::chrono::seconds(60);

// Tessel's own names (copies being written, versions, probes): what a run writes there is no change.
bool isTesselsOwn(const std::string& name) {
    return name.starts_with(platform::kTemporaryPrefix);
}

// A limit that leaves room: twice what is needed, and never below what most distributions suggest.
std::int64_t suggestedLimit(std::int64_t needed) {
    std::int64_t value = 524288;
    while (value < needed * 2) value *= 2;
    return value;
}

std::string minutesText(milliseconds span) {
    const long long minutes =
        std::max<long long>(std::chrono::duration_cast<std::chrono::minutes>(span).count(), 1);
    return minutes == 1 ? "every minute" : "every " + std::to_string(minutes) + " minutes";
}

}  // namespace

struct Follower::Tree {
    Watched* owner = nullptr;
    int side = kSource;
    std::string root;  // with its trailing "/"
};

struct Follower::Watched {
    FollowedWatch watch;
    // New: to be set up on the follower's thread; Following: every change is heard of; Timed: besides
    // what is heard of, a full run every FallbackMinutes.
    enum class Mode { New, Following, Timed };
    Mode mode = Mode::New;
    int trees[2] = {-1, -1};
    bool lostRoot = false;   // Timed because a root went away: set up again before each timed run
    bool full = false;       // a full run is wanted
    bool changed = false;    // `scope` holds changes not yet run
    bool limitSaid = false;  // the kernel's limit was said, and the follows have not fitted since
    RunScope scope;
    Clock::time_point firstChange{}, lastChange{}, lastEnded{}, nextFull{};
    // Runs that failed in a row, and when `scope` (with what a failed run covered) is run again.
    int failures = 0;
    Clock::time_point retry = Clock::time_point::max();
    bool running = false;

    bool sees(const std::string& folder, const std::string& name) const {
        return watch.sees ? watch.sees(folder, name) : !platform::isHiddenName(name);
    }
    // The follows its trees need: their folders that its runs see.
    std::int64_t folderCount() const {
        const auto seen = [this](const std::string& folder, const std::string& name) {
            return sees(folder, name);
        };
        std::int64_t count = 0;
        for (const std::string& root : watch.roots)
            if (!root.empty()) count += FollowedFolders::countFolders(root, seen);
        return count;
    }
};

struct Follower::Away {
    int tree = 0;
    std::string relative;
    std::string name;
    bool isFolder = false;
    Clock::time_point at;
};

Follower::Follower(const FollowSettings& settings, std::function<void()> wake)
    : m_settings(settings), m_wake(std::move(wake)) {}

Follower::~Follower() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    if (m_thread.joinable()) {
        m_changes.wake();
        m_thread.join();
    }
}

bool Follower::start(const std::string& watchFile, std::error_code& error) {
    if (!m_changes.open(error)) return false;
    const std::size_t slash = watchFile.rfind('/');
    const std::string folder = slash == std::string::npos ? "./" : watchFile.substr(0, slash + 1);
    m_watchFileNames[0] = watchFile.substr(slash == std::string::npos ? 0 : slash + 1);
    m_watchFileNames[1] = textFilePath(m_watchFileNames[0]);
    // Without it the owner still reads the watch list again now and then.
    std::vector<FollowedFolders::Failure> ignored;
    m_folders.followTree(
        kWatchFileTree, folder, "", [](const std::string&, const std::string&) { return false; }, ignored);
    m_thread = std::thread([this] { loop(); });
    return true;
}

void Follower::follow(std::vector<FollowedWatch> watches) {
    {
        const std::lock_guard lock(m_mutex);
        std::map<std::string, std::unique_ptr<Watched>> kept;
        for (FollowedWatch& watch : watches) {
            std::unique_ptr<Watched> watched;
            if (const auto found = m_watched.find(watch.key); found != m_watched.end()) {
                watched = std::move(found->second);
                m_watched.erase(found);
            } else {
                watched = std::make_unique<Watched>();
            }
            watched->watch = std::move(watch);
            std::unique_ptr<Watched>& slot = kept[watched->watch.key];
            if (slot) letGo(*slot);
            slot = std::move(watched);
        }
        for (auto& [key, watched] : m_watched) letGo(*watched);
        m_watched = std::move(kept);
    }
    m_changes.wake();
}

void Follower::letGo(Watched& watched) {
    for (const int side : kSides) {
        const int tree = watched.trees[side];
        if (tree < 0) continue;
        m_folders.unfollowBelow(tree, "");
        m_trees.erase(tree);
        std::erase_if(m_aways, [&](const auto& away) { return away.second.tree == tree; });
        watched.trees[side] = -1;
    }
}

void Follower::setUp(Watched& watched, Clock::time_point now) {
    letGo(watched);
    const FollowedWatch& watch = watched.watch;
    const bool wasLost = watched.lostRoot;
    const auto timed = [&](bool lostRoot) {
        watched.mode = Watched::Mode::Timed;
        watched.lostRoot = lostRoot;
        watched.full = true;
        watched.nextFull = now + m_settings.fallback;
    };
    const auto sees = [&watched](const std::string& folder, const std::string& name) {
        return watched.sees(folder, name);
    };
    for (const int side : kSides) {
        const std::string& root = watch.roots[side];
        if (root.empty() || platform::isExistingFolder(root)) continue;
        // The full run says that it is gone, and deletes nothing.
        if (!wasLost)
            say("Error following " + watch.label + ": folder " + root + " is not there; the watch runs " +
                minutesText(m_settings.fallback) + " until it is");
        return timed(true);
    }
    const std::int64_t needed = watched.folderCount();
    const std::optional<std::int64_t> limit = platform::followedFolderLimit();
    if (limit && static_cast<std::int64_t>(m_folders.followCount()) + needed > *limit) {
        sayLimit(watched, needed, false);
        return timed(false);
    }
    bool incomplete = false;
    for (const int side : kSides) {
        const std::string& root = watch.roots[side];
        if (root.empty()) continue;
        if (const std::string type = platform::fileSystemWithoutChanges(root); !type.empty()) {
            say("Following " + watch.label + ": the file system of " + root + " (" + type +
                ") does not tell of changes made on other machines; the watch also runs " +
                minutesText(m_settings.fallback));
            incomplete = true;
        }
        const int tree = m_nextTree++;
        m_trees[tree] = {&watched, side, root};
        watched.trees[side] = tree;
        std::vector<FollowedFolders::Failure> failed;
        m_folders.followTree(tree, root, "", sees, failed);
        for (const FollowedFolders::Failure& failure : failed) {
            if (failure.error == std::errc::no_space_on_device) {
                letGo(watched);
                sayLimit(watched, needed, false);
                return timed(false);
            }
            say("Error following folder " + failure.path + ": " + failure.error.message() + "; " +
                watch.label + " also runs " + minutesText(m_settings.fallback));
            incomplete = true;
        }
    }
    watched.limitSaid = false;
    say("Following " + watch.label + ", " + std::to_string(needed) + " folders");
    if (incomplete) return timed(false);
    watched.mode = Watched::Mode::Following;
    watched.lostRoot = false;
    // What changed while nobody followed is unknown: a full run first.
    watched.full = true;
    watched.nextFull = now + m_settings.rescan;
}

void Follower::loop() {
    std::vector<FolderChange> changes;
    for (;;) {
        Clock::duration timeout{};
        {
            const std::lock_guard lock(m_mutex);
            if (m_stop) return;
            const Clock::time_point now = Clock::now();
            for (auto& [key, watched] : m_watched)
                if (watched->mode == Watched::Mode::New) setUp(*watched, now);
            Clock::time_point next = now + kLongestSleep;
            for (const auto& [key, watched] : m_watched) next = std::min(next, nextMoment(*watched));
            if (!m_aways.empty()) next = std::min(next, now + kPairWait);
            timeout = std::max<Clock::duration>(next - now, Clock::duration::zero());
        }
        const bool ready = m_changes.wait(std::chrono::ceil<milliseconds>(timeout));
        bool tell = false;
        {
            const std::lock_guard lock(m_mutex);
            if (m_stop) return;
            const Clock::time_point now = Clock::now();
            if (ready) {
                changes.clear();
                std::error_code error;
                // A queue that cannot be read is as good as one that lost its changes.
                if (!m_changes.read(changes, error))
                    changes.push_back({-1, platform::kOverflow, false, 0, {}});
                for (const FolderChange& change : changes) handle(change, now);
            }
            settleAways(false, now);
            tell = !m_told && hasNews(now);
            if (tell) m_told = true;
        }
        if (tell) m_wake();
    }
}

void Follower::handle(const FolderChange& change, Clock::time_point now) {
    if ((change.kinds & platform::kOverflow) != 0) {
        // Changes of every followed folder may be lost: each watch runs in full, once.
        bool any = false;
        for (auto& [key, watched] : m_watched) {
            if (watched->mode == Watched::Mode::New) continue;
            any = any || !watched->full;
            watched->full = true;
        }
        if (any)
            say("The kernel's queue of changes was full and lost some: the followed watches run in full");
        settleAways(true, now);
        return;
    }
    const std::vector<FollowedFolders::Place>* places = m_folders.placesOf(change.folder);
    if (places == nullptr) return;
    // Handling a change may follow or let go of folders, and with them this list.
    const std::vector<FollowedFolders::Place> copy = *places;
    for (const FollowedFolders::Place& place : copy) {
        if (place.tree == kWatchFileTree) {
            if (change.name == m_watchFileNames[0] || change.name == m_watchFileNames[1])
                m_watchFileChanged = true;
            continue;
        }
        const auto tree = m_trees.find(place.tree);
        if (tree == m_trees.end()) continue;
        if (!change.name.empty()) {
            handleName(place.tree, place.relative, change, now);
            continue;
        }
        Watched& watched = *tree->second.owner;
        const unsigned gone =
            platform::kFolderDeleted | platform::kFolderMoved | platform::kUnmounted | platform::kUnfollowed;
        if (place.relative.empty() && (change.kinds & gone) != 0)
            rootLost(watched, tree->second.root, now);
        else if ((change.kinds & platform::kUnmounted) != 0)
            watched.full = true;
    }
    if ((change.kinds & platform::kUnfollowed) != 0) m_folders.forget(change.folder);
}

void Follower::handleName(int tree, const std::string& relative, const FolderChange& change,
                          Clock::time_point now) {
    Watched& watched = *m_trees.at(tree).owner;
    if (isTesselsOwn(change.name)) return;
    const bool seen = watched.sees(relative, change.name);
    if ((change.kinds & platform::kNameMovedAway) != 0) {
        m_aways.emplace(change.cookie, Away{tree, relative, change.name, change.isFolder, now});
        return;
    }
    if ((change.kinds & platform::kNameMovedHere) != 0) {
        auto [first, last] = m_aways.equal_range(change.cookie);
        const auto pair =
            std::find_if(first, last, [&](const auto& away) { return away.second.tree == tree; });
        if (pair == last) {
            if (seen) arrived(tree, relative, change.name, change.isFolder, now);
            return;
        }
        const Away away = pair->second;
        m_aways.erase(pair);
        const bool wasSeen = watched.sees(away.relative, away.name);
        if (wasSeen && !seen) return departed(tree, away.relative, away.name, away.isFolder, now);
        if (!wasSeen && seen) return arrived(tree, relative, change.name, change.isFolder, now);
        if (!seen) return;
        // A rename inside the tree: carried over as a rename, its folders run.
        const std::string slash = change.isFolder ? "/" : "";
        const std::string from = away.relative + away.name + slash;
        const std::string to = relative + change.name + slash;
        if (change.isFolder) {
            m_folders.rename(tree, from, to);
            watched.scope.add(from, RunScope::Depth::Tree);
            watched.scope.add(to, RunScope::Depth::Tree);
        }
        watched.scope.add(away.relative, RunScope::Depth::Names);
        watched.scope.add(relative, RunScope::Depth::Names);
        watched.scope.addRename({m_trees.at(tree).side, from, to});
        return touched(watched, now);
    }
    if (!seen) return;
    if (change.isFolder && (change.kinds & platform::kNameCreated) != 0)
        return arrived(tree, relative, change.name, true, now);
    if (change.isFolder && (change.kinds & platform::kNameDeleted) != 0)
        return departed(tree, relative, change.name, true, now);
    watched.scope.add(relative, RunScope::Depth::Names);
    touched(watched, now);
}

void Follower::arrived(int tree, const std::string& relative, const std::string& name, bool isFolder,
                       Clock::time_point now) {
    const Tree& where = m_trees.at(tree);
    Watched& watched = *where.owner;
    if (isFolder) {
        const std::string folder = relative + name + "/";
        std::vector<FollowedFolders::Failure> failed;
        m_folders.followTree(
            tree, where.root, folder,
            [&watched](const std::string& in, const std::string& named) { return watched.sees(in, named); },
            failed);
        for (const FollowedFolders::Failure& failure : failed) {
            // The kernel's limit is said once, with the numbers, not once for each new folder; the folders
            // followed so far stay followed.
            if (failure.error != std::errc::no_space_on_device)
                say("Error following folder " + failure.path + ": " + failure.error.message() + "; " +
                    watched.watch.label + " also runs " + minutesText(m_settings.fallback));
            else if (!watched.limitSaid)
                sayLimit(watched, watched.folderCount(), true);
            if (watched.mode == Watched::Mode::Following) watched.nextFull = now + m_settings.fallback;
            watched.mode = Watched::Mode::Timed;
        }
        watched.scope.add(folder, RunScope::Depth::Tree);
    }
    watched.scope.add(relative, RunScope::Depth::Names);
    touched(watched, now);
}

void Follower::departed(int tree, const std::string& relative, const std::string& name, bool isFolder,
                        Clock::time_point now) {
    Watched& watched = *m_trees.at(tree).owner;
    if (isFolder) {
        const std::string folder = relative + name + "/";
        m_folders.unfollowBelow(tree, folder);
        // What a two-way watch remembered below it is decided again.
        watched.scope.add(folder, RunScope::Depth::Tree);
    }
    watched.scope.add(relative, RunScope::Depth::Names);
    touched(watched, now);
}

void Follower::settleAways(bool all, Clock::time_point now) {
    for (auto away = m_aways.begin(); away != m_aways.end();) {
        if (!all && now - away->second.at < kPairWait) {
            ++away;
            continue;
        }
        const Away gone = away->second;
        away = m_aways.erase(away);
        if (m_trees.count(gone.tree) > 0 && m_trees.at(gone.tree).owner->sees(gone.relative, gone.name))
            departed(gone.tree, gone.relative, gone.name, gone.isFolder, now);
    }
}

void Follower::rootLost(Watched& watched, std::string root, Clock::time_point now) {
    letGo(watched);
    watched.mode = Watched::Mode::Timed;
    watched.lostRoot = true;
    watched.full = true;
    watched.changed = false;
    watched.scope = {};
    watched.nextFull = now + m_settings.fallback;
    say("Error following " + watched.watch.label + ": folder " + root + " went away; the watch runs " +
        minutesText(m_settings.fallback) + " until it is back");
}

void Follower::touched(Watched& watched, Clock::time_point now) {
    if (!watched.changed) watched.firstChange = now;
    watched.lastChange = now;
    watched.changed = true;
}

void Follower::sayLimit(Watched& watched, std::int64_t needed, bool followsKept) {
    // What the other watches take: the watch's own follows, when it keeps some, are part of `needed`.
    std::size_t own = 0;
    for (const int tree : watched.trees)
        if (tree >= 0) own += m_folders.followCountOf(tree);
    const std::size_t all = m_folders.followCount();
    const auto inUse = static_cast<std::int64_t>(all - std::min(own, all));
    const std::int64_t limit = platform::followedFolderLimit().value_or(static_cast<std::int64_t>(all));
    const std::string every = minutesText(m_settings.fallback);
    say("Error following " + watched.watch.label + ": its " + std::to_string(needed) +
        " folders need more change watches than the " + std::to_string(limit) +
        " the system allows a user (fs.inotify.max_user_watches), of which Tessel uses " +
        std::to_string(inUse) + " already; the watch " +
        (followsKept ? "also runs " + every : "runs " + every + " instead") +
        ". To raise the limit: sudo sysctl fs.inotify.max_user_watches=" +
        std::to_string(suggestedLimit(needed + inUse)));
    watched.limitSaid = true;
}

void Follower::failed(Watched& watched, const FollowRun& run, Clock::time_point now) {
    ++watched.failures;
    // The delay, doubled with each failure in a row, up to FallbackMinutes.
    const milliseconds longest = std::max(m_settings.fallback, watched.watch.delay);
    milliseconds backoff = std::max(watched.watch.delay, milliseconds(1));
    for (int i = 1; i < watched.failures && backoff < longest; ++i) backoff *= 2;
    backoff = std::min(backoff, longest);
    // A full run's scope is empty, and it runs in full again.
    if (run.full) watched.nextFull = std::min(watched.nextFull, now + backoff);
    watched.scope.merge(run.scope);
    watched.retry = std::min(watched.retry, now + backoff);
}

Clock::time_point Follower::nextMoment(const Watched& watched) const {
    if (watched.mode == Watched::Mode::New || watched.running) return Clock::time_point::max();
    const milliseconds delay = watched.watch.delay;
    // A watch's runs follow each other a delay apart at the least (and its program with them).
    const Clock::time_point earliest = watched.lastEnded + delay;
    Clock::time_point moment = watched.full ? earliest : std::min(watched.nextFull, watched.retry);
    if (watched.changed)
        moment =
            std::min({moment, watched.lastChange + delay, watched.firstChange + kLongestWaitFactor * delay});
    return std::max(moment, earliest);
}

bool Follower::isDue(const Watched& watched, Clock::time_point now) const {
    return nextMoment(watched) <= now;
}

bool Follower::hasNews(Clock::time_point now) const {
    if (!m_lines.empty() || m_watchFileChanged) return true;
    return std::any_of(m_watched.begin(), m_watched.end(),
                       [&](const auto& entry) { return isDue(*entry.second, now); });
}

std::vector<FollowRun> Follower::takeDue() {
    std::vector<FollowRun> runs;
    const std::lock_guard lock(m_mutex);
    m_told = false;
    const Clock::time_point now = Clock::now();
    for (auto& [key, watched] : m_watched) {
        if (!isDue(*watched, now)) continue;
        // A root that went away may be back: followed again, or said to be missing by the run.
        if (watched->lostRoot) setUp(*watched, now);
        FollowRun run;
        run.key = key;
        run.position = watched->watch.position;
        run.label = watched->watch.label;
        run.full = watched->full || now >= watched->nextFull;
        if (!run.full) run.scope = std::move(watched->scope);
        watched->scope = {};
        watched->changed = false;
        watched->full = false;
        watched->retry = Clock::time_point::max();
        watched->running = true;
        runs.push_back(std::move(run));
    }
    return runs;
}

void Follower::ended(const FollowRun& run, Ended how) {
    {
        const std::lock_guard lock(m_mutex);
        const auto found = m_watched.find(run.key);
        if (found == m_watched.end()) return;
        Watched& watched = *found->second;
        const Clock::time_point now = Clock::now();
        watched.running = false;
        watched.lastEnded = now;
        m_told = false;
        if (how == Ended::Busy || how == Ended::Stopped) {
            // Asked for again after the delay, with whatever changed meanwhile.
            if (run.full) watched.full = true;
            watched.scope.merge(run.scope);
            if (!run.scope.empty()) touched(watched, now);
        } else if (run.full) {
            watched.nextFull =
                now + (watched.mode == Watched::Mode::Timed ? m_settings.fallback : m_settings.rescan);
            // A root the run made (a two-way watch's new destination), or one that is back: followed at
            // once, and run in full again once followed.
            const auto there = [](const std::string& root) {
                return root.empty() || platform::isExistingFolder(root);
            };
            if (watched.lostRoot && there(watched.watch.roots[kSource]) &&
                there(watched.watch.roots[kDestination]))
                watched.mode = Watched::Mode::New;
        }
        // The runs of a watch whose root is away fail until it is back, every FallbackMinutes.
        if (how == Ended::Failed && !watched.lostRoot) failed(watched, run, now);
        if (how == Ended::Ran) watched.failures = 0;
    }
    m_changes.wake();
}

std::vector<std::string> Follower::takeLines() {
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_lines, {});
}

bool Follower::takeWatchFileChanged() {
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_watchFileChanged, false);
}

std::size_t Follower::followCount() const {
    const std::lock_guard lock(m_mutex);
    return m_folders.followCount();
}

void Follower::say(const std::string& line) {
    m_lines.push_back(line);
}

}  // namespace tessel
