#pragma once
// Pieces shared by the tree walks of the engine.

#include <dirent.h>

#include <string>

#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace tessel {

using platform::withTrailingSlash;

// A listed entry that may be a folder the walks enter (links to folders are never entered).
inline bool mayBeFolder(unsigned char listedType) { return listedType == DT_DIR || listedType == DT_UNKNOWN; }

// Opens a source subfolder without following links, so a link cycle can never make a walk endless.
inline platform::Folder openSourceChild(const platform::Folder& parent, const platform::ListedName& entry) {
    std::error_code error;
    return platform::Folder::openChild(parent, entry.name.c_str(), false, error);
}

}  // namespace tessel
