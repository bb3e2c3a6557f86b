#include "watch/RunProgress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tessel {

namespace {

// The rate is that of the last few seconds; a second is the least that says one.
constexpr auto kRateWindow = std::chrono::seconds(5);
constexpr auto kRateMinimum = std::chrono::seconds(1);
// A time left needs this long a measure, over which the expected work moved by no more than this share.
constexpr auto kTimeLeftMinimum = std::chrono::seconds(2);
constexpr double kSteadyWork = 0.1;
// Short of complete, the bar stops just below full: "100 %" says the run is over.
constexpr double kShortOfComplete = 0.999;
// A share of the work below this part of what the bar shows takes the bar back to it.
constexpr double kFarBehind = 0.5;

}  // namespace

void RunProgress::begin(std::int64_t files) {
    *this = RunProgress();
    m_files = std::max<std::int64_t>(files, 0);
}

void RunProgress::countFiles(std::int64_t files) {
    m_files = std::max<std::int64_t>(files, 0);
    update();
}

void RunProgress::setFilesDone(std::int64_t files) {
    m_filesDone = std::max<std::int64_t>(files, 0);
    update();
}

void RunProgress::stepFiles(std::int64_t files) {
    m_filesDone += std::max<std::int64_t>(files, 0);
    update();
}

void RunProgress::changePlan(std::int64_t bytes, int sized, int unsized) {
    if (bytes >= 0)
        m_planned += static_cast<std::uint64_t>(bytes);
    else
        m_planned -= std::min(static_cast<std::uint64_t>(-bytes), m_planned);
    m_sized = std::max<std::int64_t>(m_sized + sized, 0);
    m_unsized = std::max<std::int64_t>(m_unsized + unsized, 0);
    update();
}

void RunProgress::copyBytes(std::uint64_t bytes) {
    m_copied += bytes;
    update();
}

void RunProgress::complete() {
    m_complete = true;
    update();
}

void RunProgress::showFile(const std::string& path, std::uint64_t done, std::uint64_t size) {
    const auto file = std::find_if(m_largeFiles.begin(), m_largeFiles.end(),
                                   [&](const LargeFile& large) { return large.path == path; });
    if (done >= size) {
        if (file != m_largeFiles.end()) m_largeFiles.erase(file);
    } else if (file != m_largeFiles.end()) {
        file->done = done;
        file->size = size;
    } else {
        m_largeFiles.push_back({path, done, size});
    }
}

std::int64_t RunProgress::filesDone() const {
    return std::min(m_filesDone, m_files);
}

double RunProgress::work() const {
    const double files = static_cast<double>(m_files);
    const double done = static_cast<double>(filesDone());
    double bytes = static_cast<double>(m_planned);
    // The copies whose files are not opened yet are guessed as large as those opened, and the files not
    // decided yet to bring as many bytes as those decided: with one job a run decides on its next large
    // file only once the one before is copied, and several jobs learn the sizes of a first copy only as
    // they open its files; the bar must not be full before then.
    if (m_sized > 0) bytes += static_cast<double>(m_unsized) * bytes / static_cast<double>(m_sized);
    if (done > 0 && done < files) bytes = bytes * files / done;
    return bytes + static_cast<double>(kFileCost) * files;
}

double RunProgress::workDone() const {
    // A copy whose file is not open yet is not done as a decision either: what it will cost is unknown.
    const std::int64_t decided = std::max<std::int64_t>(filesDone() - m_unsized, 0);
    return static_cast<double>(std::min(m_copied, m_planned)) +
           static_cast<double>(kFileCost) * static_cast<double>(decided);
}

void RunProgress::update() {
    if (m_complete) {
        m_shown = 1;
        return;
    }
    // Before the files are counted the work has no size: a share of part of it would run ahead.
    const double total = m_files > 0 ? work() : 0;
    const double share = total > 0 ? std::min(workDone() / total, 1.0) : 0;
    if (share >= m_shown || share < m_shown * kFarBehind) {
        // Where the work turned out far larger than the bar showed (a large file decided late, after the
        // small ones had filled the bar), the bar goes back to the truth: "99 %" with most of the bytes
        // still to copy would be a lie that lasts.
        m_shown = share;
    } else if (share > m_share && m_share < 1) {
        // The work grew a little past what the bar shows: the bar does not go back for that, and rather
        // than wait for the share to catch up it moves through the rest in step with it.
        m_shown += (1 - m_shown) * (share - m_share) / (1 - m_share);
    }
    m_shown = std::min(m_shown, kShortOfComplete);
    m_share = share;
}

int RunProgress::percent() const {
    return m_complete ? 100 : std::min(99, static_cast<int>(std::floor(m_shown * 100)));
}

void RunProgress::sample(Clock::time_point now) {
    m_samples.push_back({now, work(), workDone(), m_copied, m_filesDone});
    while (m_samples.size() > 2 && now - m_samples.front().at > kRateWindow) m_samples.pop_front();
}

std::optional<double> RunProgress::bytesPerSecond() const {
    if (m_samples.size() < 2) return std::nullopt;
    const std::chrono::duration<double> span = m_samples.back().at - m_samples.front().at;
    if (span < kRateMinimum) return std::nullopt;
    return static_cast<double>(m_samples.back().copied - m_samples.front().copied) / span.count();
}

std::optional<double> RunProgress::filesPerSecond() const {
    if (m_samples.size() < 2) return std::nullopt;
    const std::chrono::duration<double> span = m_samples.back().at - m_samples.front().at;
    if (span < kRateMinimum) return std::nullopt;
    return static_cast<double>(m_samples.back().filesDone - m_samples.front().filesDone) / span.count();
}

std::optional<double> RunProgress::secondsLeft() const {
    if (m_complete || m_samples.size() < 2) return std::nullopt;
    const Sample& last = m_samples.back();
    if (last.work <= 0) return std::nullopt;
    // Measured from the last time the size of the work moved, so that a time left comes back soon after.
    auto steady = m_samples.end() - 1;
    while (steady != m_samples.begin() && std::abs(last.work - (steady - 1)->work) <= kSteadyWork * last.work)
        --steady;
    const Sample& first = *steady;
    const std::chrono::duration<double> span = last.at - first.at;
    if (span < kTimeLeftMinimum) return std::nullopt;
    const double rate = (last.workDone - first.workDone) / span.count();
    if (rate <= 0 || last.workDone >= last.work) return std::nullopt;
    return (last.work - last.workDone) / rate;
}

SizeParts sizeParts(std::uint64_t bytes) {
    SizeParts parts;
    if (bytes < 1000) {
        parts.value = static_cast<double>(bytes);
        return parts;
    }
    double value = static_cast<double>(bytes);
    for (int unit = 1; unit <= static_cast<int>(SizeParts::Unit::Tera); ++unit) {
        value /= 1000;
        parts.value = value;
        parts.unit = static_cast<SizeParts::Unit>(unit);
        // One decimal while it still rounds below 100; a value that rounds to 1000 takes the next unit.
        parts.decimals = value < 99.95 ? 1 : 0;
        if (std::round(value) < 1000) break;
    }
    return parts;
}

std::string sizeInEnglish(std::uint64_t bytes) {
    static const char* const kUnits[] = {"B", "KB", "MB", "GB", "TB"};
    const SizeParts parts = sizeParts(bytes);
    char text[48];
    std::snprintf(text, sizeof text, "%.*f %s", parts.decimals, parts.value,
                  kUnits[static_cast<int>(parts.unit)]);
    return text;
}

TimeParts timeParts(double seconds) {
    if (seconds < 60) return {TimeParts::Unit::Seconds, std::max(1, static_cast<int>(std::ceil(seconds))), 0};
    if (seconds < 3600) return {TimeParts::Unit::Minutes, static_cast<int>(std::ceil(seconds / 60)), 0};
    return {TimeParts::Unit::Hours, static_cast<int>(seconds / 3600),
            static_cast<int>(std::fmod(seconds, 3600) / 60)};
}

std::string timeLeftInEnglish(double seconds) {
    const TimeParts parts = timeParts(seconds);
    switch (parts.unit) {
        case TimeParts::Unit::Seconds:
            return "about " + std::to_string(parts.count) + " s left";
        case TimeParts::Unit::Minutes:
            return "about " + std::to_string(parts.count) + " min left";
        case TimeParts::Unit::Hours:
            break;
    }
    return "about " + std::to_string(parts.count) + " h " + std::to_string(parts.minutes) + " min left";
}

}  // namespace tessel
