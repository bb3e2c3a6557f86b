#include "batch/VersionCommands.h"

#include <cstdio>

#include "platform/Paths.h"
#include "sync/KeptFiles.h"
#include "sync/Restore.h"
#include "watch/EventLog.h"
#include "watch/WatchStore.h"

namespace tessel {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Each line of `text` on standard error, its control characters escaped, as the rest of tessel-batch
// says what went wrong.
void sayError(std::string_view text) {
    for (;;) {
        const std::size_t end = text.find('\n');
        std::fprintf(stderr, "tessel-batch: %s\n", escapeControls(text.substr(0, end)).c_str());
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    std::fflush(stderr);
}

// The value of an option given as "--to DIR" or "--to=DIR"; false when the option is not `name`.
bool takeValue(const std::vector<std::string_view>& arguments, std::size_t& i, std::string_view name,
               std::optional<std::string_view>& value, std::string& problem) {
    const std::string_view argument = arguments[i];
    if (!argument.starts_with(name)) return false;
    if (argument.size() > name.size() && argument[name.size()] == '=') {
        value = argument.substr(name.size() + 1);
    } else if (argument.size() != name.size()) {
        return false;
    } else if (i + 1 < arguments.size()) {
        value = arguments[++i];
    } else {
        value = std::string_view();
    }
    if (value->empty()) problem = std::string(name) + (name == "--to" ? " needs a folder" : " needs a time");
    return true;
}

void printKeptFile(const KeptFile& file) {
    const std::string line = escapeControls(file.path) + "\t" + keptTimeText(file.time) + "\t" +
                             std::to_string(file.size) + "\t" + escapeControls(file.location()) + "\n";
    std::fputs(line.c_str(), stdout);
}

}  // namespace

bool isVersionCommandWord(std::string_view word) {
    return word == "versions" || word == "restore";
}

bool parseVersionCommand(const std::vector<std::string_view>& arguments, std::size_t first,
                         VersionCommand& command, std::string& problem) {
    const bool restore = command.word == "restore";
    std::vector<std::string> words;
    bool onlyWords = false;
    for (std::size_t i = first; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        std::optional<std::string_view> value;
        if (!onlyWords && argument == "--") {
            onlyWords = true;
        } else if (!onlyWords && restore && takeValue(arguments, i, "--time", value, problem)) {
            if (!problem.empty()) return false;
            command.time = readKeptTime(*value);
            if (!command.time) {
                problem = "--time needs a time as versions lists it, such as 2026-12-08T10:30:00, not \"" +
                          std::string(*value) + "\"";
                return false;
            }
        } else if (!onlyWords && restore && takeValue(arguments, i, "--to", value, problem)) {
            if (!problem.empty()) return false;
            command.folder = *value;
            // Said where the command was typed: a folder option moves tessel-batch elsewhere later.
            std::string here;
            std::error_code error;
            if (!command.folder.starts_with("/") && platform::currentFolder(here, error))
                command.folder = platform::withTrailingSlash(here) + command.folder;
        } else if (!onlyWords && argument.starts_with("-")) {
            problem = "unknown option " + std::string(argument) + " for " + command.word;
            return false;
        } else {
            words.emplace_back(argument);
        }
    }
    constexpr std::size_t most = 2;
    const std::size_t least = restore ? 2 : 1;
    if (words.size() < least) {
        problem = command.word + (restore ? " needs a WATCH and the PATH of a file" : " needs a WATCH");
        return false;
    }
    if (words.size() > most) {
        problem = command.word + " takes one WATCH and one PATH, not also \"" + words[most] + "\"";
        return false;
    }
    command.watch = words[0];
    if (words.size() > 1) command.path = words[1];
    if (restore && pathParts(command.path).empty()) {
        problem = "restore needs the PATH of a file, not the whole folder";
        return false;
    }
    return true;
}

int runVersionCommand(RunContext& context, const VersionCommand& command) {
    WatchList list;
    FileProblem fileProblem;
    if (!loadWatches(context.WatchFilePath, list, fileProblem)) {
        sayError("cannot read " + fileProblem.text());
        return kExitFailed;
    }
    const StoredWatch* watch = list.find(command.watch);
    if (watch == nullptr) {
        sayError("no watch " + command.watch + " in " + context.WatchFilePath);
        return kExitUsage;
    }
    const std::vector<KeptFilesRoot> roots = keptFilesRoots(watch->record);
    const std::string path = pathBelowRoot(roots, command.path);
    const KeptFiles kept = findKeptFiles(roots, path);
    for (const std::string& problem : kept.problems) sayError("cannot look into " + problem);
    // Nothing found where a folder could not be read is no proof that nothing is kept.
    const int nothing = kept.problems.empty() ? kExitUsage : kExitFailed;
    const std::string nothingKept =
        "nothing of " + command.path +
        (command.time ? " was kept at " + keptTimeText(*command.time) : " is kept") + " in watch " +
        watch->watch.name;

    if (command.word == "versions") {
        for (const KeptFile& file : kept.files) printKeptFile(file);
        std::fflush(stdout);
        if (!command.path.empty() && kept.files.empty()) {
            sayError(nothingKept);
            return nothing;
        }
        return kept.problems.empty() ? kExitOk : kExitFailed;
    }

    const std::vector<const KeptFile*> matching = keptFilesOf(kept, path, command.time);
    if (matching.empty()) {
        sayError(nothingKept + " (tessel-batch versions " + command.watch + " lists what is)");
        return nothing;
    }
    const KeptFile& chosen = *matching.front();
    const RestoreResult result = restoreKeptFile(
        watch->record, chosen, command.folder.empty() ? RestorePlace::InPlace : RestorePlace::OtherFolder,
        command.folder);
    if (result.kind != RestoreResult::Kind::Restored) {
        sayError(restoreFailureText(result));
        return kExitFailed;
    }
    WriteLogLine(context, restoredLine(chosen, result));
    return kExitOk;
}

}  // namespace tessel
