#pragma once
// The file operations the platform layer makes, each passing through the fault seam first so tests
// can make any of them fail, and each tried again where a signal interrupted it (EINTR), so no caller
// has a loop of its own for that. Internal to platform/. Cleanups after a failure that has already
// been reported (removing a temporary) call the system directly: they are not where a run can fail.

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/Faults.h"

namespace tessel::platform::sys {

using faults::failNow;
using faults::Operation;

// Calls `call` until a signal no longer interrupts it; the seam's planned failure comes first, each time.
template <typename Call>
auto retried(Operation operation, Call call) -> decltype(call()) {
    for (;;) {
        if (failNow(operation)) {
            if (errno == EINTR) continue;
            return -1;
        }
        const auto result = call();
        if (result == -1 && errno == EINTR) continue;
        return result;
    }
}

inline int open(const char* path, int flags, mode_t mode = 0) {
    return retried(Operation::Open, [&] { return ::open(path, flags, mode); });
}
inline int openat(int folder, const char* path, int flags, mode_t mode = 0) {
    if (failNow(Operation::Open)) return -1;
    if ((flags & O_TMPFILE) == O_TMPFILE && failNow(Operation::UnnamedFile)) return -1;
    return retried(Operation::Open, [&] { return ::openat(folder, path, flags, mode); });
}
inline ssize_t pread(int fd, void* buffer, size_t length, off_t offset) {
    return retried(Operation::Read, [&] { return ::pread(fd, buffer, length, offset); });
}
inline ssize_t read(int fd, void* buffer, size_t length) {
    return retried(Operation::Read, [&] { return ::read(fd, buffer, length); });
}
inline ssize_t write(int fd, const void* buffer, size_t length) {
    return retried(Operation::Write, [&] { return ::write(fd, buffer, length); });
}
inline ssize_t pwrite(int fd, const void* buffer, size_t length, off_t offset) {
    return retried(Operation::Write, [&] { return ::pwrite(fd, buffer, length, offset); });
}
// Reads the source and writes the destination in one call, so it can fail either way.
inline ssize_t copy_file_range(int in, loff_t* inOffset, int out, loff_t* outOffset, size_t length) {
    if (failNow(Operation::Read)) return -1;
    return retried(Operation::Write,
                   [&] { return ::copy_file_range(in, inOffset, out, outOffset, length, 0); });
}
inline ssize_t getdents64(int folder, void* buffer, size_t length) {
    return retried(Operation::List, [&] { return ::getdents64(folder, buffer, length); });
}
inline int ftruncate(int fd, off_t length) {
    return retried(Operation::Write, [&] { return ::ftruncate(fd, length); });
}
inline int fstat(int fd, struct stat* status) {
    return failNow(Operation::Examine) ? -1 : ::fstat(fd, status);
}
inline int fstatat(int folder, const char* name, struct stat* status, int flags) {
    return failNow(Operation::Examine) ? -1 : ::fstatat(folder, name, status, flags);
}
inline int fchmod(int fd, mode_t mode) {
    return failNow(Operation::Settle) ? -1 : ::fchmod(fd, mode);
}
inline int fchown(int fd, uid_t owner, gid_t group) {
    return failNow(Operation::Settle) ? -1 : ::fchown(fd, owner, group);
}
inline int futimens(int fd, const timespec times[2]) {
    return failNow(Operation::Settle) ? -1 : ::futimens(fd, times);
}
inline int fsync(int fd) {
    return retried(Operation::Flush, [&] { return ::fsync(fd); });
}
inline ssize_t flistxattr(int fd, char* list, size_t size) {
    return failNow(Operation::Read) ? -1 : ::flistxattr(fd, list, size);
}
inline ssize_t fgetxattr(int fd, const char* name, void* value, size_t size) {
    return failNow(Operation::Read) ? -1 : ::fgetxattr(fd, name, value, size);
}
inline int renameat(int fromFolder, const char* from, int toFolder, const char* to) {
    return failNow(Operation::Rename) ? -1 : ::renameat(fromFolder, from, toFolder, to);
}
inline int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
    if (failNow(Operation::Rename)) return -1;
    if ((flags & RENAME_NOREPLACE) != 0 && failNow(Operation::RenameNoReplace)) return -1;
    return ::renameat2(fromFolder, from, toFolder, to, flags);
}

inline int mkdirat(int folder, const char* name, mode_t mode) {
    return failNow(Operation::MakeFolder) ? -1 : ::mkdirat(folder, name, mode);
}
inline int unlinkat(int folder, const char* name, int flags) {
    return failNow(Operation::Unlink) ? -1 : ::unlinkat(folder, name, flags);
}

inline int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
    return failNow(Operation::Rename) || failNow(Operation::Link)
               ? -1
               : ::linkat(fromFolder, from, toFolder, to, flags);
}

inline int symlinkat(const char* target, int folder, const char* name) {
    return failNow(Operation::MakeLink) ? -1 : ::symlinkat(target, folder, name);
}
inline ssize_t readlinkat(int folder, const char* name, char* buffer, size_t size) {
    return failNow(Operation::Examine) ? -1 : ::readlinkat(folder, name, buffer, size);
}
// A link's own times and owner (with AT_SYMLINK_NOFOLLOW).
inline int utimensat(int folder, const char* name, const timespec times[2], int flags) {
    return failNow(Operation::Settle) ? -1 : ::utimensat(folder, name, times, flags);
}
inline int fchownat(int folder, const char* name, uid_t owner, gid_t group, int flags) {
    return failNow(Operation::Settle) ? -1 : ::fchownat(folder, name, owner, group, flags);
}

inline int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
    return failNow(Operation::SetAttribute) ? -1 : ::fsetxattr(fd, name, value, size, flags);
}

inline int inotify_add_watch(int fd, const char* path, std::uint32_t mask) {
    return failNow(Operation::Follow) ? -1 : ::inotify_add_watch(fd, path, mask);
}

}  // namespace tessel::platform::sys
