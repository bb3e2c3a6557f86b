#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tessel::platform {

namespace {

// An environment folder counts only when it is absolute; anything else would depend on where Tessel
// was started.
std::string folderFromEnvironment(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || value[0] != '/') return {};
    std::string folder = value;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder == "/" ? std::string() : folder;
}

}  // namespace

std::string userLockPath(const std::string& name) {
    const std::string runtime = folderFromEnvironment("XDG_RUNTIME_DIR");
    if (!runtime.empty()) return runtime + "/" + name + ".lock";
    std::string temporary = folderFromEnvironment("TMPDIR");
    if (temporary.empty()) temporary = "/tmp";
    // A shared folder: the user id keeps one user's lock from stopping another user's Tessel.
    return temporary + "/" + name + "-" + std::to_string(::geteuid()) + ".lock";
}

FileLock::State FileLock::acquire(const std::string& path, Mode mode, bool wait, bool ownFileOnly,
                                  std::error_code& error) {
    if (m_fd.valid()) return State::Held;
    // Close-on-exec: an after-sync program that outlives Tessel must not keep the lock.
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!fd.valid() && errno == EACCES && !ownFileOnly)
        fd.reset(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        error = lastSystemError();
        return State::Failed;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        error = lastSystemError();
        return State::Failed;
    }
    if (!S_ISREG(info.st_mode) || (ownFileOnly && info.st_uid != ::geteuid())) {
        error = std::make_error_code(std::errc::permission_denied);
        return State::Failed;
    }
    const int operation = (mode == Mode::Shared ? LOCK_SH : LOCK_EX) | (wait ? 0 : LOCK_NB);
    while (::flock(fd.get(), operation) != 0) {
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return State::Busy;
        error = lastSystemError();
        return State::Failed;
    }
    m_fd = std::move(fd);
    return State::Held;
}

}  // namespace tessel::platform
