#pragma once
// Pieces shared by the tree walks of the engine.

#include <dirent.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace tessel {

using platform::withTrailingSlash;

// A listed entry that may be a folder the walks enter (links to folders are never entered).
inline bool mayBeFolder(unsigned char listedType) {
    return listedType == DT_DIR || listedType == DT_UNKNOWN;
}

// Opens a source subfolder without following links, so a link cycle can never make a walk endless.
inline platform::Folder openSourceChild(const platform::Folder& parent, const platform::ListedName& entry) {
    std::error_code error;
    return platform::Folder::openChild(parent, entry.name.c_str(), false, error);
}

// A source subfolder and its destination counterpart, open for a walk to step into.
struct SubfolderPair {
    platform::Folder source;
    platform::Folder destination;
    bool destinationCreated = false;  // new, so it holds nothing yet
};

// Opens the source subfolder `entry` without following links and makes and opens its counterpart in
// `destination`. False when there is nothing to walk: not a folder, the excluded folder, a counterpart
// that cannot be made, or a source folder the user may not read (its counterpart is still made, so
// every visited folder has one, but nothing in it is touched).
inline bool enterSubfolder(const platform::Folder& source, const platform::Folder& destination,
                           const platform::ListedName& entry, const platform::FolderIdentity& excluded,
                           SubfolderPair& pair) {
    std::error_code error;
    pair.source = platform::Folder::openChild(source, entry.name.c_str(), false, error);
    const bool unreadable = !pair.source.valid() && error.value() == EACCES;
    if ((!pair.source.valid() && !unreadable) || excluded.matches(pair.source)) return false;
    if (!platform::makeChildFolder(destination, entry.name.c_str(), pair.destinationCreated, error) ||
        unreadable)
        return false;
    pair.destination = platform::Folder::openChild(destination, entry.name.c_str(), true, error);
    return pair.destination.valid();
}

}  // namespace tessel
