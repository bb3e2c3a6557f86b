// tessel-batch: Tessel's engine without the window, for servers, cron, systemd timers and scripts.
// It runs watches the way the window's Check Now and timer pass do, prints every log line on stdout
// (every problem on stderr too) and turns message boxes into lines on stderr; it also makes, changes,
// removes, prints and imports watches, with the values read and checked by the core (WatchCheck.h,
// WatchStore.h). A run that needs the user also notifies the desktop.

#include <chrono>
#include <clocale>
#include <csignal>
#include <string_view>
#include <system_error>
#include <vector>

#include "TesselVersion.h"
#include "batch/BatchRun.h"
#include "platform/DesktopNotification.h"

namespace {

// The session's notification service, where there is one; nothing, silently, where there is none.
class DesktopNotices : public tessel::batch::NoticeSender {
  public:
    void send(const tessel::RunNotice& notice) override {
        // Long enough for a service that is started on demand, short enough for a timer's run.
        constexpr std::chrono::milliseconds kWait{5000};
        std::error_code ignored;
        tessel::platform::sendDesktopNotification(
            {"Tessel", kTesselAppId, kTesselAppId, notice.title, notice.body}, kWait, ignored);
    }
};

}  // namespace

int main(int argc, char** argv) {
    // Numbers and messages as the user's regional settings have them (the log's dates follow the
    // machine's, whoever writes the line).
    std::setlocale(LC_ALL, "");
    // A reader of the output that goes away (| head) must not end a run half way: the lines are in
    // the log file all the same.
    std::signal(SIGPIPE, SIG_IGN);
    DesktopNotices notices;
    return tessel::batch::runBatch(std::vector<std::string_view>(argv + 1, argv + argc), notices);
}
