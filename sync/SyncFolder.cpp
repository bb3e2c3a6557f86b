#include "sync/SyncFolder.h"

#include <limits>
#include <memory>
#include <vector>

#include "platform/FileCopy.h"
#include "platform/Wildcard.h"
#include "sync/CopyDecision.h"
#include "sync/OrderedPool.h"
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
    const RunState* run = nullptr;
    const Folder* source = nullptr;
    const Folder* destination = nullptr;
    const std::string& name;
    ListedType listed = ListedType::Unknown;
    bool freshDestination = false;  // the walk has just made the destination folder: it holds nothing
    const platform::FileSystemTraits* traits = nullptr;  // what the destination's file system can do
    const Comparison* comparison = nullptr;              // what of a copied file it keeps
    platform::VersionKeeper* versions = nullptr;         // where a replaced file goes first
    const std::string* sourceRoot = nullptr;
    const std::string* destinationRoot = nullptr;
    const std::string* relative = nullptr;  // the folder below the roots
};

// What became of it.
struct FileOutcome {
    bool isFile = false;  // only files count on the progress bar
    CopyDecision decision = CopyDecision::Skip;
    bool sourceUnreadable = false;
    bool done = false;
    FileInfo source;
    std::error_code error;
    platform::VersionPlace version;
    platform::Dropped dropped;                      // what the copy could not carry over
    RunAction::Side newer = RunAction::Side::None;  // where both sides have the file
};

// Examines the source file and its destination, decides, and copies or moves (in a preview, only
// decides). Touches nothing but the two files, so it may run anywhere.
FileOutcome processFile(const FileTask& task, std::int32_t tuneMode, bool move) {
    FileOutcome outcome;
    std::error_code error;
    // A new folder holds nothing: a file listed as regular is copied whatever it is like, so the copy
    // looks at it as it opens it, one system call fewer per file of a first copy.
    if (task.freshDestination && !task.run->preview() && !move && task.listed == ListedType::File &&
        decideCopy(tuneMode, false, FileInfo{}, FileInfo{}) == CopyDecision::Copy) {
        outcome.done = platform::copyNewFile(*task.source, task.name, *task.destination, outcome.source,
                                             *task.traits, outcome.error, &outcome.dropped);
        if (outcome.source.kind == EntryKind::File) {
            outcome.isFile = true;
            outcome.decision = CopyDecision::Copy;
            return outcome;
        }
        outcome = {};
    }
    const SideFolder source{*task.source, *task.sourceRoot, *task.relative};
    switch (examineSide(*task.run, source, task.name, task.listed, outcome.source, error)) {
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
    FileInfo destination;
    if (!task.freshDestination || task.run->preview())
        examineSide(*task.run, {*task.destination, *task.destinationRoot, *task.relative}, task.name,
                    ListedType::Unknown, destination, error);
    outcome.decision = decideCopy(tuneMode, move, outcome.source, destination, *task.comparison);
    if (destination.kind == EntryKind::File)
        outcome.newer = isNewer(outcome.source, destination, *task.comparison) ? RunAction::Side::Source
                        : isNewer(destination, outcome.source, *task.comparison)
                            ? RunAction::Side::Destination
                            : RunAction::Side::None;
    switch (outcome.decision) {
        case CopyDecision::Copy:
        case CopyDecision::Replace: {
            if (task.run->preview()) {
                // A move onto a present file fails in the run, so the preview says it fails too.
                outcome.done = !(move && destination.kind != EntryKind::Missing);
                if (!outcome.done) outcome.error = std::make_error_code(std::errc::file_exists);
                break;
            }
            const FileInfo* present = destination.kind == EntryKind::Missing ? nullptr : &destination;
            outcome.version.keeper = task.versions;
            if (task.versions != nullptr) outcome.version.relativeFolder = *task.relative;
            outcome.done =
                move ? platform::moveFile(*task.source, task.name, outcome.source, *task.destination,
                                          task.name, present, *task.traits, outcome.error, &outcome.dropped)
                     : platform::copyFile(*task.source, task.name, outcome.source, *task.destination,
                                          task.name, present, *task.traits, outcome.error,
                                          task.versions != nullptr ? &outcome.version : nullptr,
                                          &outcome.dropped);
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

// One folder of a copy pass, shared by the pieces of work in it. The open folders go with the pieces,
// not with this, so a deep walk keeps no folder open per level.
struct FolderContext {
    std::string sourcePath;
    std::string destinationPath;
    std::string relative;
    bool fresh = false;                                  // made by this walk: it holds nothing
    const platform::FileSystemTraits* traits = nullptr;  // what its file system can do
    Comparison comparison;                               // what of a copied file it keeps
    bool written = false;                                // something was written in it
};

// Gives a folder its times (and, when the walk made it, its owner and permissions) once everything
// in it is done: released after every piece submitted before it.
class FinishTask : public OrderedPool::Task {
  public:
    FinishTask(std::shared_ptr<FolderContext> folder, platform::SharedFolder destination,
               const FileInfo& like, bool created, RunState& run)
        : m_folder(std::move(folder)),
          m_destination(std::move(destination)),
          m_like(like),
          m_created(created),
          m_run(run) {}
    void run() override {}
    void release() override {
        if (!m_folder->written || m_run.preview()) return;
        std::error_code error;
        if (!m_destination->valid() || !platform::finishFolder(*m_destination, m_like, m_created, error))
            m_run.failure("creating folder", m_folder->destinationPath, error);
    }

  private:
    std::shared_ptr<FolderContext> m_folder;
    platform::SharedFolder m_destination;
    FileInfo m_like;
    bool m_created;
    RunState& m_run;
};

class CopyWalk {
  public:
    CopyWalk(RunState& run, const std::string& mask, std::uint8_t fileAction, const TWatchRec& watch,
             const Folder& excluded, platform::VersionKeeper* versions, const std::string& sourceRoot,
             const std::string& destinationRoot, bool sourceLocalTime)
        : m_run(run),
          m_mask(mask),
          m_move(fileAction != faCopy),
          m_watch(watch),
          m_excluded(excluded),
          m_versions(versions),
          m_sourceRoot(sourceRoot),
          m_destinationRoot(destinationRoot),
          m_sourceLocalTime(sourceLocalTime) {}

    // Walks the folder the chains are in; its files go to the run's pool. The folder's context, for
    // the caller to finish the folder once everything in it is done.
    std::shared_ptr<FolderContext> walk(FolderChain& source, FolderChain& destination,
                                        std::string& sourcePath, std::string& destinationPath,
                                        std::string& relative, bool freshDestination) {
        std::vector<ListedName> names;
        std::shared_ptr<FolderContext> folder =
            walkFiles(source, destination, sourcePath, destinationPath, relative, freshDestination, names);
        if (!folder) return folder;
        for (const ListedName& entry : names) {
            if (m_run.stopRequested()) return folder;
            if (platform::isHiddenName(entry.name) || !mayBeFolder(entry.type)) continue;
            const std::size_t sourceLength = sourcePath.size(), destinationLength = destinationPath.size(),
                              relativeLength = relative.size();
            sourcePath += entry.name;
            destinationPath += entry.name;
            relative += entry.name;
            SubfolderStep step;
            const bool entered = m_run.preview() ? imagineStep(source, destination, entry.name, sourcePath,
                                                               destinationPath, relative + '/', step)
                                                 : realStep(source, destination, entry.name, sourcePath,
                                                            destinationPath, relative + '/', step);
            if (entered) {
                if (step.created) {
                    folder->written = true;
                    m_run.report(RunAction::Kind::CreateFolder, destinationPath);
                }
                sourcePath += '/';
                destinationPath += '/';
                relative += '/';
                source.enter(entry.name, std::move(step.source));
                destination.enter(entry.name, std::move(step.destination));
                std::shared_ptr<FolderContext> child =
                    walk(source, destination, sourcePath, destinationPath, relative, step.created);
                // A folder made here gets its permissions even when its walk stopped or failed part way.
                if (!child && step.created) {
                    child = std::make_shared<FolderContext>();
                    child->destinationPath = destinationPath;
                }
                // Its own times once everything in it is done, as the copies carry theirs.
                if (child) {
                    child->written = child->written || step.created;
                    std::error_code error;
                    m_run.pool().submit(std::make_unique<FinishTask>(child, destination.shared(error),
                                                                     step.sourceInfo, step.created, m_run));
                }
                source.leave();
                destination.leave();
            }
            sourcePath.resize(sourceLength);
            destinationPath.resize(destinationLength);
            relative.resize(relativeLength);
        }
        return folder;
    }

  private:
    // Opens the subfolder and its counterpart (made when missing), asking the chains each time: a deep
    // walk puts folders aside while it is below them.
    bool realStep(FolderChain& source, FolderChain& destination, const std::string& name,
                  const std::string& sourcePath, const std::string& destinationPath,
                  const std::string& relative, SubfolderStep& step) {
        std::error_code error;
        const Folder& sourceFolder = source.current(error);
        const Folder& destinationFolder = sourceFolder.valid() ? destination.current(error) : sourceFolder;
        if (!destinationFolder.valid()) {
            m_run.markFolderFailed(relative);
            m_run.failure("opening folder", sourceFolder.valid() ? destinationPath : sourcePath, error);
            return false;
        }
        return stepInto(m_run, sourceFolder, destinationFolder, name, sourcePath, destinationPath, relative,
                        m_excluded, step);
    }

    // The same for a preview: a folder that is missing, or that the preview imagines, is entered as
    // imagined, and a counterpart the run would make is imagined instead.
    bool imagineStep(FolderChain& source, FolderChain& destination, const std::string& name,
                     const std::string& sourcePath, const std::string& destinationPath,
                     const std::string& relative, SubfolderStep& step) {
        std::error_code error;
        if (!source.imaginary()) {
            step.source = Folder::openChild(source.current(error), name, error);
            if (!step.source.valid()) {
                if (m_run.imagined(m_sourceRoot, relative) == nullptr) {
                    if (error == platform::WalkError::SymbolicLink || error == std::errc::not_a_directory ||
                        error == std::errc::no_such_file_or_directory)
                        return false;
                    m_run.markFolderFailed(relative);
                    m_run.failure("opening folder", sourcePath, error);
                    return false;
                }
            } else if (m_excluded.valid() && step.source.sameFolderAs(m_excluded)) {
                return false;
            } else if (!step.source.info(step.sourceInfo, error)) {
                m_run.markFolderFailed(relative);
                m_run.failure("opening folder", sourcePath, error);
                return false;
            }
        }
        if (destination.imaginary()) {
            step.created = m_run.imagined(m_destinationRoot, relative) == nullptr;
        } else {
            FileInfo held;
            const Folder& parent = destination.current(error);
            switch (platform::examine(parent, name, ListedType::Unknown, held, error)) {
                case EntryKind::Folder:
                    if (held.viaLink) break;
                    step.destination = Folder::openChild(parent, name, error);
                    if (!step.destination.valid()) break;
                    return true;
                case EntryKind::Missing:
                    step.created = m_run.imagined(m_destinationRoot, relative) == nullptr;
                    break;
                default:
                    break;
            }
            if (!step.destination.valid() && !step.created &&
                m_run.imagined(m_destinationRoot, relative) == nullptr) {
                m_run.markFolderFailed(relative);
                m_run.failure("creating folder", destinationPath,
                              held.viaLink ? std::error_code(platform::WalkError::SymbolicLink)
                                           : std::make_error_code(std::errc::not_a_directory));
                return false;
            }
        }
        if (step.created) m_run.imagine(m_destinationRoot, relative, RunState::Imagined::folder());
        return true;
    }

    // Lists the source folder into `names` and hands its files to the pool. Null when there is nothing
    // more to do in the folder (it could not be read, or the run was stopped).
    std::shared_ptr<FolderContext> walkFiles(FolderChain& source, FolderChain& destination,
                                             const std::string& sourcePath,
                                             const std::string& destinationPath, const std::string& relative,
                                             bool freshDestination, std::vector<ListedName>& names) {
        std::error_code error;
        auto folder = std::make_shared<FolderContext>();
        const platform::SharedFolder sourceFolder = source.shared(error);
        if (!sourceFolder->valid() && !source.imaginary()) {
            m_run.markFolderFailed(relative);
            m_run.failure("opening folder", sourcePath, error);
            return nullptr;
        }
        const platform::SharedFolder destinationFolder = destination.shared(error);
        if (!destinationFolder->valid() && !destination.imaginary()) {
            m_run.markFolderFailed(relative);
            m_run.failure("opening folder", destinationPath, error);
            return nullptr;
        }
        folder->sourcePath = sourcePath;
        folder->destinationPath = destinationPath;
        folder->relative = relative;
        folder->fresh = freshDestination;
        folder->traits = &m_run.fileSystems().of(*destinationFolder);
        folder->comparison = comparisonFor(*folder->traits);
        // A source that keeps local time moves with the clock too, whatever the destination keeps.
        if (m_sourceLocalTime) folder->comparison.timeBase = TimeBase::Local;
        // Clear away what a crashed or killed run left half-copied in the folder this pass writes in.
        if (!freshDestination && !m_run.preview() &&
            platform::listFolder(*destinationFolder, names, error, platform::ListOrder::AsStored))
            platform::removeStaleTemporaries(*destinationFolder, names);
        if (!listSide(m_run, {*sourceFolder, m_sourceRoot, relative}, names, error)) {
            m_run.markFolderFailed(relative);
            m_run.failure("reading folder", sourcePath, error);
            return nullptr;
        }
        m_run.countFiles(names);
        const bool parallel = m_run.pool().parallel();
        std::unique_ptr<CopyTask> batch;
        for (const ListedName& entry : names) {
            if (m_run.stopRequested()) return nullptr;
            if (platform::isHiddenName(entry.name) || entry.type == ListedType::Folder) continue;
            if (!platform::matchesMask(m_mask, entry.name)) continue;
            if (!parallel) {
                // One thread does each file as the walk comes to it, as ever, and needs no pieces.
                release(entry.name,
                        processFile(*folder, *sourceFolder, *destinationFolder, entry.name, entry.type),
                        *folder);
                continue;
            }
            if (!batch) batch = std::make_unique<CopyTask>(*this, folder, sourceFolder, destinationFolder);
            batch->add(entry.name, entry.type);
            if (batch->full()) m_run.pool().submit(std::move(batch));
        }
        if (batch) m_run.pool().submit(std::move(batch));
        return folder;
    }

    FileOutcome processFile(const FolderContext& folder, const Folder& source, const Folder& destination,
                            const std::string& name, ListedType listed) const {
        const FileTask task{&m_run,     &source,       &destination,       name,
                            listed,     folder.fresh,  folder.traits,      &folder.comparison,
                            m_versions, &m_sourceRoot, &m_destinationRoot, &folder.relative};
        return ::tessel::processFile(task, m_watch.TuneMode, m_move);
    }

  public:
    // What the walk hands the pool: a few files of one folder, done one after the other. A file costs
    // little when nothing is to be copied, and the hand-over would cost more than the work.
    class CopyTask : public OrderedPool::Task {
      public:
        static constexpr std::size_t kFiles = 64;

        CopyTask(CopyWalk& walk, std::shared_ptr<FolderContext> folder, platform::SharedFolder source,
                 platform::SharedFolder destination)
            : m_walk(walk),
              m_folder(std::move(folder)),
              m_source(std::move(source)),
              m_destination(std::move(destination)) {}
        void add(const std::string& name, ListedType listed) { m_files.push_back({name, listed, {}, false}); }
        bool full() const { return m_files.size() >= kFiles; }
        bool empty() const { return m_files.empty(); }

        void run() override {
            for (File& file : m_files) {
                // A file not yet begun when the user stops the run is left for the next run.
                file.abandoned = m_walk.m_run.stopRequested();
                if (file.abandoned) continue;
                file.outcome =
                    m_walk.processFile(*m_folder, *m_source, *m_destination, file.name, file.listed);
            }
        }
        void release() override {
            for (const File& file : m_files)
                if (!file.abandoned) m_walk.release(file.name, file.outcome, *m_folder);
        }

      private:
        struct File {
            std::string name;
            ListedType listed;
            FileOutcome outcome;
            bool abandoned;
        };
        CopyWalk& m_walk;
        std::shared_ptr<FolderContext> m_folder;
        platform::SharedFolder m_source;
        platform::SharedFolder m_destination;
        std::vector<File> m_files;
    };

  private:
    void release(const std::string& name, const FileOutcome& outcome, FolderContext& folder) {
        const std::string& sourcePath = folder.sourcePath;
        const std::string& destinationPath = folder.destinationPath;
        const std::string& relative = folder.relative;
        if (outcome.isFile) m_run.context.display.stepProgress();  // skipped files advance the bar too
        if (outcome.sourceUnreadable) {
            m_run.markFolderFailed(relative);
            m_run.failure(m_move ? "moving file" : "copying file", sourcePath + name, outcome.error);
            return;
        }
        switch (outcome.decision) {
            case CopyDecision::Skip:
                if (outcome.isFile) ++m_run.result.skipped;
                return;
            case CopyDecision::KeptBack:
                ++m_run.result.skipped;
                m_run.protectFile(relative + name);
                return;
            default:
                break;
        }
        const std::string sourceFile = sourcePath + name;
        if (!outcome.done) {
            m_run.protectFile(relative + name);
            m_run.markFolderFailed(relative);
            if (outcome.version.keepFailed)
                m_run.failure("keeping a version of", destinationPath + name, outcome.error);
            else
                m_run.failure(m_move ? "moving file" : "copying file", sourceFile, outcome.error);
            return;
        }
        folder.written = true;
        m_run.dropped.add(outcome.dropped);
        if (m_move) {
            ++m_run.result.moved;
            m_run.protectFile(relative + name);
        } else {
            ++m_run.result.copied;
            m_run.result.bytesCopied += outcome.source.size;
            if (!m_run.preview()) m_run.context.display.addCopiedBytes(outcome.source.size);
        }
        const RunAction::Kind kind = m_move                                      ? RunAction::Kind::Move
                                     : outcome.decision == CopyDecision::Replace ? RunAction::Kind::Replace
                                                                                 : RunAction::Kind::Copy;
        m_run.report(kind, sourceFile, destinationPath + name, outcome.source.size, outcome.newer);
        if (m_run.preview()) {
            // What the copy or move would leave, for the passes after this one.
            FileInfo copied = outcome.source;
            copied.viaLink = false;
            m_run.imagine(m_destinationRoot, relative + name, {true, copied});
            if (m_move) m_run.imagine(m_sourceRoot, relative + name, {false, {}});
            return;
        }
        if (isOn(m_watch.WideLog)) {
            if (m_move)
                WriteLogLine(m_run.context, "Moved file " + sourceFile);
            else if (outcome.decision == CopyDecision::Replace)
                WriteLogLine(m_run.context, "Copied file " + sourceFile);
            else
                WriteLogLine(m_run.context, "Copied file " + sourceFile + " ");
        }
        m_run.accountVersion(outcome.version, destinationPath + name, isOn(m_watch.WideLog));
        m_run.showStatus("  Copy file :" + sourceFile);
    }

    RunState& m_run;
    const std::string& m_mask;
    const bool m_move;
    const TWatchRec& m_watch;
    const Folder& m_excluded;
    platform::VersionKeeper* m_versions;
    const std::string& m_sourceRoot;
    const std::string& m_destinationRoot;
    const bool m_sourceLocalTime;  // the source's file system keeps local time
};

}  // namespace

void syncFolder(RunState& run, const std::string& SourceFolder, const std::string& DestinationFolder,
                const std::string& Mask, std::uint8_t FileAction, const TWatchRec& Watch) {
    std::string sourcePath = withTrailingSlash(SourceFolder);
    std::string destinationPath = withTrailingSlash(DestinationFolder);
    const std::string sourceRoot = sourcePath, destinationRoot = destinationPath;
    const bool sourceImagined = run.preview() && run.imagined(sourceRoot, "") != nullptr;
    if (!platform::isExistingFolder(sourcePath) && !sourceImagined) return;
    std::error_code error;
    const bool created =
        !platform::isExistingFolder(destinationPath) && run.imagined(destinationRoot, "") == nullptr;
    if (run.preview()) {
        if (created) run.imagine(destinationRoot, "", RunState::Imagined::folder());
    } else if (!platform::ForceFolders(destinationPath, error)) {
        run.markFolderFailed("");
        run.failure("creating folder", destinationPath, error);
        return;
    }
    Folder source = run.openRoot(sourcePath, error);
    if (!source.valid() && !sourceImagined) {
        run.markFolderFailed("");
        run.failure("opening folder", sourcePath, error);
        return;
    }
    Folder destination = run.openRoot(destinationPath, error);
    if (!destination.valid() && !run.preview()) {
        run.markFolderFailed("");
        run.failure("opening folder", destinationPath, error);
        return;
    }
    const bool sourceLocalTime = source.valid() && platform::keepsLocalTime(source);
    // A destination inside the source tree must not be copied into itself again and again.
    FolderChain destinationChain(std::move(destination));
    const platform::SharedFolder excluded = destinationChain.shared(error);
    FolderChain sourceChain(std::move(source));
    CopyWalk walk(run, Mask, FileAction, Watch, *excluded, run.versionKeeper(destinationPath), sourceRoot,
                  destinationRoot, sourceLocalTime);
    if (created) run.report(RunAction::Kind::CreateFolder, destinationPath);
    std::string relative;
    const std::shared_ptr<FolderContext> root =
        walk.walk(sourceChain, destinationChain, sourcePath, destinationPath, relative, created);
    platform::FileInfo sourceInfo;
    if (root && sourceChain.current(error).info(sourceInfo, error)) {
        root->written = root->written || created;
        run.pool().submit(std::make_unique<FinishTask>(root, excluded, sourceInfo, created, run));
    }
    // Everything of this pass is done before the next pass looks at the trees.
    run.pool().drain();
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
