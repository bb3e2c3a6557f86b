#pragma once
// The user's own folders as the desktop's base-directory rules name them, and moving Tessel into the
// folder where it keeps its files.

#include <string>
#include <system_error>

namespace tessel::platform {

// $XDG_DATA_HOME when it holds an absolute path, else ~/.local/share. Empty when there is no home
// folder to go by.
std::string userDataHome();

// $XDG_CONFIG_HOME when it holds an absolute path, else ~/.config. Empty without a home folder.
std::string userConfigHome();

// Makes `folder` with every missing parent (new ones for the user alone) and makes it the current
// folder. False with the system's reason when either cannot be done.
bool enterFolder(const std::string& folder, std::error_code& error);

}  // namespace tessel::platform
