#pragma once
// Shared helpers of the core tests: a fresh temporary folder per test, and fakes of the display and
// the message boxes that record what the core did to them.

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "sync/RunContext.h"
#include "sync/SyncWatch.h"
#include "watch/Watch.h"
#include "watch/WatchRec.h"

namespace tessel::test {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + relative
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

  private:
    std::string m_path;
};

// Sets an environment variable (or removes it, given nullopt) for as long as it lives.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const std::optional<std::string>& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// Small file-system helpers for building and checking trees; writeFile makes missing folders.
void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
bool isFolder(const std::string& path);
void makeFolders(const std::string& path);
void setModificationTime(const std::string& path, std::int64_t seconds, long nanoseconds = 0);
std::int64_t modificationTime(const std::string& path);
mode_t permissions(const std::string& path);
// The names in a folder, sorted; hidden names included.
std::vector<std::string> listFolder(const std::string& path);
// Every file below `root` as "relative/path=content", sorted; folders as "relative/path/", symbolic
// links as "relative/path->target", anything else as "relative/path@".
std::vector<std::string> snapshotTree(const std::string& root);
// A small random tree below `root`: a few files and folders whose names another such tree may share, of
// a few sizes and times, so that every decision of a run comes up.
void randomTree(std::mt19937& random, const std::string& root);
// Runs `body` in a child process as the user `uid` with the group `gid` and the further `groups`, and
// gives its exit status (-1 when it did not end normally). Only root may; the body's checks cannot reach
// the test, so it says what it found through its status and what it leaves on disk.
int runAsUser(uid_t uid, gid_t gid, const std::vector<gid_t>& groups, const std::function<int()>& body);

// Takes the owner's write bit from a file or two below `root` now and then (in one seed of three).
void makeReadOnlyNowAndThen(std::mt19937& random, const std::string& root);
// The messages of a log file's lines, without their date-time stamps; none for a missing file.
std::vector<std::string> loggedMessages(const std::string& logFile);
// The messages with the duration that ends a run's summary line (", 0.4 s") taken off: what the run
// did, whatever time it took.
std::vector<std::string> withoutDurations(std::vector<std::string> messages);

// A folder for LOCPATH that holds the locales named ("de_DE.UTF-8"), made with localedef from Debian's
// locale sources the first time they are asked for, so that a test needs no locale of the machine;
// empty where localedef or the sources are missing.
std::string generatedLocales(const std::vector<std::string>& names);

// A watch with the given folders and run mode, masks "*.*" and Sync All; everything else as
// InitWatchRec leaves it.
TWatchRec makeWatch(const std::string& source, const std::string& destination,
                    std::uint8_t runMode = rmManual, std::uint8_t period = pd1Hour);

// Appends the watches to the file in order, each getting its position as WatchIndex.
void writeWatches(RunContext& context, const std::string& file, const std::vector<TWatchRec>& watches);

// Every complete record of the file.
std::vector<TWatchRec> storedWatches(const std::string& file);

// Fixes the platform clock while it lives (from its construction or from set on), and lets it run again
// at the end.
class FixedClock {
  public:
    FixedClock() = default;
    explicit FixedClock(const platform::LocalTime& local) { set(local); }
    explicit FixedClock(const platform::WallClock& moment) { set(moment); }
    ~FixedClock();
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;

    void set(const platform::LocalTime& local);
    void set(const platform::WallClock& moment);
};

// The progress values are read and written under a lock: the count beside a run with several jobs
// sets the maximum from a thread of its own (RunDisplay).
class FakeDisplay : public RunDisplay {
  public:
    void setStatusText(const std::string& text) override {
        statusText = text;
        statusHistory.push_back(text);
    }
    void setProgressRange(int minimum, int maximum) override {
        const std::lock_guard lock(progressMutex);
        progressMin = minimum;
        progressMax = maximum;
    }
    void extendProgressRange(int maximum) override {
        const std::lock_guard lock(progressMutex);
        progressMax = maximum;
    }
    void setProgressPosition(int position) override {
        const std::lock_guard lock(progressMutex);
        progressPosition = position;
    }
    void stepProgress() override {
        if (onStep) onStep();
        const std::lock_guard lock(progressMutex);
        ++steps;
        progressPosition = progressPosition + 1 > progressMax ? progressMin : progressPosition + 1;
    }
    void setProgressVisible(bool visible) override { progressVisible = visible; }
    void completeProgress() override { completed = true; }
    // The calls of bytes come from whichever thread copies.
    void changePlan(const PlanChange& change) override {
        const std::lock_guard lock(progressMutex);
        plan.bytes += change.bytes;
        plan.sized += change.sized;
        plan.unsized += change.unsized;
    }
    void addCopiedBytes(std::uint64_t bytes) override {
        const std::lock_guard lock(progressMutex);
        copiedBytes += bytes;
    }
    void showFileProgress(const std::string& path, std::uint64_t done, std::uint64_t size) override {
        const std::lock_guard lock(progressMutex);
        fileProgress.push_back({path, done, size, std::this_thread::get_id()});
    }
    void setRowPicture(int row, int picture) override { rowPictures.emplace_back(row, picture); }
    void appendLogLine(const std::string& line) override { logArea.push_back(line); }
    void noteLogLine(const std::string& line, LogLineKind kind) override { noted.emplace_back(kind, line); }
    int logLineCount() const override { return static_cast<int>(logArea.size()); }
    void removeFirstLogLine() override {
        if (!logArea.empty()) logArea.pop_front();
    }

    std::string statusText;
    std::vector<std::string> statusHistory;
    int progressMin = 0;
    int progressMax = 100;
    int progressPosition = 0;
    int steps = 0;
    bool progressVisible = true;
    bool completed = false;
    PlanChange plan;  // the sum of the changes
    std::uint64_t copiedBytes = 0;
    struct FileProgress {
        std::string path;
        std::uint64_t done, size;
        std::thread::id thread;
    };
    std::vector<FileProgress> fileProgress;
    std::vector<std::pair<int, int>> rowPictures;
    std::deque<std::string> logArea;
    std::vector<std::pair<LogLineKind, std::string>> noted;  // every logged line with what it is
    std::function<void()> onStep;  // called at every step, to act in the middle of a run
    std::mutex progressMutex;
};

class FakeMessages : public UserMessages {
  public:
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void showWarning(const std::string& text, const std::string& caption) override {
        warnings.emplace_back(text, caption);
    }
    std::vector<std::string> messages;
    std::vector<std::pair<std::string, std::string>> warnings;
};

// A context wired to fakes, with its log in a temporary folder.
struct CoreFixture {
    TempDir dir;
    FakeDisplay display;
    FakeMessages messages;
    RunContext context{display, messages, dir / "WatchDef.wth", dir / "WatchLog.Log"};

    // The messages of the log file's lines, without their date-time stamps.
    std::vector<std::string> loggedMessages() const;
};

// A context wired to fakes plus a watch that copies everything (Sync All) from the folder src, which
// exists, to dst, which does not yet. The mass-deletion guard is off, and no versions are kept.
struct TreeFixture : CoreFixture {
    TreeFixture();
    ~TreeFixture();  // clears what a test planned through the fault seam
    // Runs `watch` with `extras` as the scheduler does, or previews it.
    RunResult runWatch(Doing doing = Doing::Run);
    TWatchRec watch;
    WatchExtras extras;  // what the record has no room for: none at first, as for a watch made before them
    std::string src = dir / "src";
    std::string dst = dir / "dst";
};

}  // namespace tessel::test
