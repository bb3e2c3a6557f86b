#pragma once
// Versions: a file that a run would replace or delete is first moved into a folder of the run at the
// root of its tree, <root>/.tessel-versions/<yyyy-mm-dd hhmmss>/<relative path>, so no run destroys a
// file for good. The name starts with a dot, so walks, masks and deletions never see it.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/Clock.h"
#include "platform/FileSystemTraits.h"
#include "platform/Folders.h"

namespace tessel::platform {

inline constexpr std::string_view kVersionsFolderName = ".tessel-versions";

// The name of a run's versions folder: its start in local time, "yyyy-mm-dd hhmmss".
std::string versionStamp(const LocalTime& start);
// Whether `name` has exactly that form (only such folders are ever removed by retention).
bool isVersionStamp(std::string_view name);

// Keeps the versions of one tree for one run. Made for the tree's root; the versions folder appears
// only with the first version kept, and the root keeps its times for it. A versions folder that is
// already there is used only when it is the user's own and nobody else may write in it (else the
// reason is VersionsNotPrivate): in a shared folder another user could otherwise read the versions, or
// make them look old and have them removed.
class VersionKeeper {
  public:
    VersionKeeper(std::string rootPath, std::string stamp);
    ~VersionKeeper();
    VersionKeeper(const VersionKeeper&) = delete;
    VersionKeeper& operator=(const VersionKeeper&) = delete;

    // Puts `name` of `folder` (at `relativeFolder` below the root, "" or "a/b/") into this run's
    // versions folder at the same relative place: moved there (`moved` set), or, with `linkOnly`, as a
    // second name of the same file, so a copy can then replace the original in one step and a kill at
    // any moment leaves the original where it was. Where neither can be (another file system below the
    // root, a file the user may not link, a file system without links as `traits` of `folder`'s file
    // system say), the version is a whole copy, and the original is the caller's to replace or delete.
    // False, with the reason, when the version could not be made safe: the file is then as it was and
    // must not be destroyed. `kept` is the version's path.
    bool keep(const Folder& folder, const std::string& relativeFolder, const std::string& name,
              const FileInfo& info, bool linkOnly, const FileSystemTraits& traits, bool& moved,
              std::string& kept, std::error_code& error);

    const std::string& rootPath() const { return m_rootPath; }
    // Whether the tree's versions folder is already there and not private (isPrivateFolder), so that
    // keep() would refuse every version: what a preview asks, making nothing. Looked at once.
    bool refusesVersions(const FileSystemTraits& traits);

  private:
    bool openFolder(const std::string& relativeFolder, const FileSystemTraits& traits,
                    std::error_code& error);

    std::string m_rootPath;  // with a trailing "/"
    std::string m_stamp;
    Folder m_root;
    std::string m_openRelative;  // the versions folder kept open, relative to the run's folder
    Folder m_open;
    std::error_code m_refused;      // why no version can be kept in this tree at all, once known
    std::mutex m_mutex;             // the copies of a run keep their versions from several threads
    std::optional<bool> m_foreign;  // refusesVersions' answer, once looked at
};

// Whether a versions folder that is already there may be used: the user's own, and nobody else may
// write in it. On a file system whose owners and permission bits are fixed for the whole mount (FAT,
// exFAT, NTFS through FUSE: `traits`), they say nothing of who made the folder: the mount decides who
// may write there, and the folder counts as private.
bool isPrivateFolder(const Folder& folder, const FileSystemTraits& traits);

// The versions folders of Tessel's own name pattern below `rootPath` ("yyyy-mm-dd hhmmss") that were
// made more than `days` days before `now`, oldest first. None when the versions folder is not private
// (isPrivateFolder) or cannot be read, and none that belongs to another user.
std::vector<std::string> expiredVersions(const std::string& rootPath, int days, WallClock now,
                                         const FileSystemTraits& traits);

// Removes the versions folder `stamp` below `rootPath` and everything in it, never through a link.
// Best effort: what cannot be removed stays for the next run.
void removeVersions(const std::string& rootPath, const std::string& stamp, const FileSystemTraits& traits);

}  // namespace tessel::platform
