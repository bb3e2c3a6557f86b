// tessel-batch: Tessel's engine without the window, for servers, cron, systemd timers and scripts.
// It runs watches the way the window's Check Now and timer pass do, prints every log line on stdout
// and turns message boxes into lines on stderr; it also makes, changes, removes, prints and imports
// watches, with the values read and checked by the core (WatchCheck.h, WatchStore.h).

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "TesselVersion.h"
#include "batch/RootWarnings.h"
#include "batch/VersionCommands.h"
#include "batch/WatchListing.h"
#include "platform/FileIo.h"
#include "platform/Paths.h"
#include "platform/StopSignal.h"
#include "platform/Terminal.h"
#include "sync/Preview.h"
#include "sync/Scheduler.h"
#include "watch/EventLog.h"
#include "watch/RunContext.h"
#include "watch/RunDisplay.h"
#include "watch/Settings.h"
#include "watch/StartFolder.h"
#include "watch/WatchCheck.h"
#include "watch/WatchFile.h"
#include "watch/WatchRec.h"
#include "watch/WatchStore.h"
#include "watch/WatchText.h"

namespace {

using namespace tessel;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "Usage: tessel-batch [FILE OPTIONS] --list\n"
    "       tessel-batch [FILE OPTIONS] --due\n"
    "       tessel-batch [FILE OPTIONS] WATCH [WATCH ...]\n"
    "       tessel-batch [FILE OPTIONS] --preview WATCH [WATCH ...]\n"
    "       tessel-batch [FILE OPTIONS] add NAME --source DIR --destination DIR [WATCH OPTIONS]\n"
    "       tessel-batch [FILE OPTIONS] set NAME WATCH OPTIONS\n"
    "       tessel-batch [FILE OPTIONS] remove NAME\n"
    "       tessel-batch [FILE OPTIONS] show NAME\n"
    "       tessel-batch [FILE OPTIONS] export [NAME ...]\n"
    "       tessel-batch [FILE OPTIONS] import FILE\n"
    "       tessel-batch [FILE OPTIONS] versions WATCH [PATH]\n"
    "       tessel-batch [FILE OPTIONS] restore WATCH PATH [--time TIME] [--to DIR]\n"
    "\n"
    "Runs and keeps Tessel's watches without the window. A WATCH is named by its name (letter case\n"
    "does not count) or by its position in the watch file, from 0 (INDEX).\n"
    "\n"
    "  --list              print one line per watch: index, run mode, period, file action, tune mode,\n"
    "                      flags, last run, source, destination, masks, name (separated by tabs)\n"
    "  --due               run every timed watch that is due now, in file order\n"
    "  WATCH ...           run these watches now, whatever their run mode (like Check Now)\n"
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
    "  --run-mode stop|on-start|manual|timer\n"
    "                              when the watch runs; new watches: manual\n"
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
    "  --version           print the version\n"
    "  --help              print this text\n"
    "\n"
    "Without --watch-file or --log-file the paths come from Tessel.ini in the folder Tessel works in\n"
    "(the current folder unless a folder option names another), or, when there is none, are\n"
    "Data/WatchDef.wth and WatchLog.Log under that folder. Tessel.ini is never written.\n"
    "\n"
    "Exit status: 0 when every copy, move and deletion succeeded, 1 when any failed, a file could\n"
    "not be read or written (the watch file, its text file, the log), the mass-deletion guard refused\n"
    "deletions or a two-way watch met a conflict, 2 for a usage error, a value that is refused (both\n"
    "files are then as they were), a folder option that cannot be made or entered, an unreadable\n"
    "Tessel.ini, a missing watch file or a WATCH with no watch, 130 or 143 when SIGINT or SIGTERM\n"
    "stopped the run (the file in hand is finished or left as it was, and the stop is logged).\n";

// What the command words after the file options say.
struct Command {
    std::string word;                // empty for none
    std::string name;                // add, set, remove, show
    std::vector<std::string> names;  // export
    std::string file;                // import
    WatchEdit edit;                  // add, set
    VersionCommand versions;         // versions, restore
};

struct Options {
    enum class Mode { None, List, Due, Run, Command };
    Mode mode = Mode::None;
    std::string watchFile;
    std::string logFile;
    std::string folder;                // empty: the current folder
    std::vector<std::string> watches;  // the names or positions to run or preview
    Command command;
    bool help = false;
    bool version = false;
    bool preview = false;
    int jobs = 0;  // 0: as Tessel.ini says
};

bool isCommandWord(std::string_view argument) {
    return std::find(std::begin(kCommandWords), std::end(kCommandWords), argument) != std::end(kCommandWords);
}

bool isPosition(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
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
    if (word == "import") {
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
            argument.starts_with("--folder") || argument == "--user-folder")
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
        } else if (isOption && (argument == "--preview" || argument == "--dry-run")) {
            options.preview = true;
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

// The terminal face of a run: log lines on stdout, message boxes and the progress line on stderr.
class Console : public RunDisplay, public UserMessages {
  public:
    Console() : m_showProgress(platform::standardErrorIsTerminal()) {}
    ~Console() override { clearProgress(); }

    void setStatusText(const std::string& text) override {
        m_current = text;
        drawProgress(false);
    }
    void setProgressRange(int, int maximum) override { m_total = maximum; }
    void setProgressPosition(int position) override { m_done = position; }
    void stepProgress() override {
        ++m_done;
        drawProgress(false);
    }
    void setProgressVisible(bool visible) override {
        m_visible = visible;
        if (visible)
            drawProgress(true);
        else
            clearProgress();
    }
    void setRowPicture(int, int) override {}

    void appendLogLine(const std::string& line) override {
        clearProgress();
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    // Standard output is then the run's only record: every line goes there, and the failures go to
    // standard error as well, which reaches cron's mail.
    bool showUnloggedLine(const std::string& line, std::string_view message,
                          const std::error_code& reason) override {
        appendLogLine(line);
        if (reportsFailure(message)) printError(line);
        if (m_unlogged++ == 0) m_logReason = reason;
        return true;
    }
    // The log area's limit does not apply to a terminal: nothing is ever taken back.
    int logLineCount() const override { return 0; }
    void removeFirstLogLine() override {}

    void showMessage(const std::string& text) override { showWarning(text, "Tessel"); }
    void showWarning(const std::string& text, const std::string& caption) override {
        ++m_messages;
        printError(caption + ": " + text);
    }

    // Each line of `text` on a line of its own, its control characters escaped.
    void printError(std::string_view text) {
        clearProgress();
        for (;;) {
            const std::size_t end = text.find('\n');
            std::fprintf(stderr, "%s\n", escapeControls(text.substr(0, end)).c_str());
            if (end == std::string_view::npos) break;
            text.remove_prefix(end + 1);
        }
        std::fflush(stderr);
    }

    // Every message box stands for something that was not done or not saved.
    int messagesShown() const { return m_messages; }
    // Log lines the log file refused, and why the first was.
    int unloggedLines() const { return m_unlogged; }
    const std::error_code& logReason() const { return m_logReason; }

  private:
    void drawProgress(bool force) {
        if (!m_showProgress || !m_visible) return;
        // Redrawing on every file would cost more than the copies of small files.
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - m_lastDraw < std::chrono::milliseconds(100)) return;
        m_lastDraw = now;

        std::string line = std::to_string(m_done) + "/" + std::to_string(m_total) + " files";
        std::string_view current = m_current;
        while (!current.empty() && current.front() == ' ') current.remove_prefix(1);
        if (!current.empty()) line += "  " + std::string(current);
        std::fprintf(stderr, "\r\033[K%s", fitted(line, platform::standardErrorColumns() - 1).c_str());
        std::fflush(stderr);
        m_drawn = true;
    }

    void clearProgress() {
        if (!m_drawn) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_drawn = false;
    }

    // Keeps the end of a too-long line, where a path's file name is; counts UTF-8 characters as columns.
    static std::string fitted(const std::string& line, int columns) {
        const auto isContinuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
        int length = 0;
        for (char c : line) length += !isContinuation(c);
        if (length <= columns || columns < 4) return line;
        std::size_t start = 0;
        for (int skip = length - (columns - 3); skip > 0; ++start) skip -= !isContinuation(line[start]);
        while (start < line.size() && isContinuation(line[start])) ++start;
        return "..." + line.substr(start);
    }

    bool m_showProgress;
    bool m_visible = false;
    bool m_drawn = false;
    int m_total = 0;
    int m_done = 0;
    int m_messages = 0;
    int m_unlogged = 0;
    std::error_code m_logReason;
    std::string m_current;
    std::chrono::steady_clock::time_point m_lastDraw;
};

// The context of the run in progress, for the stop signals.
std::atomic<RunContext*> g_runContext{nullptr};

void stopRun() {
    if (RunContext* context = g_runContext.load()) context->requestStop();
}

// Reads the watches with their names; false, after saying what went wrong with which file (and line).
bool loadOrSay(const std::string& watchFile, WatchList& list, Console& console) {
    FileProblem problem;
    if (loadWatches(watchFile, list, problem)) return true;
    console.printError("tessel-batch: cannot read " + problem.text());
    return false;
}

int listWatches(RunContext& context, Console& console) {
    WatchList list;
    if (!loadOrSay(context.WatchFilePath, list, console)) return kExitFailed;
    for (const StoredWatch& stored : list.watches) {
        const std::string line = watchListLine(static_cast<std::size_t>(stored.position), stored.record,
                                               context.options.keepVersions, stored.watch.name) +
                                 "\n";
        std::fputs(line.c_str(), stdout);
    }
    std::fflush(stdout);
    return kExitOk;
}

// The position a WATCH of the command line names now: a position as it is, a name looked up in the
// watch file as it is at this moment (another may have been added, deleted or moved since the start).
// Nothing for a name no watch has, or for a watch file that cannot be read (said).
std::optional<std::int32_t> positionOf(const std::string& watch, RunContext& context, Console& console,
                                       std::string& name, bool& unreadable) {
    name.clear();
    WatchList list;
    if (!loadOrSay(context.WatchFilePath, list, console)) {
        unreadable = true;
        return std::nullopt;
    }
    const StoredWatch* found = list.find(watch);
    if (found != nullptr) name = found->watch.name;
    if (isPosition(watch)) return static_cast<std::int32_t>(std::stol(watch));
    if (found == nullptr) return std::nullopt;
    return found->position;
}

SchedulerReport missingWatch() {
    SchedulerReport report;
    report.missing = 1;
    return report;
}

void sayMissing(const std::string& watch, RunContext& context, Console& console) {
    console.printError("tessel-batch: no watch " + watch + " in " + context.WatchFilePath);
}

// Prints what a run of each watch would do now; changes nothing.
int previewWatches(RunContext& context, Console& console, const std::vector<std::string>& watches) {
    class Printer : public RunObserver {
      public:
        void action(const RunAction& action) override {
            std::printf("%s\n", actionLine(action).c_str());
            totals.add(action);
        }
        void error(const std::string& line) override { std::printf("error  %s\n", line.c_str()); }
        PlanTotals totals;
    };
    int status = kExitOk;
    for (const std::string& watch : watches) {
        std::string name;
        bool unreadable = false;
        const std::optional<std::int32_t> position = positionOf(watch, context, console, name, unreadable);
        if (unreadable) return kExitFailed;
        Printer printer;
        const SchedulerReport report =
            position ? previewWatchNow(context, *position, printer) : missingWatch();
        if (report.missing > 0) {
            sayMissing(watch, context, console);
            status = kExitUsage;
            continue;
        }
        std::printf("watch %d (%s): %s\n", *position, escapeControls(name).c_str(),
                    totalsLine(printer.totals).c_str());
        if (report.result.needsAttention() && status == kExitOk) status = kExitFailed;
    }
    std::fflush(stdout);
    return status;
}

SchedulerReport runWatches(RunContext& context, Console& console, const std::vector<std::string>& watches,
                           bool& unreadable) {
    SchedulerReport total;
    for (const std::string& watch : watches) {
        if (context.stopRequested()) break;
        std::string name;
        const std::optional<std::int32_t> position = positionOf(watch, context, console, name, unreadable);
        if (unreadable) break;
        const SchedulerReport report = position ? checkWatchNow(context, *position) : missingWatch();
        if (report.missing > 0) sayMissing(watch, context, console);
        total.missing += report.missing;
        total.unsaved += report.unsaved;
        total.busy += report.busy;
        total.result += report.result;
    }
    return total;
}

// The reading of a file given to import, or of standard input for "-".
bool readImport(const std::string& file, std::string& text, Console& console) {
    std::error_code error;
    const bool read = file == "-" ? platform::readStandardInput(kMaxWatchTextSize, text, error)
                                  : platform::readSmallFile(file, kMaxWatchTextSize, text, error);
    if (!read)
        console.printError("tessel-batch: cannot read " +
                           (file == "-" ? std::string("standard input") : file) + ": " +
                           (error == std::errc::file_too_large ? "larger than 32 MiB" : error.message()));
    return read;
}

int printWatches(RunContext& context, Console& console, const Command& command) {
    WatchList list;
    if (!loadOrSay(context.WatchFilePath, list, console)) return kExitFailed;
    std::vector<const Watch*> chosen;
    const std::vector<std::string> names = command.word == "show" ? std::vector{command.name} : command.names;
    for (const std::string& name : names) {
        const StoredWatch* found = list.find(name);
        if (found == nullptr) {
            sayMissing(name, context, console);
            return kExitUsage;
        }
        chosen.push_back(&found->watch);
    }
    if (names.empty())
        for (const StoredWatch& stored : list.watches) chosen.push_back(&stored.watch);
    std::fputs(watchesText(chosen).c_str(), stdout);
    std::fflush(stdout);
    return kExitOk;
}

// add, set, remove and import: the changes checked and written together, or a refusal that leaves
// both files as they were.
int changeCommand(RunContext& context, Console& console, const Command& command) {
    std::vector<WatchChange> changes;
    std::vector<int> lines;  // import: the line of each change's entry
    if (command.word == "import") {
        std::string text;
        if (!readImport(command.file, text, console)) return kExitFailed;
        std::vector<WatchTextEntry> entries;
        FileProblem problem;
        const std::string shown = command.file == "-" ? "standard input" : command.file;
        if (!readWatchesText(text, shown, entries, problem)) {
            console.printError("tessel-batch: " + problem.text());
            return kExitUsage;
        }
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const WatchTextEntry& entry = entries[i];
            const auto said = [&](const std::string& reason) {
                console.printError("tessel-batch: " + FileProblem{shown, entry.line, reason}.text());
                return kExitUsage;
            };
            if (!entry.edit.name) return said("a [[watch]] needs a name");
            for (std::size_t j = 0; j < i; ++j)
                if (sameName(*entries[j].edit.name, *entry.edit.name))
                    return said("the name \"" + *entry.edit.name + "\" is given twice");
            changes.push_back({WatchChange::Kind::Put, {}, std::nullopt, entry.edit});
            lines.push_back(entry.line);
        }
    } else if (command.word == "add") {
        WatchEdit edit = command.edit;
        edit.name = command.name;
        changes.push_back({WatchChange::Kind::Add, {}, std::nullopt, edit});
    } else {
        const auto kind = command.word == "set" ? WatchChange::Kind::Replace : WatchChange::Kind::Remove;
        changes.push_back({kind, command.name, std::nullopt, command.edit});
    }

    ChangeProblem problem;
    if (changeWatches(context.WatchFilePath, changes, problem)) return kExitOk;
    switch (problem.kind) {
        case ChangeProblem::Kind::Input: {
            const WatchField field = problem.input.field;
            std::string where = command.word == "import"
                                    ? FileProblem{command.file == "-" ? "standard input" : command.file,
                                                  lines[problem.change], std::string(keyOf(field))}
                                          .text()
                                : field == WatchField::Name && command.word == "add" ? std::string("the name")
                                                                                     : optionOf(field);
            console.printError("tessel-batch: " + where + ": " + describe(problem.input) +
                               "; nothing was changed");
            return kExitUsage;
        }
        case ChangeProblem::Kind::NoSuchWatch:
            sayMissing(problem.name, context, console);
            return kExitUsage;
        case ChangeProblem::Kind::File:
        case ChangeProblem::Kind::None:
            break;
    }
    console.printError("tessel-batch: cannot change the watches: " + problem.file.text() +
                       "; nothing was changed");
    return kExitFailed;
}

// Moves into the folder a folder option names. The paths given on the command line keep meaning what
// they meant where the command was typed.
bool enterFolder(Options& options, Console& console) {
    if (options.folder.empty()) return true;
    std::string here;
    std::error_code error;
    if (!platform::currentFolder(here, error)) {
        console.printError("tessel-batch: cannot tell the current folder: " + error.message());
        return false;
    }
    for (std::string* path : {&options.watchFile, &options.logFile, &options.command.file}) {
        if (!path->empty() && path->front() != '/' && *path != "-")
            *path = platform::withTrailingSlash(here) + *path;
    }
    std::string problem;
    if (enterStartFolder(options.folder, problem)) return true;
    console.printError("tessel-batch: " + problem);
    return false;
}

// Fills in the paths the command line left out, from Tessel.ini in the current folder or, without
// one, as a first start of the program would choose them; the run options come from there too.
bool completePaths(Options& options, RunOptions& runOptions, Console& console) {
    std::string folder;
    std::error_code error;
    if (!platform::currentFolder(folder, error)) {
        console.printError("tessel-batch: cannot tell the current folder: " + error.message());
        return false;
    }
    const std::string base = platform::withTrailingSlash(folder);
    Settings settings = firstStartSettings(base);
    if (platform::fileExists(base + kSettingsFileName) && !readSettings(base, settings, error)) {
        console.printError("tessel-batch: cannot read " + base + kSettingsFileName + ": " + error.message());
        return false;
    }
    if (options.watchFile.empty()) options.watchFile = settings.WatchFilePath;
    if (options.logFile.empty()) options.logFile = settings.LogFilePath;
    runOptions = settings.options;
    runOptions.stateFolder = stateFolderFor(settings.DataPath);
    if (platform::fileExists(base + kSettingsFileName)) runOptions.settingsFile = base + kSettingsFileName;
    return true;
}

int run(const std::vector<std::string_view>& arguments) {
    Console console;
    Options options;
    std::string problem;
    if (!parseArguments(arguments, options, problem)) {
        console.printError("tessel-batch: " + problem + "\nTry 'tessel-batch --help' for the usage.");
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (options.version) {
        std::printf("tessel-batch %s\n", kTesselVersion);
        return kExitOk;
    }
    if (!enterFolder(options, console)) return kExitUsage;
    RunOptions runOptions;
    if (!completePaths(options, runOptions, console)) return kExitUsage;
    // add and import make the watch file; everything else needs one.
    const bool makesWatches = options.mode == Options::Mode::Command &&
                              (options.command.word == "add" || options.command.word == "import");
    if (!makesWatches && !platform::fileExists(options.watchFile)) {
        console.printError("tessel-batch: no watch file " + options.watchFile);
        return kExitUsage;
    }

    RunContext context{console, console, options.watchFile, options.logFile};
    context.options = runOptions;
    if (options.jobs > 0) context.options.jobs = options.jobs;
    if (options.mode == Options::Mode::List) return listWatches(context, console);
    if (options.mode == Options::Mode::Command) {
        const Command& command = options.command;
        if (isVersionCommandWord(command.word)) return runVersionCommand(context, command.versions);
        if (command.word == "show" || command.word == "export")
            return printWatches(context, console, command);
        const int status = changeCommand(context, console, command);
        // Allowed, and saved, but seldom meant.
        if (status == kExitOk && (command.word == "add" || command.word == "set"))
            sayRootWarnings(context.WatchFilePath, {command.edit.name.value_or(command.name)});
        return status;
    }

    // SIGINT and SIGTERM end the run at the next file: nothing half-written, the stop logged.
    g_runContext.store(&context);
    platform::catchStopSignals(&stopRun);
    if (options.preview) return previewWatches(context, console, options.watches);

    int status = kExitOk;
    SchedulerReport total;
    bool unreadable = false;
    if (options.mode == Options::Mode::Due) {
        // A watch file that cannot be read would make the pass find nothing due, and say nothing.
        WatchList list;
        unreadable = !loadOrSay(context.WatchFilePath, list, console);
        if (!unreadable) total = runDueWatches(context);
    } else {
        total = runWatches(context, console, options.watches, unreadable);
    }
    if (total.unsaved > 0)
        console.printError("tessel-batch: the last run time of " + std::to_string(total.unsaved) +
                           " watch(es) could not be saved in " + context.WatchFilePath);
    if (console.unloggedLines() > 0)
        console.printError("tessel-batch: " + std::to_string(console.unloggedLines()) +
                           " log line(s) could not be written to " + context.LogFilePath + ": " +
                           console.logReason().message() + "; they are on standard output");
    if (total.result.needsAttention() || total.unsaved > 0 || console.messagesShown() > 0 ||
        console.unloggedLines() > 0 || unreadable)
        status = kExitFailed;
    if (total.missing > 0) status = kExitUsage;
    if (const int signal = platform::stopSignal(); signal != 0) {
        console.printError(std::string("tessel-batch: stopped by ") + platform::signalName(signal));
        status = platform::exitStatusFor(signal);
    }
    g_runContext.store(nullptr);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // Dates in the log follow the user's regional settings.
    std::setlocale(LC_ALL, "");
    // A reader of the output that goes away (| head) must not end a run half way: the lines are in
    // the log file all the same.
    std::signal(SIGPIPE, SIG_IGN);
    return run(std::vector<std::string_view>(argv + 1, argv + argc));
}
