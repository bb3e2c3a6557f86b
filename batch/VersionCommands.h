#pragma once
// tessel-batch's commands for getting files back: "versions" lists what a watch's runs kept of its
// files, "restore" puts one of them back, with the rules and the core code of the window's Restore
// dialog (sync/KeptFiles.h, sync/Restore.h).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "sync/RunContext.h"

namespace tessel {

// The command words, which no watch may be named (kCommandWords).
bool isVersionCommandWord(std::string_view word);

struct VersionCommand {
    std::string word;   // "versions" or "restore"
    std::string watch;  // a name or a position
    std::string path;   // below the watch's root, or a full path inside it; versions: may be empty
    std::optional<platform::LocalTime> time;  // restore --time
    std::string folder;                       // restore --to, made a full path where the command was typed
};

// Reads what follows the command word arguments[first - 1]. False, with `problem` saying what is
// wanted, for words that are not such a command.
bool parseVersionCommand(const std::vector<std::string_view>& arguments, std::size_t first,
                         VersionCommand& command, std::string& problem);

// Runs the command on the watches of context.WatchFilePath and says its exit status: versions prints
// one tab-separated line per kept file (path below the root, time, size, where it lies); restore puts
// the newest kept file of the path back (or the one kept at --time, into --to) and logs it. 0 when
// done, 1 when something could not be read or restored, 2 for a watch, path or time that matches
// nothing.
int runVersionCommand(RunContext& context, const VersionCommand& command);

}  // namespace tessel
