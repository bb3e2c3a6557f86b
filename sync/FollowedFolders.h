#pragma once
// The folders a follower follows, one follow (platform::FolderChanges) per folder of each tree: which
// folder of which tree each follow number stands for, and whole trees followed, renamed and let go.
// Two trees that share a folder (two watches of one source) share its follow.
//
// Threads: the follower's thread only.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/FolderChanges.h"

namespace tessel {

class FollowedFolders {
  public:
    // Whether a walk sees the name `name` in the folder `folder` (below the root, "" or "a/b/").
    using Sees = std::function<bool(const std::string& folder, const std::string& name)>;
    // A folder of a tree: `tree` is the number the follower gives each tree it follows.
    struct Place {
        int tree = 0;
        std::string relative;  // "" for the root, "a/b/" below it
    };
    struct Failure {
        std::string path;
        std::error_code error;
    };

    explicit FollowedFolders(platform::FolderChanges& changes) : m_changes(changes) {}

    // Follows the folder `relative` of the tree at `root` and every folder below it that `sees` lets
    // through, each listed only once it is followed, so that nothing made in it meanwhile is missed.
    // The folders that could not be followed or listed go into `failed`; a full kernel (ENOSPC) ends
    // the walk. Folders gone meanwhile are no failure.
    void followTree(int tree, const std::string& root, const std::string& relative, const Sees& sees,
                    std::vector<Failure>& failed);
    // The folders of the tree at `root` that followTree would follow (its root included): what it costs.
    static std::int64_t countFolders(const std::string& root, const Sees& sees);

    // The folder `from` ("a/b/") of the tree is now `to`, with everything below it.
    void rename(int tree, const std::string& from, const std::string& to);
    // Lets go of the folder `relative` of the tree and everything below it; "" lets go of the tree.
    void unfollowBelow(int tree, const std::string& relative);
    // The kernel no longer follows `folder` (it was deleted, or let go).
    void forget(int folder);

    // The places a follow number stands for; null for one this does not know.
    const std::vector<Place>* placesOf(int folder) const;
    bool follows(int tree, const std::string& relative) const;
    std::size_t followCount() const { return m_places.size(); }
    // The folders of the tree followed now.
    std::size_t followCountOf(int tree) const;

  private:
    void drop(int folder, int tree, const std::string& relative);

    platform::FolderChanges& m_changes;
    std::unordered_map<int, std::vector<Place>> m_places;  // follow number -> what it stands for
    std::map<std::pair<int, std::string>, int> m_folders;  // (tree, relative) -> follow number
};

}  // namespace tessel
