#pragma once
// Where things are: the process's current folder and the real location behind a path.

#include <string>
#include <system_error>

namespace tessel::platform {

// `path` with one "/" at its end (folder paths in Tessel carry one).
inline std::string withTrailingSlash(const std::string& path) {
    return !path.empty() && path.back() == '/' ? path : path + '/';
}

// `path` with ".", ".." and repeated slashes worked out from the text alone, as the user means it:
// "/x/home/docs/.." is "/x/home". A trailing "/" stays; ".." above the root stays at the root, ".."
// at the start of a relative path stays.
std::string normalisePath(const std::string& path);

// The current folder as the system reports it, without a trailing "/" (unless it is "/" itself).
bool currentFolder(std::string& folder, std::error_code& error);

// The absolute path of an existing entry with every link, "." and ".." resolved.
bool resolvePath(const std::string& path, std::string& resolved, std::error_code& error);

}  // namespace tessel::platform
