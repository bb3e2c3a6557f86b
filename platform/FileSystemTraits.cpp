#include "platform/FileSystemTraits.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/FileCopy.h"
#include "platform/SysCall.h"

namespace tessel::platform {

namespace {

// The characters Windows forbids in names, which FAT, exFAT and NTFS in Windows' rules refuse.
constexpr std::string_view kWindowsForbidden = ":*?\"<>|\\";

UniqueFd createFile(const Folder& folder, const std::string& name, mode_t mode = 0600) {
    return UniqueFd(sys::openat(folder.fd(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
}

bool statAt(const Folder& folder, const std::string& name, struct stat& status) {
    return ::fstatat(folder.fd(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

void removeProbeFolder(const Folder& parent, const std::string& name) {
    if (::unlinkat(parent.fd(), name.c_str(), AT_REMOVEDIR) == 0) return;
    std::error_code error;
    const Folder folder = Folder::openChild(parent, name, error);
    std::vector<ListedName> names;
    if (folder.valid() && listFolder(folder, names, error, ListOrder::AsStored))
        for (const ListedName& entry : names) ::unlinkat(folder.fd(), entry.name.c_str(), 0);
    ::unlinkat(parent.fd(), name.c_str(), AT_REMOVEDIR);
}

namespace {

// The finest step among 1 ns, 10 ns, ... 1 s, 2 s that turns the time set into the time read back.
std::int64_t stepBetween(std::int64_t set, std::int64_t got) {
    for (std::int64_t step = 1; step <= 2'000'000'000; step *= step == 1'000'000'000 ? 2 : 10) {
        if (set / step * step == got) return step;
    }
    return 2'000'000'000;  // neither truncated nor kept: compare as coarsely as Tessel ever did
}

std::int64_t nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::int64_t timeResolution(int fd) {
    std::int64_t resolution = 1;
    // Odd seconds (FAT keeps even ones) and nanoseconds that no coarser step keeps.
    for (const timespec set : {timespec{1'000'000'001, 123'456'789}, timespec{1'000'000'003, 987'654'321}}) {
        const timespec times[2] = {set, set};
        struct stat status {};
        if (::futimens(fd, times) != 0 || ::fstat(fd, &status) != 0) return 2'000'000'000;
        resolution = std::max(resolution, stepBetween(nanoseconds(set), nanoseconds(status.st_mtim)));
    }
    return resolution;
}

PermissionsKept permissionsKept(int fd) {
    const auto reads = [fd](mode_t mode, mode_t mask, mode_t expected) {
        struct stat status {};
        return ::fchmod(fd, mode) == 0 && ::fstat(fd, &status) == 0 && (status.st_mode & mask) == expected;
    };
    // Two patterns no mount-wide mode is likely to show by chance.
    if (reads(0641, 0777, 0641) && reads(0604, 0777, 0604)) return PermissionsKept::All;
    if (reads(0444, 0200, 0) && reads(0644, 0200, 0200)) return PermissionsKept::ReadOnlyBit;
    return PermissionsKept::None;
}

bool attributeKept(int fd, const char* name, const void* value, std::size_t size) {
    if (sys::fsetxattr(fd, name, value, size, 0) != 0) return false;
    std::array<char, 64> back{};
    return ::fgetxattr(fd, name, back.data(), back.size()) == static_cast<ssize_t>(size) &&
           std::memcmp(back.data(), value, size) == 0;
}

// An access ACL with a named user, in the kernel's xattr form: version 2, then (tag, permissions, id).
bool aclKept(int fd) {
    struct Entry {
        std::uint16_t tag, permissions;
        std::uint32_t id;
    };
    struct Acl {
        std::uint32_t version = 2;
        Entry entries[5] = {{0x01, 6, 0xffffffff},   // the owner: read, write
                            {0x02, 4, 1},            // user 1: read
                            {0x04, 4, 0xffffffff},   // the group: read
                            {0x10, 4, 0xffffffff},   // the mask: read
                            {0x20, 0, 0xffffffff}};  // others: nothing
    } acl;
    if (sys::fsetxattr(fd, "system.posix_acl_access", &acl, sizeof acl, 0) != 0) return false;
    return ::fgetxattr(fd, "system.posix_acl_access", nullptr, 0) == static_cast<ssize_t>(sizeof acl);
}

// Whether `name` is listed exactly as made: some drivers strip a trailing dot or change a name's case
// quietly instead of refusing it.
bool listedAsMade(const Folder& folder, const std::string& name) {
    std::vector<ListedName> names;
    std::error_code error;
    // Opened afresh: over SFTP a descriptor's listing can be read only once.
    const Folder fresh = Folder::openChild(folder, ".", error);
    if (!fresh.valid() || !listFolder(fresh, names, error, ListOrder::AsStored)) return false;
    for (const ListedName& entry : names)
        if (entry.name == name) return true;
    return false;
}

// The trials work on two files, "Mixed" and a second one that moves from name to name: renames cost
// no new file, and on a disk mounted with discards each file made and removed costs a fraction of a
// millisecond.
struct Trial {
    const Folder& probe;
    std::string moving;  // the second file's name now; empty once it is lost track of

    // Renames the second file to `name`: true when it then carries exactly that name. Only a name that
    // a driver might change quietly (a trailing dot or blank) is looked for in a listing (`Listed`),
    // which costs more than the rename.
    enum class Check { Found, Listed };
    bool renameTo(const std::string& name, Check check = Check::Found) {
        if (moving.empty() || ::renameat(probe.fd(), moving.c_str(), probe.fd(), name.c_str()) != 0)
            return false;
        struct stat status {};
        if (check == Check::Found ? statAt(probe, name, status) : listedAsMade(probe, name)) {
            moving = name;
            return true;
        }
        // Made as another name (a dot stripped): the name it was asked by still finds it.
        if (::renameat(probe.fd(), name.c_str(), probe.fd(), "m") == 0)
            moving.assign(1, 'm');
        else
            moving.clear();
        return false;
    }
};

void tryNames(Trial& trial, FileSystemTraits& traits) {
    for (const char c : kWindowsForbidden)
        if (!trial.renameTo(std::string("n") + c + "n")) traits.refusedCharacters += c;
    traits.refusesControlBytes = !trial.renameTo("n\x01n");
    traits.refusesTrailingDot = !trial.renameTo("n.", Trial::Check::Listed);
    traits.refusesTrailingBlank = !trial.renameTo("n ", Trial::Check::Listed);
    // The longest name of plain letters it takes, from what the system says its limit is.
    const long limit = ::fpathconf(trial.probe.fd(), _PC_NAME_MAX);
    std::uint32_t high = limit > 0 && limit < 4096 ? static_cast<std::uint32_t>(limit) : 255;
    std::uint32_t low = 0;
    if (trial.renameTo(std::string(high, 'x'))) {
        low = high;
    } else {
        while (low + 1 < high) {
            const std::uint32_t middle = (low + high) / 2;
            if (trial.renameTo(std::string(middle, 'x')))
                low = middle;
            else
                high = middle;
        }
    }
    traits.longestName = low;
}

// Whether a rename refuses a taken name when asked to, and still renames into a free one.
bool triesRenameNoReplace(Trial& trial) {
    if (sys::renameat2(trial.probe.fd(), trial.moving.c_str(), trial.probe.fd(), "Mixed", RENAME_NOREPLACE) ==
        0) {
        trial.moving.clear();  // it replaced "Mixed": that name holds the second file now
        return false;
    }
    if (errno != EEXIST) return false;
    if (sys::renameat2(trial.probe.fd(), trial.moving.c_str(), trial.probe.fd(), "c", RENAME_NOREPLACE) != 0)
        return false;
    trial.moving.assign(1, 'c');
    return true;
}

bool triesHardLinks(const Folder& probe) {
    struct stat status {};
    if (sys::linkat(probe.fd(), "Mixed", probe.fd(), "l", 0) != 0 || !statAt(probe, "l", status))
        return false;
    return status.st_nlink == 2 && sys::linkat(probe.fd(), "Mixed", probe.fd(), "l", 0) != 0 &&
           errno == EEXIST;
}

bool triesUnnamedFiles(const Folder& probe) {
    UniqueFd fd(sys::openat(probe.fd(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    std::error_code error;
    if (!fd.valid() || ::write(fd.get(), "t", 1) != 1 || !nameUnnamedFile(fd.get(), probe, "u", error))
        return false;
    struct stat status {};
    return statAt(probe, "u", status) && status.st_size == 1;
}

bool triesSymbolicLinks(const Folder& probe) {
    struct stat status {};
    return sys::symlinkat("Mixed", probe.fd(), "s") == 0 && statAt(probe, "s", status) &&
           S_ISLNK(status.st_mode);
}

void triesCase(const Folder& probe, FileSystemTraits& traits) {
    struct stat status {};
    traits.caseSensitive = !statAt(probe, "mIXED", status);
    traits.casePreserving = listedAsMade(probe, "Mixed");
}

void triesFile(int fd, FileSystemTraits& traits) {
    traits.permissions = permissionsKept(fd);
    traits.timeResolution = timeResolution(fd);
    traits.userAttributes = attributeKept(fd, "user.tessel-probe", "1", 1);
    if (::geteuid() == 0) {
        struct stat status {};
        traits.owners =
            ::fchown(fd, 1, 1) == 0 && ::fstat(fd, &status) == 0 && status.st_uid == 1 && status.st_gid == 1;
        traits.trustedAttributes = attributeKept(fd, "trusted.tessel-probe", "1", 1);
        traits.securityAttributes = attributeKept(fd, "security.tessel-probe", "1", 1);
    }
    traits.posixAcls = aclKept(fd);
}

// The first bytes of a FAT or exFAT volume say which it is.
bool isFatVolume(const std::string& device) {
    const UniqueFd fd(::open(device.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    char sector[512];
    if (!fd.valid() || ::pread(fd.get(), sector, sizeof sector, 0) != static_cast<ssize_t>(sizeof sector))
        return false;
    const std::string_view boot(sector, sizeof sector);
    return boot.substr(3, 8) == "EXFAT   " || boot.substr(0x36, 3) == "FAT" ||
           boot.substr(0x52, 5) == "FAT32";
}

}  // namespace

// Whether the file system of `folder` keeps local time. No probe from one process can tell: the
// driver turns times into local time on the way in and back on the way out with the same offset, so
// a time set is the time read back. Only the kind of file system tells, so here, and only here, the
// mount is asked: FAT and exFAT by the kernel's type, and through FUSE (which reports only "fuseblk")
// by the mount's subtype or by the first bytes of the volume, where they can be read.
bool keepsLocalTime(const Folder& folder) {
    struct statfs system {};
    if (::fstatfs(folder.fd(), &system) != 0) return false;
    const auto type = static_cast<std::uint32_t>(system.f_type);
    if (type == MSDOS_SUPER_MAGIC || type == 0x2011bab0u /* exFAT */) return true;
    if (type != FUSE_SUPER_MAGIC) return false;
    struct stat status {};
    if (::fstat(folder.fd(), &status) != 0) return false;
    const std::string device =
        std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
    std::ifstream mounts("/proc/self/mountinfo");
    for (std::string line; std::getline(mounts, line);) {
        // id parent major:minor root point options [optional...] - type source super-options
        std::istringstream fields(line);
        std::string id, parent, numbers, field;
        if (!(fields >> id >> parent >> numbers) || numbers != device) continue;
        while (fields >> field && field != "-") {
        }
        std::string kind, source;
        fields >> kind >> source;
        if (kind.find("fat") != std::string::npos) return true;  // fuse.exfat, fuseblk.vfat ...
        return kind == "fuseblk" && isFatVolume(source);
    }
    return false;
}

namespace {

std::atomic<unsigned> g_probeCounter{0};

}  // namespace

bool FileSystemTraits::refusesName(std::string_view name) const {
    if (name.size() > longestName) return true;
    for (const char c : name) {
        if (refusedCharacters.find(c) != std::string::npos) return true;
        if (refusesControlBytes && (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)) return true;
    }
    return (refusesTrailingDot && name.ends_with('.')) || (refusesTrailingBlank && name.ends_with(' '));
}

FileSystemTraits conservativeTraits() {
    return FileSystemTraits{};
}

bool nameUnnamedFile(int fd, const Folder& folder, const std::string& name, std::error_code& error) {
    // Linking a descriptor by itself needs a capability an ordinary user lacks; its /proc name does not.
    static std::atomic<bool> emptyPathRefused{false};
    if (!emptyPathRefused) {
        if (sys::linkat(fd, "", folder.fd(), name.c_str(), AT_EMPTY_PATH) == 0) return true;
        if (errno != ENOENT && errno != EPERM) return fail(error);
        emptyPathRefused = true;
    }
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    if (sys::linkat(AT_FDCWD, path, folder.fd(), name.c_str(), AT_SYMLINK_FOLLOW) != 0) return fail(error);
    return true;
}

bool isStaleProbeFolder(std::string_view name) {
    return isLeftByDeadProcess(name, kProbeFolderSuffix);
}

FileSystemTraits probeFileSystem(const Folder& folder) {
    FileSystemTraits traits = conservativeTraits();
    if (!folder.valid()) return traits;
    traits.localTime = keepsLocalTime(folder);
    // A test's planned failures are for the work it watches, not for this.
    [[maybe_unused]] const faults::ProbeScope quiet;
    struct stat before {};
    if (::fstat(folder.fd(), &before) != 0) return traits;
    char name[64];
    std::snprintf(name, sizeof name, "%.*s%08x-%08x%.*s", static_cast<int>(kTemporaryPrefix.size()),
                  kTemporaryPrefix.data(), static_cast<unsigned>(::getpid()), ++g_probeCounter,
                  static_cast<int>(kProbeFolderSuffix.size()), kProbeFolderSuffix.data());
    if (sys::mkdirat(folder.fd(), name, 0700) != 0) return traits;
    std::error_code error;
    const Folder probe = Folder::openChild(folder, name, error);
    UniqueFd file = probe.valid() ? createFile(probe, "Mixed") : UniqueFd();
    Trial trial{probe, std::string(1, 'b')};
    if (file.valid() && createFile(probe, trial.moving).valid()) {
        traits.tried = true;
        traits.renameNoReplace = triesRenameNoReplace(trial);
        traits.hardLinks = triesHardLinks(probe);
        traits.unnamedTemporaries = triesUnnamedFiles(probe);
        traits.symbolicLinks = triesSymbolicLinks(probe);
        triesCase(probe, traits);
        triesFile(file.get(), traits);
        tryNames(trial, traits);
    }
    file.reset();
    // What the trials made, by name: a listing of the folder costs more than these calls.
    if (probe.valid())
        for (const char* made : {"Mixed", "l", "u", "s", "m", "c", "b"}) ::unlinkat(probe.fd(), made, 0);
    if (!trial.moving.empty()) ::unlinkat(probe.fd(), trial.moving.c_str(), 0);
    removeProbeFolder(folder, name);
    // The folder's times are the user's: making and removing the probe must not move them.
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ::futimens(folder.fd(), times);
    return traits;
}

std::string describeTraits(const FileSystemTraits& traits) {
    std::string text = traits.tried ? "" : "not tried (conservative): ";
    const auto add = [&text](bool yes, const char* what) {
        text += yes ? "" : "no ";
        text += what;
        text += ", ";
    };
    add(traits.renameNoReplace, "rename without replacing");
    add(traits.hardLinks, "hard links");
    add(traits.unnamedTemporaries, "unnamed temporaries");
    text += traits.permissions == PermissionsKept::All           ? "permission bits, "
            : traits.permissions == PermissionsKept::ReadOnlyBit ? "only the read-only bit, "
                                                                 : "no permission bits, ";
    add(traits.owners, "owners");
    add(traits.symbolicLinks, "symbolic links");
    text += traits.caseSensitive    ? "case-sensitive, "
            : traits.casePreserving ? "case-insensitive, case kept, "
                                    : "case-insensitive, case lost, ";
    text += "times to " + std::to_string(traits.timeResolution) + " ns in " +
            (traits.localTime ? "local time" : "UTC");
    text += ", names up to " + std::to_string(traits.longestName) + " bytes";
    std::string refused;
    for (const char c : traits.refusedCharacters) refused += c;
    if (traits.refusesControlBytes) refused += " control bytes";
    if (traits.refusesTrailingDot) refused += " trailing dot";
    if (traits.refusesTrailingBlank) refused += " trailing blank";
    text += refused.empty() ? ", refuses no name" : ", refuses " + refused;
    text += ", attributes:";
    text += traits.userAttributes ? " user" : "";
    text += traits.securityAttributes ? " security" : "";
    text += traits.trustedAttributes ? " trusted" : "";
    text += !traits.userAttributes && !traits.securityAttributes && !traits.trustedAttributes ? " none" : "";
    text += traits.posixAcls ? ", POSIX ACLs" : ", no POSIX ACLs";
    return text;
}

const FileSystemTraits& FileSystems::of(const Folder& folder) {
    static const FileSystemTraits conservative = conservativeTraits();
    std::uint64_t device = 0, inode = 0;
    if (!folder.valid() || !folder.identity(device, inode)) return conservative;
    const std::lock_guard lock(m_mutex);
    auto& known = m_known[device];
    if (!known) known = std::make_unique<const FileSystemTraits>(probeFileSystem(folder));
    return *known;
}

const FileSystemTraits& FileSystems::ofNearest(const std::string& path) {
    std::string above = path;
    while (above.size() > 1) {
        while (above.size() > 1 && above.back() == '/') above.pop_back();
        const std::size_t slash = above.rfind('/');
        if (slash == std::string::npos) break;
        above.resize(slash + 1);
        std::error_code error;
        const Folder folder = Folder::open(above, error);
        if (folder.valid()) return of(folder);
    }
    return of(Folder());
}

}  // namespace tessel::platform
