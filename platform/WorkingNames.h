#pragma once
// The names Tessel gives what it makes for a while in the trees it works in (the temporaries of copies,
// the probe folders of FileSystemTraits) and its versions folder, and the clearing of what killed runs
// left there.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Folders.h"

namespace tessel::platform {

// Names of the temporaries copyFile makes: ".tessel-<process id>-<counter>.tmp", each number as eight
// lower-case hexadecimal digits.
inline constexpr std::string_view kTemporaryPrefix = ".tessel-";

// A name for a temporary that no other temporary of this process has had.
std::string temporaryName();

// Whether `name` is one Tessel makes in the trees it works in: the versions folder (in any letter case),
// or a temporary or probe folder of any run, gone or still running. No walk takes such a name for one of
// the user's.
bool isWorkingName(std::string_view name);

// Whether `name` has exactly the form of copyFile's temporaries and names a process that no longer
// runs, so a crash or a kill left it behind.
bool isStaleTemporary(std::string_view name);
// The same for any name of Tessel's own of the form ".tessel-<pid>-<counter>" + `suffix`.
bool isLeftByDeadProcess(std::string_view name, std::string_view suffix);

// Removes the stale temporaries among `names`, which list `folder`, and the probe folders
// (FileSystemTraits) that killed runs left.
void removeStaleTemporaries(const Folder& folder, const std::vector<ListedName>& names);

}  // namespace tessel::platform
