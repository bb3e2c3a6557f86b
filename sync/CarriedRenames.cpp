#include "sync/CarriedRenames.h"

#include <algorithm>
#include <memory>

#include "platform/Folders.h"
#include "platform/Wildcard.h"
#include "sync/Applier.h"
#include "sync/CopyDecision.h"
#include "sync/RunState.h"
#include "sync/Sides.h"
#include "sync/SyncState.h"
#include "sync/TreeView.h"
#include "sync/TwoWayDecision.h"
#include "sync/WalkRules.h"

namespace tessel {

namespace {

using platform::EntryKind;
using platform::FileInfo;
using platform::Folder;

// A path below a root as its folder and its name: "a/b/c.txt" and "a/b/c/" give "a/b/" and "c".
struct Place {
    std::string folder;
    std::string name;
    explicit Place(const std::string& path)
        : folder(parentFolderOf(path)),
          name(path.substr(folder.size(), path.size() - folder.size() - (path.ends_with('/') ? 1 : 0))) {}
};

// Whether the walk takes every name along the path (the watch's excludes and hidden files).
bool taken(const WalkRules& rules, const std::string& path) {
    std::string relative;
    for (std::size_t start = 0; start < path.size();) {
        const std::size_t slash = path.find('/', start);
        const std::string name = path.substr(start, slash - start);
        if (!rules.takes(relative, name)) return false;
        if (slash == std::string::npos) break;
        relative += name + "/";
        start = slash + 1;
    }
    return true;
}

bool takesPart(const std::string& name, const std::vector<std::string>& masks) {
    return std::any_of(masks.begin(), masks.end(),
                       [&](const std::string& mask) { return platform::matchesMask(mask, name); });
}

// What is at `place` on one side: its folder (not valid where it is not there) and what the name is.
struct Found {
    platform::SharedFolder folder = std::make_shared<const Folder>();
    FileInfo info;
};

Found look(const Applier& applier, const Folder& root, const std::string& rootPath, const Place& place,
           platform::LinkLook links) {
    Found found;
    std::error_code error;
    Folder folder = Folder::openBelow(root, place.folder, error);
    if (!folder.valid()) return found;
    applier.view().examine({folder, rootPath, place.folder}, place.name, platform::ListedType::Unknown,
                           found.info, error, links);
    found.folder = std::make_shared<const Folder>(std::move(folder));
    return found;
}

bool isPlainFile(const FileInfo& info) {
    return info.kind == EntryKind::File && !info.viaLink;
}

}  // namespace

void carryRenames(RunState& run, Applier& applier, const std::vector<ScopeRename>& renames,
                  const std::string (&roots)[2], const CarriedRenameSettings& settings, SyncState* state) {
    if (settings.twoWay && state == nullptr) return;
    Folder rootFolders[2];
    for (const int side : kSides) {
        std::error_code error;
        rootFolders[side] = run.openRoot(roots[side], error);
        if (!rootFolders[side].valid()) return;  // the walk says why
    }
    // A link is never carried over: looked at as the walk looks at it, it is no plain file or folder.
    const platform::LinkLook links = settings.rules->linkLook();
    for (const ScopeRename& rename : renames) {
        const int from = rename.side, to = 1 - from;
        if ((!settings.twoWay && from != kSource) || rename.from == rename.to) continue;
        const bool folder = rename.from.ends_with('/');
        const Place before(rename.from), after(rename.to);
        if (!taken(*settings.rules, rename.from) || !taken(*settings.rules, rename.to) ||
            (!folder && (!takesPart(before.name, settings.masks) || !takesPart(after.name, settings.masks))))
            continue;
        const Found was[2] = {look(applier, rootFolders[kSource], roots[kSource], before, links),
                              look(applier, rootFolders[kDestination], roots[kDestination], before, links)};
        const Found now[2] = {look(applier, rootFolders[kSource], roots[kSource], after, links),
                              look(applier, rootFolders[kDestination], roots[kDestination], after, links)};
        // Gone under the old name here, there under the new one; still under the old name there, with
        // nothing in the new one's place, in a folder that is there.
        const EntryKind kind = folder ? EntryKind::Folder : EntryKind::File;
        if (was[from].info.kind != EntryKind::Missing || now[from].info.kind != kind ||
            was[to].info.kind != kind || now[to].info.kind != EntryKind::Missing ||
            !now[to].folder->valid() || now[from].info.viaLink || was[to].info.viaLink)
            continue;
        std::size_t index = SyncState::kNone;
        if (!folder && settings.twoWay) {
            // The file both sides held at the last run, unchanged there, and the very file renamed here.
            index = state->find(rename.from);
            if (index == SyncState::kNone) continue;
            const PairRecord last = state->at(index);
            const SideRecord& here = from == kSource ? last.source : last.destination;
            const SideRecord& there = from == kSource ? last.destination : last.source;
            if (sinceLastRun(was[to].info, there) != Since::Unchanged || here.inode != now[from].info.inode ||
                here.device != now[from].info.device)
                continue;
        } else if (!folder) {
            const Comparison comparison = comparisonFor(run.fileSystems().of(*now[to].folder));
            if (!isPlainFile(now[from].info) || !isPlainFile(was[to].info) ||
                !looksCopied(now[from].info, was[to].info, comparison))
                continue;
        }
        auto order = std::make_unique<FileOrder>();
        order->kind = FileOrder::Kind::Rename;
        order->from = from;
        for (const int side : kSides) {
            order->folder[side] = now[side].folder;
            order->root[side] = roots[side];
            order->traits[side] = &run.fileSystems().of(*now[side].folder);
        }
        order->info[to] = was[to].info;
        order->relative = after.folder;
        order->name = after.name;
        order->movedFolder = was[to].folder;
        order->movedRelative = before.folder;
        order->movedName = before.name;
        order->lookAtCopy = !folder && settings.twoWay;
        // A folder is named without its "/", as a run names the folders it makes.
        const auto named = [&roots, folder, to](const std::string& path) {
            return roots[to] + (folder ? path.substr(0, path.size() - 1) : path);
        };
        order->rowKind = RunAction::Kind::Rename;
        order->rowPath = named(rename.from);
        order->done = [&run, &rename, state, index, folder, to, named,
                       found = now[from].info](const FileOutcome& outcome) {
            // Not done: the walk copies under the new name as it would have.
            if (!outcome.done) return;
            run.accountRename(named(rename.from), named(rename.to),
                              folder ? RunState::Renamed::Folder : RunState::Renamed::File);
            if (state == nullptr) return;
            state->renamePaths(rename.from, rename.to);
            if (folder || index == SyncState::kNone || outcome.copy.kind != EntryKind::File) return;
            // Both sides as they are now: a rename moves the change time, which is no change.
            const SideRecord renamed = sideRecord(found), other = sideRecord(outcome.copy);
            state->record(state->find(rename.to), rename.to,
                          to == kDestination ? PairRecord{renamed, other} : PairRecord{other, renamed});
        };
        applier.order(std::move(order));
        // One at a time: each rename is checked on the trees the one before it left.
        applier.drain();
    }
}

}  // namespace tessel
