#include "sync/TwoWayPass.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "platform/Clock.h"
#include "platform/FileCompare.h"
#include "platform/Wildcard.h"
#include "sync/Applier.h"
#include "sync/CarriedRenames.h"
#include "sync/EditedPlan.h"
#include "sync/RunScope.h"
#include "sync/RunState.h"
#include "sync/TreeView.h"

namespace tessel {

namespace {

using platform::EntryKind;
using platform::FileInfo;
using platform::Folder;
using platform::ListedName;

std::string conflictStamp(const platform::LocalTime& start) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", start.year, start.month, start.day,
                  start.hour, start.minute, start.second);
    return stamp;
}

RunAction::Side newerSide(const FileInfo (&info)[2], const Comparison& comparison) {
    return isNewer(info[kSource], info[kDestination], comparison)   ? RunAction::Side::Source
           : isNewer(info[kDestination], info[kSource], comparison) ? RunAction::Side::Destination
                                                                    : RunAction::Side::None;
}

}  // namespace

TwoWayPass::TwoWayPass(RunState& run, Applier& applier, const TwoWaySettings& settings,
                       const std::string& source, const std::string& destination)
    : m_run(run),
      m_applier(applier),
      m_settings(settings),
      m_stamp(conflictStamp(platform::toLocalTime(platform::clockNow()))),
      m_roots{withTrailingSlash(source), withTrailingSlash(destination)} {}

TreeWalk::Sides TwoWayPass::sides() const {
    TreeWalk::Sides sides;
    for (const int side : kSides) {
        sides.leads[side] = true;
        sides.missing[side] = TreeWalk::Missing::Make;
        sides.writes[side] = true;
        sides.reads[side] = true;
    }
    return sides;
}

bool TwoWayPass::matches(const std::string& name) const {
    for (const std::string& mask : m_settings.masks)
        if (platform::matchesMask(mask, name)) return true;
    return false;
}

unsigned TwoWayPass::looksAt(const bool (&)[2], const WalkEntry& entry) const {
    if (!matches(*entry.name)) return 0;
    return (entry.on[kSource] ? 1u << kSource : 0u) | (entry.on[kDestination] ? 1u << kDestination : 0u);
}

std::string TwoWayPass::pathOn(int side, const WalkFolder& folder, const std::string& name) const {
    return m_roots[side] + folder.relative + name;
}

void TwoWayPass::remember(std::size_t index, const std::string& path, const FileInfo& source,
                          const FileInfo& destination) {
    if (!m_statePath.empty()) m_state.record(index, path, {sideRecord(source), sideRecord(destination)});
}

bool TwoWayPass::loadState() {
    const std::string& folder = m_run.context.options.stateFolder;
    if (folder.empty()) return true;
    m_statePath = SyncState::filePath(folder, m_roots[kSource], m_roots[kDestination]);
    m_run.addOwnFile(m_statePath);
    std::string why;
    switch (m_state.load(m_statePath, m_roots[kSource], m_roots[kDestination], why)) {
        case SyncState::Loaded::Read:
            m_remembering = true;
            return true;
        case SyncState::Loaded::Missing:
            return true;
        case SyncState::Loaded::Damaged:
            break;
        case SyncState::Loaded::Unreadable:
            // A sound state may be behind a failing read: taken for a first run, it would bring back what
            // the user deleted and then be overwritten. Nothing runs, and the file stays as it is.
            m_run.failure("Error reading the state file " + m_statePath + ": " + why +
                          "; the watch was not run and the state file was left as it is");
            m_statePath.clear();
            return false;
    }
    // Without it a deletion cannot be told from a creation: the run keeps the files of both sides.
    m_run.failure("Error reading the state file " + m_statePath + ": " + why +
                  "; this run deletes nothing and keeps the files of both sides");
    return true;
}

void TwoWayPass::saveState() {
    if (m_statePath.empty() || !m_run.logs()) return;
    std::error_code error;
    if (!m_state.save(m_statePath, m_roots[kSource], m_roots[kDestination], !m_run.stopRequested(), error))
        m_run.failure("saving the state file", m_statePath, error);
}

bool TwoWayPass::run() {
    if (!loadState()) return false;
    const auto failed = [&](const char* doing, const std::string& path, const std::error_code& error) {
        m_run.failure(doing, path, error);
        return true;
    };
    const TreeView& view = m_applier.view();
    std::error_code error;
    Folder roots[2];
    roots[kSource] = m_run.openRoot(m_roots[kSource], error);
    if (!roots[kSource].valid()) return failed("opening folder", m_roots[kSource], error);
    bool destinationCreated = false;
    if (!platform::isExistingFolder(m_roots[kDestination])) {
        if (!m_applier.makeRoot(m_roots[kDestination], destinationCreated, error))
            return failed("creating folder", m_roots[kDestination], error);
        destinationCreated = true;
        m_run.report(RunAction::Kind::CreateFolder, m_roots[kDestination]);
        // The last run left files there: a root that has to be made anew is an unplugged disk or a
        // removed mount point, not a user who deleted everything. Nothing is deleted on either side.
        if (m_remembering) {
            m_remembering = false;  // as a first run: the union of both sides
            m_run.markFolderFailed("");
            m_run.failure("Error opening folder " + m_roots[kDestination] +
                          ": it was missing although the last run left files there; it is made anew and "
                          "filled from the source, and nothing is deleted in this run");
        }
    }
    roots[kDestination] = m_run.openRoot(m_roots[kDestination], error);
    if (!roots[kDestination].valid() && !view.imaginesFolder(m_roots[kDestination], ""))
        return failed("opening folder", m_roots[kDestination], error);
    const auto top = std::make_shared<WalkFolder>();
    for (const int side : kSides) {
        top->on[side] = true;
        if (roots[side].valid() && !roots[side].info(top->info[side], error))
            return failed("opening folder", m_roots[side], error);
        m_versions[side] = m_run.versionKeeper(m_roots[side]);
    }
    top->fresh[kDestination] = destinationCreated;
    // What both sides keep of a file, from what their file systems can do.
    m_comparison =
        comparisonFor(m_run.fileSystems().of(roots[kSource]), m_run.fileSystems().of(roots[kDestination]));
    if (destinationCreated) top->info[kDestination] = top->info[kSource];
    // Renames seen on either side, carried over where the last run's memory says nothing else changed.
    if (m_run.scope != nullptr && m_remembering)
        carryRenames(m_run, m_applier, m_run.scope->renames(), m_roots,
                     {m_settings.masks, &m_settings.rules, true}, &m_state);
    keepOutsideScope();
    TreeWalk walk(m_run, m_applier, *this, m_roots, m_settings.rules);
    walk.walk(roots, top);
    m_applier.drain();
    finishRoots(walk, *top, destinationCreated);
    if (!m_run.stopRequested()) settleDeferred();
    if (!m_run.stopRequested()) runDeletions();
    saveState();
    return true;
}

void TwoWayPass::finishRoots(const TreeWalk& walk, const WalkFolder& top, bool destinationCreated) {
    for (const int side : kSides) {
        // A root the run made gets the times of the one it mirrors, even with nothing in it.
        const bool created = side == kDestination && destinationCreated;
        if (!top.written[side] && !created) continue;
        std::error_code error;
        platform::Dropped dropped;
        if (!m_applier.settleFolder(
                {walk.rootFolder(side), top.info[side], walk.rootFolder(1 - side), created, true}, dropped,
                error))
            m_run.failure("creating folder", m_roots[side], error);
        m_run.noteDropped(dropped, m_roots[side]);
    }
}

void TwoWayPass::notWalked(const std::string& relative) {
    // What is below a folder the run could not walk keeps its state.
    m_state.keepBelow(relative);
}

void TwoWayPass::leftOut(WalkFolder& folder, const WalkEntry& entry) {
    // What the last run knew of a name the rules leave out now stays known, in or below it: it is
    // neither forgotten nor taken for deleted, should the rules take it again.
    if (!m_remembering) return;
    for (const int side : kSides) {
        const std::string path = folder.relative + entry.spelling(side);
        m_state.keep(m_state.find(path));
        m_state.keepBelow(path + "/");
    }
}

void TwoWayPass::entered(WalkFolder&, WalkFolder& child) {
    for (const int side : kSides) {
        // Its own times once the walk and the copies have done writing in it (a folder it made gets
        // those it mirrors).
        child.like[side] = child.info[side];
        child.finish[side] = true;
        if (!child.fresh[side]) continue;
        std::string made = m_roots[side] + child.relative;
        made.pop_back();
        m_run.report(RunAction::Kind::CreateFolder, made);
    }
}

void TwoWayPass::left(const std::shared_ptr<WalkFolder>& folder) {
    finishFolder(folder);
}

// Every folder written in is flushed with its times: the memory saved after the run must not know a name
// that a power cut could still take back.
void TwoWayPass::finishFolder(const std::shared_ptr<WalkFolder>& folder) {
    m_applier.after([this, folder] {
        for (const int side : kSides) {
            if (!folder->on[side] || !folder->written[side]) continue;
            const std::string path = m_roots[side] + folder->relative;
            std::error_code error;
            platform::Dropped dropped;
            if (!m_applier.settleFolder({folder->folder[side], folder->like[side], folder->folder[1 - side],
                                         folder->fresh[side], true},
                                        dropped, error))
                m_run.failure("creating folder", path, error);
            m_run.noteDropped(dropped, path);
        }
    });
}

void TwoWayPass::file(WalkFolder& folder, const WalkEntry& entry, Seen& seen) {
    const Names names{entry.spelling(kSource), entry.spelling(kDestination)};
    const std::string relativeName = folder.relative + *entry.name;
    // The state knows a file by either side's spelling of its name.
    std::size_t index = SyncState::kNone;
    if (m_remembering) {
        index = m_state.find(folder.relative + names[kSource]);
        if (index == SyncState::kNone && names[kDestination] != names[kSource])
            index = m_state.find(folder.relative + names[kDestination]);
    }
    // Deciding again what waited for renames: the rest of the folder was decided already.
    if (m_settling && m_deferred.count(relativeName) == 0) return;
    if (!matches(*entry.name)) {
        // Another watch of the pair, with other masks, may remember it: the state keeps it.
        return m_state.keep(index);
    }
    // Names the other side cannot hold: one line each, and neither name written over the other.
    if (entry.clashesWith != nullptr) {
        const int side = entry.clashSide;
        m_state.keep(index);
        return m_run.failure("Error copying file " + pathOn(side, folder, names[side]) +
                             ": its name differs only in letter case from " +
                             pathOn(side, folder, *entry.clashesWith) + ", and the file system of " +
                             m_roots[1 - side] + " does not tell the two apart");
    }
    for (const int side : kSides) {
        const platform::FileSystemTraits* traits = folder.traits[1 - side];
        if (!entry.on[1 - side] && seen.info[side].kind == EntryKind::File && traits != nullptr &&
            traits->refusesName(names[side])) {
            m_state.keep(index);
            return m_run.failure("copying file", pathOn(side, folder, names[side]),
                                 platform::WalkError::NameRefused);
        }
    }
    const std::shared_ptr<WalkFolder> here = folder.shared_from_this();
    // A change of letter case on one side is carried to the other as a rename: the side whose spelling
    // the last run knew gets the new one. Where it knew neither, the destination takes the source's.
    if (names[kSource] != names[kDestination] && seen.info[kSource].kind == EntryKind::File &&
        seen.info[kDestination].kind == EntryKind::File) {
        int known = kDestination;
        if (index != SyncState::kNone && m_state.pathAt(index) == folder.relative + names[kSource])
            known = kSource;
        return rename(here, known, names, seen, index);
    }
    if (index == SyncState::kNone && !m_settling && movedHere(here, names, seen)) return;
    settle(here, names, seen, index);
}

void TwoWayPass::settle(const std::shared_ptr<WalkFolder>& here, const Names& names, const Seen& seen,
                        std::size_t index, const Renamed* renamed) {
    WalkFolder& folder = *here;
    const std::string relativeName = folder.relative + names[kSource];
    const FileInfo(&info)[2] = seen.info;
    for (const int side : kSides)
        if (info[side].kind == EntryKind::File && !m_settling) ++m_held[side];

    TwoWayFacts facts;
    for (const int side : kSides) {
        facts.seen[side] = info[side];
        facts.lookError[side] = seen.error[side];
        facts.ownFile[side] = info[side].kind == EntryKind::File && m_run.isOwnFile(info[side]);
    }
    if (index != SyncState::kNone) facts.last = m_state.at(index);
    if (renamed != nullptr) {
        facts.seen[renamed->side] = renamed->found;
        if (renamed->known) facts.last = renamed->last;
    }
    facts.remembering = m_remembering;
    facts.tuneMode = m_settings.tuneMode;
    facts.deleteAbsent = m_settings.deleteAbsent;
    facts.comparison = m_comparison;
    TwoWayDecision decision = decideTwoWay(facts);
    if (decision.action == TwoWayDecision::Action::CompareContent) {
        bool same = false;
        std::error_code failure;
        if (!platform::sameContent(*folder.folder[kSource], names[kSource], *folder.folder[kDestination],
                                   names[kDestination], same, failure)) {
            m_run.context.display.stepProgress();
            m_run.markFolderFailed(folder.relative);
            m_state.keep(index);
            return m_run.failure("reading file", pathOn(kSource, folder, names[kSource]), failure);
        }
        facts.sameContent = same;
        decision = decideTwoWay(facts);
    }
    // A file decided again after the walk was counted in it.
    if (decision.countsAsFile && !m_settling) m_run.context.display.stepProgress();
    if (waitsForRenames(relativeName, info, index, decision)) return;
    using Action = TwoWayDecision::Action;
    // A link to be copied as a link onto a file system without links: one line, and nothing written.
    if (decision.action == Action::Copy || decision.action == Action::Conflict) {
        const platform::FileSystemTraits* traits = folder.traits[1 - decision.from];
        if (info[decision.from].isLink && traits != nullptr && !traits->symbolicLinks) {
            m_state.keep(index);
            return m_run.failure("copying file", pathOn(decision.from, folder, names[decision.from]),
                                 platform::WalkError::LinksNotHeld);
        }
    }
    // A conflict the user decided in the preview: the side chosen replaces the other.
    if ((decision.action == Action::Conflict || decision.action == Action::ConflictLeft) &&
        m_applier.plan() != nullptr) {
        const int reported = decision.action == Action::Conflict ? 1 - decision.from : kSource;
        const std::string row = pathOn(reported, folder, names[reported]);
        switch (m_applier.plan()->choiceFor(row)) {
            case ConflictChoice::KeepBoth:
                break;
            case ConflictChoice::KeepSource:
                return copyAcross(here, kSource, names, info, index, {}, row);
            case ConflictChoice::KeepDestination:
                return copyAcross(here, kDestination, names, info, index, {}, row);
        }
    }
    switch (decision.action) {
        case Action::Nothing:
        case Action::CompareContent:
            return;
        case Action::Record:
            ++m_run.result.skipped;
            return remember(index, relativeName, info[kSource], info[kDestination]);
        case Action::Keep:
            ++m_run.result.skipped;
            return m_state.keep(index);
        case Action::Copy:
            return copyAcross(here, decision.from, names, info, index);
        case Action::Conflict:
            ++m_run.result.conflicts;
            return copyAcross(here, decision.from, names, info, index,
                              conflictName(folder, names[1 - decision.from]));
        case Action::ConflictLeft:
            return conflictLeft(folder, names, info, index);
        case Action::Delete:
            return planDeletion(folder, decision.from, names[decision.from], info[decision.from], index);
        case Action::Refuse:
            if (decision.failsFolder) m_run.markFolderFailed(folder.relative);
            m_state.keep(index);
            return m_run.failure(decision.doing, pathOn(decision.from, folder, names[decision.from]),
                                 decision.reason);
    }
}

// A copy across (after keeping the other side's file beside it as `keptName`, for a conflict), done on
// any thread and accounted for in walk order.
void TwoWayPass::copyAcross(const std::shared_ptr<WalkFolder>& folder, int from, const Names& names,
                            const FileInfo (&info)[2], std::size_t index, const std::string& keptName,
                            const std::string& conflictRow) {
    const int to = 1 - from;
    const bool replace = info[to].kind == EntryKind::File;
    auto order = std::make_unique<FileOrder>();
    order->kind = keptName.empty() ? FileOrder::Kind::Copy : FileOrder::Kind::ConflictCopy;
    order->from = from;
    for (const int side : kSides) {
        order->folder[side] = folder->folder[side];
        order->root[side] = m_roots[side];
        order->info[side] = info[side];
        order->traits[side] = folder->traits[side];
    }
    order->relative = folder->relative;
    order->name = names[from];
    if (names[to] != names[from]) order->targetName = names[to];
    order->keptName = keptName;
    order->versions = m_versions[to];
    order->lookAtCopy = true;
    order->rowKind = !conflictRow.empty() || !keptName.empty() ? RunAction::Kind::Conflict
                     : replace                                 ? RunAction::Kind::Replace
                                                               : RunAction::Kind::Copy;
    order->rowPath = !conflictRow.empty() ? conflictRow
                     : !keptName.empty()  ? pathOn(to, *folder, names[to])
                                          : pathOn(from, *folder, names[from]);
    const RunAction::Side newer = replace ? newerSide(info, m_comparison) : RunAction::Side::None;
    order->done = [this, folder, from, names, keptName, replace, newer, index,
                   infos = std::array{info[kSource], info[kDestination]}](const FileOutcome& outcome) {
        const int to = 1 - from;
        const std::string fromPath = m_roots[from] + folder->relative + names[from];
        const std::string toPath = m_roots[to] + folder->relative + names[to];
        if (!outcome.begun) return m_state.keep(index);
        if (outcome.keptCopyFailed) {
            m_run.markFolderFailed(folder->relative);
            m_state.keep(index);
            return m_run.failure("copying file", toPath, outcome.error);
        }
        if (!keptName.empty()) {
            folder->written[to] = true;
            const std::string keptPath = m_roots[to] + folder->relative + keptName;
            m_run.report(RunAction::Kind::Conflict, toPath, keptPath, infos[to].size, newer);
            const std::string line = "Conflict " + toPath +
                                     ": both sides changed since the last run; kept as " + keptPath +
                                     ", replaced by the newer " + fromPath;
            m_run.log(line);
            m_run.showStatus(line);
        }
        if (!outcome.done) {
            m_run.markFolderFailed(folder->relative);
            m_state.keep(index);
            if (outcome.version.keepFailed)
                return m_run.versionFailure(outcome.version, toPath, outcome.error);
            return m_run.failure("copying file", fromPath, outcome.error);
        }
        folder->written[to] = true;
        RunState::Copied copied;
        copied.kind = replace ? RunAction::Kind::Replace : RunAction::Kind::Copy;
        copied.source = fromPath;
        copied.target = toPath;
        copied.size = infos[from].size;
        copied.newer = newer;
        copied.version = &outcome.version;
        copied.dropped = &outcome.dropped;
        copied.wideLog = m_settings.wideLog;
        m_run.accountCopy(copied);
        if (outcome.copy.kind != EntryKind::File) return m_state.keep(index);
        if (from == kSource)
            remember(index, folder->relative + names[kSource], infos[kSource], outcome.copy);
        else
            remember(index, folder->relative + names[kSource], outcome.copy, infos[kDestination]);
    };
    m_applier.order(std::move(order));
}

void TwoWayPass::conflictLeft(const WalkFolder& folder, const Names& names, const FileInfo (&info)[2],
                              std::size_t index) {
    ++m_run.result.conflicts;
    m_state.keep(index);
    const std::string source = pathOn(kSource, folder, names[kSource]);
    const std::string destination = pathOn(kDestination, folder, names[kDestination]);
    m_run.report(RunAction::Kind::Conflict, source, destination, info[kSource].size,
                 newerSide(info, m_comparison));
    const std::string line =
        "Conflict " + source + " and " + destination + ": both changed since the last run; left as they are";
    m_run.log(line);
    m_run.showStatus(line);
}

std::string TwoWayPass::conflictName(const WalkFolder& folder, const std::string& name) {
    if (m_conflictFolder != folder.relative) {
        m_conflictFolder = folder.relative;
        m_conflictNames.clear();
    }
    const std::size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string base = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    const auto taken = [&](const std::string& candidate) {
        for (const int side : kSides) {
            const std::vector<ListedName>& names = folder.names[side];
            const auto found = std::lower_bound(
                names.begin(), names.end(), candidate,
                [](const ListedName& listed, const std::string& wanted) { return listed.name < wanted; });
            if (found != names.end() && found->name == candidate) return true;
        }
        return std::find(m_conflictNames.begin(), m_conflictNames.end(), candidate) != m_conflictNames.end();
    };
    // Decided from the listings alone, so a preview names it as the run will.
    for (int attempt = 1;; ++attempt) {
        std::string candidate = base + ".conflict-" + m_stamp;
        if (attempt > 1) candidate += '-' + std::to_string(attempt);
        candidate += extension;
        if (taken(candidate)) continue;
        m_conflictNames.push_back(candidate);
        return candidate;
    }
}

void TwoWayPass::planDeletion(const WalkFolder& folder, int side, const std::string& name,
                              const FileInfo& info, std::size_t index) {
    // The folder gets its own times back once its deletions are done.
    m_deletions[side]
        .groupFor(folder.relative, folder.info[side], folder.info[side])
        .files.push_back({name, info, index});
    m_state.keep(index);  // until it is gone
}

void TwoWayPass::runDeletions() {
    // The destination first, as the one-way passes delete.
    for (const int side : {kDestination, kSource}) {
        DeletionPlan& plan = m_deletions[side];
        plan.sourceRoot = m_roots[1 - side];
        plan.destinationRoot = m_roots[side];
        // Nothing is deleted in or below a folder where something failed in this run.
        for (DeletionPlan::Group& group : plan.groups)
            if (m_run.failedAtOrAbove(group.relative)) group.files.clear();
        if (plan.fileCount() == 0 ||
            !deletionsAllowed(m_run, std::span(&plan, 1), m_held[side], m_held[1 - side]))
            continue;
        // Forgotten only once gone: a deletion that failed or was cut short is decided again next time.
        m_applier.executeDeletions(plan, m_settings.wideLog,
                                   [this](const std::string&, std::size_t index) { m_state.forget(index); });
    }
}

}  // namespace tessel
