#include "ui/WatchRoots.h"

#include "platform/Paths.h"
#include "platform/Versions.h"

using namespace tessel;

WatchRoots watchRoots(const TWatchRec& watch) {
    WatchRoots roots =
        tessel::watchRoots(getText(watch.SourceDir), getText(watch.DestDir), isOn(watch.CopyWithRoot));
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
