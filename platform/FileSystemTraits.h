#pragma once
// What the file system of a folder can do, learnt by trying it in a hidden folder of Tessel's own
// rather than guessed from its name: a USB stick (exFAT through FUSE), a Windows disk (ntfs-3g) and a
// network mount (sshfs) each refuse some of what ext4 does, and say so only when asked. A run asks
// once per device (FileSystems) and chooses its way to copy, replace and keep versions from the
// answers, never by trying each file's way and falling back when a call fails.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/Folders.h"

namespace tessel::platform {

// How much of the permission bits a file keeps.
enum class PermissionsKept {
    All,          // the bits given are the bits read back
    ReadOnlyBit,  // only whether the owner may write (a DOS attribute under the bits)
    None,         // the bits are fixed for the whole mount
};

struct FileSystemTraits {
    // False when the folder could not be tried (it cannot be written): the answers below are then the
    // conservative ones, which need nothing the file system might lack.
    bool tried = false;

    bool renameNoReplace = false;     // renameat2 with RENAME_NOREPLACE refuses a taken name
    bool hardLinks = false;           // a file can have a second name
    bool unnamedTemporaries = false;  // O_TMPFILE, and such a file can then be given a name
    PermissionsKept permissions = PermissionsKept::All;
    bool owners = false;  // chown works (tried only as root: nobody else may hand a file over)
    bool symbolicLinks = false;
    bool caseSensitive = false;  // "Name" and "NAME" are two files
    bool casePreserving = true;  // a name reads back in the case it was made with
    // The finest step of modification times it keeps, in nanoseconds: 1 for ext4, 100 for NTFS, a
    // second over SFTP, two seconds for FAT.
    std::int64_t timeResolution = 2'000'000'000;
    // Times are kept in local time, not UTC (FAT, exFAT): a time-zone or daylight-saving change moves
    // every file's time. The one trait read from the mount, not tried: see keepsLocalTime.
    bool localTime = false;

    // Names it refuses: which of the characters Windows forbids (`: * ? " < > | \`), control bytes,
    // a trailing dot or blank, and the longest name in bytes.
    std::string refusedCharacters;
    bool refusesControlBytes = false;
    bool refusesTrailingDot = false;
    bool refusesTrailingBlank = false;
    std::uint32_t longestName = 255;

    // Extended attributes by namespace (security and trusted tried only as root), and POSIX ACLs
    // (kept as the system.posix_acl_* attributes).
    bool userAttributes = false;
    bool securityAttributes = false;
    bool trustedAttributes = false;
    bool posixAcls = false;

    // Whether a file of this name could not be made here as it is.
    bool refusesName(std::string_view name) const;
};

// The answers for a folder that cannot be tried.
FileSystemTraits conservativeTraits();

inline constexpr std::string_view kProbeFolderSuffix = ".probe";

// Tries out the file system of `folder` in a hidden folder `.tessel-<pid>-<n>.probe` made in it and
// removed afterwards, whatever happens; the folder's own times are set back as they were. A probe
// folder left by a killed run goes when a walk lists the folder (removeStaleTemporaries).
FileSystemTraits probeFileSystem(const Folder& folder);

// Whether the file system of `folder` keeps local time rather than UTC: read from the mount, as no probe
// can tell (see FileSystemTraits::localTime).
bool keepsLocalTime(const Folder& folder);

// One line naming what the traits say, for logs, tests and the file-system matrix.
std::string describeTraits(const FileSystemTraits& traits);

// Whether `name` has exactly the form of a probe folder of a process that no longer runs.
bool isStaleProbeFolder(std::string_view name);
// Removes the probe folder `name` of `parent` with what is in it (the probe makes only files and links).
void removeProbeFolder(const Folder& parent, const std::string& name);

// The one way an unnamed file (O_TMPFILE) gets its name `name` in `folder`; fails when the name is
// taken, so nothing is ever replaced.
bool nameUnnamedFile(int fd, const Folder& folder, const std::string& name, std::error_code& error);

// What a run has learnt of the file systems it works on, by device. Owned by the run; asked from any
// of its threads.
class FileSystems {
  public:
    // The traits of the file system `folder` is on, tried in `folder` on the first ask for its device.
    // A folder that is not valid (one a preview imagines) gets the conservative answers.
    const FileSystemTraits& of(const Folder& folder);
    // Those of the file system a folder that is not there yet (`path`) would be made on: that of the
    // nearest folder above it that is there.
    const FileSystemTraits& ofNearest(const std::string& path);

  private:
    std::mutex m_mutex;  // held through a probe: a second thread asking for the device waits for it
    std::map<std::uint64_t, std::unique_ptr<const FileSystemTraits>> m_known;
};

}  // namespace tessel::platform
