#pragma once
// Runs the engine on a thread of its own, so that the window keeps painting, moving and answering the
// desktop while a watch runs. The engine's calls to the display are collected on the run thread and
// handed to the window's own display about 30 times a second (a run over many small files makes far
// more of them than anyone can see); a message box the engine asks for is shown on the window's thread
// while the run waits for the answer. RunCoordinator decides which run goes; its header says which
// thread owns what.

#include <QObject>
#include <QThread>
#include <QTimer>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "sync/RunContext.h"
#include "sync/Scheduler.h"
#include "watch/RunDisplay.h"
#include "watch/RunProgress.h"

// The run thread's display and message boxes: everything is kept until the window's thread takes it.
class RunRelay : public tessel::RunDisplay, public tessel::UserMessages {
  public:
    // Called on the window's thread with the box to show; returns once the user has answered.
    using Ask = std::function<void(std::function<void()> showBox)>;
    // Made on the window's thread, which deliver() must then be called on.
    RunRelay(tessel::RunDisplay& display, tessel::UserMessages& messages, Ask ask)
        : m_display(display),
          m_messages(messages),
          m_ask(std::move(ask)),
          m_windowThread(QThread::currentThread()) {}

    // Run thread.
    void setStatusText(const std::string& text) override;
    void showRunningProgram(const std::string& program) override;
    void setProgressRange(int minimum, int maximum) override;
    void extendProgressRange(int maximum) override;
    void setProgressPosition(int position) override;
    void stepProgress() override;
    void setProgressVisible(bool visible) override;
    void completeProgress() override;
    // Any thread: the run thread and the pool threads that copy. The plan and the bytes are summed
    // without the mutex (a copy of a small file tells its bytes once), a large file's word under it.
    void changePlan(const PlanChange& change) override { m_bytes.plan(change); }
    void addCopiedBytes(std::uint64_t bytes) override { m_bytes.copy(bytes); }
    void showFileProgress(const std::string& path, std::uint64_t done, std::uint64_t size) override;
    // Run thread.
    void setRowPicture(int row, int picture) override;
    void appendLogLine(const std::string& line) override;
    // The window keeps its log area to its few lines itself: nothing is ever taken back from here.
    int logLineCount() const override { return 0; }
    void removeFirstLogLine() override {}
    void showMessage(const std::string& text) override;
    void showWarning(const std::string& text, const std::string& caption) override;

    // Window's thread: shows what has changed since the last call on the window's display.
    void deliver();

  private:
    struct Pending {
        bool status = false;
        std::string statusText;
        bool range = false;
        int minimum = 0;
        int maximum = 0;
        bool extended = false;
        int extendedMaximum = 0;
        bool position = false;
        int positionValue = 0;
        int steps = 0;
        bool visible = false;
        bool visibleValue = false;
        bool complete = false;
        // The last word of each large file heard of, in the order they were first heard of.
        struct FileProgress {
            std::string path;
            std::uint64_t done, size;
        };
        std::vector<FileProgress> files;
        std::vector<std::pair<int, int>> rows;
        std::deque<std::string> lines;  // the last lines only: the log area shows no more
    };

    // The window's thread only.
    tessel::RunDisplay& m_display;
    tessel::UserMessages& m_messages;
    Ask m_ask;
    QThread* m_windowThread;
    // Both threads, under the mutex.
    std::mutex m_mutex;
    Pending m_pending;
    // Any thread, without the mutex.
    tessel::ByteTally m_bytes;
};

class RunThread : public QObject {
    Q_OBJECT
  public:
    using Work = std::function<tessel::SchedulerReport(tessel::RunContext&)>;

    // `display` and `messages` are the window's own, used on its thread only.
    RunThread(tessel::RunDisplay& display, tessel::UserMessages& messages, QObject* parent = nullptr);
    // Stops a run in progress and waits for it; a message box it asks for then is not shown.
    ~RunThread() override;

    // Starts `work` on the run thread with these files and the settings' run options; false when a run
    // is going already.
    bool start(const std::string& watchFile, const std::string& logFile, const tessel::RunOptions& options,
               Work work);
    // From start() until finished() has been emitted.
    bool isRunning() const;
    // Ends the run at the next file. Any thread.
    void requestStop() { m_context.requestStop(); }
    bool stopRequested() const { return m_context.stopRequested(); }
    // What the last run did; valid from finished() on, when the run thread has let go of it.
    const tessel::SchedulerReport& report() const;

  signals:
    // Something of the run has just been shown.
    void progressed();
    // The run has ended and everything it showed is on the screen.
    void finished();

  private:
    void askOnWindowThread(std::function<void()> showBox);
    void deliver();
    void end();
    void assertWindowThread() const;

    RunRelay m_relay;
    // The run thread's while a run goes (the stop request excepted); the window's thread sets it up.
    tessel::RunContext m_context;
    // Written by the run thread; read on the window's thread once it has been joined.
    tessel::SchedulerReport m_report;
    // The window's thread only.
    QThread* m_thread = nullptr;
    QTimer m_deliveries;
    bool m_running = false;

    // A message box asked for by the run thread: done once the user has answered it, or abandoned when
    // the window goes away first.
    std::mutex m_askMutex;
    std::condition_variable m_answered;
    std::uint64_t m_asked = 0;
    std::uint64_t m_done = 0;
    bool m_abandoned = false;
};
