#pragma once
// The part of a watch's trees a run covers, when it is not all of them: the folders in which something
// changed, each with its own names only or with everything below it, and the renames seen, which the
// run carries over as renames before it walks. Paths are relative to the roots ("" for the root, "a/b/"
// for a folder, "a/b/c.txt" for a file). Whatever a run covers, it follows every rule of a full run in
// it; the walk decides nothing outside it, and a two-way watch remembers what lies outside as it was.

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

// A name renamed to another place in a tree, as a follower saw it.
struct ScopeRename {
    int side = 0;      // the tree it was seen in (kSource or kDestination)
    std::string from;  // "a/old.txt", or "a/old/" for a folder
    std::string to;
    bool operator==(const ScopeRename&) const = default;
};

class RunScope {
  public:
    enum class Depth { Names, Tree };

    // Covers the folder `relative` ("a/b/"): its names, or with Tree everything below it too.
    void add(const std::string& relative, Depth depth);
    void addRename(const ScopeRename& rename);
    // Adds everything `other` covers and its renames.
    void merge(const RunScope& other);

    // Whether the walk decides the names of the folder `relative`.
    bool covers(std::string_view relative) const;
    // Whether the walk goes into the folder `relative`: it is covered, or a folder below it is.
    bool leadsTo(std::string_view relative) const;
    // Whether the file or folder at `path` is one the run decides (its folder is covered).
    bool coversPath(std::string_view path) const;

    bool empty() const { return m_folders.empty() && m_renames.empty(); }
    const std::map<std::string, Depth, std::less<>>& folders() const { return m_folders; }
    const std::vector<ScopeRename>& renames() const { return m_renames; }
    bool operator==(const RunScope&) const = default;

  private:
    std::map<std::string, Depth, std::less<>> m_folders;
    std::vector<ScopeRename> m_renames;
};

// The folder part of a relative path, its "/" included: "a/b/" for "a/b/c.txt" and for "a/b/c/".
std::string_view parentFolderOf(std::string_view path);

}  // namespace tessel
