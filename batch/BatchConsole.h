#pragma once
// What tessel-batch shows of a run: the engine's display and message boxes on a terminal, a pipe, a
// file or systemd's journal.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

#include "batch/BatchOptions.h"
#include "watch/RunDisplay.h"

namespace tessel::batch {

// The terminal face of a run: log lines on stdout; problems, message boxes and the progress line on
// stderr.
class Console : public RunDisplay, public UserMessages {
  public:
    explicit Console(Options::Output output = Options::Output::LogLines);
    ~Console() override { clearProgress(); }
    // What a run prints on standard output from now on.
    void setOutput(Options::Output output) { m_output = output; }

    void setStatusText(const std::string& text) override {
        m_current = text;
        drawProgress(false);
    }
    void setProgressRange(int, int maximum) override { m_total = maximum; }
    void setProgressPosition(int position) override { m_done = position; }
    void stepProgress() override {
        ++m_done;
        drawProgress(false);
    }
    void setProgressVisible(bool visible) override {
        m_visible = visible;
        if (visible)
            drawProgress(true);
        else
            clearProgress();
    }
    void setRowPicture(int, int) override {}

    // The line is printed once noteLogLine says what it is.
    void appendLogLine(const std::string&) override {}
    // Standard output is then the run's only record: every line goes there (the problems to standard
    // error as well, which reaches cron's mail), whatever --quiet or --brief say.
    bool showUnloggedLine(const std::string& line, std::string_view message,
                          const std::error_code& reason) override;
    // Every log line on standard output, as --quiet or --brief allow; the problems (and the summaries of
    // runs that failed or met a conflict) on standard error too.
    void noteLogLine(const std::string& line, LogLineKind kind) override;
    // The log area's limit does not apply to a terminal: nothing is ever taken back.
    int logLineCount() const override { return 0; }
    void removeFirstLogLine() override {}

    void showMessage(const std::string& text) override { showWarning(text, "Tessel"); }
    void showWarning(const std::string& text, const std::string& caption) override {
        ++m_messages;
        printError(caption + ": " + text);
    }

    // Each line of `text` on a line of its own, its control characters escaped.
    void printError(std::string_view text);

    // Every message box stands for something that was not done or not saved.
    int messagesShown() const { return m_messages; }
    // Log lines the log file refused, and why the first was.
    int unloggedLines() const { return m_unlogged; }
    const std::error_code& logReason() const { return m_logReason; }

  private:
    void printOutput(const std::string& line);
    void drawProgress(bool force);
    void clearProgress();
    // Keeps the end of a too-long line, where a path's file name is; counts UTF-8 characters as columns.
    static std::string fitted(const std::string& line, int columns);

    Options::Output m_output;
    bool m_showProgress;
    bool m_oneStream;             // standard output and standard error lead to the same place
    bool m_journal;               // standard error is the journal's stream: lines carry their priority
    bool m_lineUnlogged = false;  // the log refused the line in hand: it goes to standard output
    bool m_visible = false;
    bool m_drawn = false;
    int m_total = 0;
    int m_done = 0;
    int m_messages = 0;
    int m_unlogged = 0;
    std::error_code m_logReason;
    std::string m_current;
    std::chrono::steady_clock::time_point m_lastDraw;
};

}  // namespace tessel::batch
