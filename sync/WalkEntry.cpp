#include "sync/WalkEntry.h"

#include <algorithm>
#include <unordered_map>

namespace tessel {

using platform::ListedName;
using platform::ListedType;

bool WalkEntry::onlyFolders() const {
    bool any = false;
    for (const int side : kSides) {
        if (!on[side]) continue;
        if (type[side] != ListedType::Folder) return false;
        any = true;
    }
    return any;
}

bool WalkEntry::mayBeFolder(int side) const {
    return on[side] && (type[side] == ListedType::Folder || type[side] == ListedType::Unknown);
}

std::string foldCase(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

namespace {

// Pairs the names the case-blind side `blind` holds alone with names of the other side that differ only
// in case. Of several names of the other side that `blind` cannot tell apart, the one it holds (or else
// the first) is kept and the others clash with it.
void pairByCase(std::vector<WalkEntry>& merged, int blind) {
    const int other = 1 - blind;
    std::unordered_map<std::string, std::size_t> alone;  // folded name -> its entry, on `blind` only
    std::unordered_map<std::string, std::size_t> kept;   // folded name -> the entry of `other` kept
    bool twins = false;
    for (std::size_t k = 0; k < merged.size(); ++k) {
        const WalkEntry& entry = merged[k];
        if (!entry.on[other]) {
            alone.emplace(foldCase(entry.spelling(blind)), k);
            continue;
        }
        const auto [found, first] = kept.emplace(foldCase(entry.spelling(other)), k);
        if (first) continue;
        twins = true;
        if (entry.on[blind] && !merged[found->second].on[blind]) found->second = k;
    }
    for (auto& [key, k] : kept) {
        WalkEntry& entry = merged[k];
        if (entry.on[blind]) continue;
        const auto partner = alone.find(key);
        if (partner == alone.end()) continue;
        WalkEntry& paired = merged[partner->second];
        entry.on[blind] = true;
        entry.type[blind] = paired.type[blind];
        entry.sideName[blind] = paired.sideName[blind];
        paired.on[blind] = false;  // gone into this entry
    }
    if (twins)
        for (std::size_t k = 0; k < merged.size(); ++k) {
            WalkEntry& entry = merged[k];
            if (!entry.on[other]) continue;
            const std::size_t keeper = kept.at(foldCase(entry.spelling(other)));
            if (keeper == k) continue;
            entry.clashesWith = merged[keeper].sideName[other];
            entry.clashSide = other;
        }
    std::erase_if(merged,
                  [](const WalkEntry& entry) { return !entry.on[kSource] && !entry.on[kDestination]; });
}

}  // namespace

std::vector<WalkEntry> mergeListings(const std::vector<ListedName> (&names)[2], const bool (&caseBlind)[2]) {
    std::vector<WalkEntry> merged;
    merged.reserve(std::max(names[0].size(), names[1].size()));
    std::size_t i = 0, j = 0;
    while (i < names[0].size() || j < names[1].size()) {
        const int order = i == names[0].size()   ? 1
                          : j == names[1].size() ? -1
                                                 : names[0][i].name.compare(names[1][j].name);
        WalkEntry entry;
        if (order <= 0) {
            entry.name = entry.sideName[kSource] = &names[0][i].name;
            entry.on[kSource] = true;
            entry.type[kSource] = names[0][i++].type;
        }
        if (order >= 0) {
            entry.sideName[kDestination] = &names[1][j].name;
            if (entry.name == nullptr) entry.name = entry.sideName[kDestination];
            entry.on[kDestination] = true;
            entry.type[kDestination] = names[1][j++].type;
        }
        merged.push_back(entry);
    }
    for (const int side : kSides)
        if (caseBlind[side]) pairByCase(merged, side);
    return merged;
}

}  // namespace tessel
