#include "platform/Faults.h"

#ifdef TESSEL_FAULT_INJECTION

#include <cerrno>

namespace tessel::platform::faults {

namespace {

struct Planned {
    int remaining = 0;  // calls until the failing one; 0: nothing planned
    int error = 0;
};

Planned g_planned[static_cast<int>(Operation::Count)];

}  // namespace

void inject(Operation operation, int nth, int error) {
    g_planned[static_cast<int>(operation)] = {nth, error};
}

void clear() {
    for (Planned& planned : g_planned) planned = {};
}

bool failNow(Operation operation) {
    Planned& planned = g_planned[static_cast<int>(operation)];
    if (planned.remaining == 0 || --planned.remaining > 0) return false;
    errno = planned.error;
    return true;
}

}  // namespace tessel::platform::faults

#endif
