#include "platform/Faults.h"

#ifdef TESSEL_FAULT_INJECTION

#include <atomic>
#include <cerrno>
#include <utility>

namespace tessel::platform::faults {

namespace {

// Atomic, as the calls may come from the threads of a run.
struct Planned {
    std::atomic<int> remaining{0};  // calls until the failing one; 0: nothing planned
    std::atomic<int> error{0};
    std::atomic<int> refusal{0};  // every call fails with it; 0: none
    std::atomic<bool> fired{false};
};

Planned g_planned[static_cast<int>(Operation::Count)];
std::function<void()> g_actions[static_cast<int>(Point::Count)];
thread_local bool t_probing = false;

}  // namespace

void inject(Operation operation, int nth, int error) {
    g_planned[static_cast<int>(operation)].error = error;
    g_planned[static_cast<int>(operation)].fired = false;
    g_planned[static_cast<int>(operation)].remaining = nth;
}

bool fired(Operation operation) {
    return g_planned[static_cast<int>(operation)].fired;
}

void refuse(Operation operation, int error) {
    g_planned[static_cast<int>(operation)].refusal = error;
}

void clear() {
    for (Planned& planned : g_planned) {
        planned.remaining = 0;
        planned.refusal = 0;
        planned.fired = false;
    }
    for (auto& action : g_actions) action = nullptr;
}

void onPoint(Point point, std::function<void()> action) {
    g_actions[static_cast<int>(point)] = std::move(action);
}

void reach(Point point) {
    if (const auto& action = g_actions[static_cast<int>(point)]) action();
}

bool failNow(Operation operation) {
    Planned& planned = g_planned[static_cast<int>(operation)];
    if (const int refusal = planned.refusal.load(); refusal != 0) {
        errno = refusal;
        return true;
    }
    if (t_probing) return false;
    int remaining = planned.remaining.load();
    // Counts down to the failing call; exactly one caller takes the step from 1 to 0.
    while (remaining > 0 && !planned.remaining.compare_exchange_weak(remaining, remaining - 1)) {
    }
    if (remaining != 1) return false;
    planned.fired = true;
    errno = planned.error;
    return true;
}

ProbeScope::ProbeScope() : m_outer(std::exchange(t_probing, true)) {}

ProbeScope::~ProbeScope() {
    t_probing = m_outer;
}

}  // namespace tessel::platform::faults

#endif
