#include "sync/DiskApplier.h"

#include <memory>
#include <utility>

#include "platform/FileCompare.h"
#include "platform/Versions.h"
#include "sync/CopyMeter.h"
#include "sync/DeleteAbsent.h"
#include "sync/RunState.h"

namespace tessel {

namespace {

using platform::EntryKind;
using platform::FileInfo;
using platform::Folder;
using platform::SharedFolder;

// One order on the pool: done on any thread, told on the walk thread in walk order. The bytes planned
// for it were told on the walk thread as it was ordered; its meter tells the rest on the thread that
// does it.
class OrderTask : public OrderedPool::Task {
  public:
    OrderTask(std::unique_ptr<FileOrder> order, const RunState& run, bool mayBeLeft,
              const RunDisplay::PlanChange& planned)
        : m_order(std::move(order)), m_run(run), m_mayBeLeft(mayBeLeft), m_planned(planned) {}
    void run() override {
        CopyMeter meter(m_run.context.display, *m_order, m_planned);
        // A file not begun when the user stops the run is left for the next run; with one thread the walk
        // finishes the file in hand.
        if (m_mayBeLeft && m_run.stopRequested())
            m_outcome.begun = false;
        else
            DiskApplier::perform(*m_order, m_outcome, &meter);
        meter.finish();
    }
    void release() override { m_order->done(m_outcome); }

  private:
    std::unique_ptr<FileOrder> m_order;
    const RunState& m_run;
    const bool m_mayBeLeft;
    const RunDisplay::PlanChange m_planned;
    FileOutcome m_outcome;
};

// A deletion of a plan: the file goes (as a version, where versions are kept) on any thread, and the
// walk thread accounts for it in plan order.
class DeleteTask : public OrderedPool::Task {
  public:
    DeleteTask(RunState& run, SharedFolder folder, const platform::FileSystemTraits& traits,
               std::shared_ptr<bool> written, const DeletionPlan::Candidate& file, std::string path,
               platform::VersionKeeper* keeper, const std::string& relative, bool wideLog,
               const Applier::Deleted& deleted)
        : m_run(run),
          m_folder(std::move(folder)),
          m_traits(traits),
          m_written(std::move(written)),
          m_file(file),
          m_path(std::move(path)),
          m_relative(relative),
          m_wideLog(wideLog),
          m_deleted(deleted) {
        m_version.keeper = keeper;
        if (keeper != nullptr) m_version.relativeFolder = relative;
    }
    void run() override {
        // A deletion not yet begun when the user stops the run is left for the next run.
        m_abandoned = m_run.stopRequested();
        if (m_abandoned) return;
        m_done = platform::deleteFile(*m_folder, m_file.name, &m_file.info, m_traits, m_error,
                                      m_version.keeper != nullptr ? &m_version : nullptr);
    }
    void release() override {
        if (m_abandoned) return;
        if (!m_done) {
            if (m_version.keepFailed) return m_run.versionFailure(m_version, m_path, m_error);
            return m_run.failure("deleting file", m_path, m_error);
        }
        *m_written = true;
        m_run.accountDeletion(m_path, m_file.info.size, &m_version, m_wideLog);
        if (m_deleted) m_deleted(m_relative + m_file.name, m_file.stateIndex);
    }

  private:
    RunState& m_run;
    SharedFolder m_folder;
    const platform::FileSystemTraits& m_traits;
    std::shared_ptr<bool> m_written;
    const DeletionPlan::Candidate& m_file;
    std::string m_path;
    std::string m_relative;
    bool m_wideLog;
    const Applier::Deleted& m_deleted;
    platform::VersionPlace m_version;
    bool m_done = false;
    bool m_abandoned = false;
    std::error_code m_error;
};

// Opens the folder `relative` again from the root and makes sure it is still the folder the plan was
// made for.
Folder reopen(const Folder& root, const std::string& relative, std::uint64_t device, std::uint64_t inode,
              std::error_code& error) {
    Folder folder = Folder::openBelow(root, relative, error);
    std::uint64_t nowDevice = 0, nowInode = 0;
    if (folder.valid() &&
        (!folder.identity(nowDevice, nowInode) || nowDevice != device || nowInode != inode)) {
        error = platform::WalkError::FolderChanged;
        return Folder();
    }
    return folder;
}

}  // namespace

void DiskApplier::perform(const FileOrder& order, FileOutcome& outcome, platform::CopyProgress* progress) {
    const int from = order.from, to = 1 - from;
    const Folder& source = *order.folder[from];
    const Folder& target = *order.folder[to];
    // A folder the run has not asked about (none of a preview's reaches here) gets the answers that need
    // nothing of the file system.
    static const platform::FileSystemTraits kConservative = platform::conservativeTraits();
    const platform::FileSystemTraits& traits =
        order.traits[to] != nullptr ? *order.traits[to] : kConservative;
    outcome.found = order.info[from];
    outcome.version.keeper = order.versions;
    if (order.versions != nullptr) outcome.version.relativeFolder = order.relative;
    platform::VersionPlace* const versions = order.versions != nullptr ? &outcome.version : nullptr;
    const FileInfo* const present = order.info[to].kind == EntryKind::File ? &order.info[to] : nullptr;
    const std::string& targetName = targetOf(order);
    switch (order.kind) {
        case FileOrder::Kind::CopyUnlooked:
            outcome.done = platform::copyNewFile(source, order.name, target, outcome.found, traits,
                                                 outcome.error, &outcome.dropped, progress);
            if (outcome.found.kind != EntryKind::File) return;  // no regular file: the pass looks again
            break;
        case FileOrder::Kind::Copy:
            outcome.done =
                platform::copyFile(source, order.name, order.info[from], target, targetName, present, traits,
                                   outcome.error, versions, &outcome.dropped, progress);
            break;
        case FileOrder::Kind::Move:
            outcome.done = platform::moveFile(source, order.name, order.info[from], target, targetName,
                                              present, traits, outcome.error, &outcome.dropped, progress);
            break;
        case FileOrder::Kind::FinishMove: {
            bool same = false;
            if (!platform::sameContent(source, order.name, target, targetName, same, outcome.error,
                                       linkLookOf(order)))
                return;
            if (!same) {
                outcome.error = std::make_error_code(std::errc::file_exists);
                return;
            }
            outcome.done = platform::removeMovedSource(source, order.name, order.info[from], outcome.error);
            return;
        }
        case FileOrder::Kind::Rename: {
            outcome.done = order.movedFolder != nullptr
                               ? platform::renameNoReplace(*order.movedFolder, order.movedName, target,
                                                           order.name, traits, outcome.error)
                               : platform::renameCase(target, targetName, order.name, traits, outcome.error);
            std::error_code ignored;
            if (outcome.done && order.lookAtCopy &&
                platform::examine(target, order.name, platform::ListedType::Unknown, outcome.copy, ignored,
                                  linkLookOf(order)) != EntryKind::File)
                outcome.copy = {};
            return;
        }
        case FileOrder::Kind::ConflictCopy:
            // The file that loses is kept beside itself first: the winner then replaces it.
            if (!platform::copyFile(target, targetName, order.info[to], target, order.keptName, nullptr,
                                    traits, outcome.error, nullptr, nullptr, progress)) {
                outcome.keptCopyFailed = true;
                return;
            }
            outcome.done =
                platform::copyFile(source, order.name, order.info[from], target, targetName, present, traits,
                                   outcome.error, versions, &outcome.dropped, progress);
            break;
    }
    // Remembered as the copy is now: it carries the source's times, and has an identity of its own.
    std::error_code ignored;
    if (outcome.done && order.lookAtCopy &&
        platform::examine(target, targetName, platform::ListedType::Unknown, outcome.copy, ignored,
                          linkLookOf(order)) != EntryKind::File)
        outcome.copy = {};
}

void DiskApplier::order(std::unique_ptr<FileOrder> order) {
    OrderedPool& pool = m_run.pool();
    // The walk thread tells the plan before the order leaves it.
    const RunDisplay::PlanChange planned = CopyMeter::plannedFor(*order);
    if (!planned.empty()) m_run.context.display.changePlan(planned);
    pool.submitSmall(std::make_unique<OrderTask>(std::move(order), m_run, pool.parallel(), planned));
}

void DiskApplier::after(std::function<void()> event) {
    m_run.pool().later(std::move(event));
}

void DiskApplier::drain() {
    m_run.pool().drain();
}

bool DiskApplier::makeRoot(const std::string& root, bool& created, std::error_code& error) {
    created = !platform::isExistingFolder(root);
    return !created || platform::ForceFolders(root, error);
}

Applier::FolderMade DiskApplier::makeFolder(const Folder& parent, const std::string&, const std::string&,
                                            const std::string& name, std::uint32_t mode, Folder& made,
                                            std::error_code& error) {
    bool created = false;
    if (!platform::makeChildFolder(parent, name, mode, created, error)) return FolderMade::NotMade;
    made = Folder::openChild(parent, name, error);
    if (!made.valid()) return FolderMade::NotOpened;
    return created ? FolderMade::Made : FolderMade::Existing;
}

bool DiskApplier::settleFolder(const DoneFolder& done, platform::Dropped& dropped, std::error_code& error) {
    const SharedFolder& folder = done.folder;
    if (!folder || !folder->valid()) {
        if (!error) error = std::make_error_code(std::errc::bad_file_descriptor);
        return false;
    }
    // The attributes after the mode, which would change an ACL's mask; they leave the times as they are.
    bool ok = platform::finishFolder(*folder, done.like, done.created, error);
    if (ok && done.created && done.mirrored)
        ok = platform::copyFolderAttributes(*done.mirrored, *folder, m_run.fileSystems().of(*folder), dropped,
                                            error);
    // The names of the copies in it are made durable even where its own settling failed.
    std::error_code flushError;
    if (done.flush && !platform::flushFolder(*folder, flushError) && ok) {
        error = flushError;
        ok = false;
    }
    return ok;
}

void DiskApplier::clearStaleTemporaries(const Folder& folder,
                                        const std::vector<platform::ListedName>& names) {
    platform::removeStaleTemporaries(folder, names);
}

void DiskApplier::removeVersions(const std::string& root, const std::string& stamp) {
    std::error_code error;
    const Folder folder = Folder::open(root, error);
    platform::removeVersions(root, stamp, m_run.fileSystems().of(folder));
}

void DiskApplier::executeDeletions(const DeletionPlan& plan, bool wideLog, const Deleted& deleted) {
    if (plan.groups.empty()) return;
    platform::VersionKeeper* keeper = m_run.versionKeeper(plan.destinationRoot);
    std::error_code error;
    const Folder root = m_run.openRoot(plan.destinationRoot, error);
    if (!root.valid()) return m_run.failure("opening folder", plan.destinationRoot, error);
    OrderedPool& pool = m_run.pool();
    for (const DeletionPlan::Group& group : plan.groups) {
        if (m_run.stopRequested()) break;
        if (group.files.empty() && group.folders.empty()) continue;
        const std::string folderPath = plan.destinationRoot + group.relative;
        const auto folder =
            std::make_shared<const Folder>(reopen(root, group.relative, group.device, group.inode, error));
        if (!folder->valid()) {
            m_run.failure("opening folder", folderPath, error);
            continue;
        }
        const auto written = std::make_shared<bool>(false);
        const platform::FileSystemTraits& traits = m_run.fileSystems().of(*folder);
        for (const DeletionPlan::Candidate& file : group.files) {
            if (m_run.stopRequested()) break;
            pool.submit(std::make_unique<DeleteTask>(m_run, folder, traits, written, file,
                                                     folderPath + file.name, keeper, group.relative, wideLog,
                                                     deleted));
        }
        // A counterpart takes the place of a file deleted just now: after the deletions.
        if (!group.folders.empty()) pool.drain();
        for (const DeletionPlan::MissingFolder& missing : group.folders) {
            // Its parent is the folder of the group or a folder made just before it.
            const std::size_t slash = missing.relative.rfind('/', missing.relative.size() - 2);
            const std::string parentRelative =
                slash == std::string::npos ? "" : missing.relative.substr(0, slash + 1);
            const std::string name = missing.relative.substr(
                parentRelative.size(), missing.relative.size() - parentRelative.size() - 1);
            const Folder in = Folder::openBelow(*folder, parentRelative, error);
            if (!in.valid()) continue;  // its parent could not be made
            bool created = false;
            if (!platform::makeChildFolder(in, name, missing.sourceInfo.mode, created, error)) {
                m_run.failure("creating folder", folderPath + missing.relative, error);
                continue;
            }
            *written = *written || parentRelative.empty();
            m_run.report(RunAction::Kind::CreateFolder, folderPath + missing.relative);
            const Folder made = Folder::openChild(in, name, error);
            if (!made.valid() || !platform::finishFolder(made, missing.sourceInfo, created, error))
                m_run.failure("creating folder", folderPath + missing.relative, error);
        }
        // The folder gets its times back once its deletions are done.
        pool.later([this, folder, written, like = group.sourceInfo, folderPath] {
            std::error_code failure;
            if (*written && !platform::finishFolder(*folder, like, false, failure))
                m_run.failure("creating folder", folderPath, failure);
        });
        if (m_run.stopRequested()) break;
    }
    pool.drain();
}

}  // namespace tessel
