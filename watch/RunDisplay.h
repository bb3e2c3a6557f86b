#pragma once
// The narrow interfaces through which the core reaches the screen. The main window implements them;
// the headless runner and the tests have their own.

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace tessel {

// What a logged line is to someone who does not read the log: an event, a problem (a failure, a
// conflict, an after-sync program that did not start), the summary a watch's run ends with, or the
// summary of a run that failed or met a conflict.
enum class LogLineKind { Event, Problem, Summary, ProblemSummary };
inline bool isProblem(LogLineKind kind) {
    return kind == LogLineKind::Problem || kind == LogLineKind::ProblemSummary;
}
inline bool isSummary(LogLineKind kind) {
    return kind == LogLineKind::Summary || kind == LogLineKind::ProblemSummary;
}

// The four places where a run shows its progress: the status text, the progress bar, the status
// picture of a watch's row, and the log area.
//
// Threads: the thread the run was started on (the walk thread) makes every call, except
// extendProgressRange, which the count of the files made beside a run with several jobs makes from a
// thread of its own, and the calls of bytes below (changePlan, addCopiedBytes, showFileProgress), which
// the threads that copy make too. They come while the walk thread may be in any other call or waiting
// for them: a display that shows them makes them safe against each other and against the rest.
class RunDisplay {
  public:
    virtual ~RunDisplay() = default;

    virtual void setStatusText(const std::string& text) = 0;
    // While the after-sync program `program` runs (the window says it in its own words).
    virtual void showRunningProgram(const std::string& program) { setStatusText("Running " + program); }

    virtual void setProgressRange(int minimum, int maximum) = 0;
    // The files of the run, counted while the run went on: the steps made stay made. Any thread.
    virtual void extendProgressRange(int maximum) { setProgressRange(0, maximum); }
    virtual void setProgressPosition(int position) = 0;
    // One file more has been decided on, whatever was decided (skipped files count too).
    virtual void stepProgress() = 0;
    virtual void setProgressVisible(bool visible) = 0;
    // The run's work is done: whatever the steps came to, the bar is full.
    virtual void completeProgress() {}

    // The bytes of the run's copies, for a bar, a rate and a time left that count the size of the work
    // as well as its files. Any thread (see above).
    // A change in what the run has decided to copy: a copy ordered (its size, or none yet where the walk
    // did not look at the file), a copy that opened its file and found its size, or one that copied less
    // than planned (it failed, was stopped, or found a smaller file). Every file of a copy has been
    // counted by a step already.
    struct PlanChange {
        std::int64_t bytes = 0;  // more bytes, or fewer
        int sized = 0;           // more copies whose size is known
        int unsized = 0;         // more copies whose size is not known yet, or fewer as they learn it
        bool empty() const { return bytes == 0 && sized == 0 && unsized == 0; }
    };
    virtual void changePlan(const PlanChange& change) { (void)change; }
    // `bytes` more are copied, as the pieces of a file arrive.
    virtual void addCopiedBytes(std::uint64_t bytes) { (void)bytes; }
    // How far the copy of a large file (the source `path`) has come; `done` equals `size` once the copy
    // has ended, however it ended. Several may be in hand at once, one per thread.
    virtual void showFileProgress(const std::string& path, std::uint64_t done, std::uint64_t size) {
        (void)path, (void)done, (void)size;
    }

    // Row i shows record i of the watch file; a row the display does not have is ignored.
    // The picture shows at once.
    virtual void setRowPicture(int row, int picture) = 0;

    virtual void appendLogLine(const std::string& line) = 0;
    // The log file refused `line` (whose text after the time stamp is `message`): a full disk, no
    // descriptor left. A display that is the run's only other record (tessel-batch's standard output)
    // shows it all the same and returns true; the window returns false: the user gets the I/O message
    // and the log area stays as the file is.
    virtual bool showUnloggedLine(const std::string& line, std::string_view message,
                                  const std::error_code& reason) {
        (void)line, (void)message, (void)reason;
        return false;
    }
    // Every line that went to the log file (after appendLogLine) or was shown instead (after
    // showUnloggedLine returned true), with what it is: tessel-batch's standard output and standard
    // error follow these.
    virtual void noteLogLine(const std::string& line, LogLineKind kind) { (void)line, (void)kind; }
    // Lines as the area displays them: a wrapped line counts as several.
    virtual int logLineCount() const = 0;
    virtual void removeFirstLogLine() = 0;
};

// Message boxes.
class UserMessages {
  public:
    virtual ~UserMessages() = default;
    // A plain box with an OK button, captioned with the application's title.
    virtual void showMessage(const std::string& text) = 0;
    // A warning box with an exclamation mark, on top of every window.
    virtual void showWarning(const std::string& text, const std::string& caption) = 0;
};

// A display that shows nothing, for runs nobody watches.
class NullRunDisplay : public RunDisplay {
  public:
    void setStatusText(const std::string&) override {}
    void setProgressRange(int, int) override {}
    void setProgressPosition(int) override {}
    void stepProgress() override {}
    void setProgressVisible(bool) override {}
    void setRowPicture(int, int) override {}
    void appendLogLine(const std::string&) override {}
    int logLineCount() const override { return 0; }
    void removeFirstLogLine() override {}
};

}  // namespace tessel
