#include "ui/VersionsFolder.h"

#include "platform/Paths.h"
#include "platform/Versions.h"

using namespace tessel;

std::vector<std::string> versionsFolders(const TWatchRec& watch) {
    const std::string source = platform::normalisePath(getText(watch.SourceDir));
    std::string destination = platform::normalisePath(getText(watch.DestDir));
    if (isOn(watch.CopyWithRoot)) {
        // As the run does it: a source ending in "/" has no name of its own and adds nothing.
        const auto slash = source.rfind('/');
        const std::string rootName = slash == std::string::npos ? source : source.substr(slash + 1);
        if (!rootName.empty() && rootName != "." && rootName != "..") destination += "/" + rootName;
    }
    const auto inside = [](const std::string& root) {
        return platform::withTrailingSlash(root) + std::string(platform::kVersionsFolderName);
    };
    std::vector<std::string> folders{inside(destination)};
    if (isOn(watch.BiDirect)) folders.push_back(inside(source));
    return folders;
}
