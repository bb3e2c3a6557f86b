#pragma once
// Watches in text (TOML), in two forms that share their keys:
//  - the text file beside the watch file (WatchDef.wth -> WatchDef.toml), which keeps, for each
//    watch, what its 1328-byte record has no room for, keyed by the record's EditTime, source and
//    destination;
//  - the text of whole watches that tessel-batch show and export print and import reads.
// A text that is not UTF-8 (a folder name from an older system) is written as { bytes = "<hex>" }.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "watch/Watch.h"
#include "watch/WatchCheck.h"
#include "watch/WatchRec.h"

namespace tessel {

// The format version both forms carry. A later Tessel that only adds keys keeps it; this one keeps
// keys it does not know in the text file and refuses a file of a higher version.
inline constexpr int kWatchTextVersion = 1;
// Neither form is read past this size: about 50,000 watches with long exclude lists.
inline constexpr std::uint64_t kMaxWatchTextSize = 32ull << 20;

// A file that could not be read or written: the file, the line where its text went wrong (0 when
// there is none) and the reason.
struct FileProblem {
    std::string path;
    int line = 0;
    std::string reason;
    // "<path>, line <n>: <reason>", or without the line.
    std::string text() const;
};

// The text file of a watch file: the watch file's path with ".wth" at its end replaced by ".toml",
// or with ".toml" added when it has no ".wth" ending.
std::string textFilePath(const std::string& watchFile);

// What ties an entry of the text file to its record. Tessel's writers give every record of a file its
// own EditTime, so an entry follows its watch through reordering and the deletion of other watches,
// and a record another program changed matches no entry (which is then kept, but not applied).
struct WatchKey {
    std::uint64_t editTime = 0;  // the 64 bits of the record's EditTime
    std::string source;
    std::string destination;
    bool operator==(const WatchKey&) const = default;
};
WatchKey watchKeyOf(const TWatchRec& record);

// One entry of the text file: its key, the extras of its watch, and the lines of keys this Tessel
// does not know, kept as they were ("key = value").
struct TextFileEntry {
    WatchKey key;
    WatchExtras extras;
    std::vector<std::string> unknownLines;
    int line = 0;      // where the entry begins, for messages
    int nameLine = 0;  // where its name is
};

struct TextFile {
    std::vector<TextFileEntry> entries;
    std::vector<std::string> unknownLines;  // top-level keys this Tessel does not know
};

// Reads the text of a text file named `path` (for the messages). False, with the line and the reason,
// for a text that is not TOML, a version this Tessel cannot read, or a key with a value that is not one:
// a name checkName refuses, a run mode other than "on-change" (the record holds the others), a
// follow-paused that is not true or false. Two entries of one name are the reader's to refuse (the
// names of the entries no record takes do not count).
bool readTextFile(std::string_view text, const std::string& path, TextFile& file, FileProblem& problem);
std::string textFileText(const TextFile& file);

// The text of whole watches, as show and export print them.
std::string watchesText(const std::vector<const Watch*>& watches);

// One watch of a text that import reads: the values it sets (the keys it leaves out set nothing).
struct WatchTextEntry {
    WatchEdit edit;
    int line = 0;
};
// Reads such a text, named `path` in the messages. False, with the line and the reason, for a text that
// is not TOML, an unknown key, or a value that is not one.
bool readWatchesText(std::string_view text, const std::string& path, std::vector<WatchTextEntry>& entries,
                     FileProblem& problem);

}  // namespace tessel
