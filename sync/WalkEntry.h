#pragma once
// One name of a folder as the listings of both sides of a walk have it, and the merging of the two
// listings into such names (TreeWalk).

#include <string>
#include <string_view>
#include <vector>

#include "platform/Folders.h"
#include "sync/Sides.h"

namespace tessel {

// One name of a folder, as the listings of both sides have it. Where a side's file system does not tell
// letter cases apart, a name the other side spells in another case is the same entry.
struct WalkEntry {
    const std::string* name = nullptr;                    // in the folder's listing, which outlives the entry
    const std::string* sideName[2] = {nullptr, nullptr};  // each side's spelling, where it has the name
    bool on[2] = {false, false};
    platform::ListedType type[2] = {platform::ListedType::Unknown, platform::ListedType::Unknown};
    // An earlier name of the side `clashSide` that differs from this one only in letter case, while the
    // other side's file system does not tell the two apart: it can hold only one of them.
    const std::string* clashesWith = nullptr;
    int clashSide = kSource;
    const std::string& spelling(int side) const {
        return sideName[side] != nullptr ? *sideName[side] : *name;
    }
    // Every side that has the name lists it as a folder: nothing for the files' turn.
    bool onlyFolders() const;
    bool mayBeFolder(int side) const;
};

// Both listings (each in name order) as one, in name order. A side marked `caseBlind` (its file system
// does not tell letter cases apart) pairs with the other side's name of another case, and two names of
// the other side that it cannot tell apart make the later one a clash.
std::vector<WalkEntry> mergeListings(const std::vector<platform::ListedName> (&names)[2],
                                     const bool (&caseBlind)[2] = {false, false});
// A name as a file system that does not tell letter cases apart sees it (ASCII letters only).
std::string foldCase(std::string_view name);

}  // namespace tessel
