#include "sync/WalkSupport.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "platform/Clock.h"
#include "platform/FileIo.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "watch/EventLog.h"

namespace tessel {

using platform::Folder;

RunState::RunState(RunContext& context)
    : context(context), m_stamp(platform::versionStamp(platform::toLocalTime(platform::clockNow()))) {}

RunState::~RunState() = default;

platform::VersionKeeper* RunState::versionKeeper(const std::string& root) {
    if (!context.options.keepVersions) return nullptr;
    auto& keeper = m_keepers[withTrailingSlash(root)];
    if (!keeper) keeper = std::make_unique<platform::VersionKeeper>(root, m_stamp);
    return keeper.get();
}

void RunState::accountVersion(const platform::VersionPlace& versions, const std::string& path, bool wideLog) {
    if (!versions.kept) return;
    ++result.versionsKept;
    if (wideLog) WriteLogLine(context, "Kept version of " + path + " as " + versions.keptPath);
}

void RunState::report(RunAction::Kind kind, const std::string& path, const std::string& target,
                      std::uint64_t size, RunAction::Side newer) {
    if (context.observer == nullptr) return;
    // Said by the walk while pieces before it are still in the pool: it waits its turn.
    if (m_pool && m_pool->aheadOfItsTurn()) {
        m_pool->later([this, kind, path, target, size, newer] { report(kind, path, target, size, newer); });
        return;
    }
    context.observer->action({kind, path, target, size, newer});
}

void RunState::failure(const std::string& line) {
    if (m_pool && m_pool->aheadOfItsTurn()) {
        m_pool->later([this, line] { failure(line); });
        return;
    }
    ++result.failed;
    // A preview shows the line the run would log, and writes nothing.
    if (context.observer != nullptr) context.observer->error(escapeControls(line));
    if (!preview()) WriteLogLine(context, line);
    showStatus(line);
}

void RunState::versionFailure(const platform::VersionPlace& version, const std::string& path,
                              const std::error_code& reason) {
    if (reason == platform::WalkError::VersionsNotPrivate && version.keeper != nullptr) {
        const std::string versions = version.keeper->rootPath() + std::string(platform::kVersionsFolderName);
        if (!m_privateVersionsRefused.insert(versions).second) {
            ++result.failed;  // counted, and said once above
            return;
        }
        return failure("Error keeping versions in " + versions + ": " + reason.message() +
                       "; nothing is replaced or deleted below it in this run");
    }
    failure("keeping a version of", path, reason);
}

platform::FileInfo RunState::folderAsFound(const std::string& path, const platform::FileInfo& found) {
    if (!rememberFolders) return found;
    return m_foldersAsFound.try_emplace(path, found).first->second;
}

void RunState::noteCopy(const platform::CopyNotes& notes, const std::string& path) {
    if (!notes.groupDropped || m_groupNoted || preview()) return;
    m_groupNoted = true;
    WriteLogLine(context, "The group of " + path +
                              " could not be kept: the copy has no permissions for group and others, as "
                              "every copy of this run whose group could not be kept");
}

void RunState::learnOwnFiles() {
    m_ownFiles.clear();
    for (const std::string* path :
         {&context.LogFilePath, &context.WatchFilePath, &context.options.settingsFile})
        addOwnFile(*path);
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

OrderedPool& RunState::pool() {
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

void RunState::countFiles(const std::vector<platform::ListedName>& names) {
    if (!countingFiles) return;
    for (const platform::ListedName& entry : names)
        if (!platform::isHiddenName(entry.name) &&
            (entry.type == platform::ListedType::File || entry.type == platform::ListedType::Unknown))
            ++m_counted;
    context.display.extendProgressRange(static_cast<int>(std::min<std::int64_t>(m_counted, INT32_MAX)));
}

void RunState::imagine(const std::string& root, const std::string& relative, const Imagined& entry) {
    std::unique_lock lock(m_imaginedMutex);
    m_imagined[root][relative] = entry;
    m_imagining = true;
}

const RunState::Imagined* RunState::imagined(const std::string& root, const std::string& relative) const {
    if (!m_imagining) return nullptr;
    // An entry, once made, stays where it is: a map's elements do not move when others are added.
    std::shared_lock lock(m_imaginedMutex);
    const auto tree = m_imagined.find(root);
    if (tree == m_imagined.end()) return nullptr;
    const auto entry = tree->second.find(relative);
    return entry == tree->second.end() ? nullptr : &entry->second;
}

void RunState::imagineListing(const std::string& root, const std::string& relativeFolder,
                              std::vector<platform::ListedName>& names) const {
    if (!m_imagining) return;
    std::shared_lock lock(m_imaginedMutex);
    const auto tree = m_imagined.find(root);
    if (tree == m_imagined.end()) return;
    bool changed = false;
    for (auto entry = tree->second.lower_bound(relativeFolder);
         entry != tree->second.end() && entry->first.starts_with(relativeFolder); ++entry) {
        std::string_view name = std::string_view(entry->first).substr(relativeFolder.size());
        const bool folder = name.ends_with('/');
        if (folder) name.remove_suffix(1);
        if (name.empty() || name.find('/') != std::string_view::npos) continue;  // deeper down
        const auto listed = std::find_if(names.begin(), names.end(), [&](const platform::ListedName& known) {
            return known.name == name;
        });
        if (entry->second.present && listed == names.end()) {
            names.push_back(
                {std::string(name), folder ? platform::ListedType::Folder : platform::ListedType::File});
            changed = true;
        } else if (!entry->second.present && listed != names.end()) {
            names.erase(listed);
        }
    }
    if (changed)
        std::sort(
            names.begin(), names.end(),
            [](const platform::ListedName& a, const platform::ListedName& b) { return a.name < b.name; });
}

bool listSide(const RunState& run, const SideFolder& side, std::vector<platform::ListedName>& names,
              std::error_code& error) {
    names.clear();
    if (side.folder.valid() && !platform::listFolder(side.folder, names, error)) return false;
    if (run.preview()) run.imagineListing(side.root, side.relative, names);
    return true;
}

platform::EntryKind examineSide(const RunState& run, const SideFolder& side, const std::string& name,
                                platform::ListedType listed, platform::FileInfo& info,
                                std::error_code& error) {
    if (run.preview()) {
        if (const RunState::Imagined* entry = run.imagined(side.root, side.relative + name)) {
            info = entry->present ? entry->info : platform::FileInfo{};
            return info.kind;
        }
        if (run.imagined(side.root, side.relative + name + "/") != nullptr) {
            info = {};
            info.kind = platform::EntryKind::Folder;
            return info.kind;
        }
    }
    if (!side.folder.valid()) {
        info = {};
        return info.kind;
    }
    return platform::examine(side.folder, name, listed, info, error);
}

platform::Presence presenceSide(const RunState& run, const SideFolder& side, const std::string& name) {
    if (run.preview()) {
        if (const RunState::Imagined* entry = run.imagined(side.root, side.relative + name))
            return entry->present ? platform::Presence::Present : platform::Presence::Absent;
    }
    if (!side.folder.valid()) return platform::Presence::Absent;
    return platform::presenceAsFile(side.folder, name);
}

void RunState::failure(const char* doing, const std::string& path, const std::error_code& reason) {
    failure(std::string("Error ") + doing + " " + path + ": " + reason.message());
}

void RunState::showStatus(const std::string& text) {
    context.display.setStatusText(escapeControls(text));
}

FolderChain::FolderChain(Folder root) {
    Level level;
    level.imaginary = !root.valid();
    root.identity(level.device, level.inode);
    level.folder = std::make_shared<const Folder>(std::move(root));
    m_levels.push_back(std::move(level));
}

const Folder& FolderChain::current(std::error_code& error) {
    static const Folder kNone;
    if (!m_levels.back().folder && !reopen(error)) return kNone;
    return *m_levels.back().folder;
}

platform::SharedFolder FolderChain::shared(std::error_code& error) {
    if (!m_levels.back().folder && !reopen(error)) return std::make_shared<const Folder>();
    return m_levels.back().folder;
}

void FolderChain::enter(const std::string& name, Folder folder) {
    Level level;
    level.name = name;
    level.imaginary = !folder.valid();
    folder.identity(level.device, level.inode);
    level.folder = std::make_shared<const Folder>(std::move(folder));
    m_levels.push_back(std::move(level));
    // The folder just left is needed again only when the walk comes back to it.
    const std::size_t parent = m_levels.size() - 2;
    if (parent >= kOpenLevels && !m_levels[parent].imaginary) m_levels[parent].folder.reset();
}

void FolderChain::leave() {
    if (m_levels.size() > 1) m_levels.pop_back();
}

bool FolderChain::reopen(std::error_code& error) {
    std::size_t open = m_levels.size() - 1;
    while (!m_levels[open].folder) --open;
    platform::SharedFolder folder = m_levels[open].folder;
    for (std::size_t level = open + 1; level < m_levels.size(); ++level) {
        Folder next = Folder::openChild(*folder, m_levels[level].name, error);
        std::uint64_t device = 0, inode = 0;
        if (!next.valid()) return false;
        if (!next.identity(device, inode) || device != m_levels[level].device ||
            inode != m_levels[level].inode) {
            error = platform::WalkError::FolderChanged;
            return false;
        }
        folder = std::make_shared<const Folder>(std::move(next));
    }
    m_levels.back().folder = folder;
    return true;
}

bool stepInto(RunState& run, const Folder& source, const Folder& destination, const std::string& name,
              const std::string& sourcePath, const std::string& destinationPath,
              const std::string& relativeFolder, const Folder& excluded, SubfolderStep& step) {
    std::error_code error;
    step.source = Folder::openChild(source, name, error);
    if (!step.source.valid()) {
        // Links to folders are never entered, and a name that turned out to be a file is no folder.
        if (error == platform::WalkError::SymbolicLink || error == std::errc::not_a_directory) return false;
        if (error == std::errc::no_such_file_or_directory) return false;  // gone since the listing
        run.markFolderFailed(relativeFolder);
        run.failure("opening folder", sourcePath, error);
        return false;
    }
    if (excluded.valid() && step.source.sameFolderAs(excluded)) return false;
    if (!step.source.info(step.sourceInfo, error)) {
        run.markFolderFailed(relativeFolder);
        run.failure("opening folder", sourcePath, error);
        return false;
    }
    step.sourceInfo = run.folderAsFound(sourcePath, step.sourceInfo);
    if (!platform::makeChildFolder(destination, name, step.sourceInfo.mode, step.created, error)) {
        run.markFolderFailed(relativeFolder);
        run.failure("creating folder", destinationPath, error);
        return false;
    }
    step.destination = Folder::openChild(destination, name, error);
    if (!step.destination.valid()) {
        run.markFolderFailed(relativeFolder);
        run.failure("opening folder", destinationPath, error);
        return false;
    }
    return step.created || mayMirror(run, step.source, step.destination, destinationPath, relativeFolder);
}

bool mayMirror(RunState& run, const Folder& mirrored, const Folder& found, const std::string& foundPath,
               const std::string& relativeFolder) {
    if (!platform::isSharedByAnotherUser(found) || platform::isSharedByAnotherUser(mirrored)) return true;
    run.markFolderFailed(relativeFolder);
    run.failure("opening folder", foundPath, platform::WalkError::ForeignFolder);
    return false;
}

}  // namespace tessel
