#pragma once
// tessel-batch's command line: what it is asked to do, read from its arguments.

#include <string>
#include <string_view>
#include <vector>

#include "batch/VersionCommands.h"
#include "watch/WatchCheck.h"

namespace tessel::batch {

// The text of --help.
extern const char* const kBatchUsage;

// What the command words after the file options say.
struct Command {
    std::string word;                // empty for none
    std::string name;                // add, set, remove, show
    std::vector<std::string> names;  // export
    std::string file;                // import
    WatchEdit edit;                  // add, set
    VersionCommand versions;         // versions, restore
    std::string follow;              // follow: "" to follow, "pause" or "resume" (the watches in names)
};

struct Options {
    enum class Mode { None, List, Due, Run, Plan, Command };
    Mode mode = Mode::None;
    std::string watchFile;
    std::string logFile;
    std::string folder;                // empty: the current folder
    std::vector<std::string> watches;  // the names or positions to run or preview
    std::string planFile;              // --plan: an edited preview to run ("-": standard input)
    Command command;
    bool help = false;
    bool version = false;
    bool preview = false;
    int jobs = 0;  // 0: as Tessel.ini says
    // What a run prints on standard output: every log line, only the summaries, or nothing.
    enum class Output { LogLines, Summaries, Nothing };
    Output output = Output::LogLines;
    bool notify = true;  // a run that needs the user notifies the desktop
};

// Whether a WATCH of the command line is a position (all digits) rather than a name.
bool isPosition(std::string_view text);

// Reads the arguments after the program's name. False, with `problem` said in a few words, for a usage
// error; nothing is then to be done.
bool parseArguments(const std::vector<std::string_view>& arguments, Options& options, std::string& problem);

}  // namespace tessel::batch
