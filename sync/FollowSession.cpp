#include "sync/FollowSession.h"

#include <algorithm>

#include "platform/FileIo.h"
#include "platform/Paths.h"
#include "sync/Sides.h"
#include "sync/SyncWatch.h"
#include "sync/WalkRules.h"
#include "watch/EventLog.h"
#include "watch/WatchStore.h"

namespace tessel {

namespace {

FollowSettings settingsOf(const RunOptions& options) {
    FollowSettings settings;
    settings.rescan = std::chrono::hours(options.rescanHours);
    settings.fallback = std::chrono::minutes(options.fallbackMinutes);
    return settings;
}

}  // namespace

FollowSession::FollowSession(RunContext& context, std::function<void()> wake)
    : m_context(context), m_follower(settingsOf(context.options), std::move(wake)) {}

bool FollowSession::start() {
    std::error_code error;
    if (m_follower.start(m_context.WatchFilePath, error)) return true;
    WriteLogLine(m_context, "Error following the watches that run on change: " + error.message());
    return false;
}

bool FollowSession::wantsReload() {
    const auto since = std::chrono::steady_clock::now() - m_lastReload;
    // Once a minute at least: the watch file's folder may be one that could not be followed.
    return m_follower.takeWatchFileChanged() || (!m_waiting.empty() && since >= kRetry) ||
           since >= 6 * kRetry;
}

void FollowSession::reload() {
    m_lastReload = std::chrono::steady_clock::now();
    WatchList list;
    FileProblem problem;
    if (platform::fileExists(m_context.WatchFilePath) &&
        !loadWatches(m_context.WatchFilePath, list, problem)) {
        // What is followed goes on being followed until the file can be read again.
        if (!m_unreadableSaid)
            WriteLogLine(m_context, "Error reading the watch file to follow its watches: " + problem.text());
        m_unreadableSaid = true;
        return;
    }
    m_unreadableSaid = false;
    std::vector<FollowedWatch> watches;
    std::map<std::string, Held> held;
    std::set<std::string> wanted;
    for (const StoredWatch& stored : list.watches) {
        const Watch& watch = stored.watch;
        if (watch.schedule.mode != WatchRunMode::OnChange || watch.followPaused) continue;
        const std::string key = followKey(stored.record);
        const std::string label = "Synhro folder " + watch.source + " with folder " + watch.destination;
        wanted.insert(key);
        Held entry;
        if (const auto found = m_held.find(key); found != m_held.end()) {
            entry = std::move(found->second);
            m_held.erase(found);
        } else {
            entry.lock = std::make_unique<platform::FileLock>();
            std::error_code error;
            // Without a place for the lock it follows all the same, as a run runs without one.
            if (entry.lock->acquire(followLockPath(stored.record), platform::FileLock::Mode::Exclusive, false,
                                    true, error) == platform::FileLock::State::Busy) {
                if (m_waiting.insert(key).second)
                    WriteLogLine(m_context,
                                 label + " is followed by another Tessel; this one waits until it stops");
                continue;
            }
            m_waiting.erase(key);
        }
        entry.label = label;
        entry.position = stored.position;
        FollowedWatch followed;
        followed.key = key;
        followed.position = stored.position;
        followed.label = label;
        const WatchRoots roots = watchRoots(watch.source, watch.destination, watch.withRootFolder);
        followed.roots[kSource] = platform::withTrailingSlash(roots.source);
        if (watch.bothDirections)
            followed.roots[kDestination] = platform::withTrailingSlash(roots.destination);
        followed.delay = std::chrono::seconds(watch.schedule.changeDelaySeconds);
        // What the watch's runs leave out is not followed either.
        followed.sees = [rules = WalkRules::of(watch)](const std::string& folder, const std::string& name) {
            return rules.takes(folder, name);
        };
        watches.push_back(std::move(followed));
        held[key] = std::move(entry);
    }
    for (const auto& [key, gone] : m_held) WriteLogLine(m_context, "Stopped following " + gone.label);
    std::erase_if(m_waiting, [&](const std::string& key) { return wanted.count(key) == 0; });
    m_held = std::move(held);
    m_follower.follow(std::move(watches));
}

SchedulerReport FollowSession::runDue(RunContext& context) {
    logLines(context);
    return run(context, m_follower.takeDue());
}

void FollowSession::logLines(RunContext& context) {
    for (const std::string& line : m_follower.takeLines()) WriteLogLine(context, line);
}

void FollowSession::putBack(const std::vector<FollowRun>& runs) {
    for (const FollowRun& run : runs) m_follower.ended(run, Follower::Ended::Busy);
}

SchedulerReport FollowSession::run(RunContext& context, const std::vector<FollowRun>& runs) {
    logLines(context);
    SchedulerReport total;
    for (const FollowRun& run : runs) {
        if (context.stopRequested()) {
            m_follower.ended(run, Follower::Ended::Stopped);
            continue;
        }
        const SchedulerReport report =
            runFollowedWatch(context, run.position, run.key, run.full ? nullptr : &run.scope);
        if (report.busy > 0) {
            // Said once, and asked for again after the delay until the other run has ended.
            bool first = false;
            {
                const std::lock_guard lock(m_busyMutex);
                first = m_busy.insert(run.key).second;
            }
            if (first)
                WriteLogLine(context, "Already running " + run.label + "; the followed run waits for it");
            m_follower.ended(run, Follower::Ended::Busy);
            continue;
        }
        {
            const std::lock_guard lock(m_busyMutex);
            m_busy.erase(run.key);
        }
        // A run with failures (a copy refused, the watch's settings unreadable) is tried again later.
        m_follower.ended(run, report.result.stopped      ? Follower::Ended::Stopped
                              : report.result.failed > 0 ? Follower::Ended::Failed
                                                         : Follower::Ended::Ran);
        total += report;
    }
    return total;
}

std::vector<std::int32_t> FollowSession::followed() const {
    std::vector<std::int32_t> positions;
    for (const auto& [key, entry] : m_held) positions.push_back(entry.position);
    std::sort(positions.begin(), positions.end());
    return positions;
}

}  // namespace tessel
