#pragma once
// Where things are: the process's current folder and the real location behind a path.

#include <string>
#include <system_error>

namespace tessel::platform {

// `path` with one "/" at its end (folder paths in Tessel carry one).
inline std::string withTrailingSlash(const std::string& path) {
    return !path.empty() && path.back() == '/' ? path : path + '/';
}

// The current folder as the system reports it, without a trailing "/" (unless it is "/" itself).
bool currentFolder(std::string& folder, std::error_code& error);

// The absolute path of an existing entry with every link, "." and ".." resolved.
bool resolvePath(const std::string& path, std::string& resolved, std::error_code& error);

}  // namespace tessel::platform
