#include "sync/SyncWatch.h"

#include <algorithm>
#include <vector>

#include "platform/Process.h"
#include "sync/DeleteAbsent.h"
#include "sync/Parameters.h"
#include "sync/SyncFolder.h"
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

bool RunAndWait(const std::string& Program, const std::string& Parameters) {
    const auto arguments = splitParameters(Parameters);
    if (!arguments) return false;  // unbalanced quotes: not started
    std::error_code error;
    return platform::spawnAndWait(Program, *arguments, folderOf(Program), error);
}

RunResult SyncWatch(RunContext& context, const std::string& SourceDir, const std::string& DestDir,
                    const std::string& FileMask, const std::string& RunFile, std::uint8_t FileAction,
                    const TWatchRec& Watch) {
    RunDisplay& display = context.display;
    RunResult result;
    display.setProgressRange(0, CountFiles(SourceDir));
    display.setProgressPosition(0);
    display.setProgressVisible(true);

    std::string maskList = normalisedMaskList(getText(Watch.FileMask));

    std::string destination = DestDir;
    if (isOn(Watch.CopyWithRoot)) {
        // "/data/reports" into "/backup" goes to "/backup/reports"; a source ending in "/" has no
        // name of its own and leaves the destination as it is.
        const std::string source = getText(Watch.SourceDir);
        const auto slash = source.rfind('/');
        const std::string rootName = slash == std::string::npos ? source : source.substr(slash + 1);
        if (!rootName.empty()) destination = DestDir + "/" + rootName;
    }

    const auto runMask = [&](const std::string& mask) {
        if (context.stopRequested()) return;
        result += SyncFolder(context, SourceDir, destination, mask, FileAction, Watch);
        if (isOn(Watch.BiDirect) && !context.stopRequested())
            result += SyncFolder(context, destination, SourceDir, mask, FileAction, Watch);
        if (isOn(Watch.DeleteAbsent)) {
            if (!context.stopRequested()) result += DeleteAbsentFiles(context, SourceDir, destination, mask);
            if (isOn(Watch.BiDirect) && !context.stopRequested())
                result += DeleteAbsentFiles(context, destination, SourceDir, mask);
        }
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
    display.setStatusText("");
    result.stopped = context.stopRequested();

    if (!RunFile.empty() && !result.stopped) {
        display.setStatusText(kRunningStatus + RunFile);
        WriteLogLine(context, "Start " + RunFile);
        const bool started = RunAndWait(RunFile, getText(Watch.RunParams));
        WriteLogLine(context, (started ? "Ok Worked " : "Abnormal Stop ") + RunFile);
        display.setStatusText("");
    }
    display.setProgressVisible(false);
    return result;
}

}  // namespace tessel
