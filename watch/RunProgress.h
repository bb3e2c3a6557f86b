#pragma once
// What a display makes of a run's progress: the share of the work done, the rate and the time left.
// The work counts bytes as well as files: every file the run finds costs a little (kFileCost bytes'
// worth: a look, a decision, a small copy's own system calls) and every copy its bytes, so that a run
// of many small files and a run of a few large ones both move evenly. The window and tessel-batch's
// terminal line each keep one and feed it what the run tells their display (RunDisplay).
//
// Threads: none of its own; a display uses it on the thread (or under the lock) it shows from.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "watch/RunDisplay.h"

namespace tessel {

class RunProgress {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::uint64_t kFileCost = 32 * 1024;

    // A run begins over `files` files: 0 while they are being counted beside the run, and the share done
    // stays 0 until countFiles says how many.
    void begin(std::int64_t files);
    void countFiles(std::int64_t files);
    void setFilesDone(std::int64_t files);
    void stepFiles(std::int64_t files);
    // What the run decided to copy (RunDisplay::PlanChange) and what it copied.
    void changePlan(std::int64_t bytes, int sized, int unsized);
    void copyBytes(std::uint64_t bytes);
    // The run's work is done.
    void complete();

    // The large files being copied (RunDisplay::showFileProgress): one whose `done` reaches its `size`
    // has ended.
    void showFile(const std::string& path, std::uint64_t done, std::uint64_t size);
    void forgetFiles() { m_largeFiles.clear(); }
    struct LargeFile {
        std::string path;
        std::uint64_t done = 0;
        std::uint64_t size = 0;
        std::string name() const { return path.substr(path.rfind('/') + 1); }
    };
    // The first begun of those still being copied, or null.
    const LargeFile* largeFile() const { return m_largeFiles.empty() ? nullptr : &m_largeFiles.front(); }

    // Notes where the run stands at `now`, for the rates and the time left: the display calls it as it
    // shows them. Measuring starts afresh with begin().
    void sample(Clock::time_point now);

    // The share of the work done, 0 to 1, and 1 only once complete. Where the work grows a little past
    // it, it does not go back but moves on through the rest in step with the work done; where the work
    // turns out far larger (under half of it done), it goes back to the share.
    double fraction() const { return m_shown; }
    // The share in whole percent, rounded down: 100 only once complete.
    int percent() const;
    std::int64_t files() const { return m_files; }
    // The files done, at most the files counted (overlapping masks and both directions step more).
    std::int64_t filesDone() const;
    std::uint64_t plannedBytes() const { return m_planned; }
    std::uint64_t copiedBytes() const { return m_copied; }
    bool completed() const { return m_complete; }

    // Over the last few seconds, once a second has been measured.
    std::optional<double> bytesPerSecond() const;
    std::optional<double> filesPerSecond() const;
    // Once two seconds have been measured since the size of the work last moved (a run still finding its
    // files, or whose first large copies made a guess of the rest, has no time left worth showing).
    std::optional<double> secondsLeft() const;

  private:
    // The work, in bytes' worth, the run is now expected to have; and the part of it done.
    double work() const;
    double workDone() const;
    void update();

    std::int64_t m_files = 0;
    std::int64_t m_filesDone = 0;
    std::uint64_t m_planned = 0;
    std::int64_t m_sized = 0;    // copies whose size is known
    std::int64_t m_unsized = 0;  // copies decided (and counted as files done) whose size is not known yet
    std::uint64_t m_copied = 0;
    bool m_complete = false;
    double m_shown = 0;
    double m_share = 0;  // the share of the work done when last worked out, for m_shown

    struct Sample {
        Clock::time_point at;
        double work;
        double workDone;
        std::uint64_t copied;
        std::int64_t filesDone;
    };
    std::deque<Sample> m_samples;
    std::vector<LargeFile> m_largeFiles;
};

// The plan and the bytes copied as the copying threads tell them (RunDisplay::changePlan,
// addCopiedBytes), summed without a lock: every call is a relaxed addition, which costs a copy of a small
// file nothing beside its system calls, and the display's own thread takes the sums when it shows them.
// A sum may be taken between a plan and its bytes: RunProgress counts no more bytes done than planned.
//
// Threads: add from any thread; take from the display's thread.
class ByteTally {
  public:
    void plan(const RunDisplay::PlanChange& change) {
        if (change.bytes != 0) m_planned.fetch_add(change.bytes, std::memory_order_relaxed);
        if (change.sized != 0) m_sized.fetch_add(change.sized, std::memory_order_relaxed);
        if (change.unsized != 0) m_unsized.fetch_add(change.unsized, std::memory_order_relaxed);
    }
    void copy(std::uint64_t bytes) { m_copied.fetch_add(bytes, std::memory_order_relaxed); }
    // What came since the last take; the sums start again from nothing.
    struct Sums {
        RunDisplay::PlanChange plan;
        std::uint64_t copied = 0;
    };
    Sums take() {
        Sums sums;
        sums.plan.bytes = m_planned.exchange(0, std::memory_order_relaxed);
        sums.plan.sized = m_sized.exchange(0, std::memory_order_relaxed);
        sums.plan.unsized = m_unsized.exchange(0, std::memory_order_relaxed);
        sums.copied = m_copied.exchange(0, std::memory_order_relaxed);
        return sums;
    }
    // Hands the sums to `progress`, the plan before the bytes.
    void feed(RunProgress& progress) {
        const Sums sums = take();
        if (!sums.plan.empty()) progress.changePlan(sums.plan.bytes, sums.plan.sized, sums.plan.unsized);
        if (sums.copied > 0) progress.copyBytes(sums.copied);
    }

  private:
    std::atomic<std::int64_t> m_planned{0};
    std::atomic<int> m_sized{0};
    std::atomic<int> m_unsized{0};
    std::atomic<std::uint64_t> m_copied{0};
};

// A size in the unit a person reads it in: bytes below 1000, then KB, MB, GB and TB (powers of 1000),
// with one decimal below 100 of the unit ("1.2 GB", "345 MB", "512 bytes").
struct SizeParts {
    enum class Unit { Bytes, Kilo, Mega, Giga, Tera };
    double value = 0;
    Unit unit = Unit::Bytes;
    int decimals = 0;
};
SizeParts sizeParts(std::uint64_t bytes);
// The same in English, for a terminal: "1.2 GB".
std::string sizeInEnglish(std::uint64_t bytes);

// A time left as a person reads it: seconds below a minute, minutes below an hour, then hours and
// minutes; always rounded up, never less than a second.
struct TimeParts {
    enum class Unit { Seconds, Minutes, Hours };
    Unit unit = Unit::Seconds;
    int count = 0;    // seconds, minutes or hours
    int minutes = 0;  // the minutes beside the hours
};
TimeParts timeParts(double seconds);
// "about 2 min left", in English, for a terminal.
std::string timeLeftInEnglish(double seconds);

}  // namespace tessel
