#pragma once
// The chain of open folders a walk is in, on one side.

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "platform/Folders.h"

namespace tessel {

// The folders from a walk's root down to the folder it is in, on one side. Only the upper levels
// and the current one keep their folders open: a tree of any depth needs a bounded number of
// descriptors. A level put aside is opened again from the nearest open one, never through a link, and
// must still be the same folder.
class FolderChain {
  public:
    static constexpr std::size_t kOpenLevels = 32;

    // A root that is not valid is one a preview imagines.
    explicit FolderChain(platform::Folder root);

    // The folder the walk is in.
    const platform::Folder& current(std::error_code& error);
    platform::SharedFolder shared(std::error_code& error);
    std::size_t depth() const { return m_levels.size() - 1; }

    // Entering a folder that is not valid enters one that a preview imagines: it has no descriptor, and
    // the walk finds in it only what the preview imagines there.
    void enter(const std::string& name, platform::Folder folder);
    void leave();
    bool imaginary() const { return m_levels.back().imaginary; }

  private:
    struct Level {
        std::string name;
        platform::SharedFolder folder;  // null while put aside
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        bool imaginary = false;
    };
    bool reopen(std::error_code& error);
    std::vector<Level> m_levels;
};

}  // namespace tessel
