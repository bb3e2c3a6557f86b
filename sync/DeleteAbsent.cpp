#include "sync/DeleteAbsent.h"

#include <dirent.h>

#include <vector>

#include "platform/FileSystem.h"
#include "platform/Wildcard.h"
#include "sync/SyncFolder.h"
#include "sync/WalkSupport.h"
#include "watch/EventLog.h"

namespace tessel {

namespace {

using platform::EntryKind;
using platform::Folder;
using platform::ListedName;

class DeletionWalk {
  public:
    DeletionWalk(RunContext& context, RunResult& result, const std::string& mask,
                 platform::FolderIdentity excluded)
        : m_context(context), m_result(result), m_mask(mask), m_excluded(excluded) {}

    void walk(const Folder& source, const Folder& destination, std::string& destinationPath) {
        std::vector<ListedName> names;
        std::error_code error;
        if (platform::listFolder(destination, names, error)) {
            for (const ListedName& entry : names) {
                if (m_context.stopRequested()) return;
                if (platform::isHiddenName(entry.name) || entry.type == DT_DIR) continue;
                if (!platform::matchesMask(m_mask, entry.name)) continue;
                struct stat info {};
                if (entry.type != DT_REG &&
                    platform::examine(destination, entry.name.c_str(), entry.type, info) != EntryKind::File)
                    continue;
                if (platform::presenceAsFile(source, entry.name.c_str()) != platform::Presence::Absent)
                    continue;
                deleteOne(destination, destinationPath, entry.name);
            }
        }

        if (!platform::listFolder(source, names, error)) return;
        for (const ListedName& entry : names) {
            if (m_context.stopRequested()) return;
            if (platform::isHiddenName(entry.name) || !mayBeFolder(entry.type)) continue;
            // An unreadable source folder cannot say what it lacks: nothing in its counterpart is touched.
            SubfolderPair pair;
            if (!enterSubfolder(source, destination, entry, m_excluded, pair)) continue;
            const std::size_t length = destinationPath.size();
            destinationPath += entry.name;
            destinationPath += '/';
            walk(pair.source, pair.destination, destinationPath);
            destinationPath.resize(length);
        }
    }

  private:
    void deleteOne(const Folder& destination, const std::string& destinationPath, const std::string& name) {
        const std::string path = destinationPath + name;
        std::error_code error;
        if (platform::deleteFile(destination, name.c_str(), error)) {
            ++m_result.deleted;
            WriteLogLine(m_context, "Delete file " + path);
            m_context.display.setStatusText("  Delete file :" + path);
            return;
        }
        ++m_result.failed;
        const std::string line = "Error deleting file " + path + ": " + error.message();
        WriteLogLine(m_context, line);
        m_context.display.setStatusText(line);
    }

    RunContext& m_context;
    RunResult& m_result;
    const std::string& m_mask;
    const platform::FolderIdentity m_excluded;
};

}  // namespace

RunResult DeleteAbsentFiles(RunContext& context, const std::string& SourceFolder,
                            const std::string& DestinationFolder, const std::string& Mask) {
    RunResult result;
    const std::string sourcePath = withTrailingSlash(SourceFolder);
    std::string destinationPath = withTrailingSlash(DestinationFolder);
    if (!platform::isExistingFolder(sourcePath)) return result;
    if (!ForceFolders(destinationPath)) return result;

    std::error_code error;
    const Folder source = Folder::open(sourcePath, error);
    if (!source.valid()) return result;  // a source that cannot be read protects the destination
    const Folder destination = Folder::open(destinationPath, error);
    if (!destination.valid()) return result;

    // With the destination inside the source tree, walking into it would make folders without end.
    DeletionWalk walk(context, result, Mask, platform::FolderIdentity::of(destination));
    walk.walk(source, destination, destinationPath);
    return result;
}

}  // namespace tessel
