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
    DeletionWalk(Core& core, const std::string& mask, platform::FolderIdentity excluded)
        : m_core(core), m_mask(mask), m_excluded(excluded) {}

    void walk(const Folder& source, const Folder& destination, std::string& destinationPath) {
        std::vector<ListedName> names;
        std::error_code error;
        if (platform::listFolder(destination, names, error)) {
            for (const ListedName& entry : names) {
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
            WriteLogLine(m_core, "Delete file " + path);
            m_core.display.setStatusText("  Delete file :" + path);
            return;
        }
        ++m_core.failedActions;
        const std::string line = "Error deleting file " + path + ": " + error.message();
        WriteLogLine(m_core, line);
        m_core.display.setStatusText(line);
    }

    Core& m_core;
    const std::string& m_mask;
    const platform::FolderIdentity m_excluded;
};

}  // namespace

void DeleteAbsentFiles(Core& core, const std::string& SourceFolder, const std::string& DestinationFolder,
                       const std::string& Mask) {
    const std::string sourcePath = withTrailingSlash(SourceFolder);
    std::string destinationPath = withTrailingSlash(DestinationFolder);
    if (!platform::isExistingFolder(sourcePath)) return;
    if (!ForceFolders(destinationPath)) return;

    std::error_code error;
    const Folder source = Folder::open(sourcePath, error);
    if (!source.valid()) return;  // a source that cannot be read protects the destination
    const Folder destination = Folder::open(destinationPath, error);
    if (!destination.valid()) return;

    // With the destination inside the source tree, walking into it would make folders without end.
    DeletionWalk walk(core, Mask, platform::FolderIdentity::of(destination));
    walk.walk(source, destination, destinationPath);
}

}  // namespace tessel
