#include "batch/BatchOptions.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <iterator>

#include "watch/StartFolder.h"

namespace tessel::batch {

const char* const kBatchUsage =
    "Usage: tessel-batch [FILE OPTIONS] --list\n"
    "       tessel-batch [FILE OPTIONS] --due\n"
    "       tessel-batch [FILE OPTIONS] WATCH [WATCH ...]\n"
    "       tessel-batch [FILE OPTIONS] --preview WATCH [WATCH ...]\n"
    "       tessel-batch [FILE OPTIONS] --plan FILE\n"
    "       tessel-batch [FILE OPTIONS] add NAME --source DIR --destination DIR [WATCH OPTIONS]\n"
    "       tessel-batch [FILE OPTIONS] set NAME WATCH OPTIONS\n"
    "       tessel-batch [FILE OPTIONS] remove NAME\n"
    "       tessel-batch [FILE OPTIONS] show NAME\n"
    "       tessel-batch [FILE OPTIONS] export [NAME ...]\n"
    "       tessel-batch [FILE OPTIONS] import FILE\n"
    "       tessel-batch [FILE OPTIONS] versions WATCH [PATH]\n"
    "       tessel-batch [FILE OPTIONS] restore WATCH PATH [--time TIME] [--to DIR]\n"
    "       tessel-batch [FILE OPTIONS] [--quiet | --brief] [--no-notify] follow\n"
    "       tessel-batch [FILE OPTIONS] follow --pause WATCH ... | --resume WATCH ...\n"
    "\n"
    "Runs and keeps Tessel's watches without the window. A WATCH is named by its name (letter case\n"
    "does not count) or by its position in the watch file, from 0 (INDEX).\n"
    "\n"
    "  --list              print one line per watch: index, run mode, period, file action, tune mode,\n"
    "                      flags, last run, source, destination, masks, name, last result, when it\n"
    "                      ended, next run, first problem (separated by tabs)\n"
    "  --due               run every timed watch that is due now, in file order\n"
    "  WATCH ...           run these watches now, whatever their run mode (like Check Now)\n"
    "  --plan FILE         run a watch's preview as edited in FILE (- reads standard input): the\n"
    "                      rows left in it and nothing else; a conflict's word may be changed to\n"
    "                      keep source, keep destination or keep both; what changed since the\n"
    "                      preview, and every row the run does not come to, is left as it is and\n"
    "                      reported; refused when the plan's watch is no longer at its position\n"
    "  --preview WATCH ... print what running these watches now would do, one line per action\n"
    "                      and a total line, and change nothing (also --dry-run)\n"
    "  add NAME ...        make a watch: --source and --destination, and any watch option\n"
    "  set NAME ...        change the values the watch options give; the rest stays\n"
    "  remove NAME         delete the watch\n"
    "  show NAME           print the watch in Tessel's text format\n"
    "  export [NAME ...]   print these watches (without a NAME all of them) in the text format\n"
    "  import FILE         add the watches of such a text, or replace those of their names; all or\n"
    "                      none (FILE - reads standard input)\n"
    "  versions WATCH [PATH]\n"
    "                      print what the watch's runs kept of its files (of PATH, a file or folder\n"
    "                      below the watch's folder, only): path, time, size and where it lies\n"
    "  restore WATCH PATH  put the newest kept version of PATH back in its place, keeping the file\n"
    "                      it replaces as a version; --time TIME takes the one kept then (as listed),\n"
    "                      --to DIR saves it in DIR instead, never over a file there\n"
    "  follow              follow the watches that run on change and run each as its folders change,\n"
    "                      until SIGINT or SIGTERM (the window follows them too while it runs; never\n"
    "                      both the same watch)\n"
    "  follow --pause WATCH ..., follow --resume WATCH ...\n"
    "                      stop following these watches, or start again (with a full run)\n"
    "\n"
    "Watch options (lists are separated by \";\", blanks around it do not count):\n"
    "  --name NAME                 a new name (set)\n"
    "  --source DIR                the folder files come from (a full path)\n"
    "  --destination DIR           the folder they go to (a full path)\n"
    "  --mask MASKS                the files that take part; new watches: *.*\n"
    "  --exclude MASKS             names, or paths below the folder, left out; new watches: .Trash-*;\n"
    "                              .tessel-versions;System Volume Information;$RECYCLE.BIN;.DS_Store;\n"
    "                              Thumbs.db;desktop.ini\n"
    "  --hidden include|skip       names that start with a dot; new watches: include\n"
    "  --links follow|copy|skip    symbolic links where files are read; new watches: follow\n"
    "  --action copy|move          new watches: copy\n"
    "  --both-directions yes|no    also from the destination to the source\n"
    "  --delete-absent yes|no      delete what the other side lacks (not with move)\n"
    "  --tune sync-all|update-old|absent-only\n"
    "                              which files are copied; new watches: sync-all\n"
    "  --run-mode stop|on-start|manual|timer|on-change\n"
    "                              when the watch runs; new watches: manual\n"
    "  --change-delay SECONDS      how long an on-change watch waits for quiet after a change\n"
    "                              (1 to 3600); new watches: 2\n"
    "  --period 10min|1h|1d|1w|10d|1month|HH:MM\n"
    "                              how often a timed watch runs, or daily at HH:MM; new watches: 1h\n"
    "  --copy-with-root yes|no     into a folder of the source folder's name in the destination\n"
    "  --wide-log yes|no           a log line for every file\n"
    "  --program PATH              a program started after each run\n"
    "  --program-args TEXT         its arguments, split as a shell splits words\n"
    "\n"
    "File options (before the command):\n"
    "  --watch-file PATH   the watch file to use; its text file is beside it (WatchDef.wth:\n"
    "                      WatchDef.toml)\n"
    "  --log-file PATH     the log file to append to\n"
    "  --folder DIR        work in DIR (made when missing) instead of the current folder\n"
    "  --user-folder       work in $XDG_DATA_HOME/tessel (~/.local/share/tessel), as Tessel started\n"
    "                      from the desktop menu does\n"
    "  --jobs N            copy, examine and delete with N threads (Jobs in Tessel.ini; default:\n"
    "                      one per core, at most eight; 1 does everything on one thread)\n"
    "\n"
    "Output options of a run (before the command):\n"
    "  --quiet             nothing on standard output; standard error still gets every problem\n"
    "  --brief             of the log lines, only each watch's summary on standard output\n"
    "  --no-notify         no notification on the desktop for a run that failed or met a conflict\n"
    "\n"
    "  --version           print the version\n"
    "  --help              print this text\n"
    "\n"
    "Without --watch-file or --log-file the paths come from Tessel.ini in the folder Tessel works in\n"
    "(the current folder unless a folder option names another), or, when there is none, are\n"
    "Data/WatchDef.wth and WatchLog.Log under that folder. Tessel.ini is never written.\n"
    "\n"
    "A run writes every log line to standard output, and every problem (an error, a conflict, an\n"
    "after-sync program that did not start) to standard error as well. Each watch's run ends with its\n"
    "summary line, also on standard error when the run failed or met a conflict; such a run also\n"
    "notifies the desktop of the user's session, where it has a notification service.\n"
    "\n"
    "Exit status: 0 when every copy, move and deletion succeeded, 1 when any failed, a file could\n"
    "not be read or written (the watch file, its text file, the log), the mass-deletion guard refused\n"
    "deletions or a two-way watch met a conflict, 2 for a usage error, a value that is refused (both\n"
    "files are then as they were), a folder option that cannot be made or entered, an unreadable\n"
    "Tessel.ini, a missing watch file or a WATCH with no watch, 130 or 143 when SIGINT or SIGTERM\n"
    "stopped the run (the file in hand is finished or left as it was, and the stop is logged).\n";

namespace {

bool isCommandWord(std::string_view argument) {
    return std::find(std::begin(kCommandWords), std::end(kCommandWords), argument) != std::end(kCommandWords);
}

bool setMode(Options& options, Options::Mode mode, std::string& problem) {
    if (options.mode != Options::Mode::None && options.mode != mode) {
        problem = "give only one of --list, --due, a command and WATCH";
        return false;
    }
    options.mode = mode;
    return true;
}

// The words after a command: its name, file or names, then (add, set) the watch options.
bool parseCommand(const std::vector<std::string_view>& arguments, std::size_t first, Command& command,
                  std::string& problem) {
    const std::string& word = command.word;
    if (isVersionCommandWord(word)) {
        command.versions.word = word;
        return parseVersionCommand(arguments, first, command.versions, problem);
    }
    std::size_t i = first;
    const auto positional = [&](const char* what) {
        if (i >= arguments.size() || arguments[i].starts_with("-")) {
            problem = word + " needs " + what;
            return false;
        }
        return true;
    };
    if (word == "follow") {
        // --pause or --resume with the watches, or nothing.
        if (i < arguments.size() && (arguments[i] == "--pause" || arguments[i] == "--resume")) {
            command.follow = arguments[i++].substr(2);
            for (; i < arguments.size() && !arguments[i].starts_with("-"); ++i)
                command.names.emplace_back(arguments[i]);
            if (command.names.empty()) {
                problem = "follow --" + command.follow + " needs the WATCH to " + command.follow;
                return false;
            }
        }
    } else if (word == "import") {
        // "-" is standard input.
        if (i >= arguments.size() || (arguments[i].starts_with("-") && arguments[i] != "-")) {
            problem = "import needs a FILE (- for standard input)";
            return false;
        }
        command.file = arguments[i++];
    } else if (word == "export") {
        for (; i < arguments.size() && !arguments[i].starts_with("-"); ++i)
            command.names.emplace_back(arguments[i]);
    } else {
        if (!positional("the NAME of a watch")) return false;
        command.name = arguments[i++];
    }
    const bool takesOptions = word == "add" || word == "set";
    for (; i < arguments.size(); ++i) {
        if (takesOptions) {
            const WatchOption taken = takeWatchOption(arguments, i, command.edit, problem);
            if (taken == WatchOption::Invalid) return false;
            if (taken == WatchOption::Taken) continue;
        }
        const std::string_view argument = arguments[i];
        if (argument == "--watch-file" || argument == "--log-file" || argument == "--jobs" ||
            argument.starts_with("--folder") || argument == "--user-folder" || argument == "--quiet" ||
            argument == "--brief" || argument == "--no-notify")
            problem = std::string(argument) + " must come before the command";
        else if (argument.starts_with("-"))
            problem = "unknown option " + std::string(argument) + " for " + word;
        else
            problem = word + " takes one NAME, not also \"" + std::string(argument) + "\"";
        return false;
    }
    if (word == "add" && command.edit.name) {
        problem = "add takes the name as the word after it, not --name";
        return false;
    }
    if (word == "set" && command.edit == WatchEdit{}) {
        problem = "set needs a watch option with the value to change";
        return false;
    }
    return true;
}

}  // namespace

bool isPosition(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool parseArguments(const std::vector<std::string_view>& arguments, Options& options, std::string& problem) {
    bool onlyWatches = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        const bool isOption = !onlyWatches && argument.starts_with("-");
        const FolderOption folder =
            isOption ? takeFolderOption(arguments, i, options.folder, problem) : FolderOption::NotOne;
        if (folder == FolderOption::Invalid) return false;
        if (folder == FolderOption::Taken) continue;
        if (isOption && argument == "--") {
            onlyWatches = true;
        } else if (isOption && (argument == "--help" || argument == "-h")) {
            options.help = true;
        } else if (isOption && argument == "--version") {
            options.version = true;
        } else if (isOption && (argument == "--jobs" || argument.starts_with("--jobs="))) {
            std::string_view value;
            if (argument.size() > 6 && argument[6] == '=')
                value = argument.substr(7);
            else if (argument.size() == 6 && i + 1 < arguments.size())
                value = arguments[++i];
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), options.jobs);
            if (value.empty() || error != std::errc() || end != value.data() + value.size() ||
                options.jobs < 1 || options.jobs > 64) {
                problem = "--jobs needs a number of threads from 1 to 64";
                return false;
            }
        } else if (isOption && (argument == "--quiet" || argument == "--brief")) {
            const auto output = argument == "--quiet" ? Options::Output::Nothing : Options::Output::Summaries;
            if (options.output != Options::Output::LogLines && options.output != output) {
                problem = "give only one of --quiet and --brief";
                return false;
            }
            options.output = output;
        } else if (isOption && argument == "--no-notify") {
            options.notify = false;
        } else if (isOption && (argument == "--preview" || argument == "--dry-run")) {
            options.preview = true;
        } else if (isOption && argument == "--plan") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                problem = "--plan needs the file of an edited preview";
                return false;
            }
            if (!setMode(options, Options::Mode::Plan, problem)) return false;
            options.planFile = arguments[++i];
        } else if (isOption && (argument == "--list" || argument == "--due")) {
            if (!setMode(options, argument == "--list" ? Options::Mode::List : Options::Mode::Due, problem))
                return false;
        } else if (isOption && (argument.starts_with("--watch-file") || argument.starts_with("--log-file"))) {
            const bool watch = argument.starts_with("--watch-file");
            const std::string_view name = watch ? "--watch-file" : "--log-file";
            std::string_view value;
            if (argument.size() > name.size() && argument[name.size()] == '=') {
                value = argument.substr(name.size() + 1);
            } else if (argument.size() == name.size() && i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                problem = argument.size() == name.size() ? std::string(name) + " needs a path"
                                                         : "unknown option " + std::string(argument);
                return false;
            }
            if (value.empty()) {
                problem = std::string(name) + " needs a path";
                return false;
            }
            (watch ? options.watchFile : options.logFile) = value;
        } else if (isOption) {
            problem = "unknown option " + std::string(argument);
            return false;
        } else if (!onlyWatches && options.mode == Options::Mode::None && !options.preview &&
                   isCommandWord(argument)) {
            // Everything after a command word is the command's.
            options.mode = Options::Mode::Command;
            options.command.word = argument;
            return parseCommand(arguments, i + 1, options.command, problem);
        } else {
            std::int32_t index = 0;
            if (isPosition(argument)) {
                const auto [end, error] =
                    std::from_chars(argument.data(), argument.data() + argument.size(), index);
                if (error != std::errc() || end != argument.data() + argument.size()) {
                    problem = "INDEX must be a watch number from 0 to 2147483647, not \"" +
                              std::string(argument) + "\"";
                    return false;
                }
            }
            if (!setMode(options, Options::Mode::Run, problem)) return false;
            options.watches.emplace_back(argument);
        }
    }
    if (!options.help && !options.version && options.mode == Options::Mode::None) {
        problem = "say what to do: --list, --due, a WATCH or a command";
        return false;
    }
    if (options.preview && options.mode != Options::Mode::Run) {
        problem = "--preview needs the WATCH to look at";
        return false;
    }
    return true;
}

}  // namespace tessel::batch
