#pragma once
// What the main window shows of a run: the status text (the current file, elided in the middle, or the
// progress of a large file being copied), the progress bar with its counts, the rate and the time left,
// and the log area with its last few lines. The bar, the rate and the time left count bytes as well as
// files (RunProgress). The window places the two parts (status bar and log area); the engine reaches
// them only through WindowRunDisplay, on the window's thread.

#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <string>

#include "sync/RunContext.h"
#include "watch/RunDisplay.h"
#include "watch/RunProgress.h"

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
    // `files` files further. The bar never goes back: a step past the last file counted holds it.
    void advance(int files);
    void setProgressVisible(bool visible);
    void completeProgress();
    void changePlan(const tessel::RunDisplay::PlanChange& change);
    void addCopiedBytes(std::uint64_t bytes);
    void showFileProgress(const std::string& path, std::uint64_t done, std::uint64_t size);
    const tessel::RunProgress& progress() const { return m_progress; }

    void appendLogLine(const std::string& line);
    // Lines as the area displays them: a wrapped line counts as several.
    int logLineCount() const;
    // Removes the first displayed line: only its first piece when it wraps.
    void removeFirstLogLine();

    // "4,210 of 100,000 · 4 %" beside the bar: the files, and the share of the work done.
    QString countsText() const;
    // "12.5 MB/s · about 2 min left" ("1,250 files/s" while no bytes move) once the run has gone on long
    // enough to tell; the time left only once it means something. Empty otherwise.
    QString rateText() const;
    // "Copying big.iso: 1.2 GB of 3.1 GB" while a large file is copied (the first of them begun, when
    // several are); empty otherwise.
    QString fileProgressText() const;
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

    int m_progressMin = 0;
    tessel::RunProgress m_progress;
    Clock::time_point m_lastPaint{};
    bool m_paintPending = false;
    Clock::time_point (*m_now)() = &Clock::now;
};
