#include "sync/KeptFiles.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "platform/FileCopy.h"
#include "platform/FileSystemTraits.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Versions.h"
#include "sync/SyncWatch.h"

namespace tessel {

namespace {

using platform::EntryKind;
using platform::FileInfo;
using platform::Folder;
using platform::ListedName;
using platform::ListedType;
using platform::LocalTime;

constexpr std::string_view kConflictMark = ".conflict-";

std::string joinPath(const std::string& root, const std::string& below) {
    if (below.empty()) return root;
    return root.ends_with("/") ? root + below : root + "/" + below;
}

// The names of a path below a root, without empty and "." parts.
std::vector<std::string> partsOf(std::string_view path) {
    std::vector<std::string> parts;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        const std::string_view part = path.substr(0, slash);
        if (!part.empty() && part != ".") parts.emplace_back(part);
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return parts;
}

// `path` below a root as lists write it: "docs/report.txt".
std::string relativePath(std::string_view path) {
    std::string joined;
    for (const std::string& part : partsOf(path)) joined += (joined.empty() ? "" : "/") + part;
    return joined;
}

std::string joinParts(const std::vector<std::string>& parts, std::size_t count) {
    std::string joined;
    for (std::size_t i = 0; i < count && i < parts.size(); ++i) joined += parts[i] + "/";
    return joined;
}

// Reads the digits of `text` at the places `pattern` has a 'd', every other character as it stands,
// into year, month, day, hour, minute and second.
std::optional<LocalTime> readStamp(std::string_view text, std::string_view pattern) {
    if (text.size() != pattern.size()) return std::nullopt;
    std::string digits;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (pattern[i] != 'd') {
            if (text[i] != pattern[i]) return std::nullopt;
        } else if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        } else {
            digits += text[i];
        }
    }
    const auto number = [&](std::size_t at, std::size_t length) {
        return std::stoi(digits.substr(at, length));
    };
    LocalTime time;
    time.year = number(0, 4);
    time.month = number(4, 2);
    time.day = number(6, 2);
    time.hour = number(8, 2);
    time.minute = number(10, 2);
    time.second = number(12, 2);
    if (time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 || time.hour > 23 ||
        time.minute > 59 || time.second > 60)
        return std::nullopt;
    return time;
}

constexpr std::string_view kFolderStamp = "dddd-dd-dd dddddd";
constexpr std::string_view kConflictStamp = "dddddddd-dddddd";

auto timeKey(const LocalTime& time) {
    return std::tie(time.year, time.month, time.day, time.hour, time.minute, time.second);
}

bool sameSecond(const LocalTime& a, const LocalTime& b) {
    return timeKey(a) == timeKey(b);
}

// Copies and probes in progress, or left by a kill: Tessel's own, never a kept file.
bool isScratchName(std::string_view name) {
    return name.starts_with(platform::kTemporaryPrefix) &&
           (name.ends_with(".tmp") || name.ends_with(".probe"));
}

// Walks the trees of one search, folder by folder, never through a link.
class Search {
  public:
    Search(KeptFiles& kept, const std::atomic<bool>* stop) : m_kept(kept), m_stop(stop) {}

    void searchRoot(const KeptFilesRoot& root, const std::vector<std::string>& below) {
        std::error_code error;
        const Folder top = Folder::open(
            root.path, error, root.madeByTessel ? Folder::LastName::NoLink : Folder::LastName::MayBeLink);
        // A tree that is not there yet has nothing kept.
        if (!top.valid()) return noteUnlessMissing(root.path, error);
        m_root = &root;
        searchVersions(top, below);
        if (root.conflictCopies) {
            // The file or folder looked for lies in `below`'s parent folder.
            const std::size_t depth = below.empty() ? 0 : below.size() - 1;
            Folder start = descend(top, root.path, below, depth);
            if (start.valid())
                walk(start, joinPath(root.path, joinParts(below, depth)), joinParts(below, depth),
                     below.empty() ? nullptr : &below.back(), Kind::ConflictCopies);
        }
        m_root = nullptr;
    }

  private:
    enum class Kind { Versions, ConflictCopies };

    bool stopped() const { return m_stop != nullptr && m_stop->load(); }

    void note(const std::string& path, const std::error_code& error) {
        m_kept.problems.push_back(path + ": " + error.message());
    }
    void noteUnlessMissing(const std::string& path, const std::error_code& error) {
        if (error != std::errc::no_such_file_or_directory) note(path, error);
    }

    // As a run decides whether it may use a versions folder that is already there.
    bool isPrivate(const Folder& folder, const Folder& top) {
        if (folder.owner() == platform::processUser() && (folder.mode() & 022) == 0) return true;
        // Only where the bits say no: a file system that fixes them for the whole mount says nothing of
        // who made the folder, which only trying it there shows.
        return platform::isPrivateFolder(folder, m_fileSystems.of(top));
    }

    // The folder `parts`[0 .. count) below `start`, never through a link; an invalid one where a part is
    // missing (nothing to say) or cannot be opened (a problem).
    Folder descend(const Folder& start, const std::string& startPath, const std::vector<std::string>& parts,
                   std::size_t count) {
        std::error_code error;
        Folder folder = Folder::openChild(start, ".", error);
        for (std::size_t i = 0; i < count && folder.valid(); ++i) {
            folder = Folder::openChild(folder, parts[i], error);
            if (!folder.valid() && error != std::errc::not_a_directory)
                noteUnlessMissing(joinPath(startPath, joinParts(parts, i + 1)), error);
        }
        return folder;
    }

    void searchVersions(const Folder& top, const std::vector<std::string>& below) {
        const std::string versionsPath = joinPath(m_root->path, std::string(platform::kVersionsFolderName));
        std::error_code error;
        const Folder versions = Folder::openChild(top, std::string(platform::kVersionsFolderName), error);
        if (!versions.valid()) return noteUnlessMissing(versionsPath, error);
        if (!isPrivate(versions, top)) return note(versionsPath, platform::WalkError::VersionsNotPrivate);
        std::vector<ListedName> stamps;
        if (!platform::listFolder(versions, stamps, error)) return note(versionsPath, error);
        for (const ListedName& stamp : stamps) {
            if (stopped()) return;
            if (!platform::isVersionStamp(stamp.name)) continue;
            const std::string stampPath = versionsPath + "/" + stamp.name;
            const Folder folder = Folder::openChild(versions, stamp.name, error);
            if (!folder.valid()) {
                // A file that happens to have such a name is no run's folder.
                if (error != std::errc::not_a_directory) note(stampPath, error);
                continue;
            }
            if (!isPrivate(folder, top)) {
                note(stampPath, platform::WalkError::VersionsNotPrivate);
                continue;
            }
            const std::optional<LocalTime> time = readStamp(stamp.name, kFolderStamp);
            if (!time) continue;
            m_stamp = stamp.name;
            m_stampTime = *time;
            const std::size_t depth = below.empty() ? 0 : below.size() - 1;
            const Folder start = descend(folder, stampPath, below, depth);
            if (start.valid())
                walk(start, joinPath(stampPath, joinParts(below, depth)), joinParts(below, depth),
                     below.empty() ? nullptr : &below.back(), Kind::Versions);
        }
    }

    // Every regular file below `folder` (at `relative` below the root, or the stamp folder) that is a
    // kept file; at this level only what stands for `only` when it is given.
    void walk(const Folder& folder, const std::string& path, const std::string& relative,
              const std::string* only, Kind kind) {
        std::vector<ListedName> names;
        std::error_code error;
        if (!platform::listFolder(folder, names, error)) return note(path, error);
        for (const ListedName& entry : names) {
            if (stopped()) return;
            // Links are never kept files nor followed; and in a large tree most files are no conflict
            // copy, which their names tell without a look at each.
            if (isScratchName(entry.name) || entry.type == ListedType::Link ||
                entry.type == ListedType::Other ||
                (kind == Kind::ConflictCopies && entry.type == ListedType::File &&
                 !readConflictName(entry.name)))
                continue;
            // The versions folder is not a part of the tree, and only its own entries are versions.
            if (kind == Kind::ConflictCopies && relative.empty() &&
                entry.name == platform::kVersionsFolderName)
                continue;
            FileInfo info;
            const EntryKind found = platform::examine(folder, entry.name, entry.type, info, error);
            if (found == EntryKind::Folder) {
                if (only != nullptr && entry.name != *only) continue;
                const Folder child = Folder::openChild(folder, entry.name, error);
                if (!child.valid()) {
                    note(path + "/" + entry.name, error);
                    continue;
                }
                walk(child, path + "/" + entry.name, relative + entry.name + "/", nullptr, kind);
            } else if (found == EntryKind::File && !info.viaLink) {
                if (kind == Kind::Versions)
                    foundVersion(names, relative, entry.name, info, only);
                else
                    foundConflictCopy(relative, entry.name, info, only);
            } else if (found == EntryKind::Unreadable) {
                note(path + "/" + entry.name, error);
            }
        }
    }

    void foundVersion(const std::vector<ListedName>& names, const std::string& relative,
                      const std::string& name, const FileInfo& info, const std::string* only) {
        // The same file kept twice in one run: the second as "name.1", "name.2" ... beside the first.
        std::string original = name;
        int repeat = 0;
        const std::size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0 && dot + 1 < name.size() && dot + 3 >= name.size() &&
            name.find_first_not_of("0123456789", dot + 1) == std::string::npos) {
            const std::string base = name.substr(0, dot);
            const bool hasBase =
                std::binary_search(names.begin(), names.end(), base,
                                   [](const auto& a, const auto& b) { return nameOf(a) < nameOf(b); });
            if (hasBase) {
                original = base;
                repeat = std::stoi(name.substr(dot + 1));
            }
        }
        if (only != nullptr && original != *only) return;
        add(KeptFile::Kind::Version, relative + original,
            std::string(platform::kVersionsFolderName) + "/" + m_stamp + "/" + relative + name, m_stampTime,
            info)
            .repeat = repeat;
    }

    void foundConflictCopy(const std::string& relative, const std::string& name, const FileInfo& info,
                           const std::string* only) {
        const std::optional<ConflictName> conflict = readConflictName(name);
        if (!conflict || (only != nullptr && conflict->original != *only)) return;
        add(KeptFile::Kind::ConflictCopy, relative + conflict->original, relative + name, conflict->time,
            info);
    }

    KeptFile& add(KeptFile::Kind kind, const std::string& path, const std::string& storedPath,
                  const LocalTime& time, const FileInfo& info) {
        KeptFile file;
        file.kind = kind;
        file.side = m_root->side;
        file.root = m_root->path;
        file.rootMadeByTessel = m_root->madeByTessel;
        file.path = path;
        file.storedPath = storedPath;
        file.time = time;
        file.size = info.size;
        file.modified = info.modified;
        m_kept.files.push_back(std::move(file));
        return m_kept.files.back();
    }

    static const std::string& nameOf(const ListedName& listed) { return listed.name; }
    static const std::string& nameOf(const std::string& name) { return name; }

    KeptFiles& m_kept;
    const std::atomic<bool>* m_stop;
    platform::FileSystems m_fileSystems;
    const KeptFilesRoot* m_root = nullptr;
    std::string m_stamp;
    LocalTime m_stampTime;
};

}  // namespace

std::string KeptFile::location() const {
    return joinPath(root, storedPath);
}

std::vector<KeptFilesRoot> keptFilesRoots(const TWatchRec& watch) {
    const std::string source = getText(watch.SourceDir), destination = getText(watch.DestDir);
    const bool withRoot = isOn(watch.CopyWithRoot);
    WatchRoots roots = watchRoots(source, destination, withRoot);
    for (std::string* root : {&roots.source, &roots.destination})
        while (root->size() > 1 && root->back() == '/') root->pop_back();
    const bool twoWay = isOn(watch.BiDirect);
    const bool conflicts = twoWay && watch.FileAction == faCopy;
    std::vector<KeptFilesRoot> found;
    // An empty field would mean the whole file system, which no run works in.
    if (!destination.empty()) {
        const bool made = withRoot && roots.destination != platform::normalisePath(destination);
        found.push_back({TreeSide::Destination, roots.destination, made, conflicts});
    }
    if (twoWay && !source.empty()) found.push_back({TreeSide::Source, roots.source, false, conflicts});
    return found;
}

KeptFiles findKeptFiles(const std::vector<KeptFilesRoot>& roots, const std::string& below,
                        const std::atomic<bool>* stop) {
    KeptFiles kept;
    Search search(kept, stop);
    const std::vector<std::string> parts = partsOf(below);
    for (const KeptFilesRoot& root : roots) search.searchRoot(root, parts);
    std::sort(kept.files.begin(), kept.files.end(), [](const KeptFile& a, const KeptFile& b) {
        if (a.path != b.path) return a.path < b.path;
        if (!sameSecond(a.time, b.time)) return timeKey(b.time) < timeKey(a.time);
        return std::tie(a.side, a.kind, b.repeat, a.storedPath) <
               std::tie(b.side, b.kind, a.repeat, b.storedPath);
    });
    return kept;
}

std::vector<const KeptFile*> keptFilesOf(const KeptFiles& kept, const std::string& path,
                                         const std::optional<LocalTime>& time) {
    std::vector<const KeptFile*> matching;
    for (const KeptFile& file : kept.files)
        if (file.path == path && (!time || sameSecond(file.time, *time))) matching.push_back(&file);
    return matching;
}

std::string pathBelowRoot(const std::vector<KeptFilesRoot>& roots, const std::string& path) {
    if (!path.starts_with("/")) return relativePath(path);
    const std::string normal = platform::normalisePath(path);
    for (const KeptFilesRoot& root : roots) {
        const std::string prefix = platform::withTrailingSlash(root.path);
        if (platform::withTrailingSlash(normal) == prefix) return {};
        if (normal.starts_with(prefix)) return relativePath(normal.substr(prefix.size()));
    }
    return path;
}

std::optional<ConflictName> readConflictName(std::string_view name) {
    for (std::size_t mark = name.rfind(kConflictMark); mark != std::string_view::npos && mark > 0;
         mark = name.rfind(kConflictMark, mark - 1)) {
        const std::string_view base = name.substr(0, mark);
        std::string_view rest = name.substr(mark + kConflictMark.size());
        if (rest.size() < kConflictStamp.size()) continue;
        const std::optional<LocalTime> time =
            readStamp(rest.substr(0, kConflictStamp.size()), kConflictStamp);
        if (!time) continue;
        rest.remove_prefix(kConflictStamp.size());
        // A second conflict of the same name in one run: "-2", "-3" ... after the stamp.
        if (rest.starts_with("-")) {
            const std::size_t digits = rest.find_first_not_of("0123456789", 1);
            if (digits == 1) continue;
            rest.remove_prefix(digits == std::string_view::npos ? rest.size() : digits);
        }
        // What is left is the extension, from the original name's last dot; a name without one had no
        // dot but at its start.
        const bool extension = !rest.empty();
        if (extension && (rest.front() != '.' || rest.find('.', 1) != std::string_view::npos)) continue;
        if (!extension && base.find('.', 1) != std::string_view::npos) continue;
        return ConflictName{std::string(base) + std::string(rest), *time};
    }
    return std::nullopt;
}

std::string keptTimeText(const LocalTime& time) {
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", time.year, time.month, time.day,
                  time.hour, time.minute, time.second);
    return text;
}

std::optional<LocalTime> readKeptTime(std::string_view text) {
    for (const std::string_view pattern :
         {std::string_view("dddd-dd-ddTdd:dd:dd"), std::string_view("dddd-dd-dd dd:dd:dd"), kFolderStamp,
          kConflictStamp})
        if (const std::optional<LocalTime> time = readStamp(text, pattern)) return time;
    return std::nullopt;
}

std::vector<std::string> pathParts(std::string_view path) {
    return partsOf(path);
}

}  // namespace tessel
