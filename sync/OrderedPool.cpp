#include "sync/OrderedPool.h"

#include <algorithm>
#include <vector>

namespace tessel {

// Small pieces handed over as one: run one after the other, released one after the other.
class OrderedPool::Group : public Task {
  public:
    std::vector<std::unique_ptr<Task>> pieces;
    void run() override {
        for (const auto& piece : pieces) piece->run();
    }
    void release() override {
        for (const auto& piece : pieces) piece->release();
    }
};

OrderedPool::OrderedPool(int threads, std::size_t window) : m_window(std::max<std::size_t>(window, 1)) {
    if (threads < 2) return;
    for (int i = 0; i < threads; ++i) m_workers.emplace_back([this] { work(); });
}

OrderedPool::~OrderedPool() {
    {
        std::unique_lock lock(m_mutex);
        m_workDone.wait(lock, [this] {
            return m_asideRunning == 0 && std::all_of(m_slots.begin(), m_slots.end(), [](const Slot& slot) {
                       return !slot.taken || slot.done;
                   });
        });
        m_stopping = true;
    }
    m_workAvailable.notify_all();
    for (std::thread& worker : m_workers) worker.join();
}

void OrderedPool::submitSmall(std::unique_ptr<Task> task) {
    if (m_workers.empty()) return submit(std::move(task));
    if (!m_small) m_small = std::make_unique<Group>();
    m_small->pieces.push_back(std::move(task));
    if (m_small->pieces.size() >= kSmallPieces) closeSmall();
}

void OrderedPool::closeSmall() {
    if (!m_small) return;
    std::unique_ptr<Task> group = std::move(m_small);
    submit(std::move(group));
}

void OrderedPool::submit(std::unique_ptr<Task> task) {
    closeSmall();
    if (m_workers.empty()) {
        task->run();
        task->release();
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_slots.push_back({std::move(task), false, false});
    }
    m_workAvailable.notify_one();
    // Keep the window: wait for the oldest piece when it is full, and hand back what is finished. Not
    // from within a release: what comes after the piece being released waits until it is told in full.
    if (!m_releasing) releaseFront(m_slots.size() > m_window);
}

void OrderedPool::later(std::function<void()> event) {
    class Event : public Task {
      public:
        explicit Event(std::function<void()> event) : m_event(std::move(event)) {}
        void run() override {}
        void release() override { m_event(); }

      private:
        std::function<void()> m_event;
    };
    submit(std::make_unique<Event>(std::move(event)));
}

void OrderedPool::aside(std::function<void()> work) {
    {
        std::lock_guard lock(m_mutex);
        m_aside.push_back(std::move(work));
    }
    m_workAvailable.notify_one();
}

void OrderedPool::drain() {
    // A release may hand over more (a file decided again once its first step is done), also one made
    // while a group is handed over.
    for (;;) {
        closeSmall();
        if (m_slots.empty() && !m_small) return;
        releaseFront(true);
    }
}

void OrderedPool::releaseFront(bool wait) {
    for (;;) {
        std::unique_ptr<Task> ready;
        {
            std::unique_lock lock(m_mutex);
            if (m_slots.empty()) return;
            if (wait) m_workDone.wait(lock, [this] { return m_slots.front().done; });
            if (!m_slots.front().done) return;
            ready = std::move(m_slots.front().task);
            m_slots.pop_front();
            ++m_front;
        }
        m_releasing = true;
        ready->release();
        m_releasing = false;
        wait = false;
    }
}

void OrderedPool::work() {
    for (;;) {
        Task* task = nullptr;
        std::size_t index = 0;
        std::function<void()> aside;
        {
            std::unique_lock lock(m_mutex);
            m_workAvailable.wait(lock, [this] {
                return m_stopping || m_firstUntaken < m_front + m_slots.size() || !m_aside.empty();
            });
            if (m_stopping) return;
            // Work put aside is what the walk needs next, before the pieces already in hand.
            if (!m_aside.empty()) {
                aside = std::move(m_aside.front());
                m_aside.pop_front();
                ++m_asideRunning;
            } else {
                index = m_firstUntaken++;
                m_slots[index - m_front].taken = true;
                task = m_slots[index - m_front].task.get();
            }
        }
        if (aside) {
            aside();
            aside = nullptr;  // what it holds goes before the destructor may finish
            {
                std::lock_guard lock(m_mutex);
                --m_asideRunning;
            }
            m_workDone.notify_all();
            continue;
        }
        task->run();
        {
            // The piece may be nearer the front by now, never gone: only finished pieces are released.
            std::lock_guard lock(m_mutex);
            m_slots[index - m_front].done = true;
        }
        m_workDone.notify_all();
    }
}

}  // namespace tessel
