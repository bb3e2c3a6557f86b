#pragma once
// Starting another program and waiting for it; what the process may hold.

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace tessel::platform {

// How a program ended: with an exit status, or by a signal.
struct ProcessEnd {
    std::error_code startError;  // why it could not be started
    int exitStatus = 0;
    int signal = 0;  // 0 when it exited
    std::string signalName() const;
};

// Starts `program` with `arguments` (not counting the program itself) directly, never through a shell,
// in `workingFolder` (empty: the current folder), its standard input read from /dev/null, and waits
// for it to end, however long that takes. A program path without "/" is looked up in PATH. True when
// the program was started (`end` then says how it ended); false with the reason when it could not be
// (missing, not executable, not a format the system runs).
bool spawnAndWait(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& workingFolder, ProcessEnd& end, std::error_code& error);

// The user and group the process runs as, asked of the system once: a walk asks for every file. Only
// root (0) may give files to others.
std::uint32_t processUser();
std::uint32_t processGroup();
// Asks again, after the process changed its user (a test's child process does).
void refreshProcessUser();

// How many descriptors this process may have open at once.
std::size_t openFileLimit();

}  // namespace tessel::platform
