#pragma once
// The mark of a running Tessel: an exclusive lock on a file in the user's runtime folder, which the
// kernel drops when the process ends in any way, so a stale mark cannot lock the user out.

#include <string>
#include <string_view>
#include <system_error>

#include "platform/FileLock.h"

namespace tessel::platform {

// Where the mark named `name` lives (userLockPath).
inline std::string instanceLockPath(std::string_view name) {
    return userLockPath(std::string(name));
}

class InstanceLock {
  public:
    using State = FileLock::State;

    // Tries once, without waiting, to take the mark at `path`. The lock stays until this object goes or
    // the process ends; programs the process starts do not inherit it.
    State acquire(const std::string& path, std::error_code& error) {
        return m_lock.acquire(path, FileLock::Mode::Exclusive, false, true, error);
    }

  private:
    FileLock m_lock;
};

}  // namespace tessel::platform
