#include "ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>

#include "ui/MainWindow.h"

namespace tessel::test {

void waitForRun(MainWindow& window) {
    // A minute is plenty even with the sanitizers; a run that takes longer is a fault of its own.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (window.isRunning() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_FALSE(window.isRunning()) << "the run did not end";
}

}  // namespace tessel::test
