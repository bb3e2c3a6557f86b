#include "platform/StopSignal.h"

#include <signal.h>

#include <atomic>

namespace tessel::platform {

namespace {

std::atomic<int> g_signal{0};
std::atomic<void (*)()> g_onStop{nullptr};
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
