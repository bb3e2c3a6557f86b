#pragma once
// The one owner of an open file descriptor in Tessel, and the one way a failed system call turns into
// a reason. Internal to platform/.

#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace tessel::platform {

// The reason the last system call failed.
inline std::error_code lastSystemError() {
    return {errno, std::system_category()};
}

// Sets `error` to the reason the last system call failed and returns false, for "return fail(error);".
inline bool fail(std::error_code& error) {
    error = lastSystemError();
    return false;
}

// The same for a reason known without a system call.
inline bool fail(std::error_code& error, std::error_code reason) {
    error = reason;
    return false;
}

// Closes its descriptor when it goes; moves, never copies.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    // Closes now and reports what close says: for a file just written, a failure here can mean data
    // that never reached the disk.
    bool close(std::error_code& error) {
        if (m_fd < 0) return true;
        if (::close(release()) != 0) return fail(error);
        return true;
    }

  private:
    int m_fd = -1;
};

}  // namespace tessel::platform
