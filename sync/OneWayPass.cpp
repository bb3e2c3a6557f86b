#include "sync/OneWayPass.h"

#include <array>

#include "platform/Wildcard.h"
#include "sync/Applier.h"
#include "sync/CopyDecision.h"
#include "sync/RunState.h"
#include "sync/TreeView.h"

namespace tessel {

namespace {

using platform::EntryKind;
using platform::FileInfo;
using platform::Folder;
using platform::ListedType;

constexpr int kCopy = static_cast<int>(FileOrder::Kind::Copy);
constexpr int kMove = static_cast<int>(FileOrder::Kind::Move);
constexpr int kFinishMove = static_cast<int>(FileOrder::Kind::FinishMove);

RunAction::Side newerOf(const FileInfo& source, const FileInfo& destination, const Comparison& comparison) {
    if (destination.kind != EntryKind::File) return RunAction::Side::None;
    return isNewer(source, destination, comparison)   ? RunAction::Side::Source
           : isNewer(destination, source, comparison) ? RunAction::Side::Destination
                                                      : RunAction::Side::None;
}

}  // namespace

OneWayPass::OneWayPass(RunState& run, Applier& applier, const OneWaySettings& settings,
                       const std::string& source, const std::string& destination)
    : m_run(run),
      m_applier(applier),
      m_settings(settings),
      m_roots{withTrailingSlash(source), withTrailingSlash(destination)},
      m_doing(settings.move ? "moving file" : "copying file") {}

TreeWalk::Sides OneWayPass::sides() const {
    TreeWalk::Sides sides;
    sides.leads[kSource] = true;
    sides.missing[kDestination] = TreeWalk::Missing::Make;
    sides.writes[kDestination] = true;
    sides.reads[kSource] = true;
    return sides;
}

bool OneWayPass::takesPart(const WalkEntry& entry) const {
    return entry.on[kSource] && entry.type[kSource] != ListedType::Folder &&
           platform::matchesMask(m_settings.mask, *entry.name);
}

// A new folder holds nothing: a file listed as regular is copied whatever it is like, so the copy
// looks at it as it opens it, one system call fewer per file of a first copy.
bool OneWayPass::copiesUnlooked() const {
    return !m_settings.move &&
           decideCopy(m_settings.tuneMode, false, FileInfo{}, FileInfo{}) == CopyDecision::Copy;
}

unsigned OneWayPass::looksAt(const bool (&fresh)[2], const WalkEntry& entry) const {
    if (!takesPart(entry)) return 0;
    if (fresh[kDestination] && entry.type[kSource] == ListedType::File && copiesUnlooked()) return 0;
    return (1u << kSource) | (entry.on[kDestination] ? 1u << kDestination : 0u);
}

// What the destination keeps of a copy, for telling a file copied before from a changed one. A source
// that keeps local time moves with the clock too, whatever the destination keeps.
Comparison OneWayPass::comparisonOf(const WalkFolder& folder) const {
    Comparison comparison =
        comparisonFor(folder.traits[kDestination] != nullptr ? *folder.traits[kDestination]
                                                             : platform::conservativeTraits());
    if (m_sourceLocalTime) comparison.timeBase = TimeBase::Local;
    return comparison;
}

std::string OneWayPass::sourcePath(const WalkFolder& folder, const std::string& name) const {
    return m_roots[kSource] + folder.relative + name;
}

std::string OneWayPass::destinationPath(const WalkFolder& folder, const std::string& name) const {
    return m_roots[kDestination] + folder.relative + name;
}

void OneWayPass::file(WalkFolder& folder, const WalkEntry& entry, Seen& seen) {
    if (!takesPart(entry)) return;
    const std::string& name = entry.spelling(kSource);
    // Names the destination cannot hold: one line each, and nothing copied over anything.
    if (entry.clashesWith != nullptr && entry.clashSide == kSource) {
        m_run.protectFile(folder.relative + name);
        return m_run.failure(std::string("Error ") + m_doing + " " + sourcePath(folder, name) +
                             ": its name differs only in letter case from " +
                             sourcePath(folder, *entry.clashesWith) + ", and the file system of " +
                             m_roots[kDestination] + " does not tell the two apart");
    }
    const platform::FileSystemTraits* traits = folder.traits[kDestination];
    if (!entry.on[kDestination] && traits != nullptr && traits->refusesName(name)) {
        m_run.protectFile(folder.relative + name);
        return m_run.failure(m_doing, sourcePath(folder, name), platform::WalkError::NameRefused);
    }
    const std::shared_ptr<WalkFolder> here = folder.shared_from_this();
    const std::string& target = entry.spelling(kDestination);
    // A copy spells the name as the source does: a change of case there is a rename here. A move leaves
    // the source without the name, so the destination's spelling stays.
    if (target != name && !m_settings.move) return rename(here, name, target, seen);
    if (seen.looked[kSource]) return decide(here, name, target, seen, Step::Now);
    // Counted as it is decided, as every other file: a display then knows which files' bytes it has yet
    // to hear of (RunDisplay::changePlan).
    m_run.context.display.stepProgress();
    order(here, name, target, static_cast<int>(FileOrder::Kind::CopyUnlooked), seen, RunAction::Side::None);
}

// An order for `name` of the folder, from the source, with what the walk saw of it on both sides.
std::unique_ptr<FileOrder> OneWayPass::newOrder(const WalkFolder& folder, FileOrder::Kind kind,
                                                const std::string& name, const Seen& seen) const {
    auto order = std::make_unique<FileOrder>();
    order->kind = kind;
    order->from = kSource;
    for (const int side : kSides) {
        order->folder[side] = folder.folder[side];
        order->root[side] = m_roots[side];
        order->info[side] = seen.info[side];
        order->traits[side] = folder.traits[side];
    }
    order->relative = folder.relative;
    order->name = name;
    return order;
}

void OneWayPass::rename(const std::shared_ptr<WalkFolder>& folder, const std::string& name,
                        const std::string& target, const Seen& seen) {
    auto order = newOrder(*folder, FileOrder::Kind::Rename, name, seen);
    order->targetName = target;
    order->rowKind = RunAction::Kind::Rename;
    order->rowPath = destinationPath(*folder, target);
    order->done = [this, folder, name, target, seen = Seen(seen),
                   folders = std::array{folder->folder[kSource], folder->folder[kDestination]}](
                      const FileOutcome& outcome) mutable {
        if (!outcome.begun) return;
        // The walk may have gone on and let the folders go: deciding needs them again.
        for (const int side : kSides) folder->folder[side] = folders[side];
        const std::string from = destinationPath(*folder, target);
        if (!outcome.done) {
            m_run.protectFile(folder->relative + name);
            m_run.markFolderFailed(folder->relative);
            return m_run.failure("renaming file", from, outcome.error);
        }
        folder->written[kDestination] = true;
        m_run.accountRename(from, destinationPath(*folder, name));
        decide(folder, name, name, seen, Step::Now);
    };
    m_applier.order(std::move(order));
}

void OneWayPass::decide(const std::shared_ptr<WalkFolder>& folder, const std::string& name,
                        const std::string& target, Seen& seen, Step step) {
    const FileInfo& source = seen.info[kSource];
    const FileInfo& destination = seen.info[kDestination];
    const std::string relativeName = folder->relative + name;
    switch (source.kind) {
        case EntryKind::File:
            break;
        case EntryKind::Unreadable:
            if (seen.error[kSource] == platform::WalkError::ForeignLink) {
                if (step == Step::Now) m_run.context.display.stepProgress();
                m_run.protectFile(relativeName);
            } else {
                m_run.markFolderFailed(folder->relative);
            }
            return m_run.failure(m_doing, sourcePath(*folder, name), seen.error[kSource]);
        default:
            return;  // special entries, links to folders, names gone since the listing
    }
    if (step == Step::Now) m_run.context.display.stepProgress();  // skipped files advance the bar too
    const Comparison comparison = comparisonOf(*folder);
    CopyDecision decision = decideCopy(m_settings.tuneMode, m_settings.move, source, destination, comparison);
    const RunAction::Side newer = newerOf(source, destination, comparison);
    if (m_settings.move && destination.kind == EntryKind::File) {
        // A move cut short after its copy leaves the file in both places: the source goes where both hold
        // the same content. A move never replaces: onto another file it is refused.
        if (decision == CopyDecision::Skip && isKnownTuneMode(m_settings.tuneMode))
            return order(folder, name, target, kFinishMove, seen, newer);
        if (decision == CopyDecision::Copy) {
            m_run.protectFile(relativeName);
            m_run.markFolderFailed(folder->relative);
            return m_run.failure(m_doing, sourcePath(*folder, name),
                                 std::make_error_code(std::errc::file_exists));
        }
    }
    switch (decision) {
        case CopyDecision::Skip:
            ++m_run.result.skipped;
            return;
        case CopyDecision::KeptBack:
            ++m_run.result.skipped;
            return m_run.protectFile(relativeName);
        case CopyDecision::Refuse: {
            const std::error_code reason =
                destination.kind == EntryKind::Unreadable ? seen.error[kDestination]
                : destination.kind == EntryKind::Folder || destination.kind == EntryKind::FolderLink
                    ? std::make_error_code(std::errc::is_a_directory)
                : destination.kind == EntryKind::File
                    ? std::make_error_code(std::errc::permission_denied)
                    : std::error_code(platform::WalkError::DestinationNotRegular);
            m_run.protectFile(relativeName);
            m_run.markFolderFailed(folder->relative);
            return m_run.failure(m_doing, sourcePath(*folder, name), reason);
        }
        case CopyDecision::Copy:
        case CopyDecision::Replace: {
            // A link copied as a link onto a file system without links: one line, and nothing written.
            const platform::FileSystemTraits* traits = folder->traits[kDestination];
            if (source.isLink && traits != nullptr && !traits->symbolicLinks) {
                m_run.protectFile(relativeName);
                return m_run.failure(m_doing, sourcePath(*folder, name), platform::WalkError::LinksNotHeld);
            }
            return order(folder, name, target, m_settings.move ? kMove : kCopy, seen, newer);
        }
    }
}

void OneWayPass::order(const std::shared_ptr<WalkFolder>& folder, const std::string& name,
                       const std::string& target, int kind, const Seen& seen, RunAction::Side newer) {
    auto order = newOrder(*folder, static_cast<FileOrder::Kind>(kind), name, seen);
    if (target != name) order->targetName = target;
    order->versions = m_settings.move ? nullptr : m_versions;
    const bool replace = seen.info[kDestination].kind == EntryKind::File;
    order->rowKind = m_settings.move ? RunAction::Kind::Move
                     : replace       ? RunAction::Kind::Replace
                                     : RunAction::Kind::Copy;
    order->rowPath = sourcePath(*folder, name);
    order->done = [this, folder, name, target, kind, replace, newer,
                   folders = std::array{folder->folder[kSource], folder->folder[kDestination]}](
                      const FileOutcome& outcome) {
        const std::string relativeName = folder->relative + name;
        if (!outcome.begun) return;  // a file not begun when the user stopped the run is left for the next
        if (static_cast<FileOrder::Kind>(kind) == FileOrder::Kind::CopyUnlooked) {
            if (outcome.found.kind != EntryKind::File) {
                // Not a regular file after all (a link, gone, unreadable): looked at as any other.
                Seen seen;
                for (const int side : kSides) {
                    seen.looked[side] = true;
                    m_applier.view().examine({*folders[side], m_roots[side], folder->relative}, name,
                                             ListedType::Unknown, seen.info[side], seen.error[side],
                                             m_settings.rules.linkLook());
                }
                // A link where links are skipped is left out, as the walk leaves out any other.
                if (m_settings.rules.links() == LinkHandling::Skip && seen.info[kSource].viaLink) return;
                folder->folder[kSource] = folders[kSource];
                folder->folder[kDestination] = folders[kDestination];
                return decide(folder, name, name, seen, Step::Made);
            }
        }
        const std::string source = sourcePath(*folder, name);
        const std::string targetPath = destinationPath(*folder, target);
        if (!outcome.done) {
            m_run.protectFile(relativeName);
            m_run.markFolderFailed(folder->relative);
            if (outcome.version.keepFailed)
                return m_run.versionFailure(outcome.version, targetPath, outcome.error);
            return m_run.failure(m_doing, source, outcome.error);
        }
        folder->written[kDestination] = true;
        folder->flush[kDestination] = folder->flush[kDestination] || replace || m_settings.move;
        if (m_settings.move) m_run.protectFile(relativeName);
        RunState::Copied copied;
        copied.kind = m_settings.move ? RunAction::Kind::Move
                      : replace       ? RunAction::Kind::Replace
                                      : RunAction::Kind::Copy;
        copied.source = source;
        copied.target = targetPath;
        copied.size = outcome.found.kind == EntryKind::File ? outcome.found.size : 0;
        copied.newer = newer;
        copied.version = &outcome.version;
        copied.dropped = &outcome.dropped;
        copied.wideLog = m_settings.wideLog;
        m_run.accountCopy(copied);
    };
    m_applier.order(std::move(order));
}

void OneWayPass::entered(WalkFolder& parent, WalkFolder& child) {
    // The destination mirrors the source folder as this run first found it (a move changes it).
    child.info[kSource] = m_run.folderAsFound(m_roots[kSource] + child.relative, child.info[kSource]);
    child.like[kDestination] = child.info[kSource];
    child.finish[kDestination] = true;
    if (child.fresh[kDestination]) {
        parent.written[kDestination] = true;
        std::string made = m_roots[kDestination] + child.relative;
        made.pop_back();
        m_run.report(RunAction::Kind::CreateFolder, made);
    }
}

void OneWayPass::left(const std::shared_ptr<WalkFolder>& folder) {
    finishFolder(folder);
}

// A folder gets its times (and, where the walk made it, its owner and permissions) once everything in it
// is done: after every order before it. It does so even when its walk stopped or failed part way.
// Its names are flushed with them where it replaced a file or took one a move removes from the source:
// a folder of new copies only is not, since a power cut that loses one leaves its source as it was and
// the next run copies it again (and a flush per folder would cost a first copy of small files most of
// its speed on a journalling file system).
void OneWayPass::finishFolder(const std::shared_ptr<WalkFolder>& folder) {
    m_applier.after([this, folder] {
        if (!folder->written[kDestination] && !folder->fresh[kDestination]) return;
        const std::string path = m_roots[kDestination] + folder->relative;
        std::error_code error;
        platform::Dropped dropped;
        if (!m_applier.settleFolder(
                {folder->folder[kDestination], folder->like[kDestination], folder->folder[kSource],
                 folder->fresh[kDestination], folder->flush[kDestination]},
                dropped, error))
            m_run.failure("creating folder", path, error);
        m_run.noteDropped(dropped, path);
    });
}

void OneWayPass::run() {
    const std::string& source = m_roots[kSource];
    const std::string& destination = m_roots[kDestination];
    const TreeView& view = m_applier.view();
    const bool sourceImagined = view.imaginesFolder(source, "");
    if (!platform::isExistingFolder(source) && !sourceImagined) return;
    std::error_code error;
    bool created = !platform::isExistingFolder(destination) && !view.imaginesFolder(destination, "");
    if (created && !m_applier.makeRoot(destination, created, error)) {
        m_run.markFolderFailed("");
        return m_run.failure("creating folder", destination, error);
    }
    Folder roots[2];
    roots[kSource] = m_run.openRoot(source, error);
    if (!roots[kSource].valid() && !sourceImagined) {
        m_run.markFolderFailed("");
        return m_run.failure("opening folder", source, error);
    }
    roots[kDestination] = m_run.openRoot(destination, error);
    if (!roots[kDestination].valid() && !view.imaginesFolder(destination, "")) {
        m_run.markFolderFailed("");
        return m_run.failure("opening folder", destination, error);
    }
    m_top = std::make_shared<WalkFolder>();
    m_top->on[kSource] = m_top->on[kDestination] = true;
    m_top->fresh[kDestination] = created;
    // The times the destination root gets once its pass is done: the source root's before the pass, as
    // a move changes them.
    const bool sourceKnown = roots[kSource].valid() && roots[kSource].info(m_top->info[kSource], error);
    if (sourceKnown) m_top->info[kSource] = m_run.folderAsFound(source, m_top->info[kSource]);
    m_top->like[kDestination] = m_top->info[kSource];
    m_sourceLocalTime = roots[kSource].valid() && platform::keepsLocalTime(roots[kSource]);
    m_versions = m_run.versionKeeper(destination);
    if (created) m_run.report(RunAction::Kind::CreateFolder, destination);
    TreeWalk walk(m_run, m_applier, *this, m_roots, m_settings.rules);
    walk.walk(roots, m_top);
    if (sourceKnown) {
        m_top->written[kDestination] = m_top->written[kDestination] || created;
        for (const int side : kSides) m_top->folder[side] = walk.rootFolder(side);
        finishFolder(m_top);
    }
    // Everything of this pass is done before the next pass looks at the trees.
    m_applier.drain();
}

}  // namespace tessel
