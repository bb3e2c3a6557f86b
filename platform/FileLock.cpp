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

// A folder of the running user's (not a link to one); `closed`: closed to group and others too.
bool isOwnFolder(const std::string& path, bool closed) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (!closed || (info.st_mode & 077) == 0);
}

}  // namespace

std::string userLockPath(const std::string& name) {
    const std::string runtime = folderFromEnvironment("XDG_RUNTIME_DIR");
    if (!runtime.empty()) return runtime + "/" + name + ".lock";
    // Without one in the environment (cron does not set it), the one the system keeps for the user while
    // they have a session: the window's locks are there.
    const std::string session = "/run/user/" + std::to_string(::geteuid());
    if (isOwnFolder(session, true)) return session + "/" + name + ".lock";
    // Else a folder of the user's own: in a shared temporary folder another user could make the lock
    // file first, and no lock could then be taken.
    std::string cache = folderFromEnvironment("XDG_CACHE_HOME");
    const std::string home = folderFromEnvironment("HOME");
    if (cache.empty() && !home.empty()) cache = home + "/.cache";
    // (Root with another user's home, as sudo may leave it, keeps out of it.)
    if (!cache.empty() && (::mkdir(cache.c_str(), 0700) == 0 || errno == EEXIST) &&
        isOwnFolder(cache, false)) {
        const std::string folder = cache + "/tessel";
        ::mkdir(folder.c_str(), 0700);
        if (isOwnFolder(folder, true)) return folder + "/" + name + ".lock";
    }
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
