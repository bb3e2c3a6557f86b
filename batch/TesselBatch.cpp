// tessel-batch: Tessel's engine without the window, for servers, cron, systemd timers and scripts.
// It runs watches the way the window's Check Now and timer pass do, prints every log line on stdout
// and turns message boxes into lines on stderr.

#include <atomic>
#include <charconv>
#include <chrono>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "TesselVersion.h"
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
#include "watch/WatchFile.h"
#include "watch/WatchRec.h"

namespace {

using namespace tessel;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "Usage: tessel-batch [FOLDER OPTION] [--watch-file PATH] [--log-file PATH] --list\n"
    "       tessel-batch [FOLDER OPTION] [--watch-file PATH] [--log-file PATH] --due\n"
    "       tessel-batch [FOLDER OPTION] [--watch-file PATH] [--log-file PATH] INDEX [INDEX ...]\n"
    "       tessel-batch [FOLDER OPTION] [--watch-file PATH] --preview INDEX [INDEX ...]\n"
    "\n"
    "Runs Tessel's watches without the window.\n"
    "\n"
    "  --list              print one line per watch: index, run mode, period, file action, tune mode,\n"
    "                      flags, last run, source, destination, masks (separated by tabs)\n"
    "  --due               run every timed watch that is due now, in file order\n"
    "  INDEX ...           run these watches now, whatever their run mode (like Check Now)\n"
    "  --jobs N            copy, examine and delete with N threads (Jobs in Tessel.ini; default:\n"
    "                      one per core, at most eight; 1 does everything on one thread)\n"
    "  --preview INDEX ... print what running these watches now would do, one line per action\n"
    "                      and a total line, and change nothing (also --dry-run)\n"
    "  --watch-file PATH   the watch file to use\n"
    "  --log-file PATH     the log file to append to\n"
    "  --folder DIR        work in DIR (made when missing) instead of the current folder\n"
    "  --user-folder       work in $XDG_DATA_HOME/tessel (~/.local/share/tessel), as Tessel started\n"
    "                      from the desktop menu does\n"
    "  --version           print the version\n"
    "  --help              print this text\n"
    "\n"
    "Without --watch-file or --log-file the paths come from Tessel.ini in the folder Tessel works in\n"
    "(the current folder unless a folder option names another), or, when there is none, are\n"
    "Data/WatchDef.wth and WatchLog.Log under that folder. Tessel.ini is never written.\n"
    "\n"
    "Exit status: 0 when every copy, move and deletion succeeded, 1 when any failed, a file could\n"
    "not be written, the mass-deletion guard refused deletions or a two-way watch met a conflict,\n"
    "2 for a usage error, a folder option that cannot be made or entered, an unreadable Tessel.ini,\n"
    "a missing watch file or an INDEX with no watch, 130 or 143 when SIGINT or SIGTERM stopped the\n"
    "run (the file in hand is finished or left as it was, and the stop is logged).\n";

struct Options {
    enum class Mode { None, List, Due, Run };
    Mode mode = Mode::None;
    std::string watchFile;
    std::string logFile;
    std::string folder;  // empty: the current folder
    std::vector<std::int32_t> indexes;
    bool help = false;
    bool version = false;
    bool preview = false;
    int jobs = 0;  // 0: as Tessel.ini says
};

bool parseIndex(std::string_view text, std::int32_t& index) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), index);
    return error == std::errc() && end == text.data() + text.size();
}

bool setMode(Options& options, Options::Mode mode, std::string& problem) {
    if (options.mode != Options::Mode::None && options.mode != mode) {
        problem = "give only one of --list, --due and INDEX";
        return false;
    }
    options.mode = mode;
    return true;
}

bool parseArguments(const std::vector<std::string_view>& arguments, Options& options, std::string& problem) {
    bool onlyIndexes = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        const bool isOption = !onlyIndexes && argument.starts_with("-");
        const FolderOption folder =
            isOption ? takeFolderOption(arguments, i, options.folder, problem) : FolderOption::NotOne;
        if (folder == FolderOption::Invalid) return false;
        if (folder == FolderOption::Taken) continue;
        if (isOption && argument == "--") {
            onlyIndexes = true;
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
        } else {
            std::int32_t index = 0;
            if (!parseIndex(argument, index)) {
                problem = "INDEX must be a watch number from 0 to 2147483647, not \"" +
                          std::string(argument) + "\"";
                return false;
            }
            if (!setMode(options, Options::Mode::Run, problem)) return false;
            options.indexes.push_back(index);
        }
    }
    if (!options.help && !options.version && options.mode == Options::Mode::None) {
        problem = "say what to do: --list, --due or INDEX";
        return false;
    }
    if (options.preview && options.mode != Options::Mode::Run) {
        problem = "--preview needs the INDEX of the watches to look at";
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
    // The log area's limit does not apply to a terminal: nothing is ever taken back.
    int logLineCount() const override { return 0; }
    void removeFirstLogLine() override {}

    void showMessage(const std::string& text) override { showWarning(text, "Tessel"); }
    void showWarning(const std::string& text, const std::string& caption) override {
        ++m_messages;
        printError(caption + ": " + text);
    }

    void printError(const std::string& text) {
        clearProgress();
        std::fprintf(stderr, "%s\n", escapeControls(text).c_str());
        std::fflush(stderr);
    }

    // Every message box stands for something that was not done or not saved.
    int messagesShown() const { return m_messages; }

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
    std::string m_current;
    std::chrono::steady_clock::time_point m_lastDraw;
};

// The context of the run in progress, for the stop signals.
std::atomic<RunContext*> g_runContext{nullptr};

void stopRun() {
    if (RunContext* context = g_runContext.load()) context->requestStop();
}

int listWatches(RunContext& context, Console& console) {
    std::vector<TWatchRec> watches;
    if (!readAllWatchRecs(context.WatchFilePath, watches)) {
        console.printError("tessel-batch: cannot read the watch file " + context.WatchFilePath);
        return kExitFailed;
    }
    for (std::size_t i = 0; i < watches.size(); ++i) {
        const std::string line = watchListLine(i, watches[i], context.options.keepVersions) + "\n";
        std::fputs(line.c_str(), stdout);
    }
    std::fflush(stdout);
    return kExitOk;
}

// Prints what a run of each watch would do now; changes nothing.
int previewWatches(RunContext& context, Console& console, const std::vector<std::int32_t>& indexes) {
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
    for (const std::int32_t index : indexes) {
        Printer printer;
        const SchedulerReport report = previewWatchNow(context, index, printer);
        if (report.missing > 0) {
            console.printError("tessel-batch: no watch " + std::to_string(index) + " in " +
                               context.WatchFilePath);
            status = kExitUsage;
            continue;
        }
        std::printf("watch %d: %s\n", index, totalsLine(printer.totals).c_str());
        if (report.result.needsAttention() && status == kExitOk) status = kExitFailed;
    }
    std::fflush(stdout);
    return status;
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
    for (std::string* path : {&options.watchFile, &options.logFile}) {
        if (!path->empty() && path->front() != '/') *path = platform::withTrailingSlash(here) + *path;
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
    if (!platform::fileExists(options.watchFile)) {
        console.printError("tessel-batch: no watch file " + options.watchFile);
        return kExitUsage;
    }

    RunContext context{console, console, options.watchFile, options.logFile};
    context.options = runOptions;
    if (options.jobs > 0) context.options.jobs = options.jobs;
    if (options.mode == Options::Mode::List) return listWatches(context, console);

    // SIGINT and SIGTERM end the run at the next file: nothing half-written, the stop logged.
    g_runContext.store(&context);
    platform::catchStopSignals(&stopRun);
    if (options.preview) return previewWatches(context, console, options.indexes);

    int status = kExitOk;
    SchedulerReport total;
    if (options.mode == Options::Mode::Due) {
        total = runDueWatches(context);
    } else {
        for (const std::int32_t index : options.indexes) {
            if (context.stopRequested()) break;
            const SchedulerReport report = checkWatchNow(context, index);
            if (report.missing > 0)
                console.printError("tessel-batch: no watch " + std::to_string(index) + " in " +
                                   context.WatchFilePath);
            total.missing += report.missing;
            total.unsaved += report.unsaved;
            total.busy += report.busy;
            total.result += report.result;
        }
    }
    if (total.unsaved > 0)
        console.printError("tessel-batch: the last run time of " + std::to_string(total.unsaved) +
                           " watch(es) could not be saved in " + context.WatchFilePath);
    if (total.result.needsAttention() || total.unsaved > 0 || console.messagesShown() > 0)
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
