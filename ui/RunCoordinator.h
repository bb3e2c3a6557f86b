#pragma once
// Which run goes, and what becomes of a request that comes while one goes. The window asks (Check Now,
// Check All, Preview, the On Start pass, the 30-second pass, Stop, closing and Exit); this decides, runs
// the work on RunThread and tells the window through signals what to show and which commands are
// possible. Qt Core alone: no widget, so that the tests drive it without a window.
//
// Threads: who owns what
// - The window's thread owns this object, its RunThread, the due-watches timer and every member
//   below, and is the only thread that calls it (each member function asserts so in a debug build).
//   The window's display and message boxes are used on this thread only (WindowRunDisplay and
//   WindowMessages assert it too).
// - The run thread exists from a start until the run's end, one at a time. It runs the work with
//   RunThread's own RunContext and touches nothing here: it writes display calls into RunThread's
//   relay (under the relay's mutex), waits for a message box it asks for, reads the stop request,
//   and writes the run's report and, for a preview, the plan.
// - What crosses between the two: the display calls, as pending changes the window's thread takes
//   about 30 times a second; a message box, as a queued call on the window's thread that the run
//   thread waits for; the stop request, as an atomic flag of the run's context; the report and the
//   plan, which the window's thread reads only after it has joined the run thread.
// - Following (sync/FollowSession.h): the window's thread owns the session, reads the watch file again
//   for it and takes its due runs; the follower's own thread only wakes this object with a queued call.
//   The runs it takes go to the run thread as any other run, one at a time: a followed run that comes
//   during another run, or while the editor is open, waits for its end.
//
// States
//   Idle --a start--> Running --Stop, closing or Exit--> Stopping
//   Running or Stopping --run thread ended--> Idle, and then: the leave, if closing or Exit was asked
//   for meanwhile; else the 30-second pass, if one waited.
// A request that comes while a run goes: Check Now, Check All, Preview and the On Start pass are
// refused; the 30-second pass and the followed runs wait for the end; closing and Exit stop the run and
// follow its end.

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "sync/EditedPlan.h"
#include "sync/FollowSession.h"
#include "sync/Preview.h"
#include "sync/RunContext.h"
#include "sync/Scheduler.h"

class QTimer;
class RunThread;

class RunCoordinator : public QObject {
    Q_OBJECT
  public:
    enum class State { Idle, Running, Stopping };
    Q_ENUM(State)
    enum class RunKind { CheckNow, CheckAll, TimerPass, OnStart, Preview, Followed };
    Q_ENUM(RunKind)
    // How the window is left: by closing it, or by Exit, which also stores the settings.
    enum class Leave { Close, Exit };
    Q_ENUM(Leave)

    // What the window may offer now.
    struct Commands {
        bool startRun = true;       // Check Now, Check All, Preview
        bool changeWatches = true;  // Add, Edit, Delete, Load Watches: the watch file a run reads
        bool stop = false;
        bool operator==(const Commands&) const = default;
    };

    static constexpr std::chrono::milliseconds kDueWatchesInterval{30000};
    // How often the follow session is asked whether the watch file is to be read again.
    static constexpr std::chrono::milliseconds kFollowInterval{1000};

    // Runs work with the watch file, log file and options `windowContext` holds at each start, and
    // show what they do on its display and message boxes. The 30-second pass starts ticking at once.
    explicit RunCoordinator(tessel::RunContext& windowContext, QObject* parent = nullptr);
    // Stops a run in progress and waits for its thread.
    ~RunCoordinator() override;

    State state() const;
    // From a start until runEnded has been emitted.
    bool isRunning() const { return state() != State::Idle; }
    // The run in progress, or the last one.
    RunKind runKind() const;
    Commands commands() const;

    // Check Now of the watch at position `index`; false (refused) while another run goes.
    bool checkNow(int index);
    // Every watch but those set to Stop, one after another, as Check Now runs one; false while a run goes.
    bool checkAll();
    // What Check Now of the watch at `index` would do, recorded for takePreviewPlan(); false while a run
    // goes.
    bool preview(int index);
    // Check Now of the watch at `index` doing a preview's plan as the user edited it; false while a run
    // goes.
    bool runPlan(int index, std::shared_ptr<const tessel::EditedPlan> plan);
    // The 30-second pass over the due timed watches, with the timer off until it has ended. While a run
    // goes it waits, and starts as soon as that run has ended.
    void checkDueWatches();
    // The On Start watches, queued at start-up and run once the window is on the screen; closing the
    // window drops them. A queued pass that finds a run going is dropped as well.
    void queueOnStartWatches();
    bool onStartWatchesQueued() const;
    void runOnStartWatches();
    void cancelOnStartWatches();
    // Ends the run in progress after the file in hand.
    void stop();
    // True when no run goes and the window may go at once. Otherwise the run is stopped and
    // leaveRequested follows its end; Exit wins when both were asked.
    bool requestLeave(Leave how);
    // A leave waits for the run's end.
    bool leaving() const;

    // Follows the watches of the window's watch file that run on change, from now on (again, after the
    // watch file changed), until the window goes; false, after logging why, when the system gives nothing
    // to follow with. A watch another program follows waits until that one lets it go. While a run goes,
    // the new start waits for its end.
    bool startFollowing();
    bool following() const;

    // The watch editor changes the watch file: no pass or followed run while it is open, and a fresh 30
    // seconds after.
    void pauseDueWatches();
    void resumeDueWatches();
    QTimer& dueWatchesTimer() const { return *m_dueWatchesTimer; }

    // What the last run did and how long it took; valid from runEnded on.
    const tessel::SchedulerReport& report() const;
    double lastRunSeconds() const;
    // Whether a stop was asked of the last run (it may have ended by itself all the same).
    bool lastRunStopRequested() const;
    // The plan of the preview that has just ended, and its watch; the plan only while runEnded is being
    // emitted, null for any other run.
    std::shared_ptr<tessel::PlanRecorder> takePreviewPlan();
    int previewIndex() const;

  signals:
    void stateChanged(RunCoordinator::State state);
    void commandsChanged(RunCoordinator::Commands commands);
    // A run has started; `index` is the watch's position in the watch file for Check Now and Preview,
    // -1 for the passes.
    void runStarted(RunCoordinator::RunKind kind, int index);
    // Something of the run has just been shown.
    void progressed();
    // A stop was asked of the run in progress (each time it is asked).
    void stopRequested();
    // The run has ended and everything it showed is on the screen; the state is Idle already.
    void runEnded(RunCoordinator::RunKind kind);
    // The leave asked for during the run, now that it has ended.
    void leaveRequested(RunCoordinator::Leave how);

  private:
    bool start(RunKind kind, int index, std::function<tessel::SchedulerReport(tessel::RunContext&)> work);
    void runThreadEnded();
    // Reads the watch file again when the session asks, logs what the follower says and starts the runs it
    // has due; all of it waits while a run goes or the editor is open.
    void followChanges();
    void setState(State state);
    void assertWindowThread() const;

    tessel::RunContext& m_windowContext;
    RunThread* m_thread = nullptr;
    QTimer* m_dueWatchesTimer = nullptr;

    State m_state = State::Idle;
    RunKind m_kind = RunKind::CheckNow;
    std::chrono::steady_clock::time_point m_started{};
    double m_seconds = 0;
    // The requests that wait for the run's end.
    bool m_passWaiting = false;
    std::optional<Leave> m_leave;
    // What follows the watches that run on change, while the window runs; null before the start.
    std::unique_ptr<tessel::FollowSession> m_follow;
    QTimer* m_followTimer = nullptr;  // asks whether the watch file is to be read again
    bool m_followWaiting = false;     // followed runs wait for the run's end or the editor's
    bool m_followRestartWaiting = false;
    bool m_followHeld = false;  // the editor is open
    // Waits for the window to be shown, not for a run.
    bool m_onStartQueued = false;
    // Filled on the run thread during a preview; read here only after the run thread has ended, and
    // handed to the window while runEnded is being emitted.
    std::shared_ptr<tessel::PlanRecorder> m_previewPlan;
    std::shared_ptr<tessel::PlanRecorder> m_endedPreviewPlan;
    int m_previewIndex = -1;
};
