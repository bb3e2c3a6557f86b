#include "ui/WindowRunDisplay.h"

#include <QLocale>
#include <QThread>
#include <QTime>
#include <QWidget>

#include "ui/Pictures.h"
#include "ui/RunTexts.h"
#include "ui/RunView.h"
#include "ui/Texts.h"
#include "ui/TrayIcon.h"
#include "ui/WatchList.h"
#include "watch/EventLog.h"

using namespace tessel;

WindowRunDisplay::WindowRunDisplay(RunView& view, WatchList& list, TesselTray& tray, QWidget& window)
    : QObject(&window), m_view(view), m_list(list), m_tray(tray), m_window(window) {}

void WindowRunDisplay::assertWindowThread() const {
    // Widgets are the window's thread's; a run thread must go through RunThread's relay.
    Q_ASSERT_X(QThread::currentThread() == thread(), "WindowRunDisplay", "shown off the window's thread");
}

// ---- RunDisplay --------------------------------------------------------------------------------------

void WindowRunDisplay::setStatusText(const std::string& text) {
    assertWindowThread();
    m_view.setStatusText(text);
}

void WindowRunDisplay::setProgressRange(int minimum, int maximum) {
    assertWindowThread();
    m_view.setProgressRange(minimum, maximum);
}

void WindowRunDisplay::extendProgressRange(int maximum) {
    assertWindowThread();
    m_view.extendProgressRange(maximum);
}

void WindowRunDisplay::setProgressPosition(int position) {
    assertWindowThread();
    m_view.setProgressPosition(position);
}

void WindowRunDisplay::stepProgress() {
    assertWindowThread();
    m_view.advance(1);
}

void WindowRunDisplay::setProgressVisible(bool visible) {
    assertWindowThread();
    m_view.setProgressVisible(visible);
}

void WindowRunDisplay::completeProgress() {
    assertWindowThread();
    m_view.completeProgress();
}

void WindowRunDisplay::changePlan(const PlanChange& change) {
    assertWindowThread();
    m_view.changePlan(change);
}

void WindowRunDisplay::addCopiedBytes(std::uint64_t bytes) {
    assertWindowThread();
    m_view.addCopiedBytes(bytes);
}

void WindowRunDisplay::showFileProgress(const std::string& path, std::uint64_t done, std::uint64_t size) {
    assertWindowThread();
    m_view.showFileProgress(path, done, size);
}

void WindowRunDisplay::setRowPicture(int index, int picture) {
    assertWindowThread();
    // The engine's "row" is the watch's number. It marks a running watch with the 10-minute timer's
    // picture and follows the mark with the watch's own picture when the run is over; so a mark for a
    // watch already shown running is that watch's own picture, and only a first one means "running".
    if (picture == kRunningPicture && !m_list.showsRunning(index)) {
        // The running mark tells which watch of a pass is running now.
        if (m_list.showRunning(index) && m_run) m_run->watch = index;
        return;
    }
    m_list.setWatchPicture(index, picture);
}

void WindowRunDisplay::appendLogLine(const std::string& line) {
    assertWindowThread();
    m_view.appendLogLine(line);
}

int WindowRunDisplay::logLineCount() const {
    assertWindowThread();
    return m_view.logLineCount();
}

void WindowRunDisplay::removeFirstLogLine() {
    assertWindowThread();
    m_view.removeFirstLogLine();
}

// ---- The run as a whole ------------------------------------------------------------------------------

void WindowRunDisplay::showRunStarted(RunCoordinator::RunKind kind, int index) {
    assertWindowThread();
    m_run = ShownRun{kind, index, false};
    // Check Now names its watch at once; a pass marks each of its watches as it comes to it. A preview
    // runs nothing.
    if (kind == RunCoordinator::RunKind::CheckNow) m_list.showRunning(index);
    m_view.showRunning();
    updateTrayState();
}

void WindowRunDisplay::showStopping() {
    assertWindowThread();
    if (m_run) m_run->stopping = true;
    m_view.setStatusText(toBytes(tr("Stopping after the current file...")));
}

void WindowRunDisplay::showRunEnded(const RunCoordinator& runs, RunContext& logContext) {
    assertWindowThread();
    m_run.reset();
    const SchedulerReport& report = runs.report();
    const RunResult& result = report.result;
    const bool preview = runs.runKind() == RunCoordinator::RunKind::Preview;
    // A preview changed nothing: what the last run did stays what it was.
    if (!preview) m_lastResult = result;
    m_list.restoreWatchPictures();
    m_view.showIdle();
    if (preview) return;
    if (report.ran > 0) {
        const double seconds = runs.lastRunSeconds();
        if (report.runs.size() > 1) {
            // Each watch's run has logged its own summary; only a pass of several adds their total.
            WriteLogLine(logContext, toBytes(summaryLine(result, seconds)));
            m_view.showSummary(passSummaryText(report.runs, result.stopped, seconds),
                               passSummaryDetails(report.runs, result, seconds));
        } else {
            m_view.showSummary(summaryText(result, seconds));
        }
        m_lastRunState =
            tr("last run %1, %2")
                .arg(QLocale().toString(QTime::currentTime(), QLocale::ShortFormat), shortSummary(result));
        // Shown, the window tells it in its list and status bar.
        if (!m_window.isVisible()) {
            std::optional<RunNoticeText> notice = noticeText(report.runs);
            if (notice && m_tray.notify(notice->title, notice->body)) m_noticedRun = std::move(notice->run);
        }
    } else if (runs.lastRunStopRequested()) {
        m_view.setStatusText("");
    }
}

void WindowRunDisplay::updateTrayState() {
    assertWindowThread();
    if (!m_run) {
        m_tray.setState(m_lastRunState);
        return;
    }
    QString state;
    if (m_run->watch >= 0 && m_run->watch < m_list.watchCount()) {
        const QString name = m_list.watchName(m_run->watch);
        if (m_run->kind == RunCoordinator::RunKind::Preview)
            state = tr("previewing %1").arg(name);
        else
            state = m_list.movesFiles(m_run->watch) ? tr("moving %1").arg(name) : tr("copying %1").arg(name);
    } else {
        state = tr("running");
    }
    if (m_run->stopping) state = tr("stopping");
    m_tray.setState(tr("%1, %2 %").arg(state).arg(m_view.percentDone()));
}
