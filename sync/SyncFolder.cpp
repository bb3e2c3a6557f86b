#include "sync/SyncFolder.h"

#include <dirent.h>

#include <limits>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Wildcard.h"
#include "sync/WalkSupport.h"
#include "watch/EventLog.h"

namespace tessel {

namespace {

using platform::EntryKind;
using platform::FileEntry;
using platform::Folder;
using platform::ListedName;

enum class Decision { Act, Skip };

// The destination side of one source file, found with a single examination.
struct Destination {
    enum Kind { Absent, File, Folder, Untouchable } kind = Absent;
    struct stat info {};
};

Destination lookUpDestination(const Folder& folder, bool freshFolder, const char* name) {
    Destination destination;
    if (freshFolder) return destination;  // a folder the walk has just made holds nothing yet
    switch (platform::examine(folder, name, DT_UNKNOWN, destination.info)) {
        case EntryKind::Missing:
            destination.kind = Destination::Absent;
            break;
        case EntryKind::File:
            destination.kind = Destination::File;
            break;
        case EntryKind::Folder:
        case EntryKind::FolderLink:
            destination.kind = Destination::Folder;
            break;
        case EntryKind::System:
            destination.kind = Destination::Untouchable;
            break;
    }
    return destination;
}

Decision decide(std::int32_t tuneMode, const Destination& destination, const FileEntry& source,
                const char* name) {
    switch (destination.kind) {
        case Destination::Untouchable:
            return Decision::Skip;
        // A folder of the file's name counts as absent: the copy then fails and says so.
        case Destination::Absent:
        case Destination::Folder:
            return tuneMode == tmSyncAll || tuneMode == tmAbsentOnly ? Decision::Act : Decision::Skip;
        case Destination::File:
            break;
    }
    const FileEntry present = platform::fileEntryOf(destination.info, name);
    switch (tuneMode) {
        case tmSyncAll: {
            const bool unchanged =
                source.Size == present.Size && source.Time <= present.Time && source.Attr == present.Attr;
            return unchanged ? Decision::Skip : Decision::Act;
        }
        case tmUpdateOld:
            return source.Time > present.Time ? Decision::Act : Decision::Skip;
        default:
            return Decision::Skip;
    }
}

class FolderWalk {
  public:
    FolderWalk(RunContext& context, RunResult& result, const std::string& mask, std::uint8_t fileAction,
               const TWatchRec& watch, platform::FolderIdentity excluded)
        : m_context(context),
          m_result(result),
          m_mask(mask),
          m_move(fileAction != faCopy),
          m_watch(watch),
          m_excluded(excluded) {}

    void walk(const Folder& source, std::string& sourcePath, const Folder& destination,
              bool freshDestination) {
        std::vector<ListedName> names;
        std::error_code error;
        // Clear away what a crashed or killed run left half-copied here.
        if (!freshDestination && platform::listFolder(destination, names, error))
            platform::removeStaleTemporaries(destination, names);
        if (!platform::listFolder(source, names, error)) return;

        for (const ListedName& entry : names) {
            if (m_context.stopRequested()) return;
            if (platform::isHiddenName(entry.name) || entry.type == DT_DIR) continue;
            if (!platform::matchesMask(m_mask, entry.name)) continue;
            struct stat info {};
            if (platform::examine(source, entry.name.c_str(), entry.type, info) != EntryKind::File) continue;
            handleFile(source, sourcePath, entry.name, info, destination, freshDestination);
        }

        for (const ListedName& entry : names) {
            if (m_context.stopRequested()) return;
            if (platform::isHiddenName(entry.name) || !mayBeFolder(entry.type)) continue;
            SubfolderPair pair;
            if (!enterSubfolder(source, destination, entry, m_excluded, pair)) continue;
            const std::size_t length = sourcePath.size();
            sourcePath += entry.name;
            sourcePath += '/';
            walk(pair.source, sourcePath, pair.destination, pair.destinationCreated);
            sourcePath.resize(length);
        }
    }

  private:
    void handleFile(const Folder& source, const std::string& sourcePath, const std::string& name,
                    const struct stat& info, const Folder& destination, bool freshDestination) {
        m_context.display.stepProgress();  // skipped files advance the bar too
        const std::int32_t tuneMode = m_watch.TuneMode;
        if (tuneMode != tmSyncAll && tuneMode != tmUpdateOld && tuneMode != tmAbsentOnly) {
            ++m_result.skipped;
            return;
        }

        const Destination present = lookUpDestination(destination, freshDestination, name.c_str());
        const FileEntry entry = platform::fileEntryOf(info, name);
        if (decide(tuneMode, present, entry, name.c_str()) == Decision::Skip) {
            ++m_result.skipped;
            return;
        }

        const struct stat* destinationInfo = present.kind == Destination::Absent ? nullptr : &present.info;

        std::error_code error;
        const bool done = m_move ? platform::moveFile(source, name.c_str(), info, destination, name.c_str(),
                                                      destinationInfo, error)
                                 : platform::copyFile(source, name.c_str(), info, destination, name.c_str(),
                                                      destinationInfo, error);
        const std::string sourceFile = sourcePath + name;
        if (!done) {
            ++m_result.failed;
            const std::string line =
                (m_move ? "Error moving file " : "Error copying file ") + sourceFile + ": " + error.message();
            WriteLogLine(m_context, line);
            m_context.display.setStatusText(line);
            return;
        }
        if (m_move) {
            ++m_result.moved;
        } else {
            ++m_result.copied;
            m_result.bytesCopied += static_cast<std::uint64_t>(info.st_size);
        }
        if (isOn(m_watch.WideLog)) {
            if (m_move)
                WriteLogLine(m_context, "Moved file " + sourceFile);
            else if (present.kind == Destination::File)
                WriteLogLine(m_context, "Copied file " + sourceFile);
            else
                WriteLogLine(m_context, "Copied file " + sourceFile + " ");
        }
        m_context.display.setStatusText("  Copy file :" + sourceFile);
    }

    RunContext& m_context;
    RunResult& m_result;
    const std::string& m_mask;
    const bool m_move;
    const TWatchRec& m_watch;
    const platform::FolderIdentity m_excluded;
};

}  // namespace

RunResult SyncFolder(RunContext& context, const std::string& SourceFolder,
                     const std::string& DestinationFolder, const std::string& Mask, std::uint8_t FileAction,
                     const TWatchRec& Watch) {
    RunResult result;
    std::string sourcePath = withTrailingSlash(SourceFolder);
    const std::string destinationPath = withTrailingSlash(DestinationFolder);
    if (!platform::isExistingFolder(sourcePath)) return result;
    if (!ForceFolders(destinationPath)) return result;

    std::error_code error;
    const Folder source = Folder::open(sourcePath, error);
    const Folder destination = Folder::open(destinationPath, error);
    if (!source.valid() || !destination.valid()) return result;

    // A destination inside the source tree must not be copied into itself again and again.
    FolderWalk walk(context, result, Mask, FileAction, Watch, platform::FolderIdentity::of(destination));
    walk.walk(source, sourcePath, destination, false);
    return result;
}

bool ForceFolders(const std::string& Path) {
    bool result = !(Path.empty() || Path == "/");
    const std::string path = withTrailingSlash(Path);
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '/') continue;
        const std::string prefix = path.substr(0, i + 1);
        std::error_code error;
        if (!platform::isExistingFolder(prefix) && !platform::makeFolder(prefix, error)) result = false;
    }
    return result;
}

namespace {

std::int64_t countFilesBelow(const Folder& folder) {
    std::vector<ListedName> names;
    std::error_code error;
    if (!platform::listFolder(folder, names, error)) return 0;
    std::int64_t count = 0;
    for (const ListedName& entry : names) {
        if (platform::isHiddenName(entry.name)) continue;
        if (entry.type == DT_REG) {
            ++count;
            continue;
        }
        if (entry.type == DT_DIR) continue;
        struct stat info {};
        if (platform::examine(folder, entry.name.c_str(), entry.type, info) == EntryKind::File) ++count;
    }
    for (const ListedName& entry : names) {
        if (platform::isHiddenName(entry.name) || !mayBeFolder(entry.type)) continue;
        const Folder child = openSourceChild(folder, entry);
        if (child.valid()) count += countFilesBelow(child);
    }
    return count;
}

}  // namespace

std::int32_t CountFiles(const std::string& Folder) {
    std::error_code error;
    const platform::Folder folder = platform::Folder::open(withTrailingSlash(Folder), error);
    if (!folder.valid()) return 0;
    const std::int64_t count = countFilesBelow(folder);
    return count > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                            : static_cast<std::int32_t>(count);
}

}  // namespace tessel
