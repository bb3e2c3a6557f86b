#include "sync/RunState.h"

#include <algorithm>
#include <cassert>
#include <cstdint>

#include "platform/Clock.h"
#include "platform/FileIo.h"
#include "platform/Process.h"
#include "watch/EventLog.h"
#include "watch/WatchText.h"

namespace tessel {

RunState::RunState(RunContext& context, Output output, platform::FileSystems* fileSystems)
    : context(context),
      m_output(output),
      m_walkThread(std::this_thread::get_id()),
      m_stamp(platform::versionStamp(platform::toLocalTime(platform::clockNow()))),
      m_fileSystems(fileSystems != nullptr ? fileSystems : &m_ownFileSystems) {}

RunState::~RunState() = default;

void RunState::assertWalkThread() const {
    assert(std::this_thread::get_id() == m_walkThread && "the ledger belongs to the walk thread");
}

OrderedPool& RunState::pool() {
    assertWalkThread();
    // Eight pieces a thread keep every thread busy; more would only hold more results in memory. A
    // piece waiting its turn may hold its two folders open: the pieces in hand stay well inside what
    // the process may open, beside the walks' own folders.
    if (!m_pool) {
        const std::size_t limit = platform::openFileLimit();
        const std::size_t byFolders = limit > 256 + 3 * 16 ? (limit - 256) / 3 : 16;
        const std::size_t window =
            std::min(static_cast<std::size_t>(std::max(context.options.jobs, 1)) * 8, byFolders);
        m_pool = std::make_unique<OrderedPool>(context.options.jobs, window);
    }
    return *m_pool;
}

platform::Folder RunState::openRoot(const std::string& root, std::error_code& error) const {
    const bool made = !madeRoot.empty() && withTrailingSlash(platform::normalisePath(root)) == madeRoot;
    return platform::Folder::open(
        root, error, made ? platform::Folder::LastName::NoLink : platform::Folder::LastName::MayBeLink);
}

void RunState::report(RunAction::Kind kind, const std::string& path, const std::string& target,
                      std::uint64_t size, RunAction::Side newer) {
    assertWalkThread();
    if (context.observer == nullptr && !heard) return;
    // Said by the walk while pieces before it are still in the pool: it waits its turn.
    if (m_pool && m_pool->aheadOfItsTurn()) {
        m_pool->later([this, kind, path, target, size, newer] { report(kind, path, target, size, newer); });
        return;
    }
    if (heard) heard(kind, path);
    if (context.observer != nullptr) context.observer->action({kind, path, target, size, newer});
}

void RunState::log(const std::string& line) {
    assertWalkThread();
    if (!logs()) return;
    if (m_pool && m_pool->aheadOfItsTurn()) {
        m_pool->later([this, line] { log(line); });
        return;
    }
    WriteLogLine(context, line);
}

void RunState::failure(const std::string& line) {
    assertWalkThread();
    if (m_pool && m_pool->aheadOfItsTurn()) {
        m_pool->later([this, line] { failure(line); });
        return;
    }
    ++result.failed;
    // A preview shows the line the run would log, and writes nothing.
    if (context.observer != nullptr) context.observer->error(escapeControls(line));
    if (logs()) WriteLogLine(context, line);
    showStatus(line);
}

void RunState::failure(const char* doing, const std::string& path, const std::error_code& reason) {
    failure(std::string("Error ") + doing + " " + path + ": " + reason.message());
}

void RunState::versionFailure(const platform::VersionPlace& version, const std::string& path,
                              const std::error_code& reason) {
    if (reason == platform::WalkError::VersionsNotPrivate && version.keeper != nullptr) {
        const std::string versions = version.keeper->rootPath() + std::string(platform::kVersionsFolderName);
        if (!m_privateVersionsRefused.insert(versions).second) {
            ++result.failed;  // counted, and said once
            return;
        }
        return failure("Error keeping versions in " + versions + ": " + reason.message() +
                       "; nothing is replaced or deleted below it in this run");
    }
    failure("keeping a version of", path, reason);
}

void RunState::showStatus(const std::string& text) {
    context.display.setStatusText(escapeControls(text));
}

void RunState::protectFile(const std::string& relativePath) {
    assertWalkThread();
    if (deletionsFollow) m_protected.insert(relativePath);
}

bool RunState::isProtected(const std::string& relativePath) const {
    return m_protected.contains(relativePath);
}

void RunState::markFolderFailed(const std::string& relativeFolder) {
    assertWalkThread();
    m_failedFolders.insert(relativeFolder);
}

bool RunState::folderFailed(const std::string& relativeFolder) const {
    return m_failedFolders.contains(relativeFolder);
}

bool RunState::failedAtOrAbove(const std::string& relativeFolder) const {
    if (folderFailed("")) return true;
    for (std::size_t slash = relativeFolder.find('/'); slash != std::string::npos;
         slash = relativeFolder.find('/', slash + 1))
        if (folderFailed(relativeFolder.substr(0, slash + 1))) return true;
    return false;
}

bool RunState::planDeletionOnce(const std::string& path) {
    assertWalkThread();
    return m_plannedDeletions.insert(path).second;
}

platform::FileInfo RunState::folderAsFound(const std::string& path, const platform::FileInfo& found) {
    assertWalkThread();
    if (!rememberFolders) return found;
    return m_foldersAsFound.try_emplace(path, found).first->second;
}

void RunState::accountCopy(const Copied& copied) {
    assertWalkThread();
    if (copied.kind == RunAction::Kind::Move || copied.kind == RunAction::Kind::Copy) ++filesMade;
    if (copied.kind == RunAction::Kind::Move) {
        ++result.moved;
    } else {
        ++result.copied;
        result.bytesCopied += copied.size;
    }
    report(copied.kind, copied.source, copied.target, copied.size, copied.newer);
    if (copied.wideLog) {
        if (copied.kind == RunAction::Kind::Move)
            log("Moved file " + copied.source);
        else if (copied.kind == RunAction::Kind::Replace)
            log("Copied file " + copied.source);
        else
            log("Copied file " + copied.source + " ");
    }
    if (copied.version != nullptr) accountVersion(*copied.version, copied.target, copied.wideLog);
    if (copied.dropped != nullptr) noteDropped(*copied.dropped, copied.target);
    showStatus("  Copy file :" + copied.source);
}

void RunState::accountRename(const std::string& from, const std::string& to, Renamed what) {
    assertWalkThread();
    report(RunAction::Kind::Rename, from, to);
    const char* kind = what == Renamed::Folder ? "folder" : "file";
    log(std::string("Renamed ") + kind + " " + from + " as " + to);
    showStatus(std::string("  Rename ") + kind + " :" + from);
}

void RunState::accountDeletion(const std::string& path, std::uint64_t size,
                               const platform::VersionPlace* version, bool wideLog) {
    assertWalkThread();
    ++result.deleted;
    report(RunAction::Kind::Delete, path, {}, size);
    log("Delete file " + path);
    if (version != nullptr) accountVersion(*version, path, wideLog);
    showStatus("  Delete file :" + path);
}

void RunState::accountVersion(const platform::VersionPlace& versions, const std::string& path, bool wideLog) {
    if (!versions.kept) return;
    ++result.versionsKept;
    if (wideLog) log("Kept version of " + path + " as " + versions.keptPath);
}

void RunState::noteDropped(const platform::Dropped& dropped, const std::string& path) {
    if (!logs()) return;
    if (dropped.group && !m_noted.group) {
        m_noted.group = true;
        log("The group of " + path +
            " could not be kept: the copy has no permissions for group and others, as every copy of this "
            "run whose group could not be kept");
    }
    // Said once per run, not once per file: a destination that cannot hold them drops them for every file.
    const bool attributes = dropped.attributes && !m_noted.attributes;
    const bool acls = dropped.acls && !m_noted.acls;
    if (!attributes && !acls) return;
    m_noted.attributes = m_noted.attributes || attributes;
    m_noted.acls = m_noted.acls || acls;
    const std::string what = attributes && acls ? "extended attributes and ACLs"
                             : attributes       ? "extended attributes"
                                                : "ACLs";
    log("The " + what + " of " + path +
        " could not be kept: its file system cannot hold them, as for every "
        "copy of this run into it");
}

platform::VersionKeeper* RunState::versionKeeper(const std::string& root) {
    assertWalkThread();
    if (!context.options.keepVersions) return nullptr;
    auto& keeper = m_keepers[withTrailingSlash(root)];
    if (!keeper) keeper = std::make_unique<platform::VersionKeeper>(root, m_stamp);
    return keeper.get();
}

void RunState::learnOwnFiles() {
    m_ownFiles.clear();
    for (const std::string* path :
         {&context.LogFilePath, &context.WatchFilePath, &context.options.settingsFile})
        addOwnFile(*path);
    // The text file beside the watch file: the watches' names, settings and last results.
    if (!context.WatchFilePath.empty()) addOwnFile(textFilePath(context.WatchFilePath));
}

void RunState::addOwnFile(const std::string& path) {
    std::uint64_t device = 0, inode = 0;
    if (!path.empty() && platform::fileIdentity(path, device, inode)) m_ownFiles.emplace_back(device, inode);
}

bool RunState::isOwnFile(const platform::FileInfo& file) const {
    for (const auto& [device, inode] : m_ownFiles)
        if (file.device == device && file.inode == inode) return true;
    return false;
}

}  // namespace tessel
