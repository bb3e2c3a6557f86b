#include "platform/UserFolders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/FileIo.h"

namespace tessel::platform {

namespace {

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    // A session without HOME (some service managers) still has the account's home folder.
    const passwd* account = ::getpwuid(::getuid());
    return account != nullptr && account->pw_dir != nullptr && account->pw_dir[0] == '/' ? account->pw_dir
                                                                                         : "";
}

// The rules ignore a relative value: it would mean a different folder in every current folder.
std::string baseFolder(const char* variable, const char* belowHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') return value;
    const std::string home = homeFolder();
    return home.empty() ? home : home + belowHome;
}

}  // namespace

std::string userDataHome() {
    return baseFolder("XDG_DATA_HOME", "/.local/share");
}

std::string userConfigHome() {
    return baseFolder("XDG_CONFIG_HOME", "/.config");
}

bool enterFolder(const std::string& folder, std::error_code& error) {
    if (folder.empty()) {
        error = std::make_error_code(std::errc::no_such_file_or_directory);
        return false;
    }
    // Parents first. One that exists fails with EEXIST; one that cannot be made says why the folder
    // itself cannot be, where the folder's own attempt would only find its parent missing.
    int parentError = 0;
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1)) {
        if (::mkdir(folder.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) parentError = errno;
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        const int reason = errno == ENOENT && parentError != 0 ? parentError : errno;
        error = std::error_code(reason, std::system_category());
        return false;
    }
    if (::chdir(folder.c_str()) != 0) {
        error = lastSystemError();
        return false;
    }
    return true;
}

}  // namespace tessel::platform
