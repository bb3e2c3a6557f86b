#pragma once
// Runs the work of a walk on a few threads and hands each piece back to the walk's own thread in the
// order it was given, so what a user sees (log lines, status text, progress) comes out as from one
// thread. A bounded window of pieces is in flight: memory does not grow with the tree.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tessel {

class OrderedPool {
  public:
    // One piece of work: run() on any thread, touching only what is its own and the file system;
    // release() on the thread that submitted it, after every piece submitted before it.
    class Task {
      public:
        virtual ~Task() = default;
        virtual void run() = 0;
        virtual void release() = 0;
    };

    // With `threads` below 2 every task runs and is released at once, on the calling thread.
    explicit OrderedPool(int threads, std::size_t window = 256);
    // Waits for what is in flight; nothing more is released.
    ~OrderedPool();
    OrderedPool(const OrderedPool&) = delete;
    OrderedPool& operator=(const OrderedPool&) = delete;

    void submit(std::unique_ptr<Task> task);
    // A small piece (one file's copy), put together with the next few small pieces into one: fewer
    // hand-overs, and still a share for every thread. Whatever comes after it in any other way (submit,
    // later, drain) closes the group first, so the order stays as submitted.
    void submitSmall(std::unique_ptr<Task> task);
    static constexpr std::size_t kSmallPieces = 16;
    // Releases everything submitted so far.
    void drain();
    bool parallel() const { return !m_workers.empty(); }
    // Whether something submitted is still to be released, seen from the submitting thread outside a
    // release: what that thread does now would come out before it, and must wait its turn (later()).
    bool aheadOfItsTurn() const { return (!m_slots.empty() || m_small) && !m_releasing; }
    // Does `event` on the submitting thread once everything submitted before is released.
    void later(std::function<void()> event);
    // Work whose result the submitting thread waits for itself (what it needs next): run on a thread
    // before the ordered pieces waiting, never released. Only for a pool with threads.
    void aside(std::function<void()> work);

  private:
    struct Slot {
        std::unique_ptr<Task> task;
        bool taken = false;
        bool done = false;
    };
    void work();
    // Releases the finished pieces at the front; with `wait`, waits for the first one first.
    void releaseFront(bool wait);
    // Hands the small pieces gathered so far to the threads as one.
    void closeSmall();
    class Group;
    std::unique_ptr<Group> m_small;

    std::mutex m_mutex;
    std::condition_variable m_workAvailable;
    std::condition_variable m_workDone;
    std::deque<Slot> m_slots;
    std::deque<std::function<void()>> m_aside;
    std::size_t m_asideRunning = 0;
    std::size_t m_front = 0;         // the number of the piece at the front of m_slots
    std::size_t m_firstUntaken = 0;  // the number of the first piece no worker has taken
    std::size_t m_window;
    bool m_stopping = false;
    bool m_releasing = false;
    std::vector<std::thread> m_workers;
};

}  // namespace tessel
