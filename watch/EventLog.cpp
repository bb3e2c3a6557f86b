#include "watch/EventLog.h"

#include <system_error>

#include "platform/Clock.h"
#include "platform/FileIo.h"

namespace tessel {

void WriteLogLine(RunContext& context, std::string_view message) {
    const platform::LocalTime now = platform::toLocalTime(platform::clockNow());
    std::string line = platform::formatLocalDateTime(now);
    line += ": ";
    line += message;

    std::error_code error;
    if (!platform::appendToFile(context.LogFilePath, line + "\r\n", error)) {
        context.messages.showMessage(kIoErrorMessage);
        return;
    }
    context.display.appendLogLine(line);
    // One line in, at most one line out, even when a wrapped line counts as several.
    if (context.display.logLineCount() > kLogAreaLines) context.display.removeFirstLogLine();
}

}  // namespace tessel
