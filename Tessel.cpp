// Tessel: keeps pairs of folders in step. The program entry reads its options, refuses a second
// instance, then creates the main window and runs it.

#include <QApplication>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "TesselVersion.h"
#include "platform/InstanceLock.h"
#include "ui/Dialogs.h"
#include "ui/InstanceChannel.h"
#include "ui/TesselProgram.h"

int main(int argc, char* argv[]) {
    // Before Qt: the version and the usage need no screen.
    StartOptions options;
    std::string problem;
    if (!parseStartOptions(std::vector<std::string_view>(argv + 1, argv + argc), options, problem)) {
        std::fprintf(stderr, "tessel: %s\nTry 'tessel --help' for the usage.\n", problem.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(kTesselUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("tessel %s\n", kTesselVersion);
        return 0;
    }

    using tessel::platform::InstanceLock;
    // Taken first and held until the process ends: a second instance must not touch a single file.
    InstanceLock instance;
    std::error_code error;
    const std::string lockPath = tessel::platform::instanceLockPath(kInstanceName);
    const InstanceLock::State state = instance.acquire(lockPath, error);
    // A mark that cannot be made does not stop Tessel; it only cannot guard against a second start.
    if (state == InstanceLock::State::Failed)
        std::fprintf(stderr, "tessel: cannot mark the running instance at %s: %s\n", lockPath.c_str(),
                     error.message().c_str());

    QApplication application(argc, argv);
    QtDialogs dialogs;
    // Without a mark nothing is known about another Tessel, whose socket must then be left alone.
    const QString channel = state == InstanceLock::State::Failed
                                ? QString()
                                : InstanceChannel::socketPathFor(QString::fromLocal8Bit(lockPath.c_str()));
    return runTessel(state == InstanceLock::State::Busy, dialogs, channel, options.folder);
}
