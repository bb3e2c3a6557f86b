#pragma once
// What a command-line program needs to know about the terminal it writes to.

namespace tessel::platform {

// True when standard error goes to a terminal (and not to a file or a pipe).
bool standardErrorIsTerminal();

// The width of that terminal in columns; 80 when the system does not say.
int standardErrorColumns();

}  // namespace tessel::platform
