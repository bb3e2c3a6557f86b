#include "sync/PlanApplier.h"

#include "sync/DeleteAbsent.h"
#include "sync/Preview.h"
#include "sync/RunState.h"
#include "sync/TreeView.h"

namespace tessel {

namespace {

std::error_code changedSincePreview() {
    return make_error_code(platform::WalkError::ChangedSincePreview);
}

}  // namespace

// A file that changed since the preview is reported whatever the plan says of it; an unchanged one
// whose row the plan lacks was left out, unless the plan has its path under another kind of row (the
// preview decided otherwise, so something changed that no time tells, a file gone for one).
// A file this run wrote itself (a move's, then moved back by the other direction's pass) has a change
// time of this run's.
PlanApplier::Verdict PlanApplier::verdictOn(const FileOrder& order) const {
    for (const int side : kSides) {
        const std::string& name = side == order.from ? order.name : targetOf(order);
        if (m_plan.changedSince(order.info[side]) &&
            !m_written.contains(order.root[side] + order.relative + name))
            return Verdict::Changed;
    }
    if (m_plan.holds(order.rowKind, order.rowPath)) return Verdict::Do;
    for (std::size_t kind = 0; kind < kActionKinds; ++kind)
        if (m_plan.holds(static_cast<RunAction::Kind>(kind), order.rowPath)) return Verdict::Changed;
    return Verdict::LeftOut;
}

void PlanApplier::order(std::unique_ptr<FileOrder> order) {
    if (order->kind == FileOrder::Kind::CopyUnlooked) {
        // Looked at here: the time that tells a change is needed before the copy.
        std::error_code error;
        m_inner->view().examine({*order->folder[order->from], order->root[order->from], order->relative},
                                order->name, platform::ListedType::File, order->info[order->from], error,
                                linkLookOf(*order));
    }
    const Verdict verdict = verdictOn(*order);
    if (verdict == Verdict::Do) {
        const int to = 1 - order->from;
        m_written.insert(order->root[to] + order->relative +
                         (order->kind == FileOrder::Kind::Rename ? order->name : targetOf(*order)));
        return m_inner->order(std::move(order));
    }
    // Told in walk order, as every outcome is.
    FileOutcome outcome;
    outcome.begun = verdict != Verdict::LeftOut;
    outcome.error = changedSincePreview();
    outcome.found = order->info[order->from];
    std::shared_ptr<FileOrder> held(std::move(order));
    m_inner->after([held, outcome] { held->done(outcome); });
}

bool PlanApplier::makeRoot(const std::string& root, bool& created, std::error_code& error) {
    if (platform::isExistingFolder(root) || m_inner->view().imaginesFolder(root, "") ||
        m_plan.holds(RunAction::Kind::CreateFolder, root))
        return m_inner->makeRoot(root, created, error);
    error = changedSincePreview();
    return false;
}

Applier::FolderMade PlanApplier::makeFolder(const platform::Folder& parent, const std::string& root,
                                            const std::string& relative, const std::string& name,
                                            std::uint32_t mode, platform::Folder& made,
                                            std::error_code& error) {
    if (m_plan.holds(RunAction::Kind::CreateFolder, root + relative))
        return m_inner->makeFolder(parent, root, relative, name, mode, made, error);
    // One the preview did not make may be there now: it is only opened.
    made = platform::Folder::openChild(parent, name, error);
    if (made.valid()) return FolderMade::Existing;
    error = changedSincePreview();
    return FolderMade::NotMade;
}

void PlanApplier::executeDeletions(const DeletionPlan& plan, bool wideLog, const Deleted& deleted) {
    DeletionPlan planned = plan;
    for (DeletionPlan::Group& group : planned.groups) {
        std::erase_if(group.files, [&](const DeletionPlan::Candidate& file) {
            const std::string path = plan.destinationRoot + group.relative + file.name;
            if (m_plan.changedSince(file.info)) {
                m_run.markFolderFailed(group.relative);
                m_run.failure("deleting file", path, changedSincePreview());
                return true;
            }
            return !m_plan.holds(RunAction::Kind::Delete, path);
        });
        std::erase_if(group.folders, [&](const DeletionPlan::MissingFolder& missing) {
            return !m_plan.holds(RunAction::Kind::CreateFolder,
                                 plan.destinationRoot + group.relative + missing.relative);
        });
    }
    m_inner->executeDeletions(planned, wideLog, deleted);
}

}  // namespace tessel
