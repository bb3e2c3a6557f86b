#pragma once
// The file operations the platform layer makes, each passing through the fault seam first so tests
// can make any of them fail. Internal to platform/.

#include <fcntl.h>
#include <stdio.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>

#include "platform/Faults.h"

namespace tessel::platform::sys {

using faults::failNow;
using faults::Operation;

inline int open(const char* path, int flags, mode_t mode = 0) {
    return failNow(Operation::Open) ? -1 : ::open(path, flags, mode);
}
inline int openat(int folder, const char* path, int flags, mode_t mode = 0) {
    if (failNow(Operation::Open)) return -1;
    if ((flags & O_TMPFILE) == O_TMPFILE && failNow(Operation::UnnamedFile)) return -1;
    return ::openat(folder, path, flags, mode);
}
inline ssize_t pread(int fd, void* buffer, size_t length, off_t offset) {
    return failNow(Operation::Read) ? -1 : ::pread(fd, buffer, length, offset);
}
inline ssize_t read(int fd, void* buffer, size_t length) {
    return failNow(Operation::Read) ? -1 : ::read(fd, buffer, length);
}
inline ssize_t write(int fd, const void* buffer, size_t length) {
    return failNow(Operation::Write) ? -1 : ::write(fd, buffer, length);
}
inline ssize_t pwrite(int fd, const void* buffer, size_t length, off_t offset) {
    return failNow(Operation::Write) ? -1 : ::pwrite(fd, buffer, length, offset);
}
// Reads the source and writes the destination in one call, so it can fail either way.
inline ssize_t copy_file_range(int in, loff_t* inOffset, int out, loff_t* outOffset, size_t length) {
    if (failNow(Operation::Read) || failNow(Operation::Write)) return -1;
    return ::copy_file_range(in, inOffset, out, outOffset, length, 0);
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

inline int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
    return failNow(Operation::SetAttribute) ? -1 : ::fsetxattr(fd, name, value, size, flags);
}

inline int inotify_add_watch(int fd, const char* path, std::uint32_t mask) {
    return failNow(Operation::Follow) ? -1 : ::inotify_add_watch(fd, path, mask);
}

}  // namespace tessel::platform::sys
