#include "batch/BatchConsole.h"

#include <cstdio>

#include "platform/Terminal.h"
#include "watch/EventLog.h"

namespace tessel::batch {

namespace {

// systemd's journal reads a line's priority from its start: errors show as such, and
// "journalctl -p err" finds them.
constexpr const char* kJournalErrorPriority = "<3>";

}  // namespace

Console::Console(Options::Output output)
    : m_output(output),
      m_showProgress(platform::standardErrorIsTerminal()),
      m_oneStream(platform::standardOutputIsStandardError()),
      m_journal(platform::standardErrorIsJournal()) {}

bool Console::showUnloggedLine(const std::string&, std::string_view, const std::error_code& reason) {
    if (m_unlogged++ == 0) m_logReason = reason;
    m_lineUnlogged = true;
    return true;
}

void Console::noteLogLine(const std::string& line, LogLineKind kind) {
    const bool toOutput = m_lineUnlogged || m_output == Options::Output::LogLines ||
                          (m_output == Options::Output::Summaries && isSummary(kind));
    m_lineUnlogged = false;
    // Where both lead to one place (a terminal, 2>&1, the journal), a line meant for both is said once.
    if (toOutput && !(isProblem(kind) && m_oneStream)) printOutput(line);
    if (isProblem(kind)) printError(line);
}

void Console::printOutput(const std::string& line) {
    clearProgress();
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Console::printError(std::string_view text) {
    clearProgress();
    for (;;) {
        const std::size_t end = text.find('\n');
        std::fprintf(stderr, "%s%s\n", m_journal ? kJournalErrorPriority : "",
                     escapeControls(text.substr(0, end)).c_str());
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    std::fflush(stderr);
}

void Console::drawProgress(bool force) {
    if (!m_showProgress || !m_visible) return;
    // Redrawing on every file would cost more than the copies of small files.
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastDraw < std::chrono::milliseconds(100)) return;
    m_lastDraw = now;

    std::string line = std::to_string(m_done) + "/" + std::to_string(m_total) + " files";
    std::string_view current = m_current;
    while (!current.empty() && current.front() == ' ') current.remove_prefix(1);
    if (!current.empty()) line += "  " + std::string(current);
    std::fprintf(stderr, "\r\033[K%s", fitted(line, platform::standardErrorColumns() - 1).c_str());
    std::fflush(stderr);
    m_drawn = true;
}

void Console::clearProgress() {
    if (!m_drawn) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_drawn = false;
}

std::string Console::fitted(const std::string& line, int columns) {
    const auto isContinuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
    int length = 0;
    for (char c : line) length += !isContinuation(c);
    if (length <= columns || columns < 4) return line;
    std::size_t start = 0;
    for (int skip = length - (columns - 3); skip > 0; ++start) skip -= !isContinuation(line[start]);
    while (start < line.size() && isContinuation(line[start])) ++start;
    return "..." + line.substr(start);
}

}  // namespace tessel::batch
