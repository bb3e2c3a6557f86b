#include "platform/Faults.h"

#ifdef TESSEL_FAULT_INJECTION

#include <cerrno>
#include <utility>

namespace tessel::platform::faults {

namespace {

struct Planned {
    int remaining = 0;  // calls until the failing one; 0: nothing planned
    int error = 0;
};

Planned g_planned[static_cast<int>(Operation::Count)];
std::function<void()> g_actions[static_cast<int>(Point::Count)];

}  // namespace

void inject(Operation operation, int nth, int error) {
    g_planned[static_cast<int>(operation)] = {nth, error};
}

void clear() {
    for (Planned& planned : g_planned) planned = {};
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
    if (planned.remaining == 0 || --planned.remaining > 0) return false;
    errno = planned.error;
    return true;
}

}  // namespace tessel::platform::faults

#endif
