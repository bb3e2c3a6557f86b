#pragma once
// Whether two files hold the same bytes: what settles a file changed on both sides of a two-way watch.

#include <string>
#include <system_error>

#include "platform/Folders.h"

namespace tessel::platform {

// Reads `nameA` of `folderA` and `nameB` of `folderB` and sets `same`. Followed, a link to a regular
// file is read as that file; looked at AsLink, a link holds its target, and is the same as a link with
// that target only. Anything else is refused (NotRegularFile). False, with the reason, when either file
// cannot be read to its end.
bool sameContent(const Folder& folderA, const std::string& nameA, const Folder& folderB,
                 const std::string& nameB, bool& same, std::error_code& error,
                 LinkLook look = LinkLook::Follow);

}  // namespace tessel::platform
