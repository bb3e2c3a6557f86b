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

std::vector<char> WalkRules::takenOf(const std::string& relative,
                                     const std::vector<WalkEntry>& entries) const {
    std::vector<char> taken(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const WalkEntry& entry = entries[i];
        bool takesIt = takes(relative, *entry.name);
        for (const int side : kSides)
            if (m_links == LinkHandling::Skip && entry.on[side] &&
                entry.type[side] == platform::ListedType::Link)
                takesIt = false;
        taken[i] = takesIt ? 1 : 0;
    }
    return taken;
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
