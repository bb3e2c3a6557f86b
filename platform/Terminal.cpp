#include "platform/Terminal.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace tessel::platform {

bool standardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

int standardErrorColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
    return size.ws_col;
}

bool standardOutputIsStandardError() {
    struct stat out {};
    struct stat err {};
    if (::fstat(STDOUT_FILENO, &out) != 0 || ::fstat(STDERR_FILENO, &err) != 0) return false;
    return out.st_dev == err.st_dev && out.st_ino == err.st_ino;
}

bool standardErrorIsJournal() {
    // "<device>:<inode>" of the stream systemd connected, as its documentation of JOURNAL_STREAM says.
    const char* stream = std::getenv("JOURNAL_STREAM");
    unsigned long long device = 0, inode = 0;
    struct stat err {};
    if (stream == nullptr || std::sscanf(stream, "%llu:%llu", &device, &inode) != 2 ||
        ::fstat(STDERR_FILENO, &err) != 0)
        return false;
    return err.st_dev == device && err.st_ino == inode;
}

}  // namespace tessel::platform
