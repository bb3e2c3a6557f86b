#pragma once
// Folders and what is in them, addressed relative to open folders so a walk never resolves a full
// path twice and never passes through a link it did not choose to follow. Hidden means a name that
// starts with a dot; "special" means anything that is neither a regular file nor a folder (devices,
// pipes, sockets) and links that lead nowhere. A symbolic link is looked at through (LinkLook::Follow)
// or as itself (LinkLook::AsLink, for watches that copy links as links).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/UniqueFd.h"

namespace tessel::platform {

// A moment as the file system keeps it, in UTC.
struct FileTime {
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = 0;
    friend bool operator==(const FileTime&, const FileTime&) = default;
};

enum class EntryKind {
    Missing,
    File,        // a regular file, or a link to one; looked at AsLink, any symbolic link itself (isLink)
    Folder,      // a folder (never a link to one)
    FolderLink,  // a link to a folder: never entered
    Special,     // a device, pipe or socket, a link to one, or a link that leads nowhere
    Unreadable,  // cannot be examined (permission denied, an I/O error): never touched
};

// What a walk needs to know of an entry.
struct FileInfo {
    EntryKind kind = EntryKind::Missing;
    bool viaLink = false;         // the name is a link to what the rest describes
    std::uint32_t linkOwner = 0;  // with viaLink: who owns the link itself
    // Looked at AsLink: the name is a symbolic link, described as itself (its size is the length of
    // `linkTarget`, its times its own), whatever it leads to (a file, a folder, nothing, itself).
    bool isLink = false;
    std::string linkTarget;  // with isLink: where the link leads, as it is written
    std::uint64_t size = 0;
    std::uint64_t allocated = 0;  // bytes of disk in use: less than the size for a file with holes
    FileTime modified;
    FileTime accessed;
    FileTime changed;        // the inode's change time: any write or attribute change moves it
    std::uint32_t mode = 0;  // permission bits with the set-id and sticky bits (07777)
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

// The type a folder listing reports for a name, where the file system says it without a look-up.
enum class ListedType : std::uint8_t { Unknown, File, Folder, Link, Other };

struct ListedName {
    std::string name;
    ListedType type = ListedType::Unknown;
};

inline bool isHiddenName(std::string_view name) {
    return !name.empty() && name.front() == '.';
}

// Reasons of Tessel's own, for failures the system has no number for.
enum class WalkError {
    SymbolicLink = 1,       // a link where a folder or file was to be written: never followed
    NotRegularFile,         // a device, pipe or socket where a regular file was expected
    DestinationNotRegular,  // the same where a copy was to go
    ChangedWhileCopied,
    ChangedSinceExamined,  // a file to replace or delete was changed after the run decided on it
    ChangedSincePreview,   // a run of an edited plan found it otherwise than the preview did
    FolderChanged,         // a folder was replaced by another while the walk was inside it
    OtherOwner,            // a file of Tessel's own that belongs to another user
    VersionsNotPrivate,    // a versions folder another user owns or may write in
    ForeignLink,           // a link to another owner's file outside the tree: never followed
    ForeignFolder,         // another user's folder that others may write in, mirroring a private one
    NameRefused,           // a name the file system where it was to go cannot hold
    NameClash,             // a name that differs from another only in letter case, where they are one
    LinksNotHeld,          // a symbolic link to be made on a file system that has none
};
std::error_code make_error_code(WalkError error);

// An open folder, closed when the object goes.
class Folder {
  public:
    Folder() = default;

    // Opens a folder by path. Links along the path are followed: it is the folder the user chose. A
    // folder Tessel makes below the chosen one (`NoLink` for its last name) is never a link's target.
    enum class LastName { MayBeLink, NoLink };
    static Folder open(const std::string& path, std::error_code& error, LastName last = LastName::MayBeLink);
    // Opens the subfolder `name` of `parent`, never through a link (the error is then SymbolicLink).
    static Folder openChild(const Folder& parent, const std::string& name, std::error_code& error);
    // Opens the folder `relative` ("a/b/", "" for `base` itself) below `base` one level at a time, never
    // through a link.
    static Folder openBelow(const Folder& base, const std::string& relative, std::error_code& error);

    bool valid() const { return m_fd.valid(); }
    int fd() const { return m_fd.get(); }
    // Device and inode, as the folder was when it was opened; false for a folder that is not open.
    bool identity(std::uint64_t& device, std::uint64_t& inode) const;
    bool sameFolderAs(const Folder& other) const;
    // Who owns the folder and who may write in it, as when it was opened.
    std::uint32_t owner() const { return m_owner; }
    std::uint32_t mode() const { return m_mode; }
    // The group a file made in the folder gets: the folder's own where it passes its group on (the
    // set-group-ID bit), else the process's.
    std::uint32_t groupOfNewFiles() const;
    // What the folder itself is now: its permissions, owner and times.
    bool info(FileInfo& info, std::error_code& error) const;

  private:
    // Takes `fd` and learns what the folder is; a descriptor that cannot be looked at is closed.
    static Folder adopt(int fd, std::error_code& error);
    explicit Folder(int fd) : m_fd(fd) {}
    UniqueFd m_fd;
    // Worked out once, when the folder is opened, and never changed: threads may ask at any time.
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
    std::uint32_t m_owner = 0;
    std::uint32_t m_group = 0;
    std::uint32_t m_mode = 0;
};

using SharedFolder = std::shared_ptr<const Folder>;

// Every entry of the folder except "." and "..". In name order (byte order) where `order` asks for it,
// so a walk visits a tree in the same order on every file system and every time; else in the order
// the file system keeps them, which is cheaper where the order does not matter.
enum class ListOrder { ByName, AsStored };
bool listFolder(const Folder& folder, std::vector<ListedName>& names, std::error_code& error,
                ListOrder order = ListOrder::ByName);

// How a symbolic link is looked at: through, at what it leads to, or as itself.
enum class LinkLook { Follow, AsLink };

// What `name` in `folder` is. Followed, a link to a regular file is a File (described as the file,
// viaLink set) and a link to a folder is a FolderLink; AsLink, every link is a File with isLink set and
// its target read. `error` says why for Unreadable.
EntryKind examine(const Folder& folder, const std::string& name, ListedType listed, FileInfo& info,
                  std::error_code& error, LinkLook look = LinkLook::Follow);

// The target of the symbolic link `name` in `folder`, as it is written; `length` is what a look found
// its size to be (0 when not known).
bool readLink(const Folder& folder, const std::string& name, std::string& target, std::error_code& error,
              std::uint64_t length = 0);

// Whether `name` in `folder` is there as anything but a folder (links, hidden and special entries
// count). Unknown when the system cannot tell (permission denied, an I/O error, a name too long).
enum class Presence { Absent, Present, Unknown };
Presence presenceAsFile(const Folder& folder, const std::string& name);

// When the entry `name` of `folder` (not followed) came to be, where its file system keeps that; a
// rename keeps it, a new file has its own, even one that took a deleted file's inode.
std::optional<FileTime> birthTime(const Folder& folder, const std::string& name);

// Makes the subfolder `name` of `parent` for a walk to fill: with the permission bits `mode` for group
// and others (never more) and full access for the owner until finishFolder. An existing folder is
// fine (`created` false); a link or anything else of that name fails.
bool makeChildFolder(const Folder& parent, const std::string& name, std::uint32_t mode, bool& created,
                     std::error_code& error);

// Once a walk has finished writing in `folder`: a folder it `created` gets the owner and group of the
// folder it mirrors (`like`) where the system allows it (only root may), and its exact permission bits,
// the set-id bits only when the owner was kept; every such folder gets `like`'s times.
bool finishFolder(const Folder& folder, const FileInfo& like, bool created, std::error_code& error);

// Another user's folder (root's aside) that others may write in: in a shared folder, made there in
// advance by someone who can then read what goes into it or put their files in it.
bool isSharedByAnotherUser(const Folder& folder);

// Whether the link `name` in `folder` leads to something inside the tree whose root is at the resolved
// path `resolvedRoot` (as resolvePath gives it). A link to another owner's file is followed only then:
// a user's link must not make a run (as root, say) read what that user may not.
bool linkLeadsInside(const Folder& folder, const std::string& name, const std::string& resolvedRoot);

bool isExistingFolder(const std::string& path);

// Creates every missing folder along Path. False when Path is empty or "/", or when a folder could not
// be created; the walk along the path goes on to its end in any case. `error` holds the first reason.
bool ForceFolders(const std::string& Path, std::error_code& error);
inline bool ForceFolders(const std::string& Path) {
    std::error_code ignored;
    return ForceFolders(Path, ignored);
}

}  // namespace tessel::platform

template <>
struct std::is_error_code_enum<tessel::platform::WalkError> : std::true_type {};
