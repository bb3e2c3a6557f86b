#include "sync/SyncFolder.h"

#include <limits>
#include <vector>

#include "platform/FileCopy.h"
#include "platform/Wildcard.h"
#include "sync/CopyDecision.h"
#include "sync/WalkSupport.h"
#include "watch/EventLog.h"

namespace tessel {

namespace {

using platform::EntryKind;
using platform::FileInfo;
using platform::Folder;
using platform::ListedName;
using platform::ListedType;

// One source file of a copy pass, as the walk hands it on; the walk keeps the folders open for it.
struct FileTask {
    const Folder* source = nullptr;
    const Folder* destination = nullptr;
    const std::string& name;
    ListedType listed = ListedType::Unknown;
    bool freshDestination = false;  // the walk has just made the destination folder: it holds nothing
    platform::VersionKeeper* versions = nullptr;  // where a replaced file goes first
    const std::string* relative = nullptr;        // the folder below the roots
};

// What became of it.
struct FileOutcome {
    bool isFile = false;  // only files count on the progress bar
    CopyDecision decision = CopyDecision::Skip;
    bool sourceUnreadable = false;
    bool done = false;
    std::uint64_t size = 0;
    std::error_code error;
    platform::VersionPlace version;
    RunAction::Side newer = RunAction::Side::None;  // where both sides have the file
};

// Examines the source file and its destination, decides, and copies or moves. Touches nothing but the
// two files, so it may run anywhere.
FileOutcome processFile(const FileTask& task, std::int32_t tuneMode, bool move) {
    FileOutcome outcome;
    FileInfo source;
    std::error_code error;
    switch (platform::examine(*task.source, task.name, task.listed, source, error)) {
        case EntryKind::File:
            break;
        case EntryKind::Unreadable:
            outcome.sourceUnreadable = true;
            outcome.error = error;
            return outcome;
        default:
            return outcome;  // special entries, links to folders, names gone since the listing
    }
    outcome.isFile = true;
    outcome.size = source.size;
    FileInfo destination;
    if (!task.freshDestination)
        platform::examine(*task.destination, task.name, ListedType::Unknown, destination, error);
    outcome.decision = decideCopy(tuneMode, move, source, destination);
    if (destination.kind == EntryKind::File)
        outcome.newer = isNewer(source, destination)   ? RunAction::Side::Source
                        : isNewer(destination, source) ? RunAction::Side::Destination
                                                       : RunAction::Side::None;
    switch (outcome.decision) {
        case CopyDecision::Copy:
        case CopyDecision::Replace: {
            const FileInfo* present = destination.kind == EntryKind::Missing ? nullptr : &destination;
            outcome.version.keeper = task.versions;
            if (task.versions != nullptr) outcome.version.relativeFolder = *task.relative;
            outcome.done = move ? platform::moveFile(*task.source, task.name, source, *task.destination,
                                                     task.name, present, outcome.error)
                                : platform::copyFile(*task.source, task.name, source, *task.destination,
                                                     task.name, present, outcome.error,
                                                     task.versions != nullptr ? &outcome.version : nullptr);
            break;
        }
        case CopyDecision::Refuse:
            outcome.error =
                destination.kind == EntryKind::Unreadable ? error
                : destination.kind == EntryKind::Folder || destination.kind == EntryKind::FolderLink
                    ? std::make_error_code(std::errc::is_a_directory)
                    : std::error_code(platform::WalkError::DestinationNotRegular);
            break;
        default:
            break;
    }
    return outcome;
}

class CopyWalk {
  public:
    CopyWalk(RunState& run, const std::string& mask, std::uint8_t fileAction, const TWatchRec& watch,
             const Folder& excluded, platform::VersionKeeper* versions)
        : m_run(run),
          m_mask(mask),
          m_move(fileAction != faCopy),
          m_watch(watch),
          m_excluded(excluded),
          m_versions(versions) {}

    void walk(FolderChain& source, FolderChain& destination, std::string& sourcePath,
              std::string& destinationPath, std::string& relative, bool freshDestination,
              bool& destinationWritten) {
        std::vector<ListedName> names;
        if (!walkFiles(source, destination, sourcePath, destinationPath, relative, freshDestination,
                       destinationWritten, names))
            return;
        for (const ListedName& entry : names) {
            if (m_run.stopRequested()) return;
            if (platform::isHiddenName(entry.name) || !mayBeFolder(entry.type)) continue;
            // Asked of the chains each time: a deep walk puts folders aside while it is below them.
            std::error_code error;
            const Folder& sourceFolder = source.current(error);
            const Folder& destinationFolder =
                sourceFolder.valid() ? destination.current(error) : sourceFolder;
            if (!destinationFolder.valid()) {
                m_run.markFolderFailed(relative);
                m_run.failure("opening folder", sourceFolder.valid() ? destinationPath : sourcePath, error);
                return;
            }
            const std::size_t sourceLength = sourcePath.size(), destinationLength = destinationPath.size(),
                              relativeLength = relative.size();
            sourcePath += entry.name;
            destinationPath += entry.name;
            relative += entry.name;
            SubfolderStep step;
            if (stepInto(m_run, sourceFolder, destinationFolder, entry.name, sourcePath, destinationPath,
                         relative + '/', m_excluded, step)) {
                if (step.created) {
                    destinationWritten = true;
                    m_run.report(RunAction::Kind::CreateFolder, destinationPath);
                }
                sourcePath += '/';
                destinationPath += '/';
                relative += '/';
                bool written = step.created;
                source.enter(entry.name, std::move(step.source));
                destination.enter(entry.name, std::move(step.destination));
                walk(source, destination, sourcePath, destinationPath, relative, step.created, written);
                // Its own times once the walk has done writing in it, as the copies carry theirs.
                if (written) {
                    const Folder& finished = destination.current(error);
                    if (!finished.valid() ||
                        !platform::finishFolder(finished, step.sourceInfo, step.created, error))
                        m_run.failure("creating folder", destinationPath, error);
                }
                source.leave();
                destination.leave();
            }
            sourcePath.resize(sourceLength);
            destinationPath.resize(destinationLength);
            relative.resize(relativeLength);
        }
    }

  private:
    // Lists the source folder into `names` and handles its files. False when there is nothing more to
    // do in the folder (it could not be read, or the run was stopped).
    bool walkFiles(FolderChain& source, FolderChain& destination, const std::string& sourcePath,
                   const std::string& destinationPath, const std::string& relative, bool freshDestination,
                   bool& destinationWritten, std::vector<ListedName>& names) {
        std::error_code error;
        const platform::SharedFolder sourceFolder = source.shared(error);
        const platform::SharedFolder destinationFolder =
            sourceFolder->valid() ? destination.shared(error) : sourceFolder;
        if (!destinationFolder->valid()) {
            m_run.markFolderFailed(relative);
            m_run.failure("opening folder", sourceFolder->valid() ? destinationPath : sourcePath, error);
            return false;
        }
        // Clear away what a crashed or killed run left half-copied in the folder this pass writes in.
        if (!freshDestination &&
            platform::listFolder(*destinationFolder, names, error, platform::ListOrder::AsStored))
            platform::removeStaleTemporaries(*destinationFolder, names);
        if (!platform::listFolder(*sourceFolder, names, error)) {
            m_run.markFolderFailed(relative);
            m_run.failure("reading folder", sourcePath, error);
            return false;
        }
        for (const ListedName& entry : names) {
            if (m_run.stopRequested()) return false;
            if (platform::isHiddenName(entry.name) || entry.type == ListedType::Folder) continue;
            if (!platform::matchesMask(m_mask, entry.name)) continue;
            const FileTask task{sourceFolder.get(), destinationFolder.get(), entry.name,
                                entry.type,         freshDestination,        m_versions,
                                &relative};
            release(task, processFile(task, m_watch.TuneMode, m_move), sourcePath, destinationPath, relative,
                    destinationWritten);
        }
        return true;
    }

    void release(const FileTask& task, const FileOutcome& outcome, const std::string& sourcePath,
                 const std::string& destinationPath, const std::string& relative, bool& destinationWritten) {
        if (outcome.isFile) m_run.context.display.stepProgress();  // skipped files advance the bar too
        if (outcome.sourceUnreadable) {
            m_run.markFolderFailed(relative);
            m_run.failure(m_move ? "moving file" : "copying file", sourcePath + task.name, outcome.error);
            return;
        }
        switch (outcome.decision) {
            case CopyDecision::Skip:
                if (outcome.isFile) ++m_run.result.skipped;
                return;
            case CopyDecision::KeptBack:
                ++m_run.result.skipped;
                m_run.protectFile(relative + task.name);
                return;
            default:
                break;
        }
        const std::string sourceFile = sourcePath + task.name;
        if (!outcome.done) {
            m_run.protectFile(relative + task.name);
            m_run.markFolderFailed(relative);
            if (outcome.version.keepFailed)
                m_run.failure("keeping a version of", destinationPath + task.name, outcome.error);
            else
                m_run.failure(m_move ? "moving file" : "copying file", sourceFile, outcome.error);
            return;
        }
        destinationWritten = true;
        if (m_move) {
            ++m_run.result.moved;
            m_run.protectFile(relative + task.name);
        } else {
            ++m_run.result.copied;
            m_run.result.bytesCopied += outcome.size;
        }
        const RunAction::Kind kind = m_move                                      ? RunAction::Kind::Move
                                     : outcome.decision == CopyDecision::Replace ? RunAction::Kind::Replace
                                                                                 : RunAction::Kind::Copy;
        m_run.report(kind, sourceFile, destinationPath + task.name, outcome.size, outcome.newer);
        if (isOn(m_watch.WideLog)) {
            if (m_move)
                WriteLogLine(m_run.context, "Moved file " + sourceFile);
            else if (outcome.decision == CopyDecision::Replace)
                WriteLogLine(m_run.context, "Copied file " + sourceFile);
            else
                WriteLogLine(m_run.context, "Copied file " + sourceFile + " ");
        }
        m_run.accountVersion(outcome.version, destinationPath + task.name, isOn(m_watch.WideLog));
        m_run.showStatus("  Copy file :" + sourceFile);
    }

    RunState& m_run;
    const std::string& m_mask;
    const bool m_move;
    const TWatchRec& m_watch;
    const Folder& m_excluded;
    platform::VersionKeeper* m_versions;
};

}  // namespace

void syncFolder(RunState& run, const std::string& SourceFolder, const std::string& DestinationFolder,
                const std::string& Mask, std::uint8_t FileAction, const TWatchRec& Watch) {
    std::string sourcePath = withTrailingSlash(SourceFolder);
    std::string destinationPath = withTrailingSlash(DestinationFolder);
    if (!platform::isExistingFolder(sourcePath)) return;
    std::error_code error;
    const bool created = !platform::isExistingFolder(destinationPath);
    if (!platform::ForceFolders(destinationPath, error)) {
        run.markFolderFailed("");
        run.failure("creating folder", destinationPath, error);
        return;
    }
    Folder source = Folder::open(sourcePath, error);
    if (!source.valid()) {
        run.markFolderFailed("");
        run.failure("opening folder", sourcePath, error);
        return;
    }
    Folder destination = Folder::open(destinationPath, error);
    if (!destination.valid()) {
        run.markFolderFailed("");
        run.failure("opening folder", destinationPath, error);
        return;
    }
    // A destination inside the source tree must not be copied into itself again and again.
    FolderChain destinationChain(std::move(destination));
    const platform::SharedFolder excluded = destinationChain.shared(error);
    FolderChain sourceChain(std::move(source));
    CopyWalk walk(run, Mask, FileAction, Watch, *excluded, run.versionKeeper(destinationPath));
    if (created) run.report(RunAction::Kind::CreateFolder, destinationPath);
    std::string relative;
    bool written = created;
    walk.walk(sourceChain, destinationChain, sourcePath, destinationPath, relative, false, written);
    platform::FileInfo sourceInfo;
    if (written && sourceChain.current(error).info(sourceInfo, error) &&
        !platform::finishFolder(*excluded, sourceInfo, created, error))
        run.failure("creating folder", destinationPath, error);
}

RunResult SyncFolder(RunContext& context, const std::string& SourceFolder,
                     const std::string& DestinationFolder, const std::string& Mask, std::uint8_t FileAction,
                     const TWatchRec& Watch) {
    RunState run(context);
    syncFolder(run, SourceFolder, DestinationFolder, Mask, FileAction, Watch);
    return run.result;
}

namespace {

std::int64_t countFilesBelow(FolderChain& chain) {
    std::error_code error;
    std::vector<ListedName> names;
    std::int64_t count = 0;
    {
        const Folder& folder = chain.current(error);
        if (!folder.valid() || !platform::listFolder(folder, names, error, platform::ListOrder::AsStored))
            return 0;
        for (const ListedName& entry : names) {
            if (platform::isHiddenName(entry.name) || entry.type == ListedType::Folder) continue;
            if (entry.type == ListedType::File) {
                ++count;
                continue;
            }
            FileInfo info;
            if (platform::examine(folder, entry.name, entry.type, info, error) == EntryKind::File) ++count;
        }
    }
    for (const ListedName& entry : names) {
        if (platform::isHiddenName(entry.name) || !mayBeFolder(entry.type)) continue;
        const Folder& folder = chain.current(error);
        if (!folder.valid()) break;
        Folder child = Folder::openChild(folder, entry.name, error);
        if (!child.valid()) continue;
        chain.enter(entry.name, std::move(child));
        count += countFilesBelow(chain);
        chain.leave();
    }
    return count;
}

}  // namespace

std::int64_t countFiles(const std::string& Folder) {
    std::error_code error;
    platform::Folder folder = platform::Folder::open(withTrailingSlash(Folder), error);
    if (!folder.valid()) return 0;
    FolderChain chain(std::move(folder));
    return countFilesBelow(chain);
}

std::int32_t CountFiles(const std::string& Folder) {
    const std::int64_t count = countFiles(Folder);
    return count > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                            : static_cast<std::int32_t>(count);
}

}  // namespace tessel
