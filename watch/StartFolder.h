#pragma once
// Where Tessel keeps Tessel.ini, Data/ and its log: the folder it is started from, unless the command
// line of either program names another with --folder DIR, or with --user-folder the user's data folder
// ($XDG_DATA_HOME/tessel), which is what the desktop menu entry and the systemd units say.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

inline constexpr std::string_view kFolderOption = "--folder";
inline constexpr std::string_view kUserFolderOption = "--user-folder";

// $XDG_DATA_HOME/tessel, or ~/.local/share/tessel; empty when there is no home folder to go by.
std::string userTesselFolder();

enum class FolderOption { NotOne, Taken, Invalid };

// Looks at arguments[i]: --folder DIR, --folder=DIR or --user-folder sets `folder` (and steps `i` past a
// separate DIR) and gives Taken; anything else gives NotOne. Invalid, with `problem` said, for a folder
// option without its folder, or when `folder` was set by an earlier one.
FolderOption takeFolderOption(const std::vector<std::string_view>& arguments, std::size_t& i,
                              std::string& folder, std::string& problem);

// Makes `folder` when it is missing and makes it the current folder, so that Tessel finds and creates
// its files there. False with `problem` said when that cannot be done.
bool enterStartFolder(const std::string& folder, std::string& problem);

}  // namespace tessel
