#include "platform/FolderChanges.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/SysCall.h"

namespace tessel::platform {

namespace {

// What Tessel asks to hear of each followed folder. Not IN_MODIFY: a file being written would tell of
// every write; its close (IN_CLOSE_WRITE) is what says it is done.
constexpr std::uint32_t kFollowed = IN_CREATE | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE | IN_MOVED_FROM |
                                    IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR |
                                    IN_DONT_FOLLOW | IN_EXCL_UNLINK;

// Enough for a few hundred changes with long names at once.
constexpr std::size_t kReadSize = 256 * 1024;

unsigned kindsOf(std::uint32_t mask) {
    struct Pair {
        std::uint32_t kernel;
        unsigned kind;
    };
    static constexpr Pair kPairs[] = {
        {IN_CREATE, kNameCreated},        {IN_CLOSE_WRITE, kNameWritten},  {IN_ATTRIB, kNameAttributes},
        {IN_DELETE, kNameDeleted},        {IN_MOVED_FROM, kNameMovedAway}, {IN_MOVED_TO, kNameMovedHere},
        {IN_DELETE_SELF, kFolderDeleted}, {IN_MOVE_SELF, kFolderMoved},    {IN_IGNORED, kUnfollowed},
        {IN_UNMOUNT, kUnmounted},         {IN_Q_OVERFLOW, kOverflow},
    };
    unsigned kinds = 0;
    for (const Pair& pair : kPairs)
        if ((mask & pair.kernel) != 0) kinds |= pair.kind;
    return kinds;
}

// File systems whose changes may be made where this kernel does not see them (linux/magic.h).
struct Remote {
    std::int64_t magic;
    const char* name;
};
constexpr Remote kRemote[] = {
    {0x6969, "nfs"},      {0x517B, "smbfs"},    {0xFF534D42, "cifs"},   {0xFE534D42, "smb2"},
    {0x01021997, "9p"},   {0x00C36400, "ceph"}, {0x5346414F, "afs"},    {0x6B414653, "afs"},
    {0x73757245, "coda"}, {0x47504653, "gpfs"}, {0x0BD00BD0, "lustre"},
};
constexpr std::int64_t kFuseMagic = 0x65735546;

// The type mountinfo gives the mount of device `device` ("fuse.sshfs", "fuseblk"); empty when unknown.
std::string mountedType(dev_t device) {
    std::ifstream mounts("/proc/self/mountinfo");
    const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    std::string line;
    while (std::getline(mounts, line)) {
        // "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw"
        std::istringstream fields(line);
        std::string id, parent, numbers;
        fields >> id >> parent >> numbers;
        if (numbers != wanted) continue;
        const std::size_t dash = line.find(" - ");
        if (dash == std::string::npos) continue;
        std::istringstream rest(line.substr(dash + 3));
        std::string type;
        rest >> type;
        return type;
    }
    return {};
}

}  // namespace

bool FolderChanges::open(std::error_code& error) {
    m_queue.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!m_queue.valid()) return fail(error);
    m_wake.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!m_wake.valid()) {
        m_queue.reset();
        return fail(error);
    }
    return true;
}

int FolderChanges::follow(const std::string& path, std::error_code& error) {
    const int folder = sys::inotify_add_watch(m_queue.get(), path.c_str(), kFollowed);
    if (folder < 0) error = lastSystemError();
    return folder;
}

void FolderChanges::unfollow(int folder) {
    ::inotify_rm_watch(m_queue.get(), folder);
}

bool FolderChanges::wait(std::chrono::milliseconds timeout) {
    pollfd waited[2] = {{m_queue.get(), POLLIN, 0}, {m_wake.get(), POLLIN, 0}};
    const int ready = ::poll(waited, 2, static_cast<int>(std::min<long long>(timeout.count(), 1 << 30)));
    if (ready > 0 && (waited[1].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(m_wake.get(), &count, sizeof count);
    }
    return ready > 0 && (waited[0].revents & POLLIN) != 0;
}

void FolderChanges::wake() {
    const int saved = errno;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake.get(), &one, sizeof one);
    errno = saved;
}

bool FolderChanges::read(std::vector<FolderChange>& changes, std::error_code& error) {
    m_buffer.resize(kReadSize);
    for (;;) {
        const ssize_t got = ::read(m_queue.get(), m_buffer.data(), m_buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        if (got < 0) return fail(error);
        if (got == 0) return true;
        // The seam's full queue: what was read is lost, as the kernel loses what does not fit.
        if (sys::failNow(faults::Operation::ReadChanges)) {
            changes.push_back({-1, kOverflow, false, 0, {}});
            continue;
        }
        for (std::size_t at = 0; at + sizeof(inotify_event) <= static_cast<std::size_t>(got);) {
            inotify_event event;
            std::memcpy(&event, m_buffer.data() + at, sizeof event);
            FolderChange change;
            change.folder = event.wd;
            change.kinds = kindsOf(event.mask);
            change.isFolder = (event.mask & IN_ISDIR) != 0;
            change.cookie = event.cookie;
            // The name is padded with zero bytes to its length.
            if (event.len > 0)
                change.name = std::string(m_buffer.data() + at + sizeof event,
                                          ::strnlen(m_buffer.data() + at + sizeof event, event.len));
            at += sizeof event + event.len;
            if (change.kinds != 0) changes.push_back(std::move(change));
        }
    }
}

std::optional<std::int64_t> followedFolderLimit() {
    std::ifstream file("/proc/sys/fs/inotify/max_user_watches");
    std::int64_t limit = 0;
    if (!(file >> limit) || limit <= 0) return std::nullopt;
    return limit;
}

std::string fileSystemWithoutChanges(const std::string& path) {
    struct statfs about {};
    struct stat status {};
    if (::statfs(path.c_str(), &about) != 0 || ::stat(path.c_str(), &status) != 0) return {};
    const auto magic = static_cast<std::int64_t>(static_cast<std::uint32_t>(about.f_type));
    for (const Remote& remote : kRemote)
        if (remote.magic == magic) {
            const std::string type = mountedType(status.st_dev);
            return type.empty() ? remote.name : type;
        }
    if (magic != kFuseMagic) return {};
    // A FUSE file system on a local disk (ntfs-3g, exfat-fuse: "fuseblk") changes only through this
    // kernel; the others (sshfs, rclone, s3fs) are somebody else's storage.
    const std::string type = mountedType(status.st_dev);
    return type == "fuseblk" ? std::string() : type.empty() ? "fuse" : type;
}

}  // namespace tessel::platform
