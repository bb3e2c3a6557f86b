// Runs watch 0 of a watch file by the window's Check Now, on Qt's offscreen platform, and appends the
// run's duration in microseconds (from the command until everything the run did is shown) to
// RESULT-FILE, so bench/run.sh can weigh the cost of showing progress against tessel-batch on the same
// tree. The log goes to LOG-FILE, /dev/null when none is given.
//
//   tessel-bench-window WATCH-FILE RESULT-FILE [LOG-FILE]

#include <QApplication>
#include <QEventLoop>
#include <chrono>
#include <cstdio>

#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/WatchList.h"
#include "ui/WindowCommands.h"

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s WATCH-FILE RESULT-FILE [LOG-FILE]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QtDialogs dialogs;
    MainWindow window(dialogs);
    window.context().WatchFilePath = argv[1];
    window.context().LogFilePath = argc == 4 ? argv[3] : "/dev/null";
    // As a window started from Tessel.ini without a Jobs key, and as tessel-batch: a thread per core.
    window.context().options.jobs = tessel::defaultJobs();
    window.fillWatchList();
    window.show();
    QApplication::processEvents();
    window.watchList().selectRow(0);

    QEventLoop loop;
    QObject::connect(&window, &MainWindow::runFinished, &loop, &QEventLoop::quit);
    const auto start = std::chrono::steady_clock::now();
    window.commands().checkSelectedWatchNow();
    loop.exec();
    const auto elapsed = std::chrono::steady_clock::now() - start;

    std::FILE* result = std::fopen(argv[2], "a");
    if (result == nullptr) return 1;
    std::fprintf(
        result, "%lld\n",
        static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count()));
    std::fclose(result);
    return window.lastRunResult().failed == 0 ? 0 : 1;
}
