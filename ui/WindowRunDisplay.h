#pragma once
// The window as the engine's display: the run view's status text, progress bar and log area, and the
// status pictures of the watch list (where the engine's row is the watch's number, whatever row of the
// sorted list shows it). Beside it, what the window shows of a run as a whole: which watch
// runs, "Stopping" once a stop is asked, the summary at the end, the result of the last run, and the
// tray icon's tooltip and notification. The window's thread only: a run thread reaches it through
// RunThread's relay.

#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "sync/RunContext.h"
#include "sync/Scheduler.h"
#include "ui/RunCoordinator.h"
#include "watch/RunDisplay.h"

class QWidget;
class RunView;
class TesselTray;
class WatchList;

class WindowRunDisplay : public QObject, public tessel::RunDisplay {
    Q_OBJECT
  public:
    // Shows on these parts of `window`, which outlive it.
    WindowRunDisplay(RunView& view, WatchList& list, TesselTray& tray, QWidget& window);

    // RunDisplay.
    void setStatusText(const std::string& text) override;
    void setProgressRange(int minimum, int maximum) override;
    void extendProgressRange(int maximum) override;
    void setProgressPosition(int position) override;
    void stepProgress() override;
    void setProgressVisible(bool visible) override;
    void completeProgress() override;
    // Reached through RunThread's relay, which gathers them from every thread: the window's thread only.
    void changePlan(const PlanChange& change) override;
    void addCopiedBytes(std::uint64_t bytes) override;
    void showFileProgress(const std::string& path, std::uint64_t done, std::uint64_t size) override;
    void setRowPicture(int index, int picture) override;
    void appendLogLine(const std::string& line) override;
    int logLineCount() const override;
    void removeFirstLogLine() override;

    // A run has started; `index` is its watch's number, or -1 until the run marks one as running.
    void showRunStarted(RunCoordinator::RunKind kind, int index);
    // A stop has been asked of the run in progress.
    void showStopping();
    // The run has ended: what it did goes to the status bar, each watch's part of a pass of several,
    // and, while the window is hidden and a watch's run failed or met a conflict, to the tray, naming
    // the watch and its first problem. A pass of several watches also logs their total (with
    // `logContext`) after the summary line each watch's run has logged. A preview shows none of it; its
    // plan is the preview dialog's.
    void showRunEnded(const RunCoordinator& runs, tessel::RunContext& logContext);
    // The tray's tooltip for the run in progress, or the last run's result.
    void updateTrayState();

    // What the last run did.
    const tessel::RunResult& lastRunResult() const { return m_lastResult; }
    // The run the tray's last notice named first; nothing before the first notice.
    const std::optional<tessel::WatchRunSummary>& noticedRun() const { return m_noticedRun; }

  private:
    void assertWindowThread() const;

    RunView& m_view;
    WatchList& m_list;
    TesselTray& m_tray;
    QWidget& m_window;

    // The run being shown, from its start to its end.
    struct ShownRun {
        RunCoordinator::RunKind kind;
        int watch;
        bool stopping;
    };
    std::optional<ShownRun> m_run;
    tessel::RunResult m_lastResult;
    QString m_lastRunState;
    std::optional<tessel::WatchRunSummary> m_noticedRun;
};
