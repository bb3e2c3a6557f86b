#include "sync/WalkRules.h"

#include "platform/Wildcard.h"
#include "platform/WorkingNames.h"

namespace tessel {

WalkRules::WalkRules(const std::vector<std::string>& excludes, HiddenFiles hidden, LinkHandling links)
    : m_hidden(hidden), m_links(links) {
    for (std::string mask : excludes) {
        // "cache/" is "cache", as people write a folder; "/build" is the path "build" below the root.
        while (!mask.empty() && mask.back() == '/') mask.pop_back();
        if (mask.empty()) continue;  // "/" alone names no path below the root
        if (mask.find('/') == std::string::npos) {
            m_nameMasks.push_back(std::move(mask));
            continue;
        }
        mask.erase(0, mask.find_first_not_of('/'));
        m_pathMasks.push_back(std::move(mask));
    }
}

WalkRules WalkRules::of(const Watch& watch) {
    return WalkRules(watch.excludes, watch.hidden, watch.links);
}

bool WalkRules::takes(std::string_view relative, std::string_view name) const {
    if (platform::isWorkingName(name)) return false;
    if (m_hidden == HiddenFiles::Skip && platform::isHiddenName(name)) return false;
    for (const std::string& mask : m_nameMasks)
        if (platform::matchesMask(mask, name)) return false;
    if (m_pathMasks.empty()) return true;
    std::string path;
    path.reserve(relative.size() + name.size());
    path.append(relative).append(name);
    for (const std::string& mask : m_pathMasks)
        if (platform::matchesMask(mask, path)) return false;
    return true;
}

}  // namespace tessel
