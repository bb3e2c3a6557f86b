#include "ui/RunCoordinator.h"

#include <QThread>
#include <QTimer>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "ui/RunThread.h"
#include "watch/WatchFile.h"

using namespace tessel;

namespace {

// Check All: every watch but those set to Stop, one after another, as Check Now runs one.
SchedulerReport checkAllWatches(RunContext& context) {
    SchedulerReport total;
    std::vector<TWatchRec> watches;
    readAllWatchRecs(context.WatchFilePath, watches);
    for (std::size_t position = 0; position < watches.size(); ++position) {
        // A watch set to Stop is one the user has put aside.
        if (watches[position].RunMode == rmStop) continue;
        if (context.stopRequested()) break;
        const int index = static_cast<int>(position);
        context.display.setRowPicture(index, kRunningPicture);
        const SchedulerReport report = checkWatchNow(context, index);
        total += report;
        if (report.result.stopped) break;
    }
    return total;
}

}  // namespace

RunCoordinator::RunCoordinator(RunContext& windowContext, QObject* parent)
    : QObject(parent), m_windowContext(windowContext) {
    m_thread = new RunThread(windowContext.display, windowContext.messages, this);
    connect(m_thread, &RunThread::progressed, this, &RunCoordinator::progressed);
    connect(m_thread, &RunThread::finished, this, &RunCoordinator::runThreadEnded);

    m_dueWatchesTimer = new QTimer(this);
    m_dueWatchesTimer->setObjectName(QStringLiteral("dueWatchesTimer"));
    m_dueWatchesTimer->setInterval(kDueWatchesInterval);
    connect(m_dueWatchesTimer, &QTimer::timeout, this, &RunCoordinator::checkDueWatches);
    m_dueWatchesTimer->start();

    m_followTimer = new QTimer(this);
    m_followTimer->setObjectName(QStringLiteral("followTimer"));
    m_followTimer->setInterval(kFollowInterval);
    connect(m_followTimer, &QTimer::timeout, this, &RunCoordinator::followChanges);
}

RunCoordinator::~RunCoordinator() {
    // The run thread ends before the display it shows its work on, which the window owns, and before the
    // follow session a followed run uses.
    delete m_thread;
    m_thread = nullptr;
    m_follow.reset();
}

void RunCoordinator::assertWindowThread() const {
    // Every member belongs to the window's thread; the run thread reaches none of them.
    Q_ASSERT_X(QThread::currentThread() == thread(), "RunCoordinator", "used off the window's thread");
}

RunCoordinator::State RunCoordinator::state() const {
    assertWindowThread();
    return m_state;
}

RunCoordinator::RunKind RunCoordinator::runKind() const {
    assertWindowThread();
    return m_kind;
}

RunCoordinator::Commands RunCoordinator::commands() const {
    assertWindowThread();
    // What would start a second run or change the watch file waits until the run has ended; a run
    // already asked to stop cannot be asked again.
    const bool idle = m_state == State::Idle;
    return {idle, idle, m_state == State::Running};
}

void RunCoordinator::setState(State state) {
    if (m_state == state) return;
    m_state = state;
    emit stateChanged(state);
    emit commandsChanged(commands());
}

bool RunCoordinator::start(RunKind kind, int index, std::function<SchedulerReport(RunContext&)> work) {
    assertWindowThread();
    // One run at a time.
    if (m_state != State::Idle) return false;
    if (!m_thread->start(m_windowContext.WatchFilePath, m_windowContext.LogFilePath, m_windowContext.options,
                         std::move(work)))
        return false;
    m_kind = kind;
    m_started = std::chrono::steady_clock::now();
    setState(State::Running);
    emit runStarted(kind, index);
    return true;
}

bool RunCoordinator::checkNow(int index) {
    if (index < 0) return false;
    return start(RunKind::CheckNow, index,
                 [index](RunContext& context) { return checkWatchNow(context, index); });
}

bool RunCoordinator::runPlan(int index, std::shared_ptr<const EditedPlan> plan) {
    if (index < 0 || !plan) return false;
    // The plan is the run thread's to read until the run has ended; nothing changes it meanwhile.
    return start(RunKind::CheckNow, index,
                 [index, plan](RunContext& context) { return checkWatchNow(context, index, {plan.get()}); });
}

bool RunCoordinator::checkAll() {
    return start(RunKind::CheckAll, -1, checkAllWatches);
}

bool RunCoordinator::preview(int index) {
    if (index < 0) return false;
    auto plan = std::make_shared<PlanRecorder>();
    // Written on the run thread; the plan is read on the window's thread only once that has ended.
    if (!start(RunKind::Preview, index, [index, plan](RunContext& context) {
            // A change made after this moment is one the preview may not have seen.
            plan->madeAt = platform::fileClockNextTick();
            return previewWatchNow(context, index, *plan);
        }))
        return false;
    m_previewPlan = std::move(plan);
    m_previewIndex = index;
    return true;
}

void RunCoordinator::checkDueWatches() {
    assertWindowThread();
    // One thing at a time: a pass that comes during a run waits for its end.
    if (m_state != State::Idle) {
        m_passWaiting = true;
        return;
    }
    // Off for the whole pass; it starts again when the pass has ended.
    m_dueWatchesTimer->stop();
    if (!start(RunKind::TimerPass, -1, runDueWatches)) m_dueWatchesTimer->start();
}

bool RunCoordinator::startFollowing() {
    assertWindowThread();
    // A followed run in hand uses the session until its end.
    if (m_state != State::Idle) {
        m_followRestartWaiting = true;
        return true;
    }
    m_followRestartWaiting = false;
    m_followWaiting = false;
    m_follow.reset();
    // The follower's thread only asks; everything is done here, on the window's thread.
    auto session = std::make_unique<FollowSession>(m_windowContext, [this] {
        QMetaObject::invokeMethod(this, &RunCoordinator::followChanges, Qt::QueuedConnection);
    });
    if (!session->start()) {
        m_followTimer->stop();
        return false;
    }
    m_follow = std::move(session);
    m_follow->reload();
    m_followTimer->start();
    followChanges();
    return true;
}

bool RunCoordinator::following() const {
    assertWindowThread();
    return m_follow != nullptr;
}

void RunCoordinator::followChanges() {
    assertWindowThread();
    if (!m_follow) return;
    // One run at a time, and the log is written by one of them at a time: all of it waits for the end.
    if (m_state != State::Idle || m_followHeld) {
        m_followWaiting = true;
        return;
    }
    m_followWaiting = false;
    if (m_follow->wantsReload()) m_follow->reload();
    m_follow->logLines(m_windowContext);
    std::vector<FollowRun> due = m_follow->takeDue();
    if (due.empty()) return;
    FollowSession* const session = m_follow.get();
    if (!start(RunKind::Followed, -1,
               [session, due](RunContext& context) { return session->run(context, due); }))
        session->putBack(due);
}

void RunCoordinator::queueOnStartWatches() {
    assertWindowThread();
    m_onStartQueued = true;
}

bool RunCoordinator::onStartWatchesQueued() const {
    assertWindowThread();
    return m_onStartQueued;
}

void RunCoordinator::runOnStartWatches() {
    assertWindowThread();
    if (!m_onStartQueued) return;
    m_onStartQueued = false;
    start(RunKind::OnStart, -1, tessel::runOnStartWatches);
}

void RunCoordinator::cancelOnStartWatches() {
    assertWindowThread();
    m_onStartQueued = false;
}

void RunCoordinator::stop() {
    assertWindowThread();
    if (m_state == State::Idle) return;
    m_thread->requestStop();
    setState(State::Stopping);
    emit stopRequested();
}

bool RunCoordinator::requestLeave(Leave how) {
    assertWindowThread();
    if (m_state == State::Idle) return true;
    // Exit stores the settings and then closes: it covers a close asked for as well.
    if (!m_leave || how == Leave::Exit) m_leave = how;
    stop();
    return false;
}

bool RunCoordinator::leaving() const {
    assertWindowThread();
    return m_leave.has_value();
}

void RunCoordinator::pauseDueWatches() {
    assertWindowThread();
    m_dueWatchesTimer->stop();
    m_followHeld = true;
}

void RunCoordinator::resumeDueWatches() {
    assertWindowThread();
    m_dueWatchesTimer->start();
    m_followHeld = false;
    if (m_followWaiting) followChanges();
}

const SchedulerReport& RunCoordinator::report() const {
    assertWindowThread();
    return m_thread->report();
}

double RunCoordinator::lastRunSeconds() const {
    assertWindowThread();
    return m_seconds;
}

bool RunCoordinator::lastRunStopRequested() const {
    assertWindowThread();
    return m_thread->stopRequested();
}

std::shared_ptr<PlanRecorder> RunCoordinator::takePreviewPlan() {
    assertWindowThread();
    return std::move(m_endedPreviewPlan);
}

int RunCoordinator::previewIndex() const {
    assertWindowThread();
    return m_previewIndex;
}

void RunCoordinator::runThreadEnded() {
    assertWindowThread();
    m_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    const RunKind kind = m_kind;
    m_endedPreviewPlan = std::move(m_previewPlan);
    setState(State::Idle);
    emit runEnded(kind);
    // A plan the window did not take is of no use to anyone now.
    m_endedPreviewPlan.reset();
    // Only now: the pass is not over while the window still shows what it did (a message box, say).
    if (kind == RunKind::TimerPass) m_dueWatchesTimer->start();

    if (m_leave) {
        const Leave how = *m_leave;
        m_leave.reset();
        emit leaveRequested(how);
        return;
    }
    if (m_followRestartWaiting) startFollowing();
    if (m_passWaiting) {
        m_passWaiting = false;
        checkDueWatches();
    }
    // After the pass has started, if one waited: then the followed runs wait for its end too.
    if (m_followWaiting) followChanges();
}
