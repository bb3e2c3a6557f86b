#include "ui/RunThread.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>

#include "watch/EventLog.h"

using namespace tessel;

namespace {

// About 30 deliveries a second: what changes faster than that nobody sees.
constexpr auto kDeliveryInterval = std::chrono::milliseconds(33);

}  // namespace

// ---- Run thread's side ------------------------------------------------------------------------------

void RunRelay::setStatusText(const std::string& text) {
    const std::lock_guard lock(m_mutex);
    m_pending.status = true;
    m_pending.statusText = text;
}

void RunRelay::showRunningProgram(const std::string& program) {
    setStatusText(QCoreApplication::translate("RunRelay", "Running %1")
                      .arg(QString::fromStdString(program))
                      .toStdString());
}

void RunRelay::setProgressRange(int minimum, int maximum) {
    const std::lock_guard lock(m_mutex);
    m_pending.range = true;
    m_pending.minimum = minimum;
    m_pending.maximum = maximum;
    // Steps and bytes before a new range belong to the run before it.
    m_pending.position = false;
    m_pending.steps = 0;
    m_pending.extended = false;
    m_pending.complete = false;
    m_pending.files.clear();
    m_bytes.take();
}

void RunRelay::extendProgressRange(int maximum) {
    const std::lock_guard lock(m_mutex);
    m_pending.extended = true;
    m_pending.extendedMaximum = maximum;
}

void RunRelay::setProgressPosition(int position) {
    const std::lock_guard lock(m_mutex);
    m_pending.position = true;
    m_pending.positionValue = position;
    m_pending.steps = 0;
}

void RunRelay::stepProgress() {
    const std::lock_guard lock(m_mutex);
    ++m_pending.steps;
}

void RunRelay::setProgressVisible(bool visible) {
    const std::lock_guard lock(m_mutex);
    m_pending.visible = true;
    m_pending.visibleValue = visible;
}

void RunRelay::completeProgress() {
    const std::lock_guard lock(m_mutex);
    m_pending.complete = true;
}

void RunRelay::showFileProgress(const std::string& path, std::uint64_t done, std::uint64_t size) {
    const std::lock_guard lock(m_mutex);
    for (Pending::FileProgress& file : m_pending.files) {
        if (file.path != path) continue;
        file.done = done;
        file.size = size;
        return;
    }
    m_pending.files.push_back({path, done, size});
}

void RunRelay::setRowPicture(int row, int picture) {
    const std::lock_guard lock(m_mutex);
    m_pending.rows.emplace_back(row, picture);
}

void RunRelay::appendLogLine(const std::string& line) {
    const std::lock_guard lock(m_mutex);
    m_pending.lines.push_back(line);
    if (m_pending.lines.size() > static_cast<std::size_t>(kLogAreaLines)) {
        m_pending.lines.pop_front();
    }
}

void RunRelay::showMessage(const std::string& text) {
    m_ask([this, text] { m_messages.showMessage(text); });
}

void RunRelay::showWarning(const std::string& text, const std::string& caption) {
    m_ask([this, text, caption] { m_messages.showWarning(text, caption); });
}

// ---- Window's side ----------------------------------------------------------------------------------

void RunRelay::deliver() {
    Q_ASSERT_X(QThread::currentThread() == m_windowThread, "RunRelay", "delivered off the window's thread");
    Pending pending;
    {
        const std::lock_guard lock(m_mutex);
        std::swap(pending, m_pending);
    }
    if (pending.range) m_display.setProgressRange(pending.minimum, pending.maximum);
    if (pending.position) m_display.setProgressPosition(pending.positionValue);
    if (pending.extended) m_display.extendProgressRange(pending.extendedMaximum);
    for (int i = 0; i < pending.steps; ++i) m_display.stepProgress();
    // The plan before the bytes, as the run told them.
    const ByteTally::Sums bytes = m_bytes.take();
    if (!bytes.plan.empty()) m_display.changePlan(bytes.plan);
    if (bytes.copied > 0) m_display.addCopiedBytes(bytes.copied);
    for (const Pending::FileProgress& file : pending.files)
        m_display.showFileProgress(file.path, file.done, file.size);
    if (pending.complete) m_display.completeProgress();
    if (pending.status) m_display.setStatusText(pending.statusText);
    for (const auto& [row, picture] : pending.rows) m_display.setRowPicture(row, picture);
    // Lines that came more than the area keeps before these were pushed out by them anyway.
    for (const std::string& line : pending.lines) {
        m_display.appendLogLine(line);
        if (m_display.logLineCount() > kLogAreaLines) m_display.removeFirstLogLine();
    }
    if (pending.visible) m_display.setProgressVisible(pending.visibleValue);
}

RunThread::RunThread(RunDisplay& display, UserMessages& messages, QObject* parent)
    : QObject(parent),
      m_relay(display, messages,
              [this](std::function<void()> showBox) { askOnWindowThread(std::move(showBox)); }),
      m_context(m_relay, m_relay) {
    m_deliveries.setInterval(kDeliveryInterval);
    connect(&m_deliveries, &QTimer::timeout, this, &RunThread::deliver);
}

RunThread::~RunThread() {
    {
        const std::lock_guard lock(m_askMutex);
        m_abandoned = true;
    }
    m_answered.notify_all();
    if (m_thread != nullptr) {
        m_context.requestStop();
        m_thread->wait();
        delete m_thread;
    }
}

void RunThread::assertWindowThread() const {
    Q_ASSERT_X(QThread::currentThread() == thread(), "RunThread", "used off the window's thread");
}

bool RunThread::isRunning() const {
    assertWindowThread();
    return m_running;
}

const SchedulerReport& RunThread::report() const {
    assertWindowThread();
    return m_report;
}

bool RunThread::start(const std::string& watchFile, const std::string& logFile, const RunOptions& options,
                      Work work) {
    assertWindowThread();
    if (m_running) return false;
    m_running = true;
    m_report = {};
    m_context.WatchFilePath = watchFile;
    m_context.LogFilePath = logFile;
    m_context.options = options;
    m_context.clearStop();
    m_thread = QThread::create([this, work = std::move(work)] { m_report = work(m_context); });
    m_thread->setObjectName(QStringLiteral("Tessel run"));
    connect(m_thread, &QThread::finished, this, &RunThread::end, Qt::QueuedConnection);
    m_deliveries.start();
    m_thread->start();
    return true;
}

void RunThread::deliver() {
    assertWindowThread();
    m_relay.deliver();
    emit progressed();
}

void RunThread::askOnWindowThread(std::function<void()> showBox) {
    // Asked on the window's thread, the wait below would wait for itself.
    Q_ASSERT_X(QThread::currentThread() != thread(), "RunThread", "a box asked for on the window's thread");
    std::unique_lock lock(m_askMutex);
    if (m_abandoned) return;
    const std::uint64_t ticket = ++m_asked;
    // Queued to this object: a window that goes away first takes the box with it, and the wait ends.
    QMetaObject::invokeMethod(
        this,
        [this, ticket, showBox = std::move(showBox)] {
            // The box comes after what the run showed before it.
            deliver();
            showBox();
            {
                const std::lock_guard done(m_askMutex);
                m_done = ticket;
            }
            m_answered.notify_all();
        },
        Qt::QueuedConnection);
    m_answered.wait(lock, [&] { return m_done >= ticket || m_abandoned; });
}

void RunThread::end() {
    assertWindowThread();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_deliveries.stop();
    m_relay.deliver();
    m_running = false;
    emit progressed();
    emit finished();
}
