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

namespace {

// The masks of a list in the order they run. Masks are not trimmed: an empty piece runs as an empty
// mask, which matches no file but still makes the destination folders.
std::vector<std::string> splitMaskList(const std::string& FileMask) {
    std::string maskList = normalisedMaskList(FileMask);
    std::vector<std::string> masks;
    if (maskList.empty() || maskList.find(';') == std::string::npos) return {FileMask};
    for (auto separator = maskList.find(';'); separator != std::string::npos;
         separator = maskList.find(';')) {
        masks.push_back(maskList.substr(0, separator));
        maskList.erase(0, separator + 1);
    }
    if (!maskList.empty()) masks.push_back(maskList);
    return masks;
}

// Old versions go from the trees the watch writes in, each removal logged with the wide log and shown by
// a preview; the source of a one-way watch is not the watch's to tidy.
void removeExpiredVersions(RunState& run, const std::vector<std::string>& roots, bool wideLog) {
    for (const std::string& root : roots) {
        for (const std::string& stamp :
             platform::expiredVersions(root, run.context.options.versionDays, platform::clockNow())) {
            const std::string path =
                withTrailingSlash(root) + std::string(platform::kVersionsFolderName) + "/" + stamp;
            run.report(RunAction::Kind::RemoveOldVersions, path);
            if (run.preview()) continue;
            platform::removeVersions(root, stamp);
            if (wideLog) WriteLogLine(run.context, "Removed old versions " + path);
        }
    }
}

}  // namespace

RunResult SyncWatch(RunContext& context, const std::string& SourceDir, const std::string& DestDir,
                    const std::string& FileMask, const std::string& RunFile, std::uint8_t FileAction,
                    const TWatchRec& Watch) {
    RunDisplay& display = context.display;
    RunState run(context);
    run.learnOwnFiles();
    const WatchRoots roots = watchRoots(SourceDir, DestDir, isOn(Watch.CopyWithRoot));
    const std::string& source = roots.source;
    const std::string& destination = roots.destination;
    const std::vector<std::string> masks = splitMaskList(FileMask);

    // One thread reads the source ahead to size the bar; several count as the first pass lists it.
    run.countingFiles = context.options.jobs > 1;
    display.setProgressRange(0, run.countingFiles ? 0 : CountFiles(source));
    display.setProgressPosition(0);
    display.setProgressVisible(true);

    std::error_code error;
    const auto refuse = [&](const std::string& line) {
        run.failure(line);
        display.setStatusText("");
        display.setProgressVisible(false);
        return run.result;
    };
    // An empty folder field would mean the root of the file system: the whole of it copied, or deleted
    // in.
    if (SourceDir.empty() || DestDir.empty())
        return refuse("Error in the watch of folder " + SourceDir + " with folder " + DestDir + ": its " +
                      (SourceDir.empty() ? "source" : "destination") +
                      " folder is not set; nothing was done");
    // A source that is not there (an unplugged disk, a mistyped path) is an error, and the run then
    // creates, copies and deletes nothing: with both directions it would copy the whole destination
    // into a new, empty source.
    if (!platform::Folder::open(withTrailingSlash(source), error).valid())
        return refuse("Error opening folder " + withTrailingSlash(source) + ": " + error.message());
    // The root-name folder that "Copy with root folder" makes is Tessel's: a link put there in its place
    // would take the run's writes, deletions and reads elsewhere.
    if (destination != platform::normalisePath(DestDir)) {
        run.madeRoot = withTrailingSlash(destination);
        if (!run.openRoot(run.madeRoot, error).valid() && error == platform::WalkError::SymbolicLink)
            return refuse("Error opening folder " + run.madeRoot + ": " + error.message());
    }

    // Both directions with copies: one walk over both trees that remembers the last run, for all masks.
    const bool twoWay = isOn(Watch.BiDirect) && FileAction == faCopy;
    const bool wideLog = isOn(Watch.WideLog);
    std::vector<std::string> writtenRoots = {destination};
    if (isOn(Watch.BiDirect)) writtenRoots.push_back(source);
    removeExpiredVersions(run, writtenRoots, wideLog);

    // A watch that moves files and deletes absent ones would delete, on every later run, the only copies
    // of what its earlier runs moved: it moves, and deletes nothing.
    const bool moveRefusesDeletion = isOn(Watch.DeleteAbsent) && FileAction != faCopy;
    if (moveRefusesDeletion)
        run.failure("Error deleting absent files of Synhro folder " + SourceDir + " with folder " + DestDir +
                    ": a watch that moves files never deletes absent files, or the files it moved would be "
                    "deleted; the deletions were skipped");
    const bool deleting = isOn(Watch.DeleteAbsent) && !twoWay && !moveRefusesDeletion;
    run.rememberFolders = FileAction != faCopy && masks.size() > 1;
    run.deletionsFollow = deleting;
    // What the trees held at the start that the masks cover, for the mass-deletion guard.
    const std::int64_t sourceHeld = deleting ? countMatchingFiles(source, masks) : 0;
    const std::int64_t destinationHeld = deleting ? countMatchingFiles(destination, masks) : 0;

    if (twoWay) {
        // A state that cannot be read stops the watch, as a missing source does (its line is logged).
        if (!run.stopRequested() && !syncTwoWay(run, source, destination, masks, Watch)) {
            display.setStatusText("");
            display.setProgressVisible(false);
            return run.result;
        }
    } else {
        for (const std::string& mask : masks) {
            if (run.stopRequested()) break;
            syncFolder(run, source, destination, mask, FileAction, Watch);
            run.countingFiles = false;
            if (isOn(Watch.BiDirect) && !run.stopRequested())
                syncFolder(run, destination, source, mask, FileAction, Watch);
        }
    }
    // Every deletion of every mask is decided before the first is made, so the guard, asked once per
    // tree, sees them all: it deletes all of them or none.
    if (deleting && !run.stopRequested()) {
        run.learnOwnFiles();
        std::vector<DeletionPlan> forward, reverse;
        for (const std::string& mask : masks) {
            if (run.stopRequested()) break;
            forward.push_back(planDeletions(run, source, destination, mask));
            if (isOn(Watch.BiDirect)) reverse.push_back(planDeletions(run, destination, source, mask));
        }
        if (!run.stopRequested() && deletionsAllowed(run, forward, destinationHeld, sourceHeld) &&
            (reverse.empty() || deletionsAllowed(run, reverse, sourceHeld, destinationHeld))) {
            for (std::size_t i = 0; i < forward.size(); ++i) {
                executeDeletions(run, forward[i], wideLog);
                if (i < reverse.size()) executeDeletions(run, reverse[i], wideLog);
            }
        }
    }
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
