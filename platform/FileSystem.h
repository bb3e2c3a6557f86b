#pragma once
// Folders and the files in them, addressed relative to open folder descriptors so a walk never
// resolves a full path twice. Hidden means a name starting with a dot; "system" means anything that
// is neither a regular file nor a folder (devices, pipes, sockets) and links that lead nowhere.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace tessel::platform {

// One entry of a folder search: its last-write time as a local DOS date-time (date in the high 16
// bits, two-second resolution, clamped to 1980..2107 so a plain comparison orders times correctly),
// its full size and its attributes.
struct FileEntry {
    std::uint32_t Time = 0;
    std::uint64_t Size = 0;
    std::uint32_t Attr = 0;
    std::string Name;
};

inline constexpr std::uint32_t faReadOnly = 0x01;  // the owner's write bit is clear
inline constexpr std::uint32_t faHidden = 0x02;
inline constexpr std::uint32_t faDirectory = 0x10;
inline constexpr int kPermissionShift = 16;  // permission bits rwxrwxrwx above the flags

std::uint32_t dosDateTime(std::int64_t seconds);
FileEntry fileEntryOf(const struct stat& info, std::string_view name);

inline bool isHiddenName(std::string_view name) {
    return !name.empty() && name.front() == '.';
}

// An open folder, closed when the object goes.
class Folder {
  public:
    Folder() = default;
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // Opens a folder by path; a link to a folder is followed.
    static Folder open(const std::string& path, std::error_code& error);
    // Opens the subfolder `name` of `parent`. With followLinks false a link is refused (ELOOP/ENOTDIR).
    static Folder openChild(const Folder& parent, const char* name, bool followLinks, std::error_code& error);

    bool valid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // Device and inode, asked of the system once.
    bool identity(dev_t& device, ino_t& inode) const;

  private:
    explicit Folder(int fd) : m_fd(fd) {}
    int m_fd = -1;
    mutable bool m_identityKnown = false;
    mutable dev_t m_device = 0;
    mutable ino_t m_inode = 0;
};

// A folder known by device and inode, so another spelling of its path cannot hide it.
struct FolderIdentity {
    bool known = false;
    dev_t device = 0;
    ino_t inode = 0;

    static FolderIdentity of(const Folder& folder) {
        FolderIdentity identity;
        identity.known = folder.identity(identity.device, identity.inode);
        return identity;
    }
    bool matches(const Folder& folder) const {
        dev_t otherDevice = 0;
        ino_t otherInode = 0;
        return known && folder.identity(otherDevice, otherInode) && otherDevice == device &&
               otherInode == inode;
    }
};

// A name from a folder listing with the entry type the listing reported (DT_* from <dirent.h>) and
// its inode number.
struct ListedName {
    std::string name;
    unsigned char type;
    ino_t inode;
};

// Every entry of the folder except "." and "..", in the order the file system returns them.
bool listFolder(const Folder& folder, std::vector<ListedName>& names, std::error_code& error);

enum class EntryKind { Missing, File, Folder, FolderLink, System };

// What `name` in `folder` is. A link to a regular file is a File (and `info` describes the file), a
// link to a folder is a FolderLink, a dangling link is System. `info` is filled for File and Folder.
// An entry that cannot be examined for another reason than its absence is System: never touched.
EntryKind examine(const Folder& folder, const char* name, unsigned char listedType, struct stat& info);

// Whether `name` in `folder` is there as anything but a folder (links, hidden and system entries
// count). Unknown when the system cannot tell (permission denied, an I/O error, a name too long).
enum class Presence { Absent, Present, Unknown };
Presence presenceAsFile(const Folder& folder, const char* name);

// Creates the subfolder `name` in `parent`. `created` tells whether it is new; an existing folder (or
// link to one) is fine, anything else fails.
bool makeChildFolder(const Folder& parent, const char* name, bool& created, std::error_code& error);

bool isExistingFolder(const std::string& path);
bool makeFolder(const std::string& path, std::error_code& error);

// Copies the regular file `srcName` (described by `srcInfo`) into `dstName`. `dstInfo` describes the
// present destination, or is null when the destination is known to be absent. The destination is
// only ever replaced by a finished copy carrying the source's modification time and permissions: the
// data goes into a hidden temporary in the destination folder that is renamed over the name at the
// end. Refused when the destination is read-only or a folder; on any failure the destination is as it
// was and no temporary is left.
bool copyFile(const Folder& srcFolder, const char* srcName, const struct stat& srcInfo,
              const Folder& dstFolder, const char* dstName, const struct stat* dstInfo,
              std::error_code& error);

// Moves `srcName` to `dstName`, never replacing an existing destination. Across file systems the file
// is copied as by copyFile and the source removed only once the copy is complete; on any failure the
// source stays where it was.
bool moveFile(const Folder& srcFolder, const char* srcName, const struct stat& srcInfo,
              const Folder& dstFolder, const char* dstName, const struct stat* dstInfo,
              std::error_code& error);

// Deletes a file; a read-only file (owner's write bit clear) is refused, also for root.
bool deleteFile(const Folder& folder, const char* name, std::error_code& error);

// Names of the temporaries copyFile makes: ".tessel-<process id>-<counter>.tmp", both in hex.
inline constexpr std::string_view kTemporaryPrefix = ".tessel-";

// Whether `name` is a temporary of copyFile whose process no longer runs, so a crash or a kill left
// it behind. A user's file never has such a name.
bool isStaleTemporary(std::string_view name);

// Removes the stale temporaries among `names`, which list `folder`.
void removeStaleTemporaries(const Folder& folder, const std::vector<ListedName>& names);

}  // namespace tessel::platform
