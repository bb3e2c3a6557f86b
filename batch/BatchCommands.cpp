#include "batch/BatchCommands.h"

#include <cstdio>
#include <optional>
#include <system_error>

#include "batch/WatchListing.h"
#include "platform/Clock.h"
#include "platform/FileIo.h"
#include "sync/EditedPlan.h"
#include "sync/Preview.h"
#include "sync/Scheduler.h"
#include "watch/EventLog.h"
#include "watch/WatchText.h"

namespace tessel::batch {

namespace {

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

// The reading of a file given to import or a plan to run, or of standard input for "-": reading stops
// once the text is longer than `limit` bytes (a whole number of MiB, as the refusal says it).
bool readInput(const std::string& file, std::uint64_t limit, std::string& text, Console& console) {
    std::error_code error;
    const bool read = file == "-" ? platform::readStandardInput(limit, text, error)
                                  : platform::readSmallFile(file, limit, text, error);
    if (!read)
        console.printError(
            "tessel-batch: cannot read " + (file == "-" ? std::string("standard input") : file) + ": " +
            (error == std::errc::file_too_large ? "larger than " + std::to_string(limit >> 20) + " MiB"
                                                : error.message()));
    return read;
}

// The most a plan may hold: some 300,000 rows.
constexpr std::uint64_t kMaxPlanSize = 64ull << 20;

}  // namespace

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
    const TDateTime now = Now();
    for (const StoredWatch& stored : list.watches) {
        const std::string line = watchListLine(static_cast<std::size_t>(stored.position), stored.record,
                                               context.options.keepVersions, stored.watch.name,
                                               stored.watch.lastResult, now, &stored.watch) +
                                 "\n";
        std::fputs(line.c_str(), stdout);
    }
    std::fflush(stdout);
    return kExitOk;
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
        // The moment the plan is of, for a run of it as edited (--plan): what changed after it is left.
        const platform::WallClock madeAt = platform::fileClockNextTick();
        // A plan only of a watch there is.
        const bool known = position && ReadWatchRec(context, *position).WatchIndex >= 0;
        if (known) std::printf("%s\n", planHeader(*position, name, madeAt).c_str());
        const SchedulerReport report = known ? previewWatchNow(context, *position, printer) : missingWatch();
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

SchedulerReport runPlan(RunContext& context, Console& console, const std::string& file, bool& unreadable) {
    std::string text;
    if (!readInput(file, kMaxPlanSize, text, console)) {
        unreadable = true;
        return {};
    }
    SchedulerReport refused;
    refused.missing = 1;  // a usage error
    EditedPlan plan;
    PlanWatch planned;
    std::string problem;
    if (!readPlanText(text, plan, planned, problem)) {
        console.printError("tessel-batch: " + file + " is no plan: " + problem);
        return refused;
    }
    // The watch at the plan's position must still be the one the plan is of: after a watch before it
    // is removed, another one is there. A plan without a name (printed before plans had one) is of
    // whatever watch is there.
    WatchList list;
    if (!loadOrSay(context.WatchFilePath, list, console)) {
        unreadable = true;
        return {};
    }
    const std::string position = std::to_string(planned.position);
    const StoredWatch* found = nullptr;
    for (const StoredWatch& stored : list.watches)
        if (stored.position == planned.position) found = &stored;
    const std::string of = "watch " + position + (planned.name ? " (" + *planned.name + ")" : "");
    if (found == nullptr) {
        console.printError("tessel-batch: " + file + " is a plan of " + of + ", which is not in " +
                           context.WatchFilePath + "; nothing was run");
        return refused;
    }
    if (planned.name && found->watch.name != *planned.name) {
        console.printError("tessel-batch: " + file + " is a plan of " + of + ", but watch " + position +
                           " is now " + found->watch.name + "; nothing was run");
        return refused;
    }
    return checkWatchNow(context, planned.position, {&plan});
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
        total += report;
    }
    return total;
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
        if (!readInput(command.file, kMaxWatchTextSize, text, console)) return kExitFailed;
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
}  // namespace tessel::batch
