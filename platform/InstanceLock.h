#pragma once
// The mark of a running Tessel: an exclusive lock on a file in the user's runtime folder. The kernel
// drops the lock when the process ends in any way, a crash included, so a stale mark cannot lock the
// user out; the file itself stays and is locked anew by the next start.

#include <string>
#include <string_view>
#include <system_error>

#include "platform/UniqueFd.h"

namespace tessel::platform {

// Where the mark named `name` lives: $XDG_RUNTIME_DIR/<name>.lock, or, without a runtime folder, the
// temporary folder ($TMPDIR, else /tmp) with the user id in the name: <name>-<uid>.lock.
std::string instanceLockPath(std::string_view name);

class InstanceLock {
  public:
    enum class State {
        Held,    // this process holds the mark
        Busy,    // another process holds it
        Failed,  // the mark could not be made (see the error); nothing is known about other processes
    };

    // Tries once, without waiting, to take the mark at `path`. The lock stays until this object goes or
    // the process ends; programs the process starts do not inherit it.
    State acquire(const std::string& path, std::error_code& error);

  private:
    UniqueFd m_fd;
};

}  // namespace tessel::platform
