#include "platform/Versions.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "platform/FileCopy.h"
#include "platform/Process.h"
#include "platform/SysCall.h"

namespace tessel::platform {

namespace {

constexpr std::uint32_t kPrivate = 0700;  // versions are copies of people's files: for their owner only

bool digits(std::string_view text) {
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return !text.empty();
}

int number(std::string_view text) {
    int value = 0;
    for (const char c : text) value = value * 10 + (c - '0');
    return value;
}

// Removes the folder `name` of `parent` and everything in it, never through a link.
void removeTree(const Folder& parent, const std::string& name) {
    std::error_code error;
    const Folder folder = Folder::openChild(parent, name, error);
    if (!folder.valid()) return;
    std::vector<ListedName> names;
    if (listFolder(folder, names, error, ListOrder::AsStored)) {
        for (const ListedName& entry : names) {
            if (entry.type == ListedType::Folder ||
                (::unlinkat(folder.fd(), entry.name.c_str(), 0) != 0 && errno == EISDIR))
                removeTree(folder, entry.name);
        }
    }
    ::unlinkat(parent.fd(), name.c_str(), AT_REMOVEDIR);
}

}  // namespace

std::string versionStamp(const LocalTime& start) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d%02d%02d", start.year, start.month, start.day,
                  start.hour, start.minute, start.second);
    return text;
}

bool isVersionStamp(std::string_view name) {
    return name.size() == 17 && digits(name.substr(0, 4)) && name[4] == '-' && digits(name.substr(5, 2)) &&
           name[7] == '-' && digits(name.substr(8, 2)) && name[10] == ' ' && digits(name.substr(11, 6));
}

VersionKeeper::VersionKeeper(std::string rootPath, std::string stamp)
    : m_rootPath(!rootPath.empty() && rootPath.back() == '/' ? rootPath : rootPath + '/'),
      m_stamp(std::move(stamp)) {}

VersionKeeper::~VersionKeeper() = default;

bool VersionKeeper::openFolder(const std::string& relativeFolder, const FileSystemTraits& traits,
                               std::error_code& error) {
    if (m_open.valid() && m_openRelative == relativeFolder) return true;
    FileInfo rootBefore;
    if (!m_root.valid()) {
        m_root = Folder::open(m_rootPath, error);
        if (!m_root.valid() || !m_root.info(rootBefore, error)) return false;
    }
    // .tessel-versions/<stamp>/<relative folder>, made level by level, never through a link.
    std::vector<std::string> levels = {std::string(kVersionsFolderName), m_stamp};
    for (std::size_t start = 0; start < relativeFolder.size();) {
        const std::size_t slash = relativeFolder.find('/', start);
        levels.push_back(relativeFolder.substr(start, slash - start));
        start = slash == std::string::npos ? relativeFolder.size() : slash + 1;
    }
    Folder current = Folder::openChild(m_root, ".", error);
    for (std::size_t level = 0; level < levels.size(); ++level) {
        bool created = false;
        if (!current.valid() || !makeChildFolder(current, levels[level], kPrivate, created, error))
            return false;
        Folder next = Folder::openChild(current, levels[level], error);
        if (!next.valid()) return false;
        if (created) {
            sys::fchmod(next.fd(), kPrivate);
            // The root is the user's folder: a versions folder appearing in it is no change of theirs.
            if (level == 0 && rootBefore.kind == EntryKind::Folder) {
                std::error_code ignored;
                finishFolder(m_root, rootBefore, false, ignored);
            }
        } else if (!isPrivateFolder(next, traits)) {
            m_refused = WalkError::VersionsNotPrivate;
            return fail(error, m_refused);
        }
        current = std::move(next);
    }
    m_open = std::move(current);
    m_openRelative = relativeFolder;
    return true;
}

bool VersionKeeper::refusesVersions(const FileSystemTraits& traits) {
    std::lock_guard lock(m_mutex);
    if (!m_foreign) {
        std::error_code error;
        const Folder root = Folder::open(m_rootPath, error);
        const Folder versions =
            root.valid() ? Folder::openChild(root, std::string(kVersionsFolderName), error) : Folder();
        m_foreign = versions.valid() && !isPrivateFolder(versions, traits);
    }
    return *m_foreign;
}

bool VersionKeeper::keep(const Folder& folder, const std::string& relativeFolder, const std::string& name,
                         const FileInfo& info, bool linkOnly, const FileSystemTraits& traits, bool& moved,
                         std::string& kept, std::error_code& error) {
    moved = false;
    const std::lock_guard lock(m_mutex);
    if (m_refused) return fail(error, m_refused);
    if (!openFolder(relativeFolder, traits, error)) return false;
    // The same file replaced twice in one run keeps both versions.
    std::string target = name;
    bool made = false;
    for (int clash = 1; clash < 100 && !made; ++clash) {
        if (clash > 1) target = name + "." + std::to_string(clash - 1);
        std::error_code reason;
        if (linkOnly && traits.hardLinks) {
            made =
                sys::linkat(folder.fd(), name.c_str(), m_open.fd(), target.c_str(), 0) == 0 || fail(reason);
        } else if (linkOnly) {
            // No second names on this file system: the version is a whole copy before anything replaces
            // the file.
            made = copyFile(folder, name, info, m_open, target, nullptr, traits, reason);
        } else {
            made = renameNoReplace(folder, name, m_open, target, traits, reason);
            moved = made;
        }
        if (made) break;
        if (reason == std::errc::file_exists) continue;
        const bool otherFileSystem = reason == std::errc::cross_device_link;
        if (!otherFileSystem && !(linkOnly && reason == std::errc::operation_not_permitted))
            return fail(error, reason);
        // A mount point below the root: the version is a copy, and the original the caller's to destroy.
        // What that file system offers is not known here, so the copy takes the ways that need nothing.
        made = copyFile(folder, name, info, m_open, target, nullptr,
                        otherFileSystem ? conservativeTraits() : traits, reason);
        if (!made && reason != std::errc::file_exists) return fail(error, reason);
    }
    if (!made) return fail(error, std::make_error_code(std::errc::file_exists));
    kept = m_rootPath + std::string(kVersionsFolderName) + "/" + m_stamp + "/" + relativeFolder + target;
    return true;
}

bool isPrivateFolder(const Folder& folder, const FileSystemTraits& traits) {
    if (folder.valid() && traits.permissions != PermissionsKept::All) return true;
    const std::uint32_t user = processUser();
    return folder.valid() && folder.owner() == user && (folder.mode() & 022) == 0;
}

std::vector<std::string> expiredVersions(const std::string& rootPath, int days, WallClock now,
                                         const FileSystemTraits& traits) {
    std::vector<std::string> expired;
    std::error_code error;
    const Folder root = Folder::open(rootPath, error);
    if (!root.valid()) return expired;
    const Folder versions = Folder::openChild(root, std::string(kVersionsFolderName), error);
    std::vector<ListedName> names;
    if (!isPrivateFolder(versions, traits) || !listFolder(versions, names, error)) return expired;
    for (const ListedName& entry : names) {
        if (!isVersionStamp(entry.name)) continue;
        const std::string_view stamp = entry.name;
        const LocalTime made{number(stamp.substr(0, 4)),
                             number(stamp.substr(5, 2)),
                             number(stamp.substr(8, 2)),
                             number(stamp.substr(11, 2)),
                             number(stamp.substr(13, 2)),
                             number(stamp.substr(15, 2)),
                             0};
        const std::optional<WallClock> moment = fromLocalTime(made);
        if (!moment || now.seconds - moment->seconds <= static_cast<std::int64_t>(days) * 86400) continue;
        const Folder folder = Folder::openChild(versions, entry.name, error);
        if (isPrivateFolder(folder, traits)) expired.push_back(entry.name);
    }
    return expired;
}

void removeVersions(const std::string& rootPath, const std::string& stamp, const FileSystemTraits& traits) {
    std::error_code error;
    const Folder root = Folder::open(rootPath, error);
    if (!root.valid()) return;
    const Folder versions = Folder::openChild(root, std::string(kVersionsFolderName), error);
    if (isPrivateFolder(versions, traits)) removeTree(versions, stamp);
}

}  // namespace tessel::platform
