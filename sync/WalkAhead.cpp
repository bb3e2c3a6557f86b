// Reading subfolders ahead of the walk, on the pool's threads (sync/WalkAhead.h).

#include "sync/WalkAhead.h"

#include <utility>

#include "platform/Paths.h"
#include "sync/RunScope.h"
#include "sync/RunState.h"
#include "sync/TreeView.h"

namespace tessel {

using platform::Folder;
using platform::ListedType;

bool TreeWalk::mayGoAhead(const WalkFolder& here, const WalkEntry& entry, bool taken) const {
    // A name spelt differently on the two sides, or one the other side cannot tell from another, is
    // left to the walk.
    if (!m_run.pool().parallel() || !taken || entry.clashesWith != nullptr ||
        entry.spelling(kSource) != entry.spelling(kDestination) ||
        !leadsTo(here.relative + *entry.name + "/"))
        return false;
    bool leads = false;
    for (const int side : kSides) {
        if (!entry.on[side] || !m_chains[side]) continue;
        // Only folders that are there on disk, listed as folders, are read ahead.
        if (!here.on[side] || entry.type[side] != ListedType::Folder || m_chains[side]->imaginary())
            return false;
        leads = leads || m_sides.leads[side];
    }
    return leads;
}

std::shared_ptr<TreeWalk::Ahead> TreeWalk::goAhead(const WalkFolder& here, const WalkEntry& entry,
                                                   std::size_t index) {
    auto ahead = std::make_shared<Ahead>();
    ahead->name = *entry.name;
    ahead->relative = here.relative + *entry.name + "/";
    ahead->index = index;
    for (const int side : kSides) {
        if (!m_chains[side]) continue;
        ahead->present[side] = entry.on[side];
        // A side made when the walk comes holds nothing; one left to the pass is not there either.
        ahead->fresh[side] = !entry.on[side] && m_sides.missing[side] == Missing::Make;
        std::error_code error;
        if (entry.on[side]) ahead->parent[side] = m_chains[side]->shared(error);
    }
    ++m_foldersAhead;
    m_run.pool().aside([this, ahead] {
        if (!m_run.stopRequested()) readAhead(*ahead);
        for (const int side : kSides) ahead->parent[side].reset();
        ahead->done.set();
    });
    return ahead;
}

// On a pool thread: touches only the ahead's own folders, the view and the roots.
void TreeWalk::readAhead(Ahead& ahead) const {
    for (const int side : kSides) {
        if (!ahead.present[side]) continue;
        std::error_code error;
        if (!ahead.parent[side]->valid()) return;
        ahead.child[side] = Folder::openChild(*ahead.parent[side], ahead.name, error);
        if (!ahead.child[side].valid() || isOtherRoot(side, ahead.child[side])) return;
        if (!ahead.child[side].info(ahead.info[side], error) || ahead.info[side].size > kReadAheadBytes)
            return;
    }
    // Another user's folder beside a private one: the walk says so itself.
    for (const int side : kSides)
        if (m_sides.writes[side] && ahead.present[side] && ahead.present[1 - side] &&
            platform::isSharedByAnotherUser(ahead.child[side]) &&
            !platform::isSharedByAnotherUser(ahead.child[1 - side]))
            return;
    for (const int side : kSides) {
        std::error_code error;
        if (ahead.present[side] &&
            !m_view.list({ahead.child[side], m_roots[side], ahead.relative}, ahead.names[side], error))
            return;
    }
    if (ahead.names[kSource].size() > kReadAhead || ahead.names[kDestination].size() > kReadAhead) {
        for (const int side : kSides) ahead.names[side] = {};
        return;
    }
    const platform::FileSystemTraits* traits[2] = {nullptr, nullptr};
    for (const int side : kSides)
        if (ahead.present[side]) traits[side] = &m_run.fileSystems().of(ahead.child[side]);
    const std::array<bool, 2> blind = caseBlindness(traits);
    ahead.entries = mergeListings(ahead.names, {blind[kSource], blind[kDestination]});
    ahead.taken = m_rules.takenOf(ahead.relative, ahead.entries);
    ahead.seen.resize(ahead.entries.size());
    const Folder* const folders[2] = {&ahead.child[kSource], &ahead.child[kDestination]};
    for (std::size_t i = 0; i < ahead.entries.size() && covers(ahead.relative); ++i)
        if (ahead.taken[i] && !ahead.entries[i].onlyFolders())
            ahead.seen[i] = look(folders, ahead.fresh, ahead.relative, ahead.entries[i]);
    ahead.complete = true;
}

}  // namespace tessel
