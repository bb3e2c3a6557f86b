#include "watch/EventLog.h"

#include <system_error>

#include "platform/Clock.h"
#include "platform/FileIo.h"

namespace tessel {

void WriteLogLine(Core& core, std::string_view message) {
    const platform::LocalTime now = platform::toLocalTime(platform::clockNow());
    std::string line = platform::formatLocalDateTime(now);
    line += ": ";
    line += message;

    std::error_code error;
    if (!platform::appendToFile(core.LogFilePath, line + "\r\n", error)) {
        core.messages.showMessage(kIoErrorMessage);
        return;
    }
    core.display.appendLogLine(line);
    // One line in, at most one line out, even when a wrapped line counts as several.
    if (core.display.logLineCount() > kLogAreaLines) core.display.removeFirstLogLine();
}

}  // namespace tessel
