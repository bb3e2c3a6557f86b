#include "watch/EventLog.h"

#include <algorithm>
#include <system_error>

#include "platform/Clock.h"
#include "platform/FileIo.h"

namespace tessel {

std::string escapeControls(std::string_view text) {
    const auto isControl = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte >= 0x01 && byte <= 0x1F) || byte == 0x7F;
    };
    // Almost every text has none: one look, one copy.
    if (std::none_of(text.begin(), text.end(), isControl)) return std::string(text);
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 0x01 && byte <= 0x1F) || byte == 0x7F) {
            static constexpr char kDigits[] = "0123456789abcdef";
            escaped += "\\x";
            escaped += kDigits[byte >> 4];
            escaped += kDigits[byte & 0xF];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

bool reportsFailure(std::string_view message) {
    return message.starts_with("Error ") || message.starts_with("Conflict ") ||
           message.starts_with("Abnormal Stop ");
}

void WriteLogLine(StoreContext& context, std::string_view message) {
    WriteLogLine(context, message, reportsFailure(message) ? LogLineKind::Problem : LogLineKind::Event);
}

void WriteLogLine(StoreContext& context, std::string_view message, LogLineKind kind) {
    const platform::LocalTime now = platform::toLocalTime(platform::clockNow());
    std::string line = platform::formatLocalDateTime(now);
    line += ": ";
    const std::size_t messageStart = line.size();
    line += escapeControls(message);
    // A problem stays a problem when the log cannot take its line.
    if (context.firstProblemLine.empty() && reportsFailure(message))
        context.firstProblemLine = line.substr(messageStart);

    std::error_code error;
    if (!platform::appendToFile(context.LogFilePath, line + "\r\n", error)) {
        if (!context.display.showUnloggedLine(line, std::string_view(line).substr(messageStart), error))
            context.messages.showMessage(kIoErrorMessage);
        else
            context.display.noteLogLine(line, kind);
        return;
    }
    context.display.appendLogLine(line);
    // One line in, at most one line out, even when a wrapped line counts as several.
    if (context.display.logLineCount() > kLogAreaLines) context.display.removeFirstLogLine();
    context.display.noteLogLine(line, kind);
}

}  // namespace tessel
