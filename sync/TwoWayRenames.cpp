// The renames of a two-way watch's walk: a change of letter case on one side given to the other, and a
// file the last run knew under another path, found by its identity, moved on the other side too instead
// of copied across (its old place then waits until the walk is over, when every rename is known); and what
// a run of a few folders remembers of the rest.

#include <algorithm>
#include <array>
#include <memory>

#include "platform/FileCompare.h"
#include "platform/Folders.h"
#include "sync/Applier.h"
#include "sync/RunScope.h"
#include "sync/RunState.h"
#include "sync/TreeView.h"
#include "sync/TwoWayPass.h"

namespace tessel {

using platform::EntryKind;
using platform::FileInfo;
using platform::Folder;

// A run of a few folders remembers the rest as the last run left it, and counts the files it holds there
// as held on both sides, so that the guard weighs a deletion against the whole watch.
void TwoWayPass::keepOutsideScope() {
    if (m_run.scope == nullptr || !m_remembering) return;
    for (std::size_t index = 0; index < m_state.lastRunSize(); ++index) {
        if (m_run.scope->coversPath(m_state.pathAt(index))) continue;
        m_state.keep(index);
        for (const int side : kSides) ++m_held[side];
    }
}

namespace {

// Whether the file `name` of `folder`, found with the inode and size the last run recorded (`was`), is
// that file renamed (and maybe edited) rather than a new file that took a deleted one's inode: one born
// after the last run saw it cannot be. Where the file system keeps no birth time, or the state no change
// time, only the same bytes as the other side's old file (as the last run left it) make it so.
bool isTheFileItKnew(const Folder& folder, const std::string& name, const SideRecord& was,
                     const Folder& otherFolder, const std::string& otherName) {
    if (const auto born = platform::birthTime(folder, name); born && was.changed != 0)
        return born->seconds * 1'000'000'000 + born->nanoseconds <= was.changed;
    bool same = false;
    std::error_code unread;
    return platform::sameContent(folder, name, otherFolder, otherName, same, unread) && same;
}

}  // namespace

bool TwoWayPass::movedHere(const std::shared_ptr<WalkFolder>& here, const Names& names, const Seen& seen) {
    if (!m_remembering) return false;
    int side = -1;  // where it is
    for (const int each : kSides)
        if (seen.info[each].kind == EntryKind::File && !seen.info[each].viaLink &&
            seen.info[1 - each].kind == EntryKind::Missing)
            side = each;
    if (side < 0) return false;
    const int other = 1 - side;
    const FileInfo& found = seen.info[side];
    const std::size_t index = m_state.findByIdentity(side, found.device, found.inode);
    if (index == SyncState::kNone) return false;
    const std::string old(m_state.pathAt(index));
    const PairRecord last = m_state.at(index);
    const SideRecord& was = side == kSource ? last.source : last.destination;
    const SideRecord& otherWas = side == kSource ? last.destination : last.source;
    WalkFolder& folder = *here;
    if (was.size != found.size || old == folder.relative + names[side] || m_renamedAway.count(old) > 0 ||
        !folder.on[other])
        return false;
    const std::string oldFolder(parentFolderOf(old));
    const std::string oldName = old.substr(oldFolder.size());
    if (!matches(oldName)) return false;
    // Gone from its old place on this side; still there on the other, as the last run left it.
    FileInfo at[2];
    Folder oldFolders[2];
    for (const int each : kSides) {
        std::error_code error;
        const Folder root = m_run.openRoot(m_roots[each], error);
        if (root.valid()) oldFolders[each] = Folder::openBelow(root, oldFolder, error);
        m_applier.view().examine({oldFolders[each], m_roots[each], oldFolder}, oldName,
                                 platform::ListedType::Unknown, at[each], error, m_settings.rules.linkLook());
    }
    if (at[side].kind != EntryKind::Missing || at[other].kind != EntryKind::File || at[other].viaLink ||
        sinceLastRun(at[other], otherWas) != Since::Unchanged)
        return false;
    if (!folder.folder[side] ||
        !isTheFileItKnew(*folder.folder[side], names[side], was, oldFolders[other], oldName))
        return false;
    m_renamedAway.insert(old);
    const MovedFrom moved{old, std::make_shared<const Folder>(std::move(oldFolders[other]))};
    Seen before = seen;
    before.info[other] = at[other];
    rename(here, other, names, before, index, &moved);
    return true;
}

void TwoWayPass::rename(const std::shared_ptr<WalkFolder>& folder, int side, const Names& names,
                        const Seen& seen, std::size_t index, const MovedFrom* moved) {
    const int from = 1 - side;  // the side whose name the other gets
    auto order = std::make_unique<FileOrder>();
    order->kind = FileOrder::Kind::Rename;
    order->from = from;
    for (const int each : kSides) {
        order->folder[each] = folder->folder[each];
        order->root[each] = m_roots[each];
        order->info[each] = seen.info[each];
        order->traits[each] = folder->traits[each];
    }
    order->relative = folder->relative;
    order->name = names[from];
    order->targetName = names[side];
    if (moved != nullptr) {
        order->movedFolder = moved->folder;
        order->movedRelative = parentFolderOf(moved->path);
        order->movedName = moved->path.substr(order->movedRelative.size());
    }
    order->lookAtCopy = true;
    order->rowKind = RunAction::Kind::Rename;
    order->rowPath = moved != nullptr ? m_roots[side] + moved->path : pathOn(side, *folder, names[side]);
    order->done = [this, folder, side, from, names = Names(names), seen = Seen(seen), index,
                   old = moved != nullptr ? moved->path : std::string(),
                   folders = std::array{folder->folder[kSource], folder->folder[kDestination]}](
                      const FileOutcome& outcome) mutable {
        if (!outcome.begun) {
            m_renamedAway.erase(old);
            return m_state.keep(index);
        }
        // The walk may have gone on and let the folders go: deciding needs them again.
        for (const int each : kSides) folder->folder[each] = folders[each];
        const std::string oldPath = old.empty() ? pathOn(side, *folder, names[side]) : m_roots[side] + old;
        if (!outcome.done && !old.empty()) {
            // Copied across as any new file; its old place is decided after the walk as any lost file.
            m_renamedAway.erase(old);
            Seen unmoved = seen;
            unmoved.info[side] = {};
            return settle(folder, names, unmoved, SyncState::kNone);
        }
        if (!outcome.done) {
            m_run.markFolderFailed(folder->relative);
            m_state.keep(index);
            return m_run.failure("renaming file", oldPath, outcome.error);
        }
        folder->written[side] = true;
        m_run.accountRename(oldPath, pathOn(side, *folder, names[from]));
        // Remembered under its new name from now on. Decided as it was found (the rename changed its change
        // time, not the file); copied and remembered as it is now.
        Renamed renamed{side, index != SyncState::kNone ? m_state.at(index) : PairRecord{}, seen.info[side],
                        index != SyncState::kNone};
        m_state.forget(index);
        names[side] = names[from];
        if (outcome.copy.kind == EntryKind::File) seen.info[side] = outcome.copy;
        settle(folder, names, seen, SyncState::kNone, &renamed);
    };
    m_applier.order(std::move(order));
}

bool TwoWayPass::waitsForRenames(const std::string& relativeName, const FileInfo (&info)[2],
                                 std::size_t index, const TwoWayDecision& decision) {
    using Action = TwoWayDecision::Action;
    if (m_settling || index == SyncState::kNone ||
        (decision.action != Action::Delete && decision.action != Action::Copy))
        return false;
    // Deleted where it is, or copied back where it went: unless a rename took it there.
    const int there = decision.from, lost = 1 - there;
    if (info[lost].kind != EntryKind::Missing || info[there].kind != EntryKind::File) return false;
    const PairRecord last = m_state.at(index);
    if ((lost == kSource ? last.source : last.destination).inode == 0) return false;
    m_state.keep(index);
    m_deferred.insert(relativeName);
    return true;
}

void TwoWayPass::settleDeferred() {
    std::erase_if(m_deferred, [&](const std::string& path) { return m_renamedAway.count(path) > 0; });
    if (m_deferred.empty()) return;
    // A walk of their folders that decides them alone, as the walk would have.
    RunScope scope;
    for (const std::string& path : m_deferred)
        scope.add(std::string(parentFolderOf(path)), RunScope::Depth::Names);
    const RunScope* const outer = m_run.scope;
    m_run.scope = &scope;
    m_settling = true;
    Folder roots[2];
    const auto top = std::make_shared<WalkFolder>();
    bool opened = true;
    for (const int side : kSides) {
        std::error_code error;
        roots[side] = m_run.openRoot(m_roots[side], error);
        top->on[side] = true;
        if (roots[side].valid())
            roots[side].info(top->info[side], error);
        else
            opened = opened && m_applier.view().imaginesFolder(m_roots[side], "");
    }
    // A root gone since the walk: they keep what the last run left, for the next run.
    if (opened) {
        TreeWalk walk(m_run, m_applier, *this, m_roots, m_settings.rules);
        walk.walk(roots, top);
        m_applier.drain();
        finishRoots(walk, *top, false);
    }
    m_settling = false;
    m_run.scope = outer;
}

}  // namespace tessel
