#pragma once
// Locks that processes take on a file to keep out of each other's way. The kernel drops a lock when
// its process ends in any way, a crash included, so a lock can never go stale; the file itself stays.

#include <string>
#include <system_error>

#include "platform/UniqueFd.h"

namespace tessel::platform {

class FileLock {
  public:
    enum class State {
        Held,    // this object holds the lock
        Busy,    // another process (or another object) holds it
        Failed,  // the lock file could not be made or locked (see the error)
    };
    enum class Mode { Shared, Exclusive };

    // Takes the lock on the file at `path`, made when missing. With `wait` the call waits for a lock
    // another process holds, else that gives Busy at once. With `ownFileOnly` a file that another user
    // owns is refused (in a shared folder, locking theirs would let them decide). Programs the process
    // starts do not inherit the lock.
    State acquire(const std::string& path, Mode mode, bool wait, bool ownFileOnly, std::error_code& error);
    void release() { m_fd.reset(); }
    bool held() const { return m_fd.valid(); }

  private:
    UniqueFd m_fd;
};

// Where a per-user lock named `name` lives: $XDG_RUNTIME_DIR/<name>.lock; without it in the environment,
// /run/user/<uid>/<name>.lock where the system keeps that folder for the user; else in the user's cache
// ($XDG_CACHE_HOME, else ~/.cache), tessel/<name>.lock, that folder made (closed to others) when
// missing; only without any of them the temporary folder ($TMPDIR, else /tmp) with the user id in the
// name: <name>-<uid>.lock.
std::string userLockPath(const std::string& name);

}  // namespace tessel::platform
