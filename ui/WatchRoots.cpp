#include "ui/WatchRoots.h"

#include "platform/Paths.h"
#include "platform/Versions.h"

using namespace tessel;

WatchRoots watchRoots(const TWatchRec& watch) {
    WatchRoots roots{platform::normalisePath(getText(watch.SourceDir)),
                     platform::normalisePath(getText(watch.DestDir))};
    if (isOn(watch.CopyWithRoot)) {
        // As the run does it: a source ending in "/" has no name of its own and adds nothing.
        const auto slash = roots.source.rfind('/');
        const std::string rootName =
            slash == std::string::npos ? roots.source : roots.source.substr(slash + 1);
        if (!rootName.empty() && rootName != "." && rootName != "..") roots.destination += "/" + rootName;
    }
    for (std::string* root : {&roots.source, &roots.destination})
        while (root->size() > 1 && root->back() == '/') root->pop_back();
    return roots;
}

std::vector<std::string> versionsFolders(const TWatchRec& watch) {
    const WatchRoots roots = watchRoots(watch);
    const auto inside = [](const std::string& root) {
        return platform::withTrailingSlash(root) + std::string(platform::kVersionsFolderName);
    };
    std::vector<std::string> folders{inside(roots.destination)};
    if (isOn(watch.BiDirect)) folders.push_back(inside(roots.source));
    return folders;
}
