#pragma once
// What a command-line program needs to know about the terminal it writes to.

namespace tessel::platform {

// True when standard error goes to a terminal (and not to a file or a pipe).
bool standardErrorIsTerminal();

// The width of that terminal in columns; 80 when the system does not say.
int standardErrorColumns();

// True when standard output and standard error lead to the same file, pipe, socket or terminal (2>&1,
// a terminal, systemd's journal for both): a line meant for both is then written once.
bool standardOutputIsStandardError();

// True when standard error is the systemd journal's stream for this process ($JOURNAL_STREAM names it),
// where a line may begin with its priority ("<3>" for an error).
bool standardErrorIsJournal();

}  // namespace tessel::platform
