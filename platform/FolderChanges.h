#pragma once
// Changes in folders as the kernel tells them (inotify), the one place Tessel asks for them. A followed
// folder tells of the names directly in it, not of its subfolders' names: every folder of a tree needs
// a follow of its own, and the kernel allows a user only so many (followedFolderLimit). What happens
// on another machine (the server of a network mount) never reaches this kernel: fileSystemWithoutChanges
// names such file systems.
//
// Threads: one thread reads and follows; wake() may come from any thread, a signal handler included.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/UniqueFd.h"

namespace tessel::platform {

// What happened to a name in a followed folder, or to the folder itself (an empty name). Several may
// come together in one change.
enum FolderChangeKind : unsigned {
    kNameCreated = 1u << 0,     // made (a file, folder, link, ...)
    kNameWritten = 1u << 1,     // a file written and closed
    kNameAttributes = 1u << 2,  // times, permissions, owner or extended attributes changed
    kNameDeleted = 1u << 3,
    kNameMovedAway = 1u << 4,  // renamed to elsewhere: `cookie` pairs it with its kNameMovedHere
    kNameMovedHere = 1u << 5,  // renamed to here from elsewhere
    kFolderDeleted = 1u << 6,  // the followed folder itself
    kFolderMoved = 1u << 7,    // the followed folder itself was renamed
    kUnfollowed = 1u << 8,     // the kernel no longer follows the folder (deleted, unmounted, unfollowed)
    kUnmounted = 1u << 9,      // the file system the folder is on was unmounted
    kOverflow = 1u << 10,      // the kernel's queue was full: changes were lost, of every followed folder
};

struct FolderChange {
    int folder = -1;  // as follow() gave it; -1 for kOverflow
    unsigned kinds = 0;
    bool isFolder = false;  // the name is a folder
    std::uint32_t cookie = 0;
    std::string name;
};

class FolderChanges {
  public:
    FolderChanges() = default;
    FolderChanges(FolderChanges&&) = default;
    FolderChanges& operator=(FolderChanges&&) = default;

    bool open(std::error_code& error);
    bool isOpen() const { return m_queue.valid(); }
    // Follows the folder at `path`, never through a link: its number, the same for a folder followed
    // already; -1 with the reason when it cannot be (ENOSPC: the user's limit of followed folders is
    // reached; ENOTDIR, ELOOP: no folder, or a link).
    int follow(const std::string& path, std::error_code& error);
    // The kernel sends kUnfollowed for it once the queue holds nothing older.
    void unfollow(int folder);
    // Waits until changes can be read, wake() is called, or `timeout` has passed. True when changes can
    // be read.
    bool wait(std::chrono::milliseconds timeout);
    // Appends the changes there are now, without waiting; false, with the reason, when reading fails.
    bool read(std::vector<FolderChange>& changes, std::error_code& error);
    // Ends a wait now or the next one to come.
    void wake();

  private:
    UniqueFd m_queue;
    UniqueFd m_wake;
    std::vector<char> m_buffer;
};

// The most folders one user may follow at once (fs.inotify.max_user_watches); nothing when unknown.
std::optional<std::int64_t> followedFolderLimit();

// The type of the file system that holds `path` ("nfs4", "cifs", "fuse.sshfs") when changes can be made
// to it without this kernel seeing them, so that no change event ever comes for them: network file
// systems, and FUSE file systems that are not on a local disk. Empty for any other file system, and
// when `path` cannot be examined.
std::string fileSystemWithoutChanges(const std::string& path);

}  // namespace tessel::platform
