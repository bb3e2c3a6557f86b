#include "platform/Folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/Process.h"
#include "platform/SysCall.h"

namespace tessel::platform {

namespace {

class WalkErrorCategory : public std::error_category {
  public:
    const char* name() const noexcept override { return "tessel-walk"; }
    std::string message(int value) const override {
        switch (static_cast<WalkError>(value)) {
            case WalkError::SymbolicLink:
                return "a symbolic link, not followed";
            case WalkError::NotRegularFile:
                return "not a regular file";
            case WalkError::DestinationNotRegular:
                return "the destination is not a regular file";
            case WalkError::ChangedWhileCopied:
                return "the file changed while it was copied";
            case WalkError::ChangedSinceExamined:
                return "the file changed after the run examined it";
            case WalkError::ChangedSincePreview:
                return "it is not as the preview found it, or not in the plan; left as it is";
            case WalkError::FolderChanged:
                return "the folder was replaced during the run";
            case WalkError::OtherOwner:
                return "it belongs to another user";
            case WalkError::VersionsNotPrivate:
                return "the versions folder belongs to another user or others may write in it";
            case WalkError::ForeignLink:
                return "a link to a file of another owner outside the tree, not followed";
            case WalkError::NameRefused:
                return "the file system it was to go to cannot hold this name";
            case WalkError::NameClash:
                return "another name of its folder differs from it only in letter case, and the file system "
                       "it was "
                       "to go to does not tell the two apart";
            case WalkError::LinksNotHeld:
                return "the file system it was to go to cannot hold symbolic links";
            case WalkError::ForeignFolder:
                return "another user's folder that others may write in, while the folder it mirrors is "
                       "private; skipped";
        }
        return "unknown error";
    }
};

FileTime timeOf(const timespec& time) {
    return {time.tv_sec, static_cast<std::int32_t>(time.tv_nsec)};
}

void describe(const struct stat& status, FileInfo& info) {
    info.size = static_cast<std::uint64_t>(status.st_size);
    info.allocated = static_cast<std::uint64_t>(status.st_blocks) * 512;
    info.modified = timeOf(status.st_mtim);
    info.accessed = timeOf(status.st_atim);
    info.changed = timeOf(status.st_ctim);
    info.mode = status.st_mode & 07777;
    info.owner = status.st_uid;
    info.group = status.st_gid;
    info.device = status.st_dev;
    info.inode = status.st_ino;
}

EntryKind kindOf(mode_t mode) {
    if (S_ISREG(mode)) return EntryKind::File;
    if (S_ISDIR(mode)) return EntryKind::Folder;
    return EntryKind::Special;
}

}  // namespace

std::error_code make_error_code(WalkError error) {
    static const WalkErrorCategory category;
    return {static_cast<int>(error), category};
}

Folder Folder::adopt(int fd, std::error_code& error) {
    Folder folder(fd);
    struct stat status {};
    if (sys::fstat(fd, &status) != 0) {
        error = lastSystemError();
        return Folder();
    }
    folder.m_device = status.st_dev;
    folder.m_inode = status.st_ino;
    folder.m_owner = status.st_uid;
    folder.m_group = status.st_gid;
    folder.m_mode = status.st_mode & 07777;
    return folder;
}

Folder Folder::open(const std::string& path, std::error_code& error, LastName last) {
    if (last == LastName::MayBeLink) {
        const int fd = sys::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            error = lastSystemError();
            return Folder();
        }
        return adopt(fd, error);
    }
    // A trailing "/" would make the system follow a link at the end after all.
    std::string name = path;
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    const int fd = sys::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) return adopt(fd, error);
    error = lastSystemError();
    struct stat status {};
    if ((errno == ELOOP || errno == ENOTDIR) && ::lstat(name.c_str(), &status) == 0 &&
        S_ISLNK(status.st_mode))
        error = WalkError::SymbolicLink;
    return Folder();
}

Folder Folder::openChild(const Folder& parent, const std::string& name, std::error_code& error) {
    const int fd = sys::openat(parent.fd(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) return adopt(fd, error);
    error = lastSystemError();
    // O_NOFOLLOW says ELOOP, O_DIRECTORY may say ENOTDIR first: either way a link is the reason.
    struct stat status {};
    if ((errno == ELOOP || errno == ENOTDIR) &&
        sys::fstatat(parent.fd(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode))
        error = WalkError::SymbolicLink;
    return Folder();
}

Folder Folder::openBelow(const Folder& base, const std::string& relative, std::error_code& error) {
    Folder folder = openChild(base, ".", error);
    for (std::size_t start = 0; folder.valid() && start < relative.size();) {
        const std::size_t slash = relative.find('/', start);
        folder = openChild(folder, relative.substr(start, slash - start), error);
        start = slash == std::string::npos ? relative.size() : slash + 1;
    }
    return folder;
}

bool Folder::identity(std::uint64_t& device, std::uint64_t& inode) const {
    if (!valid()) return false;
    device = m_device;
    inode = m_inode;
    return true;
}

std::uint32_t Folder::groupOfNewFiles() const {
    return (m_mode & S_ISGID) != 0 ? m_group : processGroup();
}

bool Folder::sameFolderAs(const Folder& other) const {
    std::uint64_t device = 0, inode = 0, otherDevice = 0, otherInode = 0;
    return identity(device, inode) && other.identity(otherDevice, otherInode) && device == otherDevice &&
           inode == otherInode;
}

bool Folder::info(FileInfo& info, std::error_code& error) const {
    struct stat status {};
    if (sys::fstat(fd(), &status) != 0) return fail(error);
    info.kind = EntryKind::Folder;
    describe(status, info);
    return true;
}

namespace {

// Sorts by name, moving each name once: the comparisons look at the names where they are.
void sortByName(std::vector<ListedName>& names) {
    // Names are short: a plain loop beats a call to memcmp per comparison.
    const auto lessName = [](const ListedName& a, const ListedName& b) {
        const auto* x = reinterpret_cast<const unsigned char*>(a.name.data());
        const auto* y = reinterpret_cast<const unsigned char*>(b.name.data());
        const std::size_t common = std::min(a.name.size(), b.name.size());
        for (std::size_t i = 0; i < common; ++i)
            if (x[i] != y[i]) return x[i] < y[i];
        return a.name.size() < b.name.size();
    };
    std::vector<std::uint32_t> order(names.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return lessName(names[a], names[b]); });
    std::vector<ListedName> sorted;
    sorted.reserve(names.size());
    for (const std::uint32_t index : order) sorted.push_back(std::move(names[index]));
    names.swap(sorted);
}

}  // namespace

bool listFolder(const Folder& folder, std::vector<ListedName>& names, std::error_code& error,
                ListOrder order) {
    names.clear();
    if (::lseek(folder.fd(), 0, SEEK_SET) < 0) return fail(error);
    alignas(dirent64) char buffer[32 * 1024];
    for (;;) {
        const ssize_t got = sys::getdents64(folder.fd(), buffer, sizeof buffer);
        if (got < 0) return fail(error);
        if (got == 0) break;
        for (ssize_t offset = 0; offset < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
            offset += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '\0') continue;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
            ListedType type = ListedType::Other;
            switch (entry->d_type) {
                case DT_REG:
                    type = ListedType::File;
                    break;
                case DT_DIR:
                    type = ListedType::Folder;
                    break;
                case DT_LNK:
                    type = ListedType::Link;
                    break;
                case DT_UNKNOWN:
                    type = ListedType::Unknown;
                    break;
                default:
                    break;
            }
            names.push_back({name, type});
        }
    }
    if (order == ListOrder::ByName) sortByName(names);
    return true;
}

bool readLink(const Folder& folder, const std::string& name, std::string& target, std::error_code& error,
              std::uint64_t length) {
    // The size a link reports is its target's length, except on file systems that say 0 (procfs): a
    // buffer that comes back full is made larger and read again.
    std::size_t size = length > 0 && length < 65536 ? static_cast<std::size_t>(length) + 1 : 256;
    for (;;) {
        target.resize(size);
        const ssize_t got = sys::readlinkat(folder.fd(), name.c_str(), target.data(), size);
        if (got < 0) return fail(error);
        if (static_cast<std::size_t>(got) < size) {
            target.resize(static_cast<std::size_t>(got));
            return true;
        }
        size *= 2;
    }
}

EntryKind examine(const Folder& folder, const std::string& name, ListedType listed, FileInfo& info,
                  std::error_code& error, LinkLook look) {
    info = FileInfo{};
    struct stat status {};
    if (listed == ListedType::Other) {
        info.kind = EntryKind::Special;
        return info.kind;
    }
    if (sys::fstatat(folder.fd(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        error = lastSystemError();
        info.kind = errno == ENOENT ? EntryKind::Missing : EntryKind::Unreadable;
        return info.kind;
    }
    if (S_ISLNK(status.st_mode) && look == LinkLook::AsLink) {
        if (!readLink(folder, name, info.linkTarget, error, static_cast<std::uint64_t>(status.st_size))) {
            info.kind =
                error == std::errc::no_such_file_or_directory ? EntryKind::Missing : EntryKind::Unreadable;
            return info.kind;
        }
        info.kind = EntryKind::File;
        info.isLink = true;
        describe(status, info);
        return info.kind;
    }
    if (S_ISLNK(status.st_mode)) {
        info.viaLink = true;
        const std::uint32_t linkOwner = status.st_uid;
        if (sys::fstatat(folder.fd(), name.c_str(), &status, 0) != 0) {
            info.kind = EntryKind::Special;  // leads nowhere, or somewhere it may not look
            return info.kind;
        }
        info.kind = S_ISDIR(status.st_mode) ? EntryKind::FolderLink : kindOf(status.st_mode);
        describe(status, info);
        info.linkOwner = linkOwner;
        return info.kind;
    }
    info.kind = kindOf(status.st_mode);
    describe(status, info);
    return info.kind;
}

Presence presenceAsFile(const Folder& folder, const std::string& name) {
    struct stat status {};
    if (sys::fstatat(folder.fd(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0)
        return S_ISDIR(status.st_mode) ? Presence::Absent : Presence::Present;
    return errno == ENOENT ? Presence::Absent : Presence::Unknown;
}

std::optional<FileTime> birthTime(const Folder& folder, const std::string& name) {
    struct statx status {};
    if (::statx(folder.fd(), name.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT, STATX_BTIME,
                &status) != 0 ||
        (status.stx_mask & STATX_BTIME) == 0)
        return std::nullopt;
    return FileTime{status.stx_btime.tv_sec, static_cast<std::int32_t>(status.stx_btime.tv_nsec)};
}

bool makeChildFolder(const Folder& parent, const std::string& name, std::uint32_t mode, bool& created,
                     std::error_code& error) {
    created = false;
    // Made with the owner's full access, so the walk can fill it; finishFolder gives it its exact bits.
    // A private folder stays private all along: group and others never get more than the source gives.
    if (sys::mkdirat(parent.fd(), name.c_str(), (static_cast<mode_t>(mode) & 0777) | S_IRWXU) == 0) {
        created = true;
        return true;
    }
    if (errno != EEXIST) return fail(error);
    struct stat status {};
    if (sys::fstatat(parent.fd(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return fail(error);
    if (S_ISLNK(status.st_mode)) return fail(error, WalkError::SymbolicLink);
    if (!S_ISDIR(status.st_mode)) return fail(error, std::make_error_code(std::errc::not_a_directory));
    return true;
}

bool finishFolder(const Folder& folder, const FileInfo& like, bool created, std::error_code& error) {
    bool ok = true;
    if (created) {
        // Only root may hand a folder to another owner; for anyone else it stays theirs, and then the
        // set-id bits go, as with any copy.
        const bool ownerKept = sys::fchown(folder.fd(), like.owner, like.group) == 0;
        if (sys::fchmod(folder.fd(), ownerKept ? like.mode : like.mode & 01777) != 0) ok = fail(error);
    }
    const timespec times[2] = {{static_cast<time_t>(like.accessed.seconds), like.accessed.nanoseconds},
                               {static_cast<time_t>(like.modified.seconds), like.modified.nanoseconds}};
    if (sys::futimens(folder.fd(), times) != 0 && ok) ok = fail(error);
    return ok;
}

bool isSharedByAnotherUser(const Folder& folder) {
    const std::uint32_t user = processUser();
    return folder.valid() && folder.owner() != user && folder.owner() != 0 && (folder.mode() & 022) != 0;
}

bool linkLeadsInside(const Folder& folder, const std::string& name, const std::string& resolvedRoot) {
    const UniqueFd target(sys::openat(folder.fd(), name.c_str(), O_PATH | O_CLOEXEC));
    if (!target.valid()) return false;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", target.get());
    std::string resolved(4096, '\0');
    const ssize_t length = ::readlink(path, resolved.data(), resolved.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= resolved.size()) return false;
    resolved.resize(static_cast<std::size_t>(length));
    const std::string root = resolvedRoot.size() > 1 && resolvedRoot.back() == '/'
                                 ? resolvedRoot.substr(0, resolvedRoot.size() - 1)
                                 : resolvedRoot;
    return root == "/" || resolved.starts_with(root + "/");
}

bool isExistingFolder(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool ForceFolders(const std::string& Path, std::error_code& error) {
    bool result = !(Path.empty() || Path == "/");
    if (!result) error = std::make_error_code(std::errc::invalid_argument);
    const std::string path = !Path.empty() && Path.back() == '/' ? Path : Path + '/';
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '/') continue;
        const std::string prefix = path.substr(0, i + 1);
        if (isExistingFolder(prefix)) continue;
        if (::mkdir(prefix.c_str(), 0777) != 0 && !(errno == EEXIST && isExistingFolder(prefix))) {
            if (result) error = lastSystemError();
            result = false;
        }
    }
    return result;
}

}  // namespace tessel::platform
