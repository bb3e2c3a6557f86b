#include "sync/FollowedFolders.h"

#include <algorithm>

#include "platform/Folders.h"

namespace tessel {

namespace {

using platform::Folder;
using platform::ListedName;
using platform::ListedType;

// The subfolders of the folder at `path` that `sees` lets through; false when it cannot be listed.
bool subfolders(const std::string& path, const std::string& relative, const FollowedFolders::Sees& sees,
                std::vector<std::string>& found, std::error_code& error) {
    const Folder folder = Folder::open(path, error, Folder::LastName::NoLink);
    std::vector<ListedName> names;
    if (!folder.valid() || !platform::listFolder(folder, names, error, platform::ListOrder::AsStored))
        return false;
    for (const ListedName& name : names) {
        bool isFolder = name.type == ListedType::Folder;
        if (name.type == ListedType::Unknown) {
            platform::FileInfo info;
            std::error_code ignored;
            isFolder =
                platform::examine(folder, name.name, name.type, info, ignored) == platform::EntryKind::Folder;
        }
        if (isFolder && sees(relative, name.name)) found.push_back(relative + name.name + "/");
    }
    return true;
}

bool isGone(const std::error_code& error) {
    return error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory;
}

}  // namespace

void FollowedFolders::followTree(int tree, const std::string& root, const std::string& relative,
                                 const Sees& sees, std::vector<Failure>& failed) {
    std::vector<std::string> pending{relative};
    while (!pending.empty()) {
        const std::string here = std::move(pending.back());
        pending.pop_back();
        const std::string path = root + here;
        std::error_code error;
        const int folder = m_changes.follow(path, error);
        if (folder < 0) {
            if (isGone(error)) continue;
            failed.push_back({path, error});
            if (error == std::errc::no_space_on_device) return;  // the kernel takes no more
            continue;
        }
        // A folder of that name followed before (deleted and made again) is let go of first.
        const auto before = m_folders.find({tree, here});
        if (before != m_folders.end() && before->second != folder) drop(before->second, tree, here);
        std::vector<Place>& places = m_places[folder];
        if (std::none_of(places.begin(), places.end(),
                         [&](const Place& place) { return place.tree == tree && place.relative == here; }))
            places.push_back({tree, here});
        m_folders[{tree, here}] = folder;
        // Listed after it is followed: a folder made in it from now on is heard of, one made before is
        // in the listing.
        if (!subfolders(path, here, sees, pending, error) && !isGone(error)) failed.push_back({path, error});
    }
}

std::int64_t FollowedFolders::countFolders(const std::string& root, const Sees& sees) {
    std::int64_t count = 0;
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
        const std::string here = std::move(pending.back());
        pending.pop_back();
        ++count;
        std::error_code ignored;
        subfolders(root + here, here, sees, pending, ignored);
    }
    return count;
}

void FollowedFolders::drop(int folder, int tree, const std::string& relative) {
    const auto found = m_places.find(folder);
    if (found == m_places.end()) return;
    std::erase_if(found->second,
                  [&](const Place& place) { return place.tree == tree && place.relative == relative; });
    if (!found->second.empty()) return;
    m_places.erase(found);
    m_changes.unfollow(folder);
}

void FollowedFolders::rename(int tree, const std::string& from, const std::string& to) {
    std::vector<std::pair<std::string, int>> moved;
    for (auto entry = m_folders.lower_bound({tree, from});
         entry != m_folders.end() && entry->first.first == tree && entry->first.second.starts_with(from);) {
        moved.emplace_back(to + entry->first.second.substr(from.size()), entry->second);
        for (Place& place : m_places[entry->second])
            if (place.tree == tree && place.relative == entry->first.second)
                place.relative = moved.back().first;
        entry = m_folders.erase(entry);
    }
    for (auto& [relative, folder] : moved) m_folders[{tree, std::move(relative)}] = folder;
}

void FollowedFolders::unfollowBelow(int tree, const std::string& relative) {
    for (auto entry = m_folders.lower_bound({tree, relative}); entry != m_folders.end() &&
                                                               entry->first.first == tree &&
                                                               entry->first.second.starts_with(relative);) {
        drop(entry->second, tree, entry->first.second);
        entry = m_folders.erase(entry);
    }
}

void FollowedFolders::forget(int folder) {
    const auto found = m_places.find(folder);
    if (found == m_places.end()) return;
    for (const Place& place : found->second) {
        const auto entry = m_folders.find({place.tree, place.relative});
        if (entry != m_folders.end() && entry->second == folder) m_folders.erase(entry);
    }
    m_places.erase(found);
}

const std::vector<FollowedFolders::Place>* FollowedFolders::placesOf(int folder) const {
    const auto found = m_places.find(folder);
    return found == m_places.end() ? nullptr : &found->second;
}

std::size_t FollowedFolders::followCountOf(int tree) const {
    std::size_t count = 0;
    for (auto entry = m_folders.lower_bound({tree, ""});
         entry != m_folders.end() && entry->first.first == tree; ++entry)
        ++count;
    return count;
}

bool FollowedFolders::follows(int tree, const std::string& relative) const {
    return m_folders.count({tree, relative}) > 0;
}

}  // namespace tessel
