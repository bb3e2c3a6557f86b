#include "batch/BatchConsole.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "platform/Terminal.h"
#include "sync/Preview.h"
#include "watch/EventLog.h"

namespace tessel::batch {

namespace {

// systemd's journal reads a line's priority from its start: errors show as such, and
// "journalctl -p err" finds them.
constexpr const char* kJournalErrorPriority = "<3>";

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Columns as a terminal counts them, one per UTF-8 character.
int columnsOf(std::string_view text) {
    int length = 0;
    for (char c : text) length += !isContinuation(c);
    return length;
}

// Keeps the end of a too-long text, where a path's file name is.
std::string fitted(std::string_view text, int columns) {
    const int length = columnsOf(text);
    if (length <= columns || columns < 4) return std::string(text);
    std::size_t start = 0;
    for (int skip = length - (columns - 3); skip > 0; ++start) skip -= !isContinuation(text[start]);
    while (start < text.size() && isContinuation(text[start])) ++start;
    return "..." + std::string(text.substr(start));
}

}  // namespace

Console::Console(Options::Output output)
    : m_output(output),
      m_showProgress(platform::standardErrorIsTerminal()),
      m_oneStream(platform::standardOutputIsStandardError()),
      m_journal(platform::standardErrorIsJournal()) {}

Console::~Console() {
    const std::lock_guard lock(m_mutex);
    clearProgress();
}

void Console::setStatusText(const std::string& text) {
    const std::lock_guard lock(m_mutex);
    m_current = text;
    drawProgress(false);
}

void Console::setProgressRange(int minimum, int maximum) {
    const std::lock_guard lock(m_mutex);
    m_progress.begin(maximum - minimum);
    m_bytes.take();  // what is left of the run before
}

void Console::extendProgressRange(int maximum) {
    const std::lock_guard lock(m_mutex);
    m_progress.countFiles(maximum);
}

void Console::setProgressPosition(int position) {
    const std::lock_guard lock(m_mutex);
    m_progress.setFilesDone(position);
}

void Console::stepProgress() {
    const std::lock_guard lock(m_mutex);
    m_progress.stepFiles(1);
    drawProgress(false);
}

void Console::setProgressVisible(bool visible) {
    const std::lock_guard lock(m_mutex);
    m_visible = visible;
    if (visible)
        drawProgress(true);
    else
        clearProgress();
}

void Console::completeProgress() {
    const std::lock_guard lock(m_mutex);
    m_progress.complete();
    drawProgress(false);
}

void Console::showFileProgress(const std::string& path, std::uint64_t done, std::uint64_t size) {
    const std::lock_guard lock(m_mutex);
    m_progress.showFile(path, done, size);
    drawProgress(false);
}

bool Console::showUnloggedLine(const std::string&, std::string_view, const std::error_code& reason) {
    if (m_unlogged++ == 0) m_logReason = reason;
    m_lineUnlogged = true;
    return true;
}

void Console::noteLogLine(const std::string& line, LogLineKind kind) {
    const std::lock_guard lock(m_mutex);
    const bool toOutput = m_lineUnlogged || m_output == Options::Output::LogLines ||
                          (m_output == Options::Output::Summaries && isSummary(kind));
    m_lineUnlogged = false;
    // Where both lead to one place (a terminal, 2>&1, the journal), a line meant for both is said once.
    if (toOutput && !(isProblem(kind) && m_oneStream)) printOutput(line);
    if (isProblem(kind)) printErrorLines(line);
}

void Console::printOutput(const std::string& line) {
    clearProgress();
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Console::printError(std::string_view text) {
    const std::lock_guard lock(m_mutex);
    printErrorLines(text);
}

void Console::printErrorLines(std::string_view text) {
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
    m_bytes.feed(m_progress);
    m_progress.sample(now);
    std::fprintf(stderr, "\r\033[K%s",
                 progressLine(m_progress, m_current, platform::standardErrorColumns() - 1).c_str());
    std::fflush(stderr);
    m_drawn = true;
}

void Console::clearProgress() {
    if (!m_drawn) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_drawn = false;
}

std::string progressLine(const RunProgress& progress, std::string_view current, int columns) {
    // A run with several jobs counts its files beside it: until the count is whole there is no share.
    std::string line = progress.files() > 0 || progress.completed()
                           ? groupedNumber(static_cast<std::uint64_t>(progress.filesDone())) + "/" +
                                 groupedNumber(static_cast<std::uint64_t>(progress.files())) + " files · " +
                                 std::to_string(progress.percent()) + " %"
                           : std::string("counting files");
    const std::optional<double> bytes = progress.bytesPerSecond();
    const std::optional<double> files = progress.filesPerSecond();
    if (bytes && *bytes > 0)
        line += " · " + sizeInEnglish(static_cast<std::uint64_t>(*bytes)) + "/s";
    else if (files)
        line += " · " + groupedNumber(static_cast<std::uint64_t>(std::llround(*files))) + " files/s";
    if (const std::optional<double> left = progress.secondsLeft()) line += " · " + timeLeftInEnglish(*left);

    std::string shown;
    if (const RunProgress::LargeFile* file = progress.largeFile())
        shown =
            "Copying " + file->name() + ": " + sizeInEnglish(file->done) + " of " + sizeInEnglish(file->size);
    else
        shown = std::string(current.substr(std::min(current.find_first_not_of(' '), current.size())));
    if (shown.empty()) return fitted(line, columns);
    // The counts stay whole where they can; the file gives up its start, where a path is least missed.
    const int room = columns - columnsOf(line) - 2;
    if (room < 8) return fitted(line, columns);
    return line + "  " + fitted(shown, room);
}

}  // namespace tessel::batch
