#include "watch/StartFolder.h"

#include <system_error>

#include "platform/UserFolders.h"

namespace tessel {

std::string userTesselFolder() {
    const std::string data = platform::userDataHome();
    return data.empty() ? data : data + "/tessel";
}

FolderOption takeFolderOption(const std::vector<std::string_view>& arguments, std::size_t& i,
                              std::string& folder, std::string& problem) {
    const std::string_view argument = arguments[i];
    std::string chosen;
    if (argument == kUserFolderOption) {
        chosen = userTesselFolder();
        if (chosen.empty()) {
            problem = "--user-folder: no home folder and no XDG_DATA_HOME to find the user's data folder by";
            return FolderOption::Invalid;
        }
    } else if (argument == kFolderOption || argument.starts_with(std::string(kFolderOption) + "=")) {
        if (argument == kFolderOption) {
            if (i + 1 >= arguments.size()) {
                problem = "--folder needs a folder";
                return FolderOption::Invalid;
            }
            chosen = arguments[++i];
        } else {
            chosen = argument.substr(kFolderOption.size() + 1);
        }
        if (chosen.empty()) {
            problem = "--folder needs a folder";
            return FolderOption::Invalid;
        }
    } else {
        return FolderOption::NotOne;
    }
    if (!folder.empty()) {
        problem = "give only one of --folder and --user-folder, once";
        return FolderOption::Invalid;
    }
    folder = chosen;
    return FolderOption::Taken;
}

bool enterStartFolder(const std::string& folder, std::string& problem) {
    std::error_code error;
    if (platform::enterFolder(folder, error)) return true;
    problem = "cannot keep the files in " + folder + ": " + error.message();
    return false;
}

}  // namespace tessel
