#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <set>
#include <utility>

#include "platform/FileIo.h"
#include "platform/SysCall.h"

namespace tessel::platform {

namespace {

std::error_code errorOf(int code) {
    return {code, std::system_category()};
}

bool fail(std::error_code& error) {
    error = lastSystemError();
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Entries

std::uint32_t dosDateTime(std::int64_t seconds) {
    constexpr std::uint32_t kEarliest = (0u << 25) | (1u << 21) | (1u << 16);  // 1980-01-01 00:00:00
    constexpr std::uint32_t kLatest =
        (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;  // 2107-12-31 23:59:58
    // A copy carries its source's time, so a re-sync converts the same second twice in a row.
    static thread_local std::int64_t lastSeconds = 0;
    static thread_local std::uint32_t lastResult = 0;
    if (lastResult != 0 && seconds == lastSeconds) return lastResult;
    const time_t moment = static_cast<time_t>(seconds);
    tm local{};
    if (localtime_r(&moment, &local) == nullptr) return seconds < 0 ? kEarliest : kLatest;
    const int year = local.tm_year + 1900;
    if (year < 1980) return kEarliest;
    if (year > 2107) return kLatest;
    const std::uint32_t date = (static_cast<std::uint32_t>(year - 1980) << 9) |
                               (static_cast<std::uint32_t>(local.tm_mon + 1) << 5) |
                               static_cast<std::uint32_t>(local.tm_mday);
    // A leap second (tm_sec 60) still fits the five bits of the halved seconds.
    const std::uint32_t time = (static_cast<std::uint32_t>(local.tm_hour) << 11) |
                               (static_cast<std::uint32_t>(local.tm_min) << 5) |
                               static_cast<std::uint32_t>(local.tm_sec / 2);
    lastSeconds = seconds;
    lastResult = (date << 16) | time;
    return lastResult;
}

FileEntry fileEntryOf(const struct stat& info, std::string_view name) {
    FileEntry entry;
    entry.Time = dosDateTime(info.st_mtim.tv_sec);
    entry.Size = static_cast<std::uint64_t>(info.st_size);
    entry.Attr = static_cast<std::uint32_t>(info.st_mode & 0777) << kPermissionShift;
    if ((info.st_mode & S_IWUSR) == 0) entry.Attr |= faReadOnly;
    if (isHiddenName(name)) entry.Attr |= faHidden;
    if (S_ISDIR(info.st_mode)) entry.Attr |= faDirectory;
    entry.Name = std::string(name);
    return entry;
}

// ---------------------------------------------------------------------------------------------------
// Folders

Folder::~Folder() {
    if (m_fd >= 0) ::close(m_fd);
}

Folder::Folder(Folder&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)),
      m_identityKnown(std::exchange(other.m_identityKnown, false)),
      m_device(other.m_device),
      m_inode(other.m_inode) {}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_identityKnown = std::exchange(other.m_identityKnown, false);
        m_device = other.m_device;
        m_inode = other.m_inode;
    }
    return *this;
}

Folder Folder::open(const std::string& path, std::error_code& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) error = lastSystemError();
    return Folder(fd);
}

Folder Folder::openChild(const Folder& parent, const char* name, bool followLinks, std::error_code& error) {
    const int fd =
        ::openat(parent.fd(), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0) error = lastSystemError();
    return Folder(fd);
}

bool Folder::identity(dev_t& device, ino_t& inode) const {
    if (!m_identityKnown) {
        struct stat info {};
        if (m_fd < 0 || ::fstat(m_fd, &info) != 0) return false;
        m_device = info.st_dev;
        m_inode = info.st_ino;
        m_identityKnown = true;
    }
    device = m_device;
    inode = m_inode;
    return true;
}

bool listFolder(const Folder& folder, std::vector<ListedName>& names, std::error_code& error) {
    names.clear();
    if (::lseek(folder.fd(), 0, SEEK_SET) < 0) return fail(error);
    alignas(dirent64) char buffer[32 * 1024];
    for (;;) {
        const ssize_t got = ::getdents64(folder.fd(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            return fail(error);
        }
        if (got == 0) return true;
        for (ssize_t offset = 0; offset < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
            offset += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
            if (name[0] == '\0') continue;
            names.push_back({name, entry->d_type, static_cast<ino_t>(entry->d_ino)});
        }
    }
}

EntryKind examine(const Folder& folder, const char* name, unsigned char listedType, struct stat& info) {
    switch (listedType) {
        case DT_REG:
        case DT_DIR:
            if (::fstatat(folder.fd(), name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                return errno == ENOENT ? EntryKind::Missing : EntryKind::System;
            break;
        case DT_LNK:
        case DT_UNKNOWN:
            if (::fstatat(folder.fd(), name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                return errno == ENOENT ? EntryKind::Missing : EntryKind::System;
            if (S_ISLNK(info.st_mode)) {
                if (::fstatat(folder.fd(), name, &info, 0) != 0) return EntryKind::System;
                if (S_ISDIR(info.st_mode)) return EntryKind::FolderLink;
                return S_ISREG(info.st_mode) ? EntryKind::File : EntryKind::System;
            }
            break;
        default:
            return EntryKind::System;
    }
    if (S_ISREG(info.st_mode)) return EntryKind::File;
    if (S_ISDIR(info.st_mode)) return EntryKind::Folder;
    return EntryKind::System;
}

Presence presenceAsFile(const Folder& folder, const char* name) {
    struct stat info {};
    if (::fstatat(folder.fd(), name, &info, AT_SYMLINK_NOFOLLOW) == 0)
        return S_ISDIR(info.st_mode) ? Presence::Absent : Presence::Present;
    return errno == ENOENT ? Presence::Absent : Presence::Unknown;
}

bool makeChildFolder(const Folder& parent, const char* name, bool& created, std::error_code& error) {
    created = false;
    if (::mkdirat(parent.fd(), name, 0777) == 0) {
        created = true;
        return true;
    }
    if (errno != EEXIST) return fail(error);
    struct stat info {};
    if (::fstatat(parent.fd(), name, &info, 0) != 0) return fail(error);
    if (!S_ISDIR(info.st_mode)) {
        error = errorOf(ENOTDIR);
        return false;
    }
    return true;
}

bool isExistingFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool makeFolder(const std::string& path, std::error_code& error) {
    if (::mkdir(path.c_str(), 0777) != 0) return fail(error);
    return true;
}

// ---------------------------------------------------------------------------------------------------
// Copy, move, delete

namespace {

// File systems (by device pair) known to refuse block sharing or in-kernel copies, so the refusal
// costs one failed call per file system instead of one per file.
struct RefusedCopies {
    std::set<std::pair<dev_t, dev_t>> clone;
    std::set<std::pair<dev_t, dev_t>> copyRange;
};

RefusedCopies& refusedCopies() {
    static RefusedCopies refused;
    return refused;
}

bool isRefusal(int code) {
    return code == EOPNOTSUPP || code == ENOTTY || code == EXDEV || code == EINVAL || code == ENOSYS ||
           code == EBADF || code == EPERM;
}

mode_t currentUmask() {
    static const mode_t mask = [] {
        const mode_t previous = ::umask(022);
        ::umask(previous);
        return previous;
    }();
    return mask;
}

// Copies [offset, offset + length) of `in` to the same place in `out` through a buffer.
bool copyByReadWrite(int in, int out, std::uint64_t offset, std::uint64_t length, std::error_code& error) {
    static thread_local std::vector<char> buffer(256 * 1024);
    const std::uint64_t end = offset + length;
    while (offset < end) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), end - offset));
        const ssize_t got = sys::pread(in, buffer.data(), want, static_cast<off_t>(offset));
        if (got < 0) {
            if (errno == EINTR) continue;
            return fail(error);
        }
        if (got == 0) break;  // the file shrank since it was examined
        for (ssize_t written = 0; written < got;) {
            const ssize_t put =
                sys::pwrite(out, buffer.data() + written, static_cast<std::size_t>(got - written),
                            static_cast<off_t>(offset + static_cast<std::uint64_t>(written)));
            if (put < 0) {
                if (errno == EINTR) continue;
                return fail(error);
            }
            written += put;
        }
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

// Copies [offset, offset + length) of `in` to the same place in `out`: in the kernel where the file
// systems allow it, else through a buffer.
bool copyRange(int in, int out, std::uint64_t offset, std::uint64_t length, std::pair<dev_t, dev_t> devices,
               std::error_code& error) {
    RefusedCopies& refused = refusedCopies();
    if (!refused.copyRange.contains(devices)) {
        std::uint64_t copied = 0;
        while (copied < length) {
            const std::size_t chunk =
                static_cast<std::size_t>(std::min<std::uint64_t>(length - copied, 1u << 30));
            loff_t inOffset = static_cast<loff_t>(offset + copied), outOffset = inOffset;
            const ssize_t done = sys::copy_file_range(in, &inOffset, out, &outOffset, chunk);
            if (done < 0) {
                if (errno == EINTR) continue;
                if (copied == 0 && isRefusal(errno)) {
                    refused.copyRange.insert(devices);
                    return copyByReadWrite(in, out, offset, length, error);
                }
                return fail(error);
            }
            if (done == 0) return true;  // the file shrank since it was examined
            copied += static_cast<std::uint64_t>(done);
        }
        return true;
    }
    return copyByReadWrite(in, out, offset, length, error);
}

// Copies the first `length` bytes of `in` to `out`: by sharing blocks where the file system can,
// else range by range. A file with holes (fewer blocks than its size needs) keeps them: only its data
// is copied and the size set at the end, so a sparse disk image does not balloon.
bool copyData(int in, int out, std::uint64_t length, const struct stat& srcInfo,
              std::pair<dev_t, dev_t> devices, std::error_code& error) {
    RefusedCopies& refused = refusedCopies();
    if (length == 0) return true;
    if (!refused.clone.contains(devices)) {
        if (::ioctl(out, FICLONE, in) == 0) return true;
        if (!isRefusal(errno)) return fail(error);
        refused.clone.insert(devices);
    }
    const bool sparse = static_cast<std::uint64_t>(srcInfo.st_blocks) * 512 < length;
    if (!sparse) return copyRange(in, out, 0, length, devices, error);

    for (off_t data = 0;;) {
        data = ::lseek(in, data, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) break;  // no data after this point: the rest is a hole
            return copyRange(in, out, 0, length, devices, error);  // no hole support here
        }
        if (static_cast<std::uint64_t>(data) >= length) break;
        off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0) return fail(error);
        hole = std::min<off_t>(hole, static_cast<off_t>(length));
        if (!copyRange(in, out, static_cast<std::uint64_t>(data), static_cast<std::uint64_t>(hole - data),
                       devices, error))
            return false;
        data = hole;
    }
    if (::ftruncate(out, static_cast<off_t>(length)) != 0) return fail(error);
    return true;
}

// A finished copy waiting to be put in place: an unnamed file still open, or a hidden temporary.
struct PendingCopy {
    int fd = -1;       // the unnamed file; -1 once closed
    std::string name;  // the hidden temporary's name; empty for an unnamed file

    PendingCopy() = default;
    PendingCopy(const PendingCopy&) = delete;
    PendingCopy& operator=(const PendingCopy&) = delete;
    ~PendingCopy() {
        if (fd >= 0) ::close(fd);  // an unnamed file vanishes with its descriptor
    }
};

pid_t processId() {
    static const pid_t id = ::getpid();
    return id;
}

std::set<dev_t>& refusedUnnamedFiles() {
    static std::set<dev_t> refused;
    return refused;
}

// Creates the file the copy is written into. Where the destination is absent and the file system
// allows it, the file has no name until the copy is complete, so a killed run leaves nothing behind
// and putting it in place costs one directory change instead of two.
int createCopyFile(const Folder& dstFolder, dev_t device, mode_t mode, bool unnamed, PendingCopy& copy) {
    if (unnamed && !refusedUnnamedFiles().contains(device)) {
        const int fd = sys::openat(dstFolder.fd(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
        refusedUnnamedFiles().insert(device);
    }
    static unsigned counter = 0;
    char name[64];
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::snprintf(name, sizeof name, "%.*s%x-%x.tmp", static_cast<int>(kTemporaryPrefix.size()),
                      kTemporaryPrefix.data(), static_cast<unsigned>(processId()), ++counter);
        const int fd = sys::openat(dstFolder.fd(), name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            copy.name = name;
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

// Writes a complete copy of the source, with the source's times and permissions, into a new file in
// the destination folder that `copy` describes.
bool writeCopy(const Folder& srcFolder, const char* srcName, const struct stat& srcInfo,
               const Folder& dstFolder, bool unnamed, PendingCopy& copy, std::error_code& error) {
    const int in = sys::openat(srcFolder.fd(), srcName, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (in < 0) return fail(error);

    dev_t device = 0;
    ino_t inode = 0;
    dstFolder.identity(device, inode);
    // Created with the owner's write bit, so a read-only source can be written into it.
    const mode_t mode = srcInfo.st_mode & 0777;
    const int out = createCopyFile(dstFolder, device, mode | S_IWUSR, unnamed, copy);
    if (out < 0) {
        error = lastSystemError();
        ::close(in);
        return false;
    }
    bool ok = copyData(in, out, static_cast<std::uint64_t>(srcInfo.st_size), srcInfo,
                       {srcInfo.st_dev, device}, error);
    if (ok) {
        const timespec times[2] = {srcInfo.st_atim, srcInfo.st_mtim};
        if (::futimens(out, times) != 0) ok = fail(error);
    }
    // The umask may have taken bits away; set the exact permissions only when it did.
    const mode_t created = (mode | S_IWUSR) & ~currentUmask();
    if (ok && created != mode && ::fchmod(out, mode) != 0) ok = fail(error);
    ::close(in);
    if (copy.name.empty()) {
        copy.fd = out;
    } else {
        // A write error may only show when the file is closed; the name must not replace anything then.
        if (::close(out) != 0 && ok) ok = fail(error);
        if (!ok) ::unlinkat(dstFolder.fd(), copy.name.c_str(), 0);
    }
    return ok;
}

// Gives an unnamed copy its name; fails when the name is taken, so nothing is ever replaced.
bool linkUnnamed(PendingCopy& copy, const Folder& dstFolder, const char* dstName, std::error_code& error) {
    static bool emptyPathRefused = false;
    if (!emptyPathRefused) {
        if (sys::linkat(copy.fd, "", dstFolder.fd(), dstName, AT_EMPTY_PATH) == 0) return true;
        if (errno != ENOENT && errno != EPERM) return fail(error);
        emptyPathRefused = true;  // needs a capability this process lacks
    }
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", copy.fd);
    if (sys::linkat(AT_FDCWD, path, dstFolder.fd(), dstName, AT_SYMLINK_FOLLOW) != 0) return fail(error);
    return true;
}

// Gives the temporary its final name without ever replacing an existing entry.
bool renameNoReplace(int fromFolder, const char* from, int toFolder, const char* to, std::error_code& error) {
    if (sys::renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return fail(error);
    // The file system has no exclusive rename: a hard link fails when the name is taken.
    if (::linkat(fromFolder, from, toFolder, to, 0) != 0) return fail(error);
    ::unlinkat(fromFolder, from, 0);
    return true;
}

bool refuseDestination(const struct stat* dstInfo, std::error_code& error) {
    if (dstInfo == nullptr) return false;
    if (S_ISDIR(dstInfo->st_mode)) {
        error = errorOf(EISDIR);
        return true;
    }
    if ((dstInfo->st_mode & S_IWUSR) == 0) {
        error = errorOf(EACCES);
        return true;
    }
    return false;
}

}  // namespace

bool copyFile(const Folder& srcFolder, const char* srcName, const struct stat& srcInfo,
              const Folder& dstFolder, const char* dstName, const struct stat* dstInfo,
              std::error_code& error) {
    if (refuseDestination(dstInfo, error)) return false;
    PendingCopy copy;
    if (!writeCopy(srcFolder, srcName, srcInfo, dstFolder, dstInfo == nullptr, copy, error)) return false;
    if (copy.name.empty()) return linkUnnamed(copy, dstFolder, dstName, error);
    if (sys::renameat(dstFolder.fd(), copy.name.c_str(), dstFolder.fd(), dstName) != 0) {
        error = lastSystemError();
        ::unlinkat(dstFolder.fd(), copy.name.c_str(), 0);
        return false;
    }
    return true;
}

bool moveFile(const Folder& srcFolder, const char* srcName, const struct stat& srcInfo,
              const Folder& dstFolder, const char* dstName, const struct stat* dstInfo,
              std::error_code& error) {
    if (dstInfo != nullptr) {
        error = errorOf(EEXIST);
        return false;
    }
    if (renameNoReplace(srcFolder.fd(), srcName, dstFolder.fd(), dstName, error)) return true;
    if (error.value() != EXDEV) return false;

    // Another file system: copy, put the copy in place, and only then remove the source.
    PendingCopy copy;
    if (!writeCopy(srcFolder, srcName, srcInfo, dstFolder, true, copy, error)) return false;
    if (copy.name.empty()) {
        if (!linkUnnamed(copy, dstFolder, dstName, error)) return false;
    } else if (!renameNoReplace(dstFolder.fd(), copy.name.c_str(), dstFolder.fd(), dstName, error)) {
        ::unlinkat(dstFolder.fd(), copy.name.c_str(), 0);
        return false;
    }
    if (::unlinkat(srcFolder.fd(), srcName, 0) != 0) return fail(error);
    return true;
}

bool deleteFile(const Folder& folder, const char* name, std::error_code& error) {
    struct stat info {};
    if (::fstatat(folder.fd(), name, &info, AT_SYMLINK_NOFOLLOW) != 0) return fail(error);
    if (S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0) {
        error = errorOf(EACCES);
        return false;
    }
    if (::unlinkat(folder.fd(), name, 0) != 0) return fail(error);
    return true;
}

bool isStaleTemporary(std::string_view name) {
    if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(".tmp")) return false;
    const std::string_view middle =
        name.substr(kTemporaryPrefix.size(), name.size() - kTemporaryPrefix.size() - 4);
    const auto dash = middle.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash + 1 == middle.size() || dash > 8 ||
        middle.size() - dash - 1 > 8)
        return false;
    const auto isHex = [](std::string_view digits) {
        return std::all_of(digits.begin(), digits.end(),
                           [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
    };
    if (!isHex(middle.substr(0, dash)) || !isHex(middle.substr(dash + 1))) return false;
    const auto pid = static_cast<pid_t>(std::stoul(std::string(middle.substr(0, dash)), nullptr, 16));
    if (pid == processId()) return false;
    // A process that still runs may be writing it right now.
    return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

void removeStaleTemporaries(const Folder& folder, const std::vector<ListedName>& names) {
    for (const ListedName& entry : names) {
        if (entry.type == DT_REG && isStaleTemporary(entry.name))
            ::unlinkat(folder.fd(), entry.name.c_str(), 0);
    }
}

}  // namespace tessel::platform
