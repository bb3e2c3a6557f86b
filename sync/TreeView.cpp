#include "sync/TreeView.h"

#include <algorithm>
#include <mutex>
#include <string_view>

namespace tessel {

using platform::EntryKind;
using platform::ListedName;
using platform::ListedType;

bool DiskView::list(const SideFolder& side, std::vector<ListedName>& names, std::error_code& error) const {
    names.clear();
    return !side.folder.valid() || platform::listFolder(side.folder, names, error);
}

EntryKind DiskView::examine(const SideFolder& side, const std::string& name, ListedType listed,
                            platform::FileInfo& info, std::error_code& error, platform::LinkLook look) const {
    if (!side.folder.valid()) {
        info = {};
        return info.kind;
    }
    return platform::examine(side.folder, name, listed, info, error, look);
}

void ImaginedView::imagine(const std::string& root, const std::string& relative, const Imagined& entry) {
    const std::unique_lock lock(m_mutex);
    m_imagined[root][relative] = entry;
}

void ImaginedView::imagineFolder(const std::string& root, const std::string& relative) {
    Imagined folder{true, {}};
    folder.info.kind = EntryKind::Folder;
    imagine(root, relative, folder);
}

void ImaginedView::imagineGone(const std::string& root, const std::string& relative) {
    imagine(root, relative, {false, {}});
}

bool ImaginedView::find(const std::string& root, const std::string& relative, Imagined& entry) const {
    const std::shared_lock lock(m_mutex);
    const auto tree = m_imagined.find(root);
    if (tree == m_imagined.end()) return false;
    const auto found = tree->second.find(relative);
    if (found == tree->second.end()) return false;
    entry = found->second;
    return true;
}

bool ImaginedView::imaginesFolder(const std::string& root, const std::string& relative) const {
    Imagined entry;
    return find(root, relative, entry) && entry.present;
}

bool ImaginedView::list(const SideFolder& side, std::vector<ListedName>& names,
                        std::error_code& error) const {
    if (!m_disk.list(side, names, error)) return false;
    const std::shared_lock lock(m_mutex);
    const auto tree = m_imagined.find(side.root);
    if (tree == m_imagined.end()) return true;
    bool added = false;
    for (auto entry = tree->second.lower_bound(side.relative);
         entry != tree->second.end() && entry->first.starts_with(side.relative); ++entry) {
        std::string_view name = std::string_view(entry->first).substr(side.relative.size());
        const bool folder = name.ends_with('/');
        if (folder) name.remove_suffix(1);
        if (name.empty() || name.find('/') != std::string_view::npos) continue;  // deeper down
        const auto listed = std::find_if(names.begin(), names.end(),
                                         [&](const ListedName& known) { return known.name == name; });
        if (entry->second.present && listed == names.end()) {
            const ListedType type = folder                      ? ListedType::Folder
                                    : entry->second.info.isLink ? ListedType::Link
                                                                : ListedType::File;
            names.push_back({std::string(name), type});
            added = true;
        } else if (!entry->second.present && listed != names.end()) {
            names.erase(listed);
        }
    }
    if (added)
        std::sort(names.begin(), names.end(),
                  [](const ListedName& a, const ListedName& b) { return a.name < b.name; });
    return true;
}

EntryKind ImaginedView::examine(const SideFolder& side, const std::string& name, ListedType listed,
                                platform::FileInfo& info, std::error_code& error,
                                platform::LinkLook look) const {
    Imagined entry;
    if (find(side.root, side.relative + name, entry)) {
        info = entry.present ? entry.info : platform::FileInfo{};
        return info.kind;
    }
    if (find(side.root, side.relative + name + "/", entry) && entry.present) {
        info = {};
        info.kind = EntryKind::Folder;
        return info.kind;
    }
    return m_disk.examine(side, name, listed, info, error, look);
}

}  // namespace tessel
