#include "platform/StopSignal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace tessel::platform {

namespace {

std::atomic<int> g_signal{0};
std::atomic<void (*)()> g_onStop{nullptr};
// The end of a pipe an event loop watches; -1 for none.
std::atomic<int> g_wakeDescriptor{-1};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<void (*)()>::is_always_lock_free);

extern "C" void onStopSignal(int signal) {
    int none = 0;
    if (!g_signal.compare_exchange_strong(none, signal)) {
        // The other stop signal after the first: it ends the process at once too.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigaction(signal, &fallback, nullptr);
        raise(signal);
        return;
    }
    if (void (*onStop)() = g_onStop.load()) onStop();
    if (const int wake = g_wakeDescriptor.load(); wake >= 0) {
        // write() may be called here; errno is the interrupted code's.
        const int saved = errno;
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake, &byte, 1);
        errno = saved;
    }
}

}  // namespace

void catchStopSignals(void (*onStop)()) {
    g_onStop.store(onStop);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Once: the same signal again finds the default action back and ends the process.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction old {};
        sigaction(signal, &action, &old);
        // A signal the starter chose to ignore (a program started in the background) stays ignored.
        if (old.sa_handler == SIG_IGN) sigaction(signal, &old, nullptr);
    }
}

int watchStopSignals(std::error_code& error) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        error.assign(errno, std::generic_category());
        return -1;
    }
    g_wakeDescriptor.store(ends[1]);
    catchStopSignals(nullptr);
    return ends[0];
}

int stopSignal() {
    return g_signal.load();
}

int exitStatusFor(int signal) {
    return 128 + signal;
}

const char* signalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        default:
            return "a signal";
    }
}

}  // namespace tessel::platform
