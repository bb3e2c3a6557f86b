#include "ui/UiTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdlib>

#include "ui/MainWindow.h"

namespace tessel::test {

CurrentFolder::CurrentFolder(const std::string& folder) {
    char* old = getcwd(nullptr, 0);
    m_old = old != nullptr ? old : "/";
    std::free(old);
    EXPECT_EQ(chdir(folder.c_str()), 0) << folder;
}

CurrentFolder::~CurrentFolder() {
    EXPECT_EQ(chdir(m_old.c_str()), 0);
}

void waitForRun(MainWindow& window) {
    // A minute is plenty even with the sanitizers; a run that takes longer is a fault of its own.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (window.isRunning() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_FALSE(window.isRunning()) << "the run did not end";
}

}  // namespace tessel::test
