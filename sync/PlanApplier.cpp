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

// What the error line of a row the run did not come to says it was doing.
const char* doingOf(RunAction::Kind kind) {
    switch (kind) {
        case RunAction::Kind::Move:
            return "moving file";
        case RunAction::Kind::Delete:
        case RunAction::Kind::RefusedDeletion:
            return "deleting file";
        case RunAction::Kind::CreateFolder:
            return "creating folder";
        case RunAction::Kind::RemoveOldVersions:
            return "removing old versions";
        case RunAction::Kind::Rename:
            return "renaming file";
        case RunAction::Kind::Copy:
        case RunAction::Kind::Replace:
        case RunAction::Kind::Conflict:
            break;
    }
    return "copying file";
}

// Whether a row's size, where it has one, is the file's: a file of another size is not the one the
// preview found (another file under the same name, or one written since at the same tick).
bool sizeAsFound(const PlanRow& row, std::uint64_t size) {
    return !row.size || *row.size == size;
}

}  // namespace

PlanApplier::PlanApplier(RunState& run, std::unique_ptr<Applier> inner, const EditedPlan& plan)
    : m_run(run), m_inner(std::move(inner)), m_plan(plan) {
    // A deletion the run refused (too many at once) was said with its refusal.
    m_run.heard = [this](RunAction::Kind kind, const std::string& path) {
        met(kind, path);
        if (kind == RunAction::Kind::RefusedDeletion) met(RunAction::Kind::Delete, path);
    };
}

PlanApplier::~PlanApplier() {
    m_run.heard = nullptr;
}

void PlanApplier::metEveryKind(const std::string& path) {
    for (std::size_t kind = 0; kind < kActionKinds; ++kind) met(static_cast<RunAction::Kind>(kind), path);
}

// A file that changed since the preview is reported whatever the plan says of it; an unchanged one
// whose row the plan lacks was left out, unless the plan has its path under another kind of row (the
// preview decided otherwise, so something changed that no time tells, a file gone for one).
// A file this run wrote itself (a move's, then moved back by the other direction's pass) has a change
// time of this run's. Whatever the verdict, the rows of the path were met: said here, if at all.
PlanApplier::Verdict PlanApplier::verdictOn(const FileOrder& order) {
    // A conflict's copy has a row of its own after the conflict's, part of it: met with it, whichever
    // way the user decided it, or if it was left out.
    if (order.rowKind == RunAction::Kind::Conflict)
        for (const int side : kSides)
            for (const RunAction::Kind kind : {RunAction::Kind::Copy, RunAction::Kind::Replace})
                met(kind,
                    order.root[side] + order.relative + (side == order.from ? order.name : targetOf(order)));
    for (const int side : kSides) {
        const std::string& name = side == order.from ? order.name : targetOf(order);
        if (m_plan.changedSince(order.info[side]) &&
            !m_written.contains(order.root[side] + order.relative + name)) {
            metEveryKind(order.rowPath);
            return Verdict::Changed;
        }
    }
    if (const PlanRow* const row = m_plan.row(order.rowKind, order.rowPath)) {
        met(order.rowKind, order.rowPath);
        // A conflict's row shows the size of the file kept beside it, not of the one copied.
        const bool sized = order.rowKind != RunAction::Kind::Conflict;
        return !sized || sizeAsFound(*row, order.info[order.from].size) ? Verdict::Do : Verdict::Changed;
    }
    for (std::size_t kind = 0; kind < kActionKinds; ++kind)
        if (m_plan.holds(static_cast<RunAction::Kind>(kind), order.rowPath)) {
            metEveryKind(order.rowPath);
            return Verdict::Changed;
        }
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
    const int to = 1 - order->from;
    const std::string written = order->root[to] + order->relative +
                                (order->kind == FileOrder::Kind::Rename ? order->name : targetOf(*order));
    if (verdict == Verdict::Do) {
        m_written.insert(written);
        return m_inner->order(std::move(order));
    }
    m_notWritten.insert(written);
    // Told in walk order, as every outcome is.
    FileOutcome outcome;
    outcome.begun = verdict != Verdict::LeftOut;
    outcome.error = changedSincePreview();
    outcome.found = order->info[order->from];
    std::shared_ptr<FileOrder> held(std::move(order));
    m_inner->after([held, outcome] { held->done(outcome); });
}

bool PlanApplier::makeRoot(const std::string& root, bool& created, std::error_code& error) {
    met(RunAction::Kind::CreateFolder, root);
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
    met(RunAction::Kind::CreateFolder, root + relative);
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
            const PlanRow* const row = m_plan.row(RunAction::Kind::Delete, path);
            met(RunAction::Kind::Delete, path);
            if (m_plan.changedSince(file.info) || (row != nullptr && !sizeAsFound(*row, file.info.size))) {
                m_run.markFolderFailed(group.relative);
                m_run.failure("deleting file", path, changedSincePreview());
                return true;
            }
            return row == nullptr;
        });
        std::erase_if(group.folders, [&](const DeletionPlan::MissingFolder& missing) {
            const std::string path = plan.destinationRoot + group.relative + missing.relative;
            met(RunAction::Kind::CreateFolder, path);
            return !m_plan.holds(RunAction::Kind::CreateFolder, path);
        });
    }
    m_inner->executeDeletions(planned, wideLog, deleted);
}

// In the plan's order, after everything else the run said. A row of a file that only a row not done would
// have put there (a move both ways: the move back of a move left out) was never to be met.
void PlanApplier::finish() {
    for (const PlanRow& row : m_plan.rows())
        if (!m_met.contains(EditedPlan::keyOf(row.kind, row.path)) && !m_notWritten.contains(row.path))
            m_run.failure(doingOf(row.kind), row.path, changedSincePreview());
}

}  // namespace tessel
