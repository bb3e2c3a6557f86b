#include "platform/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <utility>

#include "platform/Folders.h"
#include "platform/Paths.h"
#include "platform/SysCall.h"

namespace tessel::platform {

namespace {

bool writeAll(int fd, const char* data, std::size_t length, std::error_code& error) {
    while (length > 0) {
        const ssize_t written = sys::write(fd, data, length);
        if (written < 0) return fail(error);
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

std::string randomSuffix() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string suffix(8, ' ');
    for (char& letter : suffix) letter = kLetters[pick(generator)];
    return suffix;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Creates a new, empty file open for writing in the folder of `target` under a hidden name no other
// file has. When `target` exists the new file gets its permission bits and, where allowed, its owner,
// so replacing it changes nothing but the content.
bool createTempBeside(const std::string& target, LinkAtPath link, File& file, std::string& tempPath,
                      std::error_code& error) {
    const std::string folder = folderOf(target);
    const std::string name = target.substr(folder.size());
    // O_EXCL makes the name ours alone; a clash with a file someone else made only costs another try.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = folder + "." + name + "." + randomSuffix();
        if (!file.open(candidate, File::Mode::CreateExclusive, error)) {
            if (error == std::errc::file_exists) continue;
            return false;
        }
        tempPath = candidate;
        struct stat original {};
        const int found = link == LinkAtPath::ReplaceName ? ::lstat(target.c_str(), &original)
                                                          : ::stat(target.c_str(), &original);
        if (found == 0 && S_ISREG(original.st_mode)) {
            if (::chmod(candidate.c_str(), original.st_mode & 07777) != 0) return fail(error);
            // Handing the file to the original owner needs privileges (root rewriting a user's file);
            // without them the file simply stays ours, which is no reason to give up the rewrite.
            if (original.st_uid != ::geteuid() || original.st_gid != ::getegid()) {
                [[maybe_unused]] const int refused =
                    ::chown(candidate.c_str(), original.st_uid, original.st_gid);
            }
        }
        return true;
    }
    return fail(error, std::make_error_code(std::errc::file_exists));
}

bool flushFolder(const std::string& folder, std::error_code& error) {
    const UniqueFd fd(sys::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return fail(error);
    // Some file systems cannot sync a folder at all; their renames are as durable as they get.
    if (sys::fsync(fd.get()) != 0 && errno != EINVAL && errno != ENOTSUP) return fail(error);
    return true;
}

}  // namespace

bool appendToFile(const std::string& path, std::string_view data, std::error_code& error) {
    // Never waits: a pipe without a reader fails at once (ENXIO), a full one with EAGAIN; /dev/null works.
    UniqueFd fd(
        sys::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
    if (!fd.valid()) return fail(error);
    const bool ok = writeAll(fd.get(), data.data(), data.size(), error);
    return fd.close(error) && ok;
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool fileIdentity(const std::string& path, std::uint64_t& device, std::uint64_t& inode) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    device = info.st_dev;
    inode = info.st_ino;
    return true;
}

bool File::open(const std::string& path, Mode mode, std::error_code& error) {
    m_fd.reset();
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::ReadOnly:
            flags |= O_RDONLY | O_NONBLOCK | O_NOCTTY;
            break;
        case Mode::ReadWrite:
            flags |= O_RDWR;
            break;
        case Mode::ReadWriteOrCreate:
            flags |= O_RDWR | O_CREAT;
            break;
        case Mode::CreateExclusive:
            flags |= O_WRONLY | O_CREAT | O_EXCL;
            break;
        case Mode::ReadOwnFile:
            flags |= O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
            break;
    }
    m_fd.reset(sys::open(path.c_str(), flags, 0666));
    if (!m_fd.valid()) return errno == ELOOP ? fail(error, WalkError::SymbolicLink) : fail(error);
    if (mode != Mode::ReadOwnFile) return true;
    struct stat status {};
    if (sys::fstat(m_fd.get(), &status) != 0) return fail(error);
    if (!S_ISREG(status.st_mode)) {
        m_fd.reset();
        return fail(error, WalkError::NotRegularFile);
    }
    if (status.st_uid != ::geteuid()) {
        m_fd.reset();
        return fail(error, WalkError::OtherOwner);
    }
    return true;
}

bool File::size(std::uint64_t& bytes, std::error_code& error) const {
    struct stat info {};
    if (sys::fstat(m_fd.get(), &info) != 0) return fail(error);
    bytes = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool readSomeAt(int fd, std::uint64_t offset, void* buffer, std::size_t length, std::size_t& done,
                std::error_code& error) {
    done = 0;
    while (done < length) {
        const ssize_t got = sys::pread(fd, static_cast<char*>(buffer) + done, length - done,
                                       static_cast<off_t>(offset + done));
        if (got < 0) return fail(error);
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool File::readSomeAt(std::uint64_t offset, void* buffer, std::size_t length, std::size_t& done,
                      std::error_code& error) const {
    return platform::readSomeAt(m_fd.get(), offset, buffer, length, done, error);
}

bool File::readAt(std::uint64_t offset, void* buffer, std::size_t length, std::error_code& error) const {
    std::size_t done = 0;
    if (!readSomeAt(offset, buffer, length, done, error)) return false;
    if (done != length) return fail(error, std::make_error_code(std::errc::io_error));
    return true;
}

bool File::writeAt(std::uint64_t offset, const void* buffer, std::size_t length, std::error_code& error) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t written = sys::pwrite(m_fd.get(), static_cast<const char*>(buffer) + done,
                                            length - done, static_cast<off_t>(offset + done));
        if (written < 0) return fail(error);
        done += static_cast<std::size_t>(written);
    }
    return true;
}

bool File::truncate(std::uint64_t length, std::error_code& error) {
    return sys::ftruncate(m_fd.get(), static_cast<off_t>(length)) == 0 || fail(error);
}

bool File::sync(std::error_code& error) {
    return sys::fsync(m_fd.get()) == 0 || fail(error);
}

namespace {

// Reads `fd` to its end into `content`, refusing more than `limit` bytes.
bool readUpTo(int fd, std::uint64_t limit, std::string& content, std::error_code& error) {
    content.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t got = sys::read(fd, buffer, sizeof buffer);
        if (got < 0) return fail(error);
        if (got == 0) return true;
        if (content.size() + static_cast<std::uint64_t>(got) > limit)
            return fail(error, std::make_error_code(std::errc::file_too_large));
        content.append(buffer, static_cast<std::size_t>(got));
    }
}

}  // namespace

bool readSmallFile(const std::string& path, std::uint64_t limit, std::string& content,
                   std::error_code& error) {
    const UniqueFd fd(sys::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!fd.valid() || sys::fstat(fd.get(), &info) != 0) return fail(error);
    if (S_ISDIR(info.st_mode)) return fail(error, std::make_error_code(std::errc::is_a_directory));
    if (!S_ISREG(info.st_mode)) return fail(error, WalkError::NotRegularFile);
    if (static_cast<std::uint64_t>(info.st_size) > limit)
        return fail(error, std::make_error_code(std::errc::file_too_large));
    return readUpTo(fd.get(), limit, content, error);
}

bool readStandardInput(std::uint64_t limit, std::string& content, std::error_code& error) {
    return readUpTo(STDIN_FILENO, limit, content, error);
}

bool renameFile(const std::string& from, const std::string& to, std::error_code& error) {
    return sys::renameat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str()) == 0 || fail(error);
}

bool removeFile(const std::string& path, std::error_code& error) {
    return ::unlink(path.c_str()) == 0 || fail(error);
}

bool replaceFile(const std::string& path, const std::function<bool(File&, std::error_code&)>& write,
                 std::error_code& error, LinkAtPath link) {
    // Through a link the real file is the one to replace; renaming over the link would cut it.
    std::string target = path;
    std::error_code ignored;
    if (link == LinkAtPath::ReplaceTarget && !resolvePath(path, target, ignored)) target = path;

    File temp;
    std::string tempPath;
    if (!createTempBeside(target, link, temp, tempPath, error)) {
        if (!tempPath.empty()) removeFile(tempPath, ignored);
        return false;
    }
    // The temporary must be complete on disk before it may take the file's place.
    bool ok = write(temp, error) && temp.sync(error);
    ok = temp.close(error) && ok;
    ok = ok && renameFile(tempPath, target, error);
    if (!ok) {
        removeFile(tempPath, ignored);
        return false;
    }
    return flushFolder(folderOf(target), error);
}

}  // namespace tessel::platform
