#pragma once
// Temporary files that later replace another file in one rename.

#include <string>
#include <system_error>

#include "platform/FileIo.h"

namespace tessel::platform {

// Creates a new, empty file open for writing in the folder of `target`, under a hidden name that no
// other file has, so that a rename can later put it in `target`'s place. When `target` exists the
// new file gets its permission bits and, where allowed, its owner, so replacing it changes nothing
// but the content.
bool createTempBeside(const std::string& target, File& file, std::string& tempPath, std::error_code& error);

}  // namespace tessel::platform
