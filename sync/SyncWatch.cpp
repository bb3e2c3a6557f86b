#include "sync/SyncWatch.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/Folders.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Versions.h"
#include "sync/CarriedRenames.h"
#include "sync/DeleteAbsent.h"
#include "sync/DiskApplier.h"
#include "sync/EditedPlan.h"
#include "sync/OneWayPass.h"
#include "sync/Parameters.h"
#include "sync/PlanApplier.h"
#include "sync/PreviewApplier.h"
#include "sync/RunState.h"
#include "sync/SyncFolder.h"
#include "sync/TwoWayPass.h"
#include "watch/EventLog.h"

namespace tessel {

namespace {

// The folder part of a program path, its last "/" included; empty for a bare name.
std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Old versions go from the trees the watch writes in, each removal logged with the wide log and shown by
// a preview; the source of a one-way watch is not the watch's to tidy.
void removeExpiredVersions(RunState& run, Applier& applier, const std::vector<std::string>& roots,
                           bool wideLog) {
    for (const std::string& root : roots) {
        std::error_code error;
        const platform::Folder folder = platform::Folder::open(root, error);
        if (!folder.valid()) continue;
        for (const std::string& stamp : platform::expiredVersions(
                 root, run.context.options.versionDays, platform::clockNow(), run.fileSystems().of(folder))) {
            const std::string path =
                withTrailingSlash(root) + std::string(platform::kVersionsFolderName) + "/" + stamp;
            if (applier.plan() != nullptr && !applier.plan()->holds(RunAction::Kind::RemoveOldVersions, path))
                continue;
            run.report(RunAction::Kind::RemoveOldVersions, path);
            applier.removeVersions(root, stamp);
            if (wideLog) run.log("Removed old versions " + path);
        }
    }
}

// The after-sync program, started and waited for, its end logged.
void runProgram(RunState& run, const Watch& watch) {
    RunDisplay& display = run.context.display;
    display.showRunningProgram(escapeControls(watch.program));
    WriteLogLine(run.context, "Start " + watch.program);
    platform::ProcessEnd end;
    const bool started = RunAndWait(watch.program, watch.programArgs, end);
    WriteLogLine(run.context, (started ? "Ok Worked " : "Abnormal Stop ") + watch.program);
    if (!started)
        run.failure("Error running program " + watch.program + ": " + end.startError.message());
    else if (end.signal != 0)
        run.failure("Error running program " + watch.program + ": ended by signal " + end.signalName());
    else if (end.exitStatus != 0)
        run.failure("Error running program " + watch.program + ": exit status " +
                    std::to_string(end.exitStatus));
    display.setStatusText("");
}

}  // namespace

bool RunAndWait(const std::string& Program, const std::string& Parameters, platform::ProcessEnd& end) {
    const auto arguments = splitParameters(Parameters);
    if (!arguments) {
        end.startError = std::make_error_code(std::errc::invalid_argument);  // unbalanced quotes
        return false;
    }
    return platform::spawnAndWait(Program, *arguments, folderOf(Program), end, end.startError);
}

WatchRoots watchRoots(const std::string& SourceDir, const std::string& DestDir, bool copyWithRoot) {
    // Worked out from the text first: "docs/.." must not make the root folder's name "..".
    WatchRoots roots{platform::normalisePath(SourceDir), platform::normalisePath(DestDir)};
    if (copyWithRoot) {
        // "/data/reports" into "/backup" goes to "/backup/reports"; a source ending in "/" has no
        // name of its own and leaves the destination as it is.
        const auto slash = roots.source.rfind('/');
        const std::string rootName =
            slash == std::string::npos ? roots.source : roots.source.substr(slash + 1);
        if (!rootName.empty() && rootName != "." && rootName != "..") roots.destination += "/" + rootName;
    }
    return roots;
}

RunResult runWatch(RunContext& context, const Watch& watch, Doing doing, const RunInputs& inputs) {
    const RunScope* const scope = inputs.scope;
    RunDisplay& display = context.display;
    RunState run(context, doing == Doing::Preview ? RunState::Output::ObserverOnly : RunState::Output::Log);
    run.scope = scope;
    std::unique_ptr<Applier> applier;
    if (doing == Doing::Preview)
        applier = std::make_unique<PreviewApplier>(run);
    else
        applier = std::make_unique<DiskApplier>(run);
    if (inputs.plan != nullptr)
        applier = std::make_unique<PlanApplier>(run, std::move(applier), *inputs.plan);
    run.learnOwnFiles();
    const WatchRoots roots = watchRoots(watch.source, watch.destination, watch.withRootFolder);
    const std::string& source = roots.source;
    const std::string& destination = roots.destination;
    // A list with no mask still makes the destination's folders, and copies nothing.
    const std::vector<std::string> masks = watch.masks.empty() ? std::vector<std::string>{""} : watch.masks;
    const std::int32_t tuneMode = storedTune(watch.tune);  // -1: nothing crosses
    const bool move = watch.action == WatchAction::Move;
    // What of the trees every walk of this run takes: the watch's excludes, hidden files and links.
    const WalkRules rules = WalkRules::of(watch);

    std::error_code error;
    const auto refuse = [&](const std::string& line) {
        if (!line.empty()) run.failure(line);
        display.setStatusText("");
        display.setProgressVisible(false);
        return run.result;
    };
    // An empty folder field would mean the root of the file system: the whole of it copied, or deleted
    // in.
    if (watch.source.empty() || watch.destination.empty())
        return refuse("Error in the watch of folder " + watch.source + " with folder " + watch.destination +
                      ": its " + (watch.source.empty() ? "source" : "destination") +
                      " folder is not set; nothing was done");
    // A source that is not there (an unplugged disk, a mistyped path) is an error, and the run then
    // creates, copies and deletes nothing: with both directions it would copy the whole destination
    // into a new, empty source.
    const platform::Folder sourceRoot = platform::Folder::open(withTrailingSlash(source), error);
    if (!sourceRoot.valid())
        return refuse("Error opening folder " + withTrailingSlash(source) + ": " + error.message());
    // The root-name folder that "Copy with root folder" makes is Tessel's: a link put there in its place
    // would take the run's writes, deletions and reads elsewhere.
    if (destination != platform::normalisePath(watch.destination)) {
        run.madeRoot = withTrailingSlash(destination);
        if (!run.openRoot(run.madeRoot, error).valid() && error == platform::WalkError::SymbolicLink)
            return refuse("Error opening folder " + run.madeRoot + ": " + error.message());
    }

    // One thread reads the source ahead to size the bar; with several, a count goes on beside the run
    // and gives the bar its end when it has the whole (a part of it would make a bar that runs ahead).
    // Only once the roots are known good: an empty field would have it count the whole file system. The
    // source's file system is tried before the count begins, as a count ahead of the run tries it before
    // the run: a probe there while the run reads the root's times would give them the probe's. A run of a
    // few folders counts nothing: reading the whole tree would cost more than the run, whose bar has no end.
    const bool countAside = context.options.jobs > 1 && scope == nullptr;
    display.setProgressRange(0, countAside || scope != nullptr ? 0 : CountFiles(source, rules));
    display.setProgressPosition(0);
    display.setProgressVisible(true);
    std::optional<FileCountAhead> countAhead;
    if (countAside) {
        run.fileSystems().of(sourceRoot);
        countAhead.emplace(source, rules, display, run.fileSystems());
    }

    // Both directions with copies: one walk over both trees that remembers the last run, for all masks.
    const bool twoWay = watch.bothDirections && !move;
    std::vector<std::string> writtenRoots = {destination};
    if (watch.bothDirections) writtenRoots.push_back(source);
    removeExpiredVersions(run, *applier, writtenRoots, watch.logEachFile);

    // A watch that moves files and deletes absent ones would delete, on every later run, the only copies
    // of what its earlier runs moved: it moves, and deletes nothing.
    const bool moveRefusesDeletion = watch.deleteAbsentFiles && move;
    if (moveRefusesDeletion)
        run.failure("Error deleting absent files of Synhro folder " + watch.source + " with folder " +
                    watch.destination +
                    ": a watch that moves files never deletes absent files, or the files it moved would be "
                    "deleted; the deletions were skipped");
    const bool deleting = watch.deleteAbsentFiles && !twoWay && !moveRefusesDeletion;
    run.deletionsFollow = deleting;
    run.rememberFolders = move && masks.size() > 1;
    // What the trees held at the start that the masks cover, for the mass-deletion guard. A run of a few
    // folders counts the whole watch too, but only once it has something to delete, and then takes away
    // the files its copies made.
    std::int64_t sourceHeld = deleting && scope == nullptr ? countMatchingFiles(source, masks, rules) : 0;
    std::int64_t destinationHeld =
        deleting && scope == nullptr ? countMatchingFiles(destination, masks, rules) : 0;

    if (twoWay) {
        const TwoWaySettings settings{masks, tuneMode, watch.deleteAbsentFiles, watch.logEachFile, rules};
        // A state that cannot be read stops the watch, as a missing source does (its line is logged).
        if (!run.stopRequested() && !TwoWayPass(run, *applier, settings, source, destination).run())
            return refuse({});
    } else {
        // A copy carries the renames seen in its source over as renames; a move empties the source anyway.
        if (scope != nullptr && !move) {
            const std::string roots[2] = {withTrailingSlash(source), withTrailingSlash(destination)};
            carryRenames(run, *applier, scope->renames(), roots, {masks, &rules, false}, nullptr);
        }
        for (const std::string& mask : masks) {
            if (run.stopRequested()) break;
            const OneWaySettings settings{mask, tuneMode, move, watch.logEachFile, rules};
            OneWayPass(run, *applier, settings, source, destination).run();
            if (watch.bothDirections && !run.stopRequested())
                OneWayPass(run, *applier, settings, destination, source).run();
        }
    }
    // Every deletion of every mask is decided before the first is made, so the guard, asked once, sees
    // them all: it deletes all of them or none. Only one way: copies both ways are a two-way watch, and a
    // move deletes nothing.
    if (deleting && !run.stopRequested()) {
        run.learnOwnFiles();
        std::vector<DeletionPlan> plans;
        for (const std::string& mask : masks) {
            if (run.stopRequested()) break;
            plans.push_back(planDeletions(run, *applier, source, destination, mask, rules));
        }
        const auto deletes = [](const DeletionPlan& plan) { return plan.fileCount() > 0; };
        if (scope != nullptr && std::any_of(plans.begin(), plans.end(), deletes)) {
            sourceHeld = countMatchingFiles(source, masks, rules);
            destinationHeld = countMatchingFiles(destination, masks, rules) - run.filesMade;
        }
        if (!run.stopRequested() && deletionsAllowed(run, plans, destinationHeld, sourceHeld))
            for (const DeletionPlan& plan : plans) applier->executeDeletions(plan, watch.logEachFile);
    }
    applier->drain();
    if (!run.stopRequested()) applier->finish();
    display.setStatusText("");
    run.result.stopped = run.stopRequested();
    if (!run.result.stopped) display.completeProgress();
    if (!watch.program.empty() && !run.result.stopped && doing == Doing::Run) runProgram(run, watch);
    display.setProgressVisible(false);
    return run.result;
}

RunResult SyncWatch(RunContext& context, const std::string& SourceDir, const std::string& DestDir,
                    const std::string& FileMask, const std::string& RunFile, std::uint8_t FileAction,
                    const TWatchRec& Watch, Doing doing, const RunInputs& inputs) {
    tessel::Watch watch = watchFromRecord(Watch, WatchExtras{});
    watch.source = SourceDir;
    watch.destination = DestDir;
    watch.masks = splitMasks(FileMask);
    watch.program = RunFile;
    watch.action = FileAction == faCopy ? WatchAction::Copy : WatchAction::Move;
    return runWatch(context, watch, doing, inputs);
}

}  // namespace tessel
