#pragma once
// What the main window shows of a run: the status text (the current file, elided in the middle), the
// progress bar with its counts, the rate and the time left, and the log area with its last few lines.
// The window places the two parts (status bar and log area); the engine reaches them only through
// WindowRunDisplay, on the window's thread.

#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "sync/RunContext.h"

class ElidedLabel;
class QPlainTextEdit;
class QProgressBar;
class QWidget;
class StatusBar;

class RunView : public QObject {
    Q_OBJECT
  public:
    using Clock = std::chrono::steady_clock;

    // The widgets are made with `host` as their parent.
    RunView(QWidget* host, QObject* parent);

    StatusBar* statusBar() const { return m_statusBar; }
    QPlainTextEdit* logArea() const { return m_logArea; }

    // The status text and the steps change for every file: they are painted at most about 30 times a
    // second, while the values themselves stay exact.
    void setStatusText(const std::string& text);
    // The status text as the engine gave it.
    QString statusText() const { return m_statusText; }
    void setProgressRange(int minimum, int maximum);
    void extendProgressRange(int maximum);
    void setProgressPosition(int position);
    // `files` files further; past the maximum the bar starts again from the minimum.
    void advance(int files);
    void setProgressVisible(bool visible);
    int progressPosition() const { return m_progressPosition; }
    // Bytes of file content copied, for a rate in bytes rather than files.
    void addCopiedBytes(std::uint64_t bytes);

    void appendLogLine(const std::string& line);
    // Lines as the area displays them: a wrapped line counts as several.
    int logLineCount() const;
    // Removes the first displayed line: only its first piece when it wraps.
    void removeFirstLogLine();

    // "4,210 of 100,000 · 4 %" beside the bar.
    QString countsText() const;
    // "1,250 files/s · about 2 min left" once the run has gone on long enough to tell; empty otherwise.
    QString rateText() const;
    // Percent done, 0..100, of the run in progress.
    int percentDone() const;
    // What a run did, in place of the status text until the next run; `details`, where there are any,
    // as the tip of the status text.
    void showSummary(const QString& summary, const QString& details = QString());
    // Between runs the status text has the whole bar: the panels of the progress and the rate show only
    // while a run goes.
    void showIdle();
    void showRunning();
    bool progressShown() const;

    // The clock the rate is measured with; tests set their own.
    void setClockForTesting(Clock::time_point (*now)()) { m_now = now; }

  private:
    // The status text in the window's own words (the engine writes "  Copy file :PATH" and the like).
    QString wording(const QString& text) const;
    // Brings the widgets up to date now, or within the paint interval when `soon`.
    void refresh(bool soon);
    void paint();
    void scrollLogToEnd();

    StatusBar* m_statusBar;
    ElidedLabel* m_countsLabel;
    ElidedLabel* m_rateLabel;
    QProgressBar* m_progressBar;
    QPlainTextEdit* m_logArea;
    QString m_statusText;

    // The bar's own idea of its range: a run over no files gets 0..0, which the bar would otherwise
    // animate as "busy".
    int m_progressMin = 0;
    int m_progressMax = 0;
    int m_progressPosition = 0;
    // Files done since the range was set (the position wraps, the count does not).
    std::int64_t m_done = 0;
    std::uint64_t m_bytes = 0;

    // Recent (time, files, bytes) points: the rate is that of the last few seconds.
    struct Point {
        Clock::time_point at;
        std::int64_t files;
        std::uint64_t bytes;
    };
    std::deque<Point> m_samples;
    Clock::time_point m_lastPaint{};
    bool m_paintPending = false;
    Clock::time_point (*m_now)() = &Clock::now;
};
