#pragma once
// The files a user can get back. A run keeps every file it replaces or deletes in a versions folder at
// the root of its tree (<root>/.tessel-versions/<yyyy-mm-dd hhmmss>/<path below the root>), and a
// two-way run that meets a conflict keeps the losing file beside the winner
// (name.conflict-<yyyymmdd-hhmmss>.ext). Here they are found again, by file and time, for the window's
// Restore dialog and tessel-batch's versions command; Restore.h puts one of them back.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/Clock.h"
#include "platform/Folders.h"
#include "watch/WatchRec.h"

namespace tessel {

// Which of a watch's two trees a kept file lies in.
enum class TreeSide { Destination, Source };

// A tree whose kept files are looked for.
struct KeptFilesRoot {
    TreeSide side = TreeSide::Destination;
    std::string path;  // without a trailing "/"
    // The root is a folder Tessel made itself ("Copy with root folder"), never opened through a link.
    bool madeByTessel = false;
    // Whether the tree is walked for conflict copies too: only two-way runs leave them.
    bool conflictCopies = false;
};

// The trees of `watch` as its runs work them out: the destination's, and for a watch with both
// directions the source's.
std::vector<KeptFilesRoot> keptFilesRoots(const TWatchRec& watch);

// One file that can be got back.
struct KeptFile {
    enum class Kind { Version, ConflictCopy };
    Kind kind = Kind::Version;
    TreeSide side = TreeSide::Destination;
    std::string root;  // the tree's root, without a trailing "/"
    bool rootMadeByTessel = false;
    std::string path;          // the file it stands for, below the root: "docs/report.txt"
    std::string storedPath;    // where it lies below the root: ".tessel-versions/<stamp>/docs/report.txt"
    platform::LocalTime time;  // when it was kept: the start of the run, local time
    // A file kept again in the same run lies beside the first as "name.1", "name.2" ...: the number.
    int repeat = 0;
    std::uint64_t size = 0;
    platform::FileTime modified;

    // The full path of the kept file.
    std::string location() const;
};

struct KeptFiles {
    // By path, then newest first; at the same time the destination's before the source's, a version
    // before a conflict copy, and one kept again in the run before the one kept first.
    std::vector<KeptFile> files;
    // What could not be looked at, each with the folder and the reason: the list is then incomplete.
    std::vector<std::string> problems;
};

// Everything kept in `roots` of the file or folder `below` (a path below the root; "" for all).
// Versions folders that another user owns or may write in are not looked into (a problem each), as a
// run never uses them. `stop`, when set, ends the search early with what was found so far.
KeptFiles findKeptFiles(const std::vector<KeptFilesRoot>& roots, const std::string& below,
                        const std::atomic<bool>* stop = nullptr);

// The kept files of exactly `path`, newest first; with `time`, only those kept at that second.
std::vector<const KeptFile*> keptFilesOf(const KeptFiles& kept, const std::string& path,
                                         const std::optional<platform::LocalTime>& time = std::nullopt);

// A path as people give it for a watch: below the root as it is ("docs/report.txt"), or a full path
// inside one of `roots`, which gives the part below it. Slashes at the ends and "." parts go.
std::string pathBelowRoot(const std::vector<KeptFilesRoot>& roots, const std::string& path);

// The original name of a conflict copy's name ("report.txt" for "report.conflict-20261208-103000.txt")
// and the stamp's time; nothing for a name of another form.
struct ConflictName {
    std::string original;
    platform::LocalTime time;
};
std::optional<ConflictName> readConflictName(std::string_view name);

// How a kept file's time is written in lists: "2026-12-08T10:30:00". readKeptTime also reads the
// versions folder's form ("2026-12-08 103000") and a conflict copy's ("20261208-103000").
std::string keptTimeText(const platform::LocalTime& time);
std::optional<platform::LocalTime> readKeptTime(std::string_view text);

// The names of a path below a root, without empty and "." parts: {"docs", "report.txt"}.
std::vector<std::string> pathParts(std::string_view path);

}  // namespace tessel
