#include "platform/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/SysCall.h"

namespace tessel::platform {

std::error_code lastSystemError() {
    return {errno, std::system_category()};
}

namespace {

bool writeAll(int fd, const char* data, std::size_t length, std::error_code& error) {
    while (length > 0) {
        const ssize_t written = sys::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            error = lastSystemError();
            return false;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

bool appendToFile(const std::string& path, std::string_view data, std::error_code& error) {
    const int fd = sys::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = lastSystemError();
        return false;
    }
    bool ok = writeAll(fd, data.data(), data.size(), error);
    if (::close(fd) != 0 && ok) {
        error = lastSystemError();
        ok = false;
    }
    return ok;
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

File::~File() {
    if (m_fd >= 0) ::close(m_fd);
}

File::File(File&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

bool File::open(const std::string& path, Mode mode, std::error_code& error) {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::ReadWrite:
            flags |= O_RDWR;
            break;
        case Mode::ReadWriteOrCreate:
            flags |= O_RDWR | O_CREAT;
            break;
        case Mode::CreateExclusive:
            flags |= O_WRONLY | O_CREAT | O_EXCL;
            break;
    }
    m_fd = sys::open(path.c_str(), flags, 0666);
    if (m_fd < 0) {
        error = lastSystemError();
        return false;
    }
    return true;
}

bool File::size(std::uint64_t& bytes, std::error_code& error) const {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        error = lastSystemError();
        return false;
    }
    bytes = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool File::readSomeAt(std::uint64_t offset, void* buffer, std::size_t length, std::size_t& done,
                      std::error_code& error) const {
    done = 0;
    while (done < length) {
        const ssize_t got = sys::pread(m_fd, static_cast<char*>(buffer) + done, length - done,
                                       static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            error = lastSystemError();
            return false;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool File::readAt(std::uint64_t offset, void* buffer, std::size_t length, std::error_code& error) const {
    std::size_t done = 0;
    if (!readSomeAt(offset, buffer, length, done, error)) return false;
    if (done != length) {
        error = std::make_error_code(std::errc::io_error);
        return false;
    }
    return true;
}

bool File::writeAt(std::uint64_t offset, const void* buffer, std::size_t length, std::error_code& error) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t written = sys::pwrite(m_fd, static_cast<const char*>(buffer) + done, length - done,
                                            static_cast<off_t>(offset + done));
        if (written < 0) {
            if (errno == EINTR) continue;
            error = lastSystemError();
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

bool File::truncate(std::uint64_t length, std::error_code& error) {
    if (::ftruncate(m_fd, static_cast<off_t>(length)) != 0) {
        error = lastSystemError();
        return false;
    }
    return true;
}

bool File::sync(std::error_code& error) {
    if (::fsync(m_fd) != 0) {
        error = lastSystemError();
        return false;
    }
    return true;
}

bool File::close(std::error_code& error) {
    if (m_fd < 0) return true;
    const int result = ::close(std::exchange(m_fd, -1));
    if (result != 0) {
        error = lastSystemError();
        return false;
    }
    return true;
}

bool renameFile(const std::string& from, const std::string& to, std::error_code& error) {
    if (sys::renameat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str()) != 0) {
        error = lastSystemError();
        return false;
    }
    return true;
}

bool removeFile(const std::string& path, std::error_code& error) {
    if (::unlink(path.c_str()) != 0) {
        error = lastSystemError();
        return false;
    }
    return true;
}

}  // namespace tessel::platform
