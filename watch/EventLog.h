#pragma once
// The event log: one time-stamped line per event, appended to the log file and shown in the log area.

#include <string>
#include <string_view>

#include "watch/StoreContext.h"

namespace tessel {

inline constexpr int kLogAreaLines = 7;
inline constexpr const char* kIoErrorMessage = "I/O Error! Dont saved data!!";

// Appends "<date> <time>: <message>" and CR LF to context.LogFilePath (created when missing) and shows the
// line in the log area, which keeps its last seven lines. The file is opened and closed for every
// line, so the line is in the file when the call returns. When the file cannot be written the display
// may show the line all the same (RunDisplay::showUnloggedLine); where it does not, the user gets the
// I/O error message and the line does not reach the log area. Control characters in the message are
// written escaped (escapeControls), so a file name cannot forge a line. The display is told what the line
// is (RunDisplay::noteLogLine): a Problem when reportsFailure(message), else an Event. The first problem
// goes into context.firstProblemLine while that is empty.
void WriteLogLine(StoreContext& context, std::string_view message);
// The same for a line whose kind its writer knows (the summary of a run).
void WriteLogLine(StoreContext& context, std::string_view message, LogLineKind kind);

// Whether a log message tells of a failure: an error, a conflict, an after-sync program that did not
// start. Where the log cannot be written, tessel-batch shows these on standard error too.
bool reportsFailure(std::string_view message);

// `text` with every control character (bytes 0x01 to 0x1F and 0x7F) written as \xHH, two lower-case
// hexadecimal digits: how names reach the log, the status text and a terminal.
std::string escapeControls(std::string_view text);

}  // namespace tessel
