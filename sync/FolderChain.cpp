#include "sync/FolderChain.h"

#include <memory>
#include <utility>

namespace tessel {

using platform::Folder;

FolderChain::FolderChain(Folder root) {
    Level level;
    level.imaginary = !root.valid();
    root.identity(level.device, level.inode);
    level.folder = std::make_shared<const Folder>(std::move(root));
    m_levels.push_back(std::move(level));
}

const Folder& FolderChain::current(std::error_code& error) {
    static const Folder kNone;
    if (!m_levels.back().folder && !reopen(error)) return kNone;
    return *m_levels.back().folder;
}

platform::SharedFolder FolderChain::shared(std::error_code& error) {
    if (!m_levels.back().folder && !reopen(error)) return std::make_shared<const Folder>();
    return m_levels.back().folder;
}

void FolderChain::enter(const std::string& name, Folder folder) {
    Level level;
    level.name = name;
    level.imaginary = !folder.valid();
    folder.identity(level.device, level.inode);
    level.folder = std::make_shared<const Folder>(std::move(folder));
    m_levels.push_back(std::move(level));
    // The folder just left is needed again only when the walk comes back to it.
    const std::size_t parent = m_levels.size() - 2;
    if (parent >= kOpenLevels && !m_levels[parent].imaginary) m_levels[parent].folder.reset();
}

void FolderChain::leave() {
    if (m_levels.size() > 1) m_levels.pop_back();
}

bool FolderChain::reopen(std::error_code& error) {
    std::size_t open = m_levels.size() - 1;
    while (!m_levels[open].folder) --open;
    platform::SharedFolder folder = m_levels[open].folder;
    for (std::size_t level = open + 1; level < m_levels.size(); ++level) {
        Folder next = Folder::openChild(*folder, m_levels[level].name, error);
        std::uint64_t device = 0, inode = 0;
        if (!next.valid()) return false;
        if (!next.identity(device, inode) || device != m_levels[level].device ||
            inode != m_levels[level].inode) {
            error = platform::WalkError::FolderChanged;
            return false;
        }
        folder = std::make_shared<const Folder>(std::move(next));
    }
    m_levels.back().folder = folder;
    return true;
}

}  // namespace tessel
