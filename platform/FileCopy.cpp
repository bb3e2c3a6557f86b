#include "platform/FileCopy.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/DataCopy.h"
#include "platform/Process.h"
#include "platform/SysCall.h"
#include "platform/Versions.h"
#include "platform/WorkingNames.h"

namespace tessel::platform {

namespace {

FileInfo describeOpen(const struct stat& status) {
    FileInfo info;
    info.kind = S_ISREG(status.st_mode) ? EntryKind::File : EntryKind::Special;
    info.size = static_cast<std::uint64_t>(status.st_size);
    info.allocated = static_cast<std::uint64_t>(status.st_blocks) * 512;
    info.modified = {status.st_mtim.tv_sec, static_cast<std::int32_t>(status.st_mtim.tv_nsec)};
    info.accessed = {status.st_atim.tv_sec, static_cast<std::int32_t>(status.st_atim.tv_nsec)};
    info.changed = {status.st_ctim.tv_sec, static_cast<std::int32_t>(status.st_ctim.tv_nsec)};
    info.mode = status.st_mode & 07777;
    info.owner = status.st_uid;
    info.group = status.st_gid;
    info.device = status.st_dev;
    info.inode = status.st_ino;
    return info;
}

// Opens the file to copy and says what it is now. A pipe swapped in after the walk looked must neither
// hang the run (O_NONBLOCK) nor be read; a link is followed only where the walk found one to a file.
bool openSource(const Folder& folder, const std::string& name, bool viaLink, UniqueFd& in, FileInfo& now,
                std::error_code& error) {
    in.reset(sys::openat(folder.fd(), name.c_str(),
                         O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (viaLink ? 0 : O_NOFOLLOW)));
    if (!in.valid()) {
        if (errno == ELOOP) return fail(error, WalkError::SymbolicLink);
        return fail(error);
    }
    struct stat status {};
    if (sys::fstat(in.get(), &status) != 0) return fail(error);
    if (!S_ISREG(status.st_mode)) return fail(error, WalkError::NotRegularFile);
    now = describeOpen(status);
    return true;
}

// Whether the open source is still what it was when the copy began. Any write moves the change time.
bool unchangedSince(int in, const FileInfo& before) {
    struct stat status {};
    if (sys::fstat(in, &status) != 0) return false;
    const FileInfo after = describeOpen(status);
    return after.size == before.size && after.modified == before.modified && after.changed == before.changed;
}

// A finished copy waiting to be put in place: an unnamed file still open, or a hidden temporary.
struct PendingCopy {
    UniqueFd fd;       // the unnamed file (it vanishes with its descriptor); closed for a named one
    std::string name;  // the hidden temporary's name; empty for an unnamed file
    int folder = -1;

    PendingCopy() = default;
    PendingCopy(const PendingCopy&) = delete;
    PendingCopy& operator=(const PendingCopy&) = delete;
    ~PendingCopy() { discard(); }
    void discard() {
        fd.reset();
        if (!name.empty()) ::unlinkat(folder, name.c_str(), 0);
        name.clear();
    }
    // The copy now has its final name: nothing is left to clean up.
    void placed() {
        fd.reset();
        name.clear();
    }
};

// Read, not set and set back: a run's threads create files at the same time, and a umask changed for a
// moment would give them the wrong bits.
mode_t currentUmask() {
    static const mode_t mask = [] {
        if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
            char line[256];
            unsigned value = 0;
            bool found = false;
            while (!found && std::fgets(line, sizeof line, status) != nullptr)
                found = std::sscanf(line, "Umask: %o", &value) == 1;
            std::fclose(status);
            if (found) return static_cast<mode_t>(value);
        }
        const mode_t previous = ::umask(022);
        ::umask(previous);
        return previous;
    }();
    return mask;
}

// Creates the file the copy is written into. Where the destination is absent and the file system
// allows it, the file has no name until the copy is complete, so a killed run leaves nothing behind
// and putting it in place costs one directory change instead of two.
bool createCopyFile(const Folder& dstFolder, mode_t mode, bool unnamed, PendingCopy& copy,
                    std::error_code& error) {
    copy.folder = dstFolder.fd();
    if (unnamed) {
        copy.fd.reset(sys::openat(dstFolder.fd(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
        return copy.fd.valid() || fail(error);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = temporaryName();
        copy.fd.reset(
            sys::openat(dstFolder.fd(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (copy.fd.valid()) {
            copy.name = name;
            return true;
        }
        if (errno != EEXIST) return fail(error);
    }
    return fail(error, std::make_error_code(std::errc::file_exists));
}

enum class Namespace { User, Security, Trusted, Acl, Other };

Namespace namespaceOf(std::string_view name) {
    if (name.starts_with("user.")) return Namespace::User;
    if (name.starts_with("security.")) return Namespace::Security;
    if (name.starts_with("trusted.")) return Namespace::Trusted;
    // A folder's default ACL, which its new files and folders take, goes with its access ACL.
    if (name == "system.posix_acl_access" || name == "system.posix_acl_default") return Namespace::Acl;
    return Namespace::Other;
}

// Reads an attribute list or value into `buffer`, growing it as the size asks: -1 with errno on failure.
template <typename Read>
ssize_t readGrowing(std::vector<char>& buffer, Read read) {
    for (;;) {
        const ssize_t got = read(buffer.data(), buffer.size());
        if (got >= 0 || errno != ERANGE) return got;
        const ssize_t needed = read(nullptr, 0);
        if (needed < 0) return needed;
        buffer.resize(static_cast<std::size_t>(needed) + 64);
    }
}

// Whether a refused attribute is the destination's limit (a namespace, a size or a kind it cannot
// hold) rather than a failure of the disk.
bool isAttributeLimit(int code) {
    return code == ENOTSUP || code == EOPNOTSUPP || code == EPERM || code == EACCES || code == EINVAL ||
           code == E2BIG || code == ENOSPC || code == ERANGE || code == EDQUOT;
}

// Copies the source's extended attributes and ACLs that the destination can hold, as `cp -a`
// does; the rest is noted in `dropped`. Attributes of the system namespace other than the ACL belong to
// the file system that made them (btrfs compression, NFS ACLs) and stay behind without a note.
bool copyAttributes(int in, int out, const FileSystemTraits& traits, Dropped& dropped,
                    std::error_code& error) {
    static thread_local std::vector<char> names(4096), value(4096);
    const ssize_t listed =
        readGrowing(names, [in](char* to, std::size_t size) { return sys::flistxattr(in, to, size); });
    if (listed < 0) return errno == ENOTSUP || errno == EOPNOTSUPP || fail(error);
    const bool root = processUser() == 0;
    for (std::size_t at = 0; at < static_cast<std::size_t>(listed);) {
        const char* name = names.data() + at;
        at += std::strlen(name) + 1;
        const Namespace kind = namespaceOf(name);
        bool holds = false;
        switch (kind) {
            case Namespace::User:
                holds = traits.userAttributes;
                break;
            case Namespace::Security:
            case Namespace::Trusted:
                if (!root) continue;  // only root may set them, as only root may set an owner
                holds = kind == Namespace::Security ? traits.securityAttributes : traits.trustedAttributes;
                break;
            case Namespace::Acl:
                holds = traits.posixAcls;
                break;
            case Namespace::Other:
                continue;
        }
        bool& note = kind == Namespace::Acl ? dropped.acls : dropped.attributes;
        if (!holds) {
            note = true;
            continue;
        }
        const ssize_t size = readGrowing(
            value, [in, name](char* to, std::size_t length) { return sys::fgetxattr(in, name, to, length); });
        if (size < 0) {
            if (errno == ENODATA) continue;  // removed since the listing
            return fail(error);
        }
        if (sys::fsetxattr(out, name, value.data(), static_cast<std::size_t>(size), 0) != 0) {
            if (!isAttributeLimit(errno)) return fail(error);
            note = true;
        }
    }
    return true;
}

// Writes a complete copy of the open source (`now`) into a new file of the destination folder that
// `copy` describes, with the source's times, permissions and what the destination holds of its
// attributes.
bool writeCopy(int in, const FileInfo& now, const Folder& dstFolder, const FileSystemTraits& traits,
               bool unnamed, bool durable, PendingCopy& copy, Dropped& dropped, CopyProgress* progress,
               std::error_code& error) {
    std::uint64_t device = 0, inode = 0;
    dstFolder.identity(device, inode);
    const bool root = processUser() == 0;
    // A new file takes the folder's group where the folder passes its group on, else the process's.
    // Where that is not the source's group and only the source's may be set back, a private file
    // would reach the folder's group, even while it is written: until its group is settled, group and
    // others get nothing. File systems without permissions of their own (FAT, SMB) have no group to
    // keep.
    const bool otherGroup =
        now.group != dstFolder.groupOfNewFiles() && traits.permissions == PermissionsKept::All;
    // Written with the owner's write bit, so a read-only source can be copied; group and others get no
    // more than the source gives them at any moment.
    mode_t created = (now.mode & 0777) | S_IWUSR;
    if (otherGroup) created &= 0700;
    if (!createCopyFile(dstFolder, created, unnamed, copy, error)) return false;
    faults::reach(faults::Point::CopyCreated);
    const int out = copy.fd.get();
    if (!copyData(in, out, now, {now.device, device}, progress, error)) return false;
    // Root hands the copy to the source's owner and group, where its probe found owners can be set (not
    // a call per file where they cannot); anyone else keeps the copy and sets the source's group where
    // they belong to it. The set-id bits stay only with the owner and group they were given for.
    bool ownerKept = now.owner == processUser();
    bool groupKept = !otherGroup;
    if (root) {
        if ((!ownerKept || now.group != dstFolder.groupOfNewFiles()) && traits.owners)
            ownerKept = groupKept = sys::fchown(out, now.owner, now.group) == 0;
    } else if (otherGroup) {
        groupKept = sys::fchown(out, static_cast<uid_t>(-1), now.group) == 0;
    }
    mode_t wanted = now.mode & 0777;
    if (ownerKept && groupKept) wanted = now.mode;
    if (!groupKept) {
        wanted &= 0700;
        dropped.group = true;
    }
    // A file system whose permissions are fixed for the whole mount (FAT, SMB) refuses to change them,
    // or says yes and changes nothing; the copy is no less whole for it.
    if (traits.permissions != PermissionsKept::None && (created & ~currentUmask()) != wanted &&
        sys::fchmod(out, wanted) != 0 && errno != EPERM)
        return fail(error);
    // After the mode, which would change an ACL's mask, and after the owner, which clears capabilities.
    if (!copyAttributes(in, out, traits, dropped, error)) return false;
    const timespec times[2] = {{static_cast<time_t>(now.accessed.seconds), now.accessed.nanoseconds},
                               {static_cast<time_t>(now.modified.seconds), now.modified.nanoseconds}};
    if (sys::futimens(out, times) != 0) return fail(error);
    // On the disk before it takes a name from a file it replaces, or before its source goes.
    if (durable && sys::fsync(out) != 0) return fail(error);
    if (!copy.name.empty()) {
        // A write error may only show when the file is closed; the name must not replace anything then.
        if (!copy.fd.close(error)) return false;
    }
    return true;
}

// Puts a finished copy in `dstName`: replacing what is there when `replace`, else only into a free name.
bool place(PendingCopy& copy, const Folder& dstFolder, const std::string& dstName, bool replace,
           const FileSystemTraits& traits, std::error_code& error) {
    bool ok = false;
    if (copy.name.empty())
        ok = nameUnnamedFile(copy.fd.get(), dstFolder, dstName, error);
    else if (replace)
        ok = sys::renameat(dstFolder.fd(), copy.name.c_str(), dstFolder.fd(), dstName.c_str()) == 0 ||
             fail(error);
    else
        ok = renameNoReplace(dstFolder, copy.name, dstFolder, dstName, traits, error);
    if (ok) copy.placed();
    return ok;
}

bool refuseDestination(const FileInfo* dstInfo, std::error_code& error) {
    if (dstInfo == nullptr || dstInfo->kind == EntryKind::Missing) return false;
    if (dstInfo->kind == EntryKind::Folder || dstInfo->kind == EntryKind::FolderLink)
        return !fail(error, std::make_error_code(std::errc::is_a_directory));
    if (dstInfo->kind != EntryKind::File) return !fail(error, WalkError::DestinationNotRegular);
    if ((dstInfo->mode & S_IWUSR) == 0)
        return !fail(error, std::make_error_code(std::errc::permission_denied));
    return false;
}

// Whether the entry `status` describes is still the file the run decided on: an edit made since then
// must not be replaced or deleted unseen. A link the walk followed is not compared.
bool stillAsExamined(const struct stat& status, const FileInfo& expected, std::error_code& error) {
    if (expected.viaLink) return true;
    const FileInfo now = describeOpen(status);
    if (now.inode == expected.inode && now.device == expected.device && now.size == expected.size &&
        now.modified == expected.modified)
        return true;
    return fail(error, WalkError::ChangedSinceExamined);
}

// Keeps the file that is about to be replaced or deleted as a version. False, with `keepFailed` set,
// when its version could not be made safe.
bool keepVersion(const Folder& folder, const std::string& name, const FileInfo& info, bool linkOnly,
                 const FileSystemTraits& traits, VersionPlace& versions, bool& moved,
                 std::error_code& error) {
    if (!versions.keeper->keep(folder, versions.relativeFolder, name, info, linkOnly, traits, moved,
                               versions.keptPath, error)) {
        versions.keepFailed = true;
        return false;
    }
    versions.kept = true;
    return true;
}

// Copies the source into a new file and puts it in place, once more when the source changed meanwhile.
// What it replaces becomes a version first, where versions are kept. A copy that replaces a file, or
// whose source is removed after it (`forMove`), is on the disk before it takes its name; a new file's
// data may still be in memory when it is named (its folder is flushed once its batch is done).
// `found`, where given, gets what the first opening of the source found.
bool copyAndPlace(const Folder& srcFolder, const std::string& srcName, const FileInfo& srcInfo,
                  const Folder& dstFolder, const std::string& dstName, const FileInfo* present,
                  const FileSystemTraits& traits, std::error_code& error, VersionPlace* versions,
                  Dropped* dropped, CopyProgress* progress, FileInfo* found = nullptr, bool forMove = false) {
    const bool replace = present != nullptr;
    const bool durable = replace || forMove;
    // An unnamed file only where it can also be given its name; a replacement needs a name to rename.
    const bool unnamed = !replace && traits.unnamedTemporaries;
    for (int attempt = 0; attempt < 2; ++attempt) {
        UniqueFd in;
        FileInfo now;
        faults::reach(faults::Point::CopyOpening);
        if (!openSource(srcFolder, srcName, srcInfo.viaLink, in, now, error)) return false;
        if (found != nullptr && attempt == 0) *found = now;
        if (progress != nullptr) progress->starting(now.size);
        PendingCopy copy;
        Dropped left;
        if (!writeCopy(in.get(), now, dstFolder, traits, unnamed, durable, copy, left, progress, error)) {
            if (error == WalkError::ChangedWhileCopied) continue;  // it may be whole the next time
            return false;
        }
        faults::reach(faults::Point::CopyWritten);
        if (!unchangedSince(in.get(), now)) continue;  // a mix of old and new bytes: never put in place
        // The version is a second name of the old file, or where there are no links a whole copy of it:
        // the new copy then replaces it in one step, so a kill at any moment leaves the old file or the
        // new one under the name, never neither.
        if (replace) {
            struct stat status {};
            if (sys::fstatat(dstFolder.fd(), dstName.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
                return fail(error);
            if (!stillAsExamined(status, *present, error)) return false;
        }
        bool moved = false;
        if (replace && versions != nullptr &&
            !keepVersion(dstFolder, dstName, *present, true, traits, *versions, moved, error))
            return false;
        if (!place(copy, dstFolder, dstName, replace, traits, error)) return false;
        if (dropped != nullptr) dropped->add(left);
        return true;
    }
    return fail(error, WalkError::ChangedWhileCopied);
}

// Makes `dstName` of `dstFolder` a symbolic link with the target that the link `srcName` of `srcFolder`
// has now, with its times and, as root, its owner: a link copied as cp -a and rsync -a copy one. A link
// appears whole in one call: a new one is made at its name, which it takes from nothing; one that
// replaces `present` (still as examined, and kept as a version first) is made under a temporary name
// and renamed over it.
bool copyLink(const Folder& srcFolder, const std::string& srcName, const Folder& dstFolder,
              const std::string& dstName, const FileInfo* present, const FileSystemTraits& traits,
              std::error_code& error, VersionPlace* versions) {
    struct stat link {};
    if (sys::fstatat(srcFolder.fd(), srcName.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0) return fail(error);
    if (!S_ISLNK(link.st_mode)) return fail(error, WalkError::ChangedSinceExamined);
    std::string target;
    if (!readLink(srcFolder, srcName, target, error, static_cast<std::uint64_t>(link.st_size))) return false;
    std::string made = dstName;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (present != nullptr) made = temporaryName();
        if (sys::symlinkat(target.c_str(), dstFolder.fd(), made.c_str()) == 0) break;
        if (errno != EEXIST || present == nullptr) return fail(error);
        made.clear();
    }
    if (made.empty()) return fail(error, std::make_error_code(std::errc::file_exists));
    // A link's own times and owner, where the file system lets them be set: links are compared by their
    // target, so one without them is no less alike.
    const timespec times[2] = {link.st_atim, link.st_mtim};
    sys::utimensat(dstFolder.fd(), made.c_str(), times, AT_SYMLINK_NOFOLLOW);
    if (processUser() == 0 && traits.owners)
        sys::fchownat(dstFolder.fd(), made.c_str(), link.st_uid, link.st_gid, AT_SYMLINK_NOFOLLOW);
    if (present == nullptr) return true;
    const auto discard = [&] {
        ::unlinkat(dstFolder.fd(), made.c_str(), 0);
        return false;
    };
    // The new link is durable before it takes the name of what it replaces, as a copy's data is.
    struct stat now {};
    if (!flushFolder(dstFolder, error)) return discard();
    if (sys::fstatat(dstFolder.fd(), dstName.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(error) || discard();
    if (!stillAsExamined(now, *present, error)) return discard();
    bool moved = false;
    if (versions != nullptr &&
        !keepVersion(dstFolder, dstName, *present, true, traits, *versions, moved, error))
        return discard();
    if (sys::renameat(dstFolder.fd(), made.c_str(), dstFolder.fd(), dstName.c_str()) != 0)
        return fail(error) || discard();
    return true;
}

}  // namespace

bool renameNoReplace(const Folder& fromFolder, const std::string& fromName, const Folder& toFolder,
                     const std::string& toName, const FileSystemTraits& traits, std::error_code& error) {
    const char* from = fromName.c_str();
    const char* to = toName.c_str();
    if (traits.renameNoReplace)
        return sys::renameat2(fromFolder.fd(), from, toFolder.fd(), to, RENAME_NOREPLACE) == 0 || fail(error);
    if (traits.hardLinks) {
        // Where the old name cannot go, the new one goes again: a file under two names is no move.
        if (sys::linkat(fromFolder.fd(), from, toFolder.fd(), to, 0) != 0) return fail(error);
        if (sys::unlinkat(fromFolder.fd(), from, 0) != 0) {
            error = lastSystemError();
            ::unlinkat(toFolder.fd(), to, 0);
            return false;
        }
        return true;
    }
    // Neither: the look and the rename follow each other at once, with nothing in between that waits.
    // A case-insensitive file system finds a name of another case here too, which is then not replaced.
    struct stat status {};
    if (sys::fstatat(toFolder.fd(), to, &status, AT_SYMLINK_NOFOLLOW) == 0)
        return fail(error, std::make_error_code(std::errc::file_exists));
    if (errno != ENOENT) return fail(error);
    return sys::renameat(fromFolder.fd(), from, toFolder.fd(), to) == 0 || fail(error);
}

bool copyFile(const Folder& srcFolder, const std::string& srcName, const FileInfo& srcInfo,
              const Folder& dstFolder, const std::string& dstName, const FileInfo* dstInfo,
              const FileSystemTraits& traits, std::error_code& error, VersionPlace* versions,
              Dropped* dropped, CopyProgress* progress) {
    if (refuseDestination(dstInfo, error)) return false;
    const bool present = dstInfo != nullptr && dstInfo->kind != EntryKind::Missing;
    if (srcInfo.isLink)
        return copyLink(srcFolder, srcName, dstFolder, dstName, present ? dstInfo : nullptr, traits, error,
                        versions);
    return copyAndPlace(srcFolder, srcName, srcInfo, dstFolder, dstName, present ? dstInfo : nullptr, traits,
                        error, versions, dropped, progress);
}

bool copyNewFile(const Folder& srcFolder, const std::string& name, const Folder& dstFolder, FileInfo& found,
                 const FileSystemTraits& traits, std::error_code& error, Dropped* dropped,
                 CopyProgress* progress) {
    found = {};
    return copyAndPlace(srcFolder, name, FileInfo{}, dstFolder, name, nullptr, traits, error, nullptr,
                        dropped, progress, &found);
}

bool moveFile(const Folder& srcFolder, const std::string& srcName, const FileInfo& srcInfo,
              const Folder& dstFolder, const std::string& dstName, const FileInfo* dstInfo,
              const FileSystemTraits& traits, std::error_code& error, Dropped* dropped,
              CopyProgress* progress) {
    if (dstInfo != nullptr && dstInfo->kind != EntryKind::Missing)
        return fail(error, std::make_error_code(std::errc::file_exists));
    // Within one file system the name moves; a link moves as the link, as a rename always does.
    if (renameNoReplace(srcFolder, srcName, dstFolder, dstName, traits, error)) return true;
    if (error.value() != EXDEV || error.category() != std::system_category()) return false;

    // Another file system: copy, put the copy in place, make its name durable, and only then remove the
    // source: a power cut leaves the file in both places at worst.
    if ((srcInfo.isLink ? !copyLink(srcFolder, srcName, dstFolder, dstName, nullptr, traits, error, nullptr)
                        : !copyAndPlace(srcFolder, srcName, srcInfo, dstFolder, dstName, nullptr, traits,
                                        error, nullptr, dropped, progress, nullptr, true)) ||
        !flushFolder(dstFolder, error))
        return false;
    if (sys::unlinkat(srcFolder.fd(), srcName.c_str(), 0) != 0) return fail(error);
    return true;
}

bool flushFolder(const Folder& folder, std::error_code& error) {
    // Some file systems cannot flush a folder (EINVAL): their names are as durable as they get.
    return sys::fsync(folder.fd()) == 0 || errno == EINVAL || errno == ENOTSUP || fail(error);
}

bool copyFolderAttributes(const Folder& from, const Folder& to, const FileSystemTraits& traits,
                          Dropped& dropped, std::error_code& error) {
    if (!from.valid() || !to.valid()) return true;  // a folder only a preview imagines
    return copyAttributes(from.fd(), to.fd(), traits, dropped, error);
}

bool renameCase(const Folder& folder, const std::string& from, const std::string& to,
                const FileSystemTraits& traits, std::error_code& error) {
    if (traits.caseSensitive) return renameNoReplace(folder, from, folder, to, traits, error);
    // Where cases are one, `to` finds `from` itself (FUSE file systems may give the two lookups inode
    // numbers of their own, so the rest of what they find is compared); anything else is never replaced.
    struct stat old = {}, taken = {};
    if (sys::fstatat(folder.fd(), from.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0) return fail(error);
    const auto same = [&] {
        return taken.st_dev == old.st_dev && taken.st_mode == old.st_mode && taken.st_size == old.st_size &&
               taken.st_mtim.tv_sec == old.st_mtim.tv_sec && taken.st_mtim.tv_nsec == old.st_mtim.tv_nsec;
    };
    if (sys::fstatat(folder.fd(), to.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0 && !same())
        return fail(error, std::make_error_code(std::errc::file_exists));
    return sys::renameat(folder.fd(), from.c_str(), folder.fd(), to.c_str()) == 0 || fail(error);
}

bool removeMovedSource(const Folder& folder, const std::string& name, const FileInfo& expected,
                       std::error_code& error) {
    faults::reach(faults::Point::Deleting);
    struct stat status {};
    if (sys::fstatat(folder.fd(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return fail(error);
    if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) return fail(error, WalkError::NotRegularFile);
    if (!stillAsExamined(status, expected, error)) return false;
    return sys::unlinkat(folder.fd(), name.c_str(), 0) == 0 || fail(error);
}

bool deleteFile(const Folder& folder, const std::string& name, const FileInfo* expected,
                const FileSystemTraits& traits, std::error_code& error, VersionPlace* versions) {
    faults::reach(faults::Point::Deleting);
    struct stat status {};
    if (sys::fstatat(folder.fd(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return fail(error);
    if (S_ISDIR(status.st_mode)) return fail(error, std::make_error_code(std::errc::is_a_directory));
    if (S_ISREG(status.st_mode) && (status.st_mode & S_IWUSR) == 0)
        return fail(error, std::make_error_code(std::errc::permission_denied));
    if (expected != nullptr && !stillAsExamined(status, *expected, error)) return false;
    if (versions != nullptr) {
        bool moved = false;
        if (!keepVersion(folder, name, describeOpen(status), false, traits, *versions, moved, error))
            return false;
        if (moved) return true;  // the version's move took it out of the tree
    }
    if (sys::unlinkat(folder.fd(), name.c_str(), 0) != 0) return fail(error);
    return true;
}

}  // namespace tessel::platform
