#include "ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <optional>

#include "ui/MainTessel.h"
#include "watch/WatchFile.h"

namespace tessel::test {

void waitForRun(TMainTesselForm& window) {
    // A minute is plenty even with the sanitizers; a run that takes longer is a fault of its own.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (window.isRunning() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_FALSE(window.isRunning()) << "the run did not end";
}

TWatchRec makeWatch(const std::string& source, const std::string& destination, std::uint8_t runMode,
                    std::uint8_t period) {
    TWatchRec watch;
    InitWatchRec(watch);
    setText(watch.SourceDir, source);
    setText(watch.DestDir, destination);
    setText(watch.FileMask, "*.*");
    watch.RunMode = runMode;
    watch.Period = period;
    watch.TuneMode = tmSyncAll;
    return watch;
}

void writeWatches(RunContext& context, const std::string& file, const std::vector<TWatchRec>& watches) {
    for (const TWatchRec& watch : watches) ASSERT_TRUE(AppendWatchRec(context, watch, file));
}

std::vector<TWatchRec> storedWatches(const std::string& file) {
    std::vector<TWatchRec> watches;
    readAllWatchRecs(file, watches);
    return watches;
}

FixedClock::FixedClock(const platform::LocalTime& local) {
    const std::optional<platform::WallClock> moment = platform::fromLocalTime(local);
    if (moment) platform::setClockForTesting(*moment);
    EXPECT_TRUE(moment.has_value());
}

FixedClock::~FixedClock() {
    platform::setClockForTesting(std::nullopt);
}

}  // namespace tessel::test
