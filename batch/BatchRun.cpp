#include "batch/BatchRun.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <system_error>

#include "TesselVersion.h"
#include "batch/BatchCommands.h"
#include "batch/BatchConsole.h"
#include "batch/BatchOptions.h"
#include "batch/FollowCommand.h"
#include "batch/RootWarnings.h"
#include "batch/VersionCommands.h"
#include "platform/FileIo.h"
#include "platform/Paths.h"
#include "platform/StopSignal.h"
#include "sync/RunContext.h"
#include "sync/Scheduler.h"
#include "watch/Settings.h"
#include "watch/StartFolder.h"
#include "watch/WatchStore.h"
#include "watch/WatchText.h"

namespace tessel::batch {

namespace {

// The context of the run in progress, for the stop signals.
std::atomic<RunContext*> g_runContext{nullptr};

void stopRun() {
    if (RunContext* context = g_runContext.load()) context->requestStop();
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

}  // namespace

int runBatch(const std::vector<std::string_view>& arguments, NoticeSender& notices) {
    Console console;
    Options options;
    std::string problem;
    if (!parseArguments(arguments, options, problem)) {
        console.printError("tessel-batch: " + problem + "\nTry 'tessel-batch --help' for the usage.");
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(kBatchUsage, stdout);
        return kExitOk;
    }
    if (options.version) {
        std::printf("tessel-batch %s\n", kTesselVersion);
        return kExitOk;
    }
    console.setOutput(options.output);
    if (!enterFolder(options, console)) return kExitUsage;
    RunOptions runOptions;
    if (!completePaths(options, runOptions, console)) return kExitUsage;
    // add and import make the watch file; everything else needs one.
    // follow waits for watches to follow as long as it runs, as a service started at login does.
    const bool makesWatches = options.mode == Options::Mode::Command &&
                              (options.command.word == "add" || options.command.word == "import" ||
                               (options.command.word == "follow" && options.command.follow.empty()));
    if (!makesWatches && !platform::fileExists(options.watchFile)) {
        console.printError("tessel-batch: no watch file " + options.watchFile);
        return kExitUsage;
    }

    RunContext context{console, console, options.watchFile, options.logFile};
    context.options = runOptions;
    if (options.jobs > 0) context.options.jobs = options.jobs;
    if (options.mode == Options::Mode::List) return listWatches(context, console);
    if (options.mode == Options::Mode::Command && options.command.word == "follow") {
        if (!options.command.follow.empty()) return pauseFollowing(context, console, options.command);
        // Ended by a stop signal, as its service is: a run in hand stops at the next file.
        g_runContext.store(&context);
        platform::catchStopSignals(&stopRun);
        const int status = followWatches(context, notices, options.notify);
        g_runContext.store(nullptr);
        return status;
    }
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
    struct Forget {
        ~Forget() { g_runContext.store(nullptr); }
    } forget;
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
    } else if (options.mode == Options::Mode::Plan) {
        total = runPlan(context, console, options.planFile, unreadable);
    } else {
        total = runWatches(context, console, options.watches, unreadable);
    }
    if (total.unsaved > 0)
        console.printError("tessel-batch: the last run time of " + std::to_string(total.unsaved) +
                           " watch(es) could not be saved in " + context.WatchFilePath);
    if (total.unsavedResults > 0)
        console.printError("tessel-batch: the last result of " + std::to_string(total.unsavedResults) +
                           " watch(es) could not be kept in " + textFilePath(context.WatchFilePath));
    if (console.unloggedLines() > 0)
        console.printError("tessel-batch: " + std::to_string(console.unloggedLines()) +
                           " log line(s) could not be written to " + context.LogFilePath + ": " +
                           console.logReason().message() + "; they are on standard output");
    if (total.result.needsAttention() || total.unsaved > 0 || console.messagesShown() > 0 ||
        console.unloggedLines() > 0 || unreadable)
        status = kExitFailed;
    if (total.missing > 0) status = kExitUsage;
    if (options.notify) sendNotices(total, notices);
    if (const int signal = platform::stopSignal(); signal != 0) {
        console.printError(std::string("tessel-batch: stopped by ") + platform::signalName(signal));
        status = platform::exitStatusFor(signal);
    }
    return status;
}

}  // namespace tessel::batch
