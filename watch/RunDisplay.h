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
class RunDisplay {
  public:
    virtual ~RunDisplay() = default;

    virtual void setStatusText(const std::string& text) = 0;
    // While the after-sync program `program` runs (the window says it in its own words).
    virtual void showRunningProgram(const std::string& program) { setStatusText("Running " + program); }

    virtual void setProgressRange(int minimum, int maximum) = 0;
    // The end moves on while the run counts the files as it finds them; the steps made stay made.
    virtual void extendProgressRange(int maximum) { setProgressRange(0, maximum); }
    virtual void setProgressPosition(int position) = 0;
    // One step forward; a step past the maximum starts again from the minimum.
    virtual void stepProgress() = 0;
    virtual void setProgressVisible(bool visible) = 0;
    // The content of one file has been copied: `bytes` more for the rate a display may show.
    virtual void addCopiedBytes(std::uint64_t bytes) { (void)bytes; }

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
