#pragma once
// Ending a headless run cleanly when it is asked to stop: the first SIGINT or SIGTERM calls a handler
// that requests the stop, and the run ends at the next file. A second one ends the process at once, as
// such signals ordinarily do.

#include <system_error>

namespace tessel::platform {

// Catches SIGINT and SIGTERM. `onStop` runs inside the signal handler: it may only store into lock-free
// atomics. Interrupted system calls are restarted, so the run itself notices nothing but the request.
void catchStopSignals(void (*onStop)());

// For a program with an event loop (the window): catches SIGINT and SIGTERM as catchStopSignals does,
// and gives a descriptor that becomes readable when the first of them comes, for the loop to watch; a
// second one still ends the process at once. -1, with the reason, when no descriptor can be made (the
// signals then end the program as they ordinarily do).
int watchStopSignals(std::error_code& error);

// The signal that asked for the stop, 0 when none came.
int stopSignal();

// The exit status of a program that ends because of `signal`: 128 + its number (130, 143).
int exitStatusFor(int signal);

// "SIGINT", "SIGTERM", or the number.
const char* signalName(int signal);

}  // namespace tessel::platform
