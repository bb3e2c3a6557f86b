#include "sync/Restore.h"

#include <optional>
#include <vector>

#include "platform/FileCopy.h"
#include "platform/FileLock.h"
#include "platform/FileSystemTraits.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Versions.h"
#include "sync/Scheduler.h"

namespace tessel {

namespace {

using platform::EntryKind;
using platform::FileInfo;
using platform::Folder;
using platform::ListedType;

std::string joinPath(const std::string& root, const std::string& below) {
    return root.ends_with("/") ? root + below : root + "/" + below;
}

std::string joinParts(const std::vector<std::string>& parts, std::size_t count) {
    std::string joined;
    for (std::size_t i = 0; i < count; ++i) joined += parts[i] + "/";
    return joined;
}

// What a restore could not do, and why.
RestoreResult failed(RestoreResult result, std::string doing, std::error_code error) {
    result.kind = RestoreResult::Kind::Failed;
    result.doing = std::move(doing);
    result.error = error;
    return result;
}

// What openBelow does with a folder that is not there.
enum class MissingFolder { Fail, Make };

// The folder `parts`[0 .. count) below `start`, never through a link; folders that are missing are
// made where `missing` says so, with the permissions of the folder they are made in. `reached` is
// the path of the last folder tried, for what is said when one cannot be opened.
Folder openBelow(const Folder& start, const std::vector<std::string>& parts, std::size_t count,
                 MissingFolder missing, std::string& reached, std::error_code& error) {
    Folder folder = Folder::openChild(start, ".", error);
    for (std::size_t i = 0; i < count && folder.valid(); ++i) {
        reached = joinPath(reached, parts[i]);
        Folder child = Folder::openChild(folder, parts[i], error);
        if (!child.valid() && missing == MissingFolder::Make &&
            error == std::errc::no_such_file_or_directory) {
            bool created = false;
            if (platform::makeChildFolder(folder, parts[i], folder.mode() & 0777, created, error))
                child = Folder::openChild(folder, parts[i], error);
        }
        folder = std::move(child);
    }
    return folder;
}

// Why the name a restore writes to may not be written: a link (never followed, never replaced), a
// folder or anything but a regular file. Nothing for a regular file or no entry at all.
std::optional<std::error_code> refusalOf(const FileInfo& info, const std::error_code& error) {
    if (info.viaLink) return make_error_code(platform::WalkError::SymbolicLink);
    switch (info.kind) {
        case EntryKind::Missing:
        case EntryKind::File:
            return std::nullopt;
        case EntryKind::Folder:
            return std::make_error_code(std::errc::is_a_directory);
        case EntryKind::FolderLink:
            return make_error_code(platform::WalkError::SymbolicLink);
        case EntryKind::Special:
            return make_error_code(platform::WalkError::DestinationNotRegular);
        case EntryKind::Unreadable:
            break;
    }
    return error;
}

}  // namespace

RestoreResult restoreKeptFile(const TWatchRec& watch, const KeptFile& file, RestorePlace place,
                              const std::string& folder, ExistingFile existing) {
    const std::vector<std::string> parts = pathParts(file.path);
    const std::vector<std::string> stored = pathParts(file.storedPath);
    // The tree the file goes into, whose versions folder keeps what it replaces.
    const std::string into = place == RestorePlace::InPlace ? file.root : platform::normalisePath(folder);
    RestoreResult result;
    if (parts.empty() || stored.empty() || into.empty())
        return failed(result, "reading " + file.location(),
                      std::make_error_code(std::errc::invalid_argument));
    const std::string relativeFolder =
        place == RestorePlace::InPlace ? joinParts(parts, parts.size() - 1) : "";
    result.target = joinPath(into, relativeFolder + parts.back());

    // A run of the watch decides on the very files a restore changes: one at a time.
    platform::FileLock lock;
    std::error_code error;
    if (lock.acquire(runLockPath(watch), platform::FileLock::Mode::Exclusive, false, true, error) ==
        platform::FileLock::State::Busy) {
        result.kind = RestoreResult::Kind::Busy;
        return result;
    }

    // The kept file, reached as the search found it; a version only in a folder a run would use.
    const Folder root = Folder::open(
        file.root, error, file.rootMadeByTessel ? Folder::LastName::NoLink : Folder::LastName::MayBeLink);
    if (!root.valid()) return failed(result, "opening folder " + file.root, error);
    platform::FileSystems fileSystems;
    std::string reached = file.root;
    Folder from;
    for (std::size_t level = 1; level < stored.size(); ++level) {
        reached = file.root;
        from = openBelow(root, stored, level, MissingFolder::Fail, reached, error);
        if (!from.valid()) return failed(result, "opening folder " + reached, error);
        // Only where the bits say no does the file system have to be asked (whether it keeps them).
        if (file.kind == KeptFile::Kind::Version && level <= 2 &&
            (from.owner() != platform::processUser() || (from.mode() & 022) != 0) &&
            !platform::isPrivateFolder(from, fileSystems.of(root)))
            return failed(result, "reading " + reached, platform::WalkError::VersionsNotPrivate);
    }
    if (stored.size() == 1) from = openBelow(root, stored, 0, MissingFolder::Fail, reached, error);
    FileInfo fromInfo;
    const EntryKind fromKind = platform::examine(from, stored.back(), ListedType::Unknown, fromInfo, error);
    if (fromKind != EntryKind::File || fromInfo.viaLink) {
        if (fromKind != EntryKind::Missing && fromKind != EntryKind::Unreadable)
            error =
                fromInfo.viaLink ? platform::WalkError::SymbolicLink : platform::WalkError::NotRegularFile;
        return failed(result, "reading " + file.location(), error);
    }

    // Where it goes: its own folder, made again where a run deleted it, or the folder chosen (which the
    // user may well reach through a link).
    reached = into;
    const Folder to = place == RestorePlace::InPlace
                          ? openBelow(root, parts, parts.size() - 1, MissingFolder::Make, reached, error)
                          : Folder::open(into, error);
    if (!to.valid()) return failed(result, "opening folder " + reached, error);
    FileInfo present;
    platform::examine(to, parts.back(), ListedType::Unknown, present, error);
    if (const std::optional<std::error_code> refused = refusalOf(present, error))
        return failed(result, "writing " + result.target, *refused);
    const bool replaces = present.kind == EntryKind::File;
    if (replaces && present.device == fromInfo.device && present.inode == fromInfo.inode)
        return failed(result, "writing " + result.target, std::make_error_code(std::errc::file_exists));
    if (replaces && place == RestorePlace::OtherFolder && existing == ExistingFile::Refuse) {
        result.kind = RestoreResult::Kind::Exists;
        return result;
    }

    // What it replaces goes into this restore's own versions folder first, as with a run.
    platform::VersionKeeper keeper(into, platform::versionStamp(platform::toLocalTime(platform::clockNow())));
    platform::VersionPlace versions;
    versions.keeper = &keeper;
    versions.relativeFolder = relativeFolder;
    if (!platform::copyFile(from, stored.back(), fromInfo, to, parts.back(), replaces ? &present : nullptr,
                            fileSystems.of(to), error, replaces ? &versions : nullptr))
        return failed(result,
                      versions.keepFailed ? "keeping a version of " + result.target
                                          : "copying " + file.location() + " to " + result.target,
                      error);
    if (versions.kept) result.keptAs = versions.keptPath;
    result.kind = RestoreResult::Kind::Restored;
    return result;
}

std::string restoredLine(const KeptFile& file, const RestoreResult& result) {
    std::string line = "Restored " + result.target + " from " + file.location();
    if (!result.keptAs.empty()) line += ", keeping the file it replaced as " + result.keptAs;
    return line;
}

std::string restoreFailureText(const RestoreResult& result) {
    switch (result.kind) {
        case RestoreResult::Kind::Restored:
            return {};
        case RestoreResult::Kind::Exists:
            return "cannot restore " + result.target +
                   ": a file of that name is already there; nothing was written";
        case RestoreResult::Kind::Busy:
            return "cannot restore " + result.target +
                   ": the watch is running; nothing was written (try again when the run has ended)";
        case RestoreResult::Kind::Failed:
            break;
    }
    return "cannot restore " + result.target + ": " + result.doing + ": " + result.error.message();
}

}  // namespace tessel
