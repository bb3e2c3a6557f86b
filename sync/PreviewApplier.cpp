#include "sync/PreviewApplier.h"

#include "platform/FileCompare.h"
#include "sync/DeleteAbsent.h"
#include "sync/RunState.h"

namespace tessel {

using platform::EntryKind;
using platform::FileInfo;

void PreviewApplier::order(std::unique_ptr<FileOrder> order) {
    FileOutcome outcome;
    const int from = order->from, to = 1 - from;
    outcome.found = order->info[from];
    if (order->kind == FileOrder::Kind::CopyUnlooked) {
        // The run looks at it as it opens it; the preview looks now.
        std::error_code error;
        m_view.examine({*order->folder[from], order->root[from], order->relative}, order->name,
                       platform::ListedType::File, outcome.found, error, platform::LinkLook::Follow);
        if (outcome.found.kind != EntryKind::File) return order->done(outcome);
    }
    const std::string& target = targetOf(*order);
    // A replacement whose version the run could not keep (another user's versions folder): refused, as
    // the run refuses it.
    if (order->versions != nullptr && order->info[to].kind == EntryKind::File &&
        order->traits[to] != nullptr && order->versions->refusesVersions(*order->traits[to])) {
        outcome.version.keeper = order->versions;
        outcome.version.keepFailed = true;
        outcome.error = make_error_code(platform::WalkError::VersionsNotPrivate);
        return order->done(outcome);
    }
    if (order->kind == FileOrder::Kind::Rename) {
        m_view.imagineGone(order->root[to], order->movedFolder != nullptr
                                                ? order->movedRelative + order->movedName
                                                : order->relative + target);
        m_view.imagine(order->root[to], order->relative + order->name, {true, order->info[to]});
        outcome.done = true;
        return order->done(outcome);
    }
    if (order->kind == FileOrder::Kind::FinishMove && order->folder[from]->valid() &&
        order->folder[to]->valid()) {
        bool same = false;
        if (!platform::sameContent(*order->folder[from], order->name, *order->folder[to], target, same,
                                   outcome.error, linkLookOf(*order)))
            return order->done(outcome);
        if (!same) {
            outcome.error = std::make_error_code(std::errc::file_exists);
            return order->done(outcome);
        }
    }
    outcome.done = true;
    // What the copy or move would leave, for the passes after this one.
    FileInfo copied = outcome.found;
    copied.viaLink = false;
    if (order->kind == FileOrder::Kind::ConflictCopy)
        m_view.imagine(order->root[to], order->relative + order->keptName, {true, order->info[to]});
    if (order->kind != FileOrder::Kind::FinishMove)
        m_view.imagine(order->root[to], order->relative + target, {true, copied});
    if (order->kind == FileOrder::Kind::Move || order->kind == FileOrder::Kind::FinishMove)
        m_view.imagineGone(order->root[from], order->relative + order->name);
    outcome.copy = copied;
    order->done(outcome);
}

bool PreviewApplier::makeRoot(const std::string& root, bool& created, std::error_code&) {
    created = !m_view.imaginesFolder(root, "");
    m_view.imagineFolder(root, "");
    return true;
}

Applier::FolderMade PreviewApplier::makeFolder(const platform::Folder&, const std::string& root,
                                               const std::string& relative, const std::string&, std::uint32_t,
                                               platform::Folder& made, std::error_code&) {
    made = platform::Folder();
    if (m_view.imaginesFolder(root, relative)) return FolderMade::Existing;
    m_view.imagineFolder(root, relative);
    return FolderMade::Made;
}

void PreviewApplier::executeDeletions(const DeletionPlan& plan, bool wideLog, const Deleted& deleted) {
    // Deletions keep their versions where the run's would: none where the versions folder is another
    // user's, and then none is made, as in the run.
    platform::VersionKeeper* const keeper = m_run.versionKeeper(plan.destinationRoot);
    bool refused = false;
    if (keeper != nullptr) {
        std::error_code error;
        const platform::Folder root = platform::Folder::open(plan.destinationRoot, error);
        refused = root.valid() && keeper->refusesVersions(m_run.fileSystems().of(root));
    }
    for (const DeletionPlan::Group& group : plan.groups) {
        for (const DeletionPlan::Candidate& file : group.files) {
            if (refused) {
                platform::VersionPlace version;
                version.keeper = keeper;
                m_run.versionFailure(version, plan.destinationRoot + group.relative + file.name,
                                     make_error_code(platform::WalkError::VersionsNotPrivate));
                continue;
            }
            m_run.accountDeletion(plan.destinationRoot + group.relative + file.name, file.info.size, nullptr,
                                  wideLog);
            m_view.imagineGone(plan.destinationRoot, group.relative + file.name);
            if (deleted) deleted(group.relative + file.name, file.stateIndex);
        }
        for (const DeletionPlan::MissingFolder& missing : group.folders) {
            m_run.report(RunAction::Kind::CreateFolder,
                         plan.destinationRoot + group.relative + missing.relative);
            m_view.imagineFolder(plan.destinationRoot, group.relative + missing.relative);
        }
    }
}

}  // namespace tessel
