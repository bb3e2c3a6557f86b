#pragma once
// What of the trees a watch's walks take at all, from the watch's settings: its excludes, whether names
// that start with a dot take part, and what becomes of symbolic links on the sides it reads. Built once
// per run and given to every walk of it (TreeWalk), which leaves out what the rules leave out before any
// pass sees it: nothing left out is copied, moved, deleted, counted by the mass-deletion guard or
// said by a preview.
//
// Threads: immutable once built; the walk thread and the pool's threads ask it at once.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Folders.h"
#include "sync/WalkEntry.h"
#include "watch/Watch.h"

namespace tessel {

class WalkRules {
  public:
    // The rules of a watch without settings of its own, which every run had before them: names that
    // start with a dot skipped, links followed, nothing excluded.
    WalkRules() = default;
    WalkRules(const std::vector<std::string>& excludes, HiddenFiles hidden, LinkHandling links);
    static WalkRules of(const Watch& watch);

    // Whether the walk takes the name `name` of the folder `relative` ("" or "a/b/") at all. Never one of
    // Tessel's own working names (the versions folder, temporaries, probe folders), whatever the
    // settings say; names that start with a dot only where hidden files are included; no name an
    // exclude matches. An exclude without "/" (or with one only at its end: "cache/") matches the name,
    // at any depth; one with "/" before its end matches the path below the root ("build/tmp",
    // "/build" for the root's own, "*/cache", where "*" crosses "/" as it matches any run of characters).
    // What a folder's name or path is left out by takes nothing below it either.
    bool takes(std::string_view relative, std::string_view name) const;
    // For each entry of the folder `relative`, whether the walk takes it (1) or leaves it out (0): by its
    // name, and where links are skipped, by what a side's listing says it holds (a link the listing cannot
    // tell from a file is found out by its look).
    std::vector<char> takenOf(const std::string& relative, const std::vector<WalkEntry>& entries) const;

    LinkHandling links() const { return m_links; }
    // How the walk looks at a link: as itself where links are copied as links, else through it.
    platform::LinkLook linkLook() const {
        return m_links == LinkHandling::CopyAsLinks ? platform::LinkLook::AsLink : platform::LinkLook::Follow;
    }

  private:
    std::vector<std::string> m_nameMasks;
    std::vector<std::string> m_pathMasks;  // without a "/" at either end
    HiddenFiles m_hidden = HiddenFiles::Skip;
    LinkHandling m_links = LinkHandling::Follow;
};

}  // namespace tessel
