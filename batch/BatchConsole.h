#pragma once
// What tessel-batch shows of a run: the engine's display and message boxes on a terminal, a pipe, a
// file or systemd's journal.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>

#include "batch/BatchOptions.h"
#include "watch/RunDisplay.h"
#include "watch/RunProgress.h"

namespace tessel::batch {

// The terminal face of a run: log lines on stdout; problems, message boxes and the progress line on
// stderr. The progress line, on a terminal only, counts files and bytes: the share done, the rate and
// the time left (RunProgress), and a large file's own progress.
//
// Threads: the run's thread makes every call; the threads that copy make the calls of bytes too
// (RunDisplay). One lock keeps the progress and everything written to the two streams in one piece.
class Console : public RunDisplay, public UserMessages {
  public:
    explicit Console(Options::Output output = Options::Output::LogLines);
    ~Console() override;
    // What a run prints on standard output from now on.
    void setOutput(Options::Output output) { m_output = output; }

    void setStatusText(const std::string& text) override;
    void setProgressRange(int minimum, int maximum) override;
    void extendProgressRange(int maximum) override;
    void setProgressPosition(int position) override;
    void stepProgress() override;
    void setProgressVisible(bool visible) override;
    void completeProgress() override;
    // Without the lock: a copy of a small file tells its bytes once (ByteTally); the line takes them as
    // it is drawn.
    void changePlan(const PlanChange& change) override { m_bytes.plan(change); }
    void addCopiedBytes(std::uint64_t bytes) override { m_bytes.copy(bytes); }
    void showFileProgress(const std::string& path, std::uint64_t done, std::uint64_t size) override;
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
    // With the lock held.
    void printOutput(const std::string& line);
    void printErrorLines(std::string_view text);
    void drawProgress(bool force);
    void clearProgress();

    Options::Output m_output;
    bool m_showProgress;
    bool m_oneStream;             // standard output and standard error lead to the same place
    bool m_journal;               // standard error is the journal's stream: lines carry their priority
    bool m_lineUnlogged = false;  // the log refused the line in hand: it goes to standard output
    bool m_visible = false;
    bool m_drawn = false;
    RunProgress m_progress;
    ByteTally m_bytes;
    int m_messages = 0;
    int m_unlogged = 0;
    std::error_code m_logReason;
    std::string m_current;
    std::chrono::steady_clock::time_point m_lastDraw;
    std::mutex m_mutex;
};

// The progress line, at most `columns` columns wide: "1,234/5,000 files · 36 % · 45.2 MB/s · about
// 2 min left  /src/photos/a.jpg" ("counting files" in place of the counts while they are counted), with
// "Copying big.iso: 1.2 GB of 3.1 GB" in place of the current file while a large file is copied. Where it is
// too long, the current file loses its start first.
std::string progressLine(const RunProgress& progress, std::string_view current, int columns);

}  // namespace tessel::batch
