#pragma once
// How a walk sees a side of the trees: a run sees the disk; a preview sees the disk with what the run
// would have changed by then (the earlier passes' copies, moves and folders), which the preview
// imagines as it goes, since it changes nothing itself.
//
// Threads: a view is asked from the walk thread and from the pool's threads that list and look ahead
// of it. The disk view holds nothing. What a preview imagines is written by the walk thread only and
// read under a shared lock by everyone.

#include <map>
#include <shared_mutex>
#include <string>
#include <system_error>
#include <vector>

#include "platform/Folders.h"

namespace tessel {

// One folder of one side as a walk sees it: the folder itself (not valid for a folder that is only
// imagined), its tree's root (with a trailing "/") and where it lies below it ("" or "a/b/").
struct SideFolder {
    const platform::Folder& folder;
    const std::string& root;
    const std::string& relative;
};

class TreeView {
  public:
    virtual ~TreeView() = default;
    // Every name of the folder in name order; false (with the reason) when a real folder cannot be
    // read.
    virtual bool list(const SideFolder& side, std::vector<platform::ListedName>& names,
                      std::error_code& error) const = 0;
    // What `name` in the folder is, a link looked at as `look` says.
    virtual platform::EntryKind examine(const SideFolder& side, const std::string& name,
                                        platform::ListedType listed, platform::FileInfo& info,
                                        std::error_code& error, platform::LinkLook look) const = 0;
    // Whether the folder `relative` of the tree at `root` is one the view has although the disk has
    // not (yet).
    virtual bool imaginesFolder(const std::string& root, const std::string& relative) const = 0;
};

// The disk as it is.
class DiskView : public TreeView {
  public:
    bool list(const SideFolder& side, std::vector<platform::ListedName>& names,
              std::error_code& error) const override;
    platform::EntryKind examine(const SideFolder& side, const std::string& name, platform::ListedType listed,
                                platform::FileInfo& info, std::error_code& error,
                                platform::LinkLook look) const override;
    bool imaginesFolder(const std::string&, const std::string&) const override { return false; }
};

// The disk with what a preview imagines the run would have done by now: by root (with its trailing
// "/") and path below the root ("a/b.txt", a folder as "a/b/"), present or gone.
class ImaginedView : public TreeView {
  public:
    struct Imagined {
        bool present = false;
        platform::FileInfo info;  // a file's; kind Folder for a folder
    };
    void imagine(const std::string& root, const std::string& relative, const Imagined& entry);
    void imagineFolder(const std::string& root, const std::string& relative);
    void imagineGone(const std::string& root, const std::string& relative);

    bool list(const SideFolder& side, std::vector<platform::ListedName>& names,
              std::error_code& error) const override;
    platform::EntryKind examine(const SideFolder& side, const std::string& name, platform::ListedType listed,
                                platform::FileInfo& info, std::error_code& error,
                                platform::LinkLook look) const override;
    bool imaginesFolder(const std::string& root, const std::string& relative) const override;

  private:
    // A copy, taken under the lock: the walk thread may change the entry right after.
    bool find(const std::string& root, const std::string& relative, Imagined& entry) const;
    DiskView m_disk;
    mutable std::shared_mutex m_mutex;
    std::map<std::string, std::map<std::string, Imagined>> m_imagined;
};

}  // namespace tessel
