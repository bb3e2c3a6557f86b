#include "sync/DeleteAbsent.h"

#include <memory>
#include <vector>

#include "platform/FileCopy.h"
#include "platform/Wildcard.h"
#include "sync/OrderedPool.h"
#include "sync/SyncFolder.h"
#include "sync/WalkSupport.h"
#include "watch/EventLog.h"

namespace tessel {

namespace {

using platform::EntryKind;
using platform::FileInfo;
using platform::Folder;
using platform::ListedName;
using platform::ListedType;

class DeletionPlanner {
  public:
    DeletionPlanner(RunState& run, const std::string& mask, DeletionPlan& plan, const Folder& excluded)
        : m_run(run), m_mask(mask), m_plan(plan), m_excluded(excluded) {}

    void walk(FolderChain& source, FolderChain& destination, std::string& relative) {
        // Something failed in this folder earlier in the run: what it lacks may be lacking because of
        // that, so nothing here or below is deleted.
        if (m_run.folderFailed(relative)) return;
        // This folder's group goes before those of its subfolders, as the deletions of one walk would.
        const std::size_t index = m_plan.groups.size();
        std::vector<ListedName> names;
        if (!planFiles(source, destination, relative, names)) return;
        std::error_code error;
        for (const ListedName& entry : names) {
            if (m_run.stopRequested()) return;
            if (platform::isHiddenName(entry.name) || !mayBeFolder(entry.type)) continue;
            const std::string childRelative = relative + entry.name + "/";
            if (m_run.folderFailed(childRelative)) continue;
            Folder sourceChild, destinationChild;
            if (!openChildren(source, destination, entry.name, childRelative, m_plan.groups[index],
                              sourceChild, destinationChild))
                continue;
            relative = childRelative;
            source.enter(entry.name, std::move(sourceChild));
            destination.enter(entry.name, std::move(destinationChild));
            walk(source, destination, relative);
            source.leave();
            destination.leave();
            relative.resize(relative.size() - entry.name.size() - 1);
        }
        // Nothing to do here and nothing below: the group takes no room.
        const DeletionPlan::Group& group = m_plan.groups[index];
        if (index + 1 == m_plan.groups.size() && group.files.empty() && group.folders.empty())
            m_plan.groups.pop_back();
    }

  private:
    bool imagined(const std::string& root, const std::string& relative) const {
        return m_run.preview() && m_run.imagined(root, relative) != nullptr &&
               m_run.imagined(root, relative)->present;
    }

    // Opens the source subfolder and its counterpart, asking the chains each time: a deep walk puts
    // folders aside while it is below them. A preview enters the folders it imagines (not valid then).
    // False when there is nothing to walk; a missing counterpart is planned into `group`.
    bool openChildren(FolderChain& source, FolderChain& destination, const std::string& name,
                      const std::string& childRelative, DeletionPlan::Group& group, Folder& sourceChild,
                      Folder& destinationChild) {
        std::error_code error;
        if (!source.imaginary()) {
            sourceChild = Folder::openChild(source.current(error), name, error);
            if (!sourceChild.valid()) {
                if (imagined(m_plan.sourceRoot, childRelative)) {
                    // a folder an earlier pass of the preview made: entered as imagined
                } else if (error == platform::WalkError::SymbolicLink ||
                           error == std::errc::not_a_directory ||
                           error == std::errc::no_such_file_or_directory) {
                    return false;
                } else {
                    // An unreadable source folder cannot say what it lacks: its counterpart is not touched.
                    m_run.markFolderFailed(childRelative);
                    m_run.failure("opening folder", m_plan.sourceRoot + childRelative, error);
                    return false;
                }
            }
            if (sourceChild.valid() && m_excluded.valid() && sourceChild.sameFolderAs(m_excluded))
                return false;
        }
        error.clear();
        if (!destination.imaginary()) {
            const Folder& parent = destination.current(error);
            if (!parent.valid()) {
                m_run.markFolderFailed(childRelative);
                m_run.failure("opening folder", m_plan.destinationRoot + childRelative, error);
                return false;
            }
            destinationChild = Folder::openChild(parent, name, error);
            if (destinationChild.valid()) return true;
        }
        if (imagined(m_plan.destinationRoot, childRelative)) return true;
        if (destination.imaginary() || error == std::errc::no_such_file_or_directory ||
            givesWay(group, name, error)) {
            planMissing(group, sourceChild, name + "/");
        } else {
            m_run.markFolderFailed(childRelative);
            m_run.failure("opening folder", m_plan.destinationRoot + childRelative, error);
        }
        return false;
    }

    // Adds the folder's group with the files to delete in it and lists the source folder into `names`
    // for the walk to go on with its subfolders. False when the folder cannot be read.
    bool planFiles(FolderChain& source, FolderChain& destination, const std::string& relative,
                   std::vector<ListedName>& names) {
        std::error_code error;
        const Folder& sourceFolder = source.current(error);
        if (!sourceFolder.valid() && !source.imaginary()) {
            m_run.markFolderFailed(relative);
            m_run.failure("opening folder", m_plan.sourceRoot + relative, error);
            return false;
        }
        const Folder& destinationFolder = destination.current(error);
        if (!destinationFolder.valid() && !destination.imaginary()) {
            m_run.markFolderFailed(relative);
            m_run.failure("opening folder", m_plan.destinationRoot + relative, error);
            return false;
        }
        const SideFolder sourceSide{sourceFolder, m_plan.sourceRoot, relative};
        const SideFolder destinationSide{destinationFolder, m_plan.destinationRoot, relative};
        if (!listSide(m_run, destinationSide, names, error)) {
            m_run.markFolderFailed(relative);
            m_run.failure("reading folder", m_plan.destinationRoot + relative, error);
            return false;
        }
        DeletionPlan::Group& group = m_plan.groups.emplace_back();
        group.relative = relative;
        if (destinationFolder.valid()) destinationFolder.identity(group.device, group.inode);
        if (sourceFolder.valid()) sourceFolder.info(group.sourceInfo, error);
        for (const ListedName& entry : names) {
            if (m_run.stopRequested()) return false;
            if (platform::isHiddenName(entry.name) || entry.type == ListedType::Folder) continue;
            if (!platform::matchesMask(m_mask, entry.name)) continue;
            FileInfo info;
            if (examineSide(m_run, destinationSide, entry.name, entry.type, info, error) != EntryKind::File)
                continue;
            if (m_run.isProtected(relative + entry.name)) continue;
            if (presenceSide(m_run, sourceSide, entry.name) != platform::Presence::Absent) continue;
            group.files.push_back({entry.name, info});
        }
        if (!listSide(m_run, sourceSide, names, error)) {
            // A source folder that cannot be read cannot say what it lacks: nothing here is deleted.
            m_run.markFolderFailed(relative);
            m_run.failure("reading folder", m_plan.sourceRoot + relative, error);
            group.files.clear();
            names.clear();
        }
        return true;
    }

    // A file of the folder's name that this pass deletes makes way for the counterpart.
    static bool givesWay(const DeletionPlan::Group& group, const std::string& name,
                         const std::error_code& error) {
        if (error != std::errc::not_a_directory) return false;
        for (const DeletionPlan::Candidate& file : group.files)
            if (file.name == name) return true;
        return false;
    }

    // The missing counterpart of `source` and of every folder below it, to be made in walk order.
    void planMissing(DeletionPlan::Group& group, const Folder& source, const std::string& relative) {
        std::error_code error;
        FileInfo info;
        info.mode = 0755;
        if (source.valid() && !source.info(info, error)) return;
        group.folders.push_back({relative, info});
        if (!source.valid()) return;  // one the preview imagines: nothing below it yet
        std::vector<ListedName> names;
        if (!platform::listFolder(source, names, error)) return;
        for (const ListedName& entry : names) {
            if (platform::isHiddenName(entry.name) || !mayBeFolder(entry.type)) continue;
            const Folder child = Folder::openChild(source, entry.name, error);
            if (child.valid() && !(m_excluded.valid() && child.sameFolderAs(m_excluded)))
                planMissing(group, child, relative + entry.name + "/");
        }
    }

    RunState& m_run;
    const std::string& m_mask;
    DeletionPlan& m_plan;
    const Folder& m_excluded;
};

// Opens the folder `relative` below `base` one level at a time, never through a link.
Folder openBelow(const Folder& base, const std::string& relative, std::error_code& error) {
    Folder folder = Folder::openChild(base, ".", error);
    for (std::size_t start = 0; folder.valid() && start < relative.size();) {
        const std::size_t slash = relative.find('/', start);
        folder = Folder::openChild(folder, relative.substr(start, slash - start), error);
        start = slash + 1;
    }
    return folder;
}

// Opens the destination folder `relative` again from the root and makes sure it is still the folder
// the plan was made for.
Folder reopen(const Folder& root, const std::string& relative, std::uint64_t device, std::uint64_t inode,
              std::error_code& error) {
    Folder folder = openBelow(root, relative, error);
    std::uint64_t nowDevice = 0, nowInode = 0;
    if (folder.valid() &&
        (!folder.identity(nowDevice, nowInode) || nowDevice != device || nowInode != inode)) {
        error = platform::WalkError::FolderChanged;
        return Folder();
    }
    return folder;
}

}  // namespace

std::int64_t DeletionPlan::fileCount() const {
    std::int64_t count = 0;
    for (const Group& group : groups) count += static_cast<std::int64_t>(group.files.size());
    return count;
}

DeletionPlan planDeletions(RunState& run, const std::string& SourceFolder,
                           const std::string& DestinationFolder, const std::string& Mask) {
    DeletionPlan plan;
    plan.sourceRoot = withTrailingSlash(SourceFolder);
    plan.destinationRoot = withTrailingSlash(DestinationFolder);
    const bool sourceImagined = run.preview() && run.imagined(plan.sourceRoot, "") != nullptr;
    if (!platform::isExistingFolder(plan.sourceRoot) && !sourceImagined) return plan;
    std::error_code error;
    if (run.preview()) {
        if (!platform::isExistingFolder(plan.destinationRoot) &&
            run.imagined(plan.destinationRoot, "") == nullptr) {
            run.report(RunAction::Kind::CreateFolder, plan.destinationRoot);
            run.imagine(plan.destinationRoot, "", RunState::Imagined::folder());
        }
    } else if (!platform::ForceFolders(plan.destinationRoot, error)) {
        run.markFolderFailed("");
        run.failure("creating folder", plan.destinationRoot, error);
        return plan;
    }
    Folder source = run.openRoot(plan.sourceRoot, error);
    if (!source.valid() && !sourceImagined) {
        // A source that cannot be read protects the destination.
        run.markFolderFailed("");
        run.failure("opening folder", plan.sourceRoot, error);
        return plan;
    }
    Folder destination = run.openRoot(plan.destinationRoot, error);
    if (!destination.valid() && !run.preview()) {
        run.markFolderFailed("");
        run.failure("opening folder", plan.destinationRoot, error);
        return plan;
    }
    // With the destination inside the source tree, walking into it would make folders without end.
    FolderChain destinationChain(std::move(destination));
    const platform::SharedFolder excluded = destinationChain.shared(error);
    FolderChain sourceChain(std::move(source));
    DeletionPlanner planner(run, Mask, plan, *excluded);
    std::string relative;
    planner.walk(sourceChain, destinationChain, relative);
    return plan;
}

bool deletionsAllowed(RunState& run, const DeletionPlan& plan, std::int64_t toDelete, std::int64_t held,
                      std::int64_t sourceFiles) {
    const int limit = run.context.options.deleteLimitPercent;
    if (toDelete == 0 || limit >= 100) return true;
    std::string why;
    if (sourceFiles == 0 && held > 0) {
        why = "the source folder " + plan.sourceRoot + " held no files at the start of the run; " +
              std::to_string(toDelete) + " of the " + std::to_string(held) + " files held would be deleted";
    } else if (toDelete >= kMinimumGuardedDeletions &&
               toDelete * 100 > static_cast<std::int64_t>(limit) * held) {
        why = std::to_string(toDelete) + " of the " + std::to_string(held) +
              " files held would be deleted, more than the limit of " + std::to_string(limit) + " %";
    } else {
        return true;
    }
    run.result.refusedDeletions += static_cast<int>(plan.fileCount());
    for (const DeletionPlan::Group& group : plan.groups)
        for (const DeletionPlan::Candidate& file : group.files)
            run.report(RunAction::Kind::RefusedDeletion, plan.destinationRoot + group.relative + file.name,
                       {}, file.info.size);
    run.failure("Error deleting files in " + plan.destinationRoot + ": " + why + "; nothing was deleted");
    return false;
}

namespace {

// What the deletions would do, for a preview: told and remembered, nothing done.
void imagineDeletions(RunState& run, const DeletionPlan& plan) {
    for (const DeletionPlan::Group& group : plan.groups) {
        for (const DeletionPlan::Candidate& file : group.files) {
            ++run.result.deleted;
            run.report(RunAction::Kind::Delete, plan.destinationRoot + group.relative + file.name, {},
                       file.info.size);
            run.imagine(plan.destinationRoot, group.relative + file.name, {false, {}});
        }
        for (const DeletionPlan::MissingFolder& missing : group.folders) {
            run.report(RunAction::Kind::CreateFolder,
                       plan.destinationRoot + group.relative + missing.relative);
            run.imagine(plan.destinationRoot, group.relative + missing.relative,
                        RunState::Imagined::folder());
        }
    }
}

// One deletion of a plan, for the run's pool: the file goes (as a version, where versions are kept) on
// any thread, and the walk's thread logs it in plan order.
class DeleteTask : public OrderedPool::Task {
  public:
    DeleteTask(RunState& run, std::shared_ptr<const Folder> folder, std::shared_ptr<bool> written,
               const DeletionPlan::Candidate& file, std::string path, platform::VersionKeeper* keeper,
               const std::string& relative, bool wideLog)
        : m_run(run),
          m_folder(std::move(folder)),
          m_written(std::move(written)),
          m_file(file),
          m_path(std::move(path)),
          m_wideLog(wideLog) {
        m_version.keeper = keeper;
        if (keeper != nullptr) m_version.relativeFolder = relative;
    }
    void run() override {
        // A deletion not yet begun when the user stops the run is left for the next run.
        m_abandoned = m_run.stopRequested();
        if (m_abandoned) return;
        m_done = platform::deleteFile(*m_folder, m_file.name, &m_file.info, m_run.fileSystems().of(*m_folder),
                                      m_error, m_version.keeper != nullptr ? &m_version : nullptr);
    }
    void release() override {
        if (m_abandoned) return;
        if (!m_done) {
            m_run.failure(m_version.keepFailed ? "keeping a version of" : "deleting file", m_path, m_error);
            return;
        }
        *m_written = true;
        ++m_run.result.deleted;
        m_run.report(RunAction::Kind::Delete, m_path, {}, m_file.info.size);
        WriteLogLine(m_run.context, "Delete file " + m_path);
        m_run.accountVersion(m_version, m_path, m_wideLog);
        m_run.showStatus("  Delete file :" + m_path);
    }

  private:
    RunState& m_run;
    std::shared_ptr<const Folder> m_folder;
    std::shared_ptr<bool> m_written;
    const DeletionPlan::Candidate& m_file;
    std::string m_path;
    bool m_wideLog;
    platform::VersionPlace m_version;
    bool m_done = false;
    bool m_abandoned = false;
    std::error_code m_error;
};

// Gives a folder back the times of its source counterpart once its deletions are done.
class RestoreTimesTask : public OrderedPool::Task {
  public:
    RestoreTimesTask(RunState& run, std::shared_ptr<const Folder> folder, std::shared_ptr<bool> written,
                     const FileInfo& like, std::string path)
        : m_run(run),
          m_folder(std::move(folder)),
          m_written(std::move(written)),
          m_like(like),
          m_path(std::move(path)) {}
    void run() override {}
    void release() override {
        std::error_code error;
        if (*m_written && !platform::finishFolder(*m_folder, m_like, false, error))
            m_run.failure("creating folder", m_path, error);
    }

  private:
    RunState& m_run;
    std::shared_ptr<const Folder> m_folder;
    std::shared_ptr<bool> m_written;
    FileInfo m_like;
    std::string m_path;
};

}  // namespace

void executeDeletions(RunState& run, const DeletionPlan& plan, bool wideLog) {
    if (plan.groups.empty()) return;
    if (run.preview()) {
        imagineDeletions(run, plan);
        return;
    }
    platform::VersionKeeper* keeper = run.versionKeeper(plan.destinationRoot);
    std::error_code error;
    const Folder root = run.openRoot(plan.destinationRoot, error);
    if (!root.valid()) {
        run.failure("opening folder", plan.destinationRoot, error);
        return;
    }
    for (const DeletionPlan::Group& group : plan.groups) {
        if (run.stopRequested()) break;
        if (group.files.empty() && group.folders.empty()) continue;
        const std::string folderPath = plan.destinationRoot + group.relative;
        const auto folder =
            std::make_shared<const Folder>(reopen(root, group.relative, group.device, group.inode, error));
        if (!folder->valid()) {
            run.failure("opening folder", folderPath, error);
            continue;
        }
        const auto written = std::make_shared<bool>(false);
        for (const DeletionPlan::Candidate& file : group.files) {
            if (run.stopRequested()) break;
            run.pool().submit(std::make_unique<DeleteTask>(run, folder, written, file, folderPath + file.name,
                                                           keeper, group.relative, wideLog));
        }
        // A counterpart takes the place of a file deleted just now: after the deletions.
        if (!group.folders.empty()) run.pool().drain();
        for (const DeletionPlan::MissingFolder& missing : group.folders) {
            // Its parent is the folder of the group or a folder made just before it.
            const std::size_t slash = missing.relative.rfind('/', missing.relative.size() - 2);
            const std::string parentRelative =
                slash == std::string::npos ? "" : missing.relative.substr(0, slash + 1);
            const std::string name = missing.relative.substr(
                parentRelative.size(), missing.relative.size() - parentRelative.size() - 1);
            const Folder in = openBelow(*folder, parentRelative, error);
            if (!in.valid()) continue;  // its parent could not be made
            bool created = false;
            if (!platform::makeChildFolder(in, name, missing.sourceInfo.mode, created, error)) {
                run.failure("creating folder", folderPath + missing.relative, error);
                continue;
            }
            *written = *written || parentRelative.empty();
            run.report(RunAction::Kind::CreateFolder, folderPath + missing.relative);
            const Folder made = Folder::openChild(in, name, error);
            if (!made.valid() || !platform::finishFolder(made, missing.sourceInfo, created, error))
                run.failure("creating folder", folderPath + missing.relative, error);
        }
        run.pool().submit(
            std::make_unique<RestoreTimesTask>(run, folder, written, group.sourceInfo, folderPath));
        if (run.stopRequested()) break;
    }
    run.pool().drain();
}

RunResult DeleteAbsentFiles(RunContext& context, const std::string& SourceFolder,
                            const std::string& DestinationFolder, const std::string& Mask) {
    RunState run(context);
    const std::int64_t held = countFiles(DestinationFolder);
    const std::int64_t sourceFiles = countFiles(SourceFolder);
    const DeletionPlan plan = planDeletions(run, SourceFolder, DestinationFolder, Mask);
    if (deletionsAllowed(run, plan, plan.fileCount(), held, sourceFiles)) executeDeletions(run, plan, false);
    return run.result;
}

}  // namespace tessel
