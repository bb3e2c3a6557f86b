#include "sync/SyncWatch.h"

#include <algorithm>
#include <vector>

#include "platform/Folders.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Versions.h"
#include "sync/DeleteAbsent.h"
#include "sync/Parameters.h"
#include "sync/SyncFolder.h"
#include "sync/TwoWay.h"
#include "sync/WalkSupport.h"
#include "watch/EventLog.h"

namespace tessel {

namespace {

// The status word shown while the after-sync program runs ("running").
constexpr const char* kRunningStatus = "Выполняется ";

std::string normalisedMaskList(std::string masks) {
    std::replace(masks.begin(), masks.end(), ',', ';');
    std::replace(masks.begin(), masks.end(), ':', ';');
    return masks;
}

// The folder part of a program path, its last "/" included; empty for a bare name.
std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
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

RunResult SyncWatch(RunContext& context, const std::string& SourceDir, const std::string& DestDir,
                    const std::string& FileMask, const std::string& RunFile, std::uint8_t FileAction,
                    const TWatchRec& Watch) {
    RunDisplay& display = context.display;
    RunState run(context);
    const WatchRoots roots = watchRoots(SourceDir, DestDir, isOn(Watch.CopyWithRoot));
    const std::string& source = roots.source;
    const std::string& destination = roots.destination;

    // One thread reads the source ahead to size the bar; several count as the first pass lists it.
    run.countingFiles = context.options.jobs > 1;
    display.setProgressRange(0, run.countingFiles ? 0 : CountFiles(source));
    display.setProgressPosition(0);
    display.setProgressVisible(true);

    // A source that is not there (an unplugged disk, a mistyped path) is an error, and the run then
    // creates, copies and deletes nothing: with both directions it would copy the whole destination
    // into a new, empty source.
    std::error_code error;
    const auto refuse = [&](const std::string& path) {
        run.failure("opening folder", path, error);
        display.setStatusText("");
        display.setProgressVisible(false);
        return run.result;
    };
    if (!platform::Folder::open(withTrailingSlash(source), error).valid())
        return refuse(withTrailingSlash(source));
    // The root-name folder that "Copy with root folder" makes is Tessel's: a link put there in its place
    // would take the run's writes, deletions and reads elsewhere.
    if (destination != platform::normalisePath(DestDir)) {
        run.madeRoot = withTrailingSlash(destination);
        if (!run.openRoot(run.madeRoot, error).valid() && error == platform::WalkError::SymbolicLink)
            return refuse(run.madeRoot);
    }

    std::string maskList = normalisedMaskList(getText(Watch.FileMask));

    // Versions older than the settings say go from the roots this run visits.
    if (!context.preview)
        for (const std::string& root : {source, destination})
            platform::removeOldVersions(root, context.options.versionDays, platform::clockNow());

    // Both directions with copies: one walk over both trees that remembers the last run, for all masks.
    const bool twoWay = isOn(Watch.BiDirect) && FileAction == faCopy;
    std::vector<std::string> twoWayMasks;

    // What the trees held at the start, for the mass-deletion guard.
    const bool deleting = isOn(Watch.DeleteAbsent) && !twoWay;
    run.deletionsFollow = deleting;
    const std::int64_t sourceHeld = deleting ? countFiles(source) : 0;
    const std::int64_t destinationHeld = deleting ? countFiles(destination) : 0;
    std::int64_t deletedFromDestination = 0, deletedFromSource = 0;
    bool guardRefused = false;

    const auto runMask = [&](const std::string& mask) {
        if (run.stopRequested()) return;
        if (twoWay) return twoWayMasks.push_back(mask);
        syncFolder(run, source, destination, mask, FileAction, Watch);
        run.countingFiles = false;
        if (isOn(Watch.BiDirect) && !run.stopRequested())
            syncFolder(run, destination, source, mask, FileAction, Watch);
        if (!deleting || run.stopRequested() || guardRefused) return;
        // Every deletion of the mask is decided before the first is made, so the guard sees them all.
        const DeletionPlan forward = planDeletions(run, source, destination, mask);
        const DeletionPlan reverse = isOn(Watch.BiDirect) && !run.stopRequested()
                                         ? planDeletions(run, destination, source, mask)
                                         : DeletionPlan{};
        if (run.stopRequested()) return;
        deletedFromDestination += forward.fileCount();
        deletedFromSource += reverse.fileCount();
        if (!deletionsAllowed(run, forward, deletedFromDestination, destinationHeld, sourceHeld) ||
            !deletionsAllowed(run, reverse, deletedFromSource, sourceHeld, destinationHeld)) {
            guardRefused = true;
            return;
        }
        executeDeletions(run, forward, isOn(Watch.WideLog));
        executeDeletions(run, reverse, isOn(Watch.WideLog));
    };

    if (!maskList.empty() && maskList.find(';') != std::string::npos) {
        // Masks are not trimmed: an empty piece runs as an empty mask, which matches no file but still
        // makes the destination folders.
        for (auto separator = maskList.find(';'); separator != std::string::npos;
             separator = maskList.find(';')) {
            const std::string mask = maskList.substr(0, separator);
            maskList.erase(0, separator + 1);
            runMask(mask);
        }
        if (!maskList.empty()) runMask(maskList);
    } else {
        runMask(FileMask);
    }
    if (twoWay && !run.stopRequested()) syncTwoWay(run, source, destination, twoWayMasks, Watch);
    display.setStatusText("");
    run.result.stopped = run.stopRequested();

    if (!RunFile.empty() && !run.result.stopped && !context.preview) {
        display.setStatusText(kRunningStatus + escapeControls(RunFile));
        WriteLogLine(context, "Start " + RunFile);
        platform::ProcessEnd end;
        const bool started = RunAndWait(RunFile, getText(Watch.RunParams), end);
        WriteLogLine(context, (started ? "Ok Worked " : "Abnormal Stop ") + RunFile);
        if (!started)
            run.failure("Error running program " + RunFile + ": " + end.startError.message());
        else if (end.signal != 0)
            run.failure("Error running program " + RunFile + ": ended by signal " + end.signalName());
        else if (end.exitStatus != 0)
            run.failure("Error running program " + RunFile + ": exit status " +
                        std::to_string(end.exitStatus));
        display.setStatusText("");
    }
    display.setProgressVisible(false);
    return run.result;
}

}  // namespace tessel
