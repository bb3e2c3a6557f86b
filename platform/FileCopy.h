#pragma once
// Copying, moving and deleting the files of a walk, relative to open folders. A destination is only
// ever replaced by a finished copy: a half-written file never carries a name the user knows.

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/FileSystemTraits.h"
#include "platform/Folders.h"
#include "platform/WorkingNames.h"

namespace tessel::platform {

class VersionKeeper;

// What a copy could not carry over because the destination's file system cannot hold it; the copy is
// whole otherwise. Extended attributes of the security and trusted namespaces count only for root,
// the one user who may set them.
struct Dropped {
    bool attributes = false;  // extended attributes
    bool acls = false;        // POSIX ACLs
    // The source's group could not be given to the copy (the user is not in it, or the folder passes
    // its own group on): the copy then has no permissions for group and others at all.
    bool group = false;
    void add(const Dropped& other) {
        attributes = attributes || other.attributes;
        acls = acls || other.acls;
        group = group || other.group;
    }
    bool any() const { return attributes || acls || group; }
};

// Where the file that a copy replaces or a deletion removes goes first: into the keeper's versions
// folder at `relativeFolder`. The call says what became of it.
struct VersionPlace {
    VersionKeeper* keeper = nullptr;
    std::string relativeFolder;
    bool kept = false;        // a version was made
    bool keepFailed = false;  // the version could not be made safe: nothing was replaced or deleted
    std::string keptPath;
};

// Hears how far the data of a copy has come, on the thread that copies, so that a display can follow a
// large file. A whole copy advances by exactly the size it started with, in steps of at most
// kCopyPiece bytes.
class CopyProgress {
  public:
    virtual ~CopyProgress() = default;
    // The data of a file of `size` bytes is about to be copied; once more when a source that changed
    // while it was copied is copied again.
    virtual void starting(std::uint64_t size) = 0;
    // `bytes` more of it are in the copy; a hole the copy keeps counts as copied.
    virtual void advanced(std::uint64_t bytes) = 0;
};

// The most one step of a copy moves: a 3 GB file tells its progress about a hundred times, and the
// system calls cost nothing beside the data they move.
inline constexpr std::uint64_t kCopyPiece = std::uint64_t{32} << 20;

// Copies the regular file `srcName` of `srcFolder` (examined as `srcInfo`) into `dstName` of
// `dstFolder`. `dstInfo` describes what is there now, or is null when nothing is. The copy carries the
// source's times and permission bits (the owner, group and set-id bits too where the system allows it),
// its extended attributes and POSIX ACLs where the destination holds them (`dropped` says what it
// could not), and is put in place only when complete and unchanged: a source that changes while it is
// copied is copied once more, then refused (ChangedWhileCopied). Refused too: a source that is not a
// regular file when opened, a destination that is a folder, special or read-only. On any failure the
// destination is as it was and no temporary is left. `traits` are those of the destination's file
// system (FileSystems::of): they choose how the copy is written and put in place.
// With `versions`, a destination that is replaced is first kept as a version; with `progress`, the data's
// way is told as it goes. A source examined as a link (isLink) is copied as a link: the destination
// becomes a symbolic link with the target the source has, its times and (as root) its owner, put in
// place as a file's copy is.
bool copyFile(const Folder& srcFolder, const std::string& srcName, const FileInfo& srcInfo,
              const Folder& dstFolder, const std::string& dstName, const FileInfo* dstInfo,
              const FileSystemTraits& traits, std::error_code& error, VersionPlace* versions = nullptr,
              Dropped* dropped = nullptr, CopyProgress* progress = nullptr);

// copyFile for a file the walk has not looked at, into a folder that holds nothing of its name (one
// the walk has just made): the look comes with the opening. `found` says what was copied, or stays
// Missing when the name could not be opened as a regular file (gone, a link, a pipe, unreadable):
// nothing was written then, and the usual look and copy say what it is.
bool copyNewFile(const Folder& srcFolder, const std::string& name, const Folder& dstFolder, FileInfo& found,
                 const FileSystemTraits& traits, std::error_code& error, Dropped* dropped = nullptr,
                 CopyProgress* progress = nullptr);

// Moves `srcName` to `dstName`, never replacing an existing destination. Across file systems the file
// (or, examined as a link, the link) is copied as by copyFile and the source removed only once the copy
// is in place; on any failure the source stays where it was.
bool moveFile(const Folder& srcFolder, const std::string& srcName, const FileInfo& srcInfo,
              const Folder& dstFolder, const std::string& dstName, const FileInfo* dstInfo,
              const FileSystemTraits& traits, std::error_code& error, Dropped* dropped = nullptr,
              CopyProgress* progress = nullptr);

// Ends a move that was cut short after its copy was in place (a kill, a removal that failed): removes
// `name` of `folder`, which must still be the file examined as `expected` (ChangedSinceExamined
// otherwise), whatever its permission bits, as the move would have taken it.
bool removeMovedSource(const Folder& folder, const std::string& name, const FileInfo& expected,
                       std::error_code& error);

// Makes the names of `folder` durable: what was renamed or made in it survives a power cut.
bool flushFolder(const Folder& folder, std::error_code& error);

// Gives a folder the run made the extended attributes and ACLs (the default ACL with them) of the
// folder it mirrors that its file system holds, as `cp -a` does; the rest is noted in `dropped`.
bool copyFolderAttributes(const Folder& from, const Folder& to, const FileSystemTraits& traits,
                          Dropped& dropped, std::error_code& error);

// Gives `from` of `folder` the spelling `to`, which differs from it only in letter case. Where the file
// system does not tell cases apart, `to` names the file itself and the rename is allowed over it; any
// other file under `to` is never replaced (EEXIST).
bool renameCase(const Folder& folder, const std::string& from, const std::string& to,
                const FileSystemTraits& traits, std::error_code& error);

// Gives `fromName` of `fromFolder` the name `toName` in `toFolder` without ever replacing what is there
// (EEXIST then), the best way the file system of `traits` offers: in one step where a rename can refuse
// a taken name; else as a second name (a link fails on a taken name) and the first one's removal; else,
// where there are no links either (exFAT through FUSE), by a look that finds the name free and a plain
// rename right after it. Only that last way has a window, between the look and the rename, in which a
// file made meanwhile under the name would be replaced.
bool renameNoReplace(const Folder& fromFolder, const std::string& fromName, const Folder& toFolder,
                     const std::string& toName, const FileSystemTraits& traits, std::error_code& error);

// Deletes the file `name`; a read-only file (owner's write bit clear) is refused, also for root. With
// `expected`, a file that is no longer the one examined then (another inode, size or modification
// time) is refused too, so a file changed since a deletion was decided survives it.
// With `versions`, the file goes into the versions folder instead of away. `traits` are those of the
// folder's file system.
bool deleteFile(const Folder& folder, const std::string& name, const FileInfo* expected,
                const FileSystemTraits& traits, std::error_code& error, VersionPlace* versions = nullptr);

}  // namespace tessel::platform
