#include "sync/RunScope.h"

namespace tessel {

std::string_view parentFolderOf(std::string_view path) {
    const std::size_t end = !path.empty() && path.back() == '/' ? path.size() - 1 : path.size();
    const std::size_t slash = path.rfind('/', end == 0 ? 0 : end - 1);
    return slash == std::string_view::npos || end == 0 ? std::string_view() : path.substr(0, slash + 1);
}

void RunScope::add(const std::string& relative, Depth depth) {
    // Kept as small as it can be: nothing a tree above covers already, nothing below a tree.
    const auto found = m_folders.find(relative);
    if (found != m_folders.end() ? found->second == Depth::Tree : covers(relative)) return;
    if (depth == Depth::Tree)
        for (auto below = m_folders.lower_bound(relative);
             below != m_folders.end() && below->first.starts_with(relative);)
            below = m_folders.erase(below);
    m_folders[relative] = depth;
}

void RunScope::addRename(const ScopeRename& rename) {
    m_renames.push_back(rename);
}

void RunScope::merge(const RunScope& other) {
    for (const auto& [relative, depth] : other.m_folders) add(relative, depth);
    m_renames.insert(m_renames.end(), other.m_renames.begin(), other.m_renames.end());
}

bool RunScope::covers(std::string_view relative) const {
    const auto found = m_folders.find(relative);
    if (found != m_folders.end()) return true;
    // A tree above it covers it; each folder above is one of the path's beginnings up to a "/".
    for (std::size_t slash = relative.find('/');
         slash != std::string_view::npos && slash + 1 < relative.size();
         slash = relative.find('/', slash + 1)) {
        const auto above = m_folders.find(relative.substr(0, slash + 1));
        if (above != m_folders.end() && above->second == Depth::Tree) return true;
    }
    const auto root = m_folders.find(std::string_view());
    return root != m_folders.end() && root->second == Depth::Tree;
}

bool RunScope::leadsTo(std::string_view relative) const {
    // Folders below it sort right after it, all beginning with it.
    const auto below = m_folders.lower_bound(relative);
    if (below != m_folders.end() && below->first.starts_with(relative)) return true;
    return covers(relative);
}

bool RunScope::coversPath(std::string_view path) const {
    return covers(parentFolderOf(path));
}

}  // namespace tessel
