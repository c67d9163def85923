#include "support/manual_main_loop.h"

#include <algorithm>
#include <functional>

namespace tavrel::test {

namespace {
struct ManualTimerHandle final : TimerHandle {
    explicit ManualTimerHandle(std::function<void()> cancel) : cancel(std::move(cancel)) {}
    ~ManualTimerHandle() override { cancel(); }
    std::function<void()> cancel;
};
}  // namespace

ManualMainLoop::ManualMainLoop()
    : m_now(Clock::time_point{} + std::chrono::hours(1000)), m_timers(std::make_shared<Timers>()) {}

void ManualMainLoop::post(Task task) {
    std::lock_guard lock(m_mutex);
    m_posted.push_back(std::move(task));
}

std::unique_ptr<TimerHandle> ManualMainLoop::startRepeatingTimer(std::chrono::milliseconds interval,
                                                                 Task task) {
    const auto id = m_nextTimerID++;
    m_timers->emplace(id, Timer{interval, m_now + interval, std::move(task)});
    return std::make_unique<ManualTimerHandle>([timers = std::weak_ptr(m_timers), id] {
        if (auto alive = timers.lock())
            alive->erase(id);
    });
}

int ManualMainLoop::runPending() {
    for (int count = 0;; ++count) {
        std::unique_lock lock(m_mutex);
        if (m_posted.empty())
            return count;
        Task task = std::move(m_posted.front());
        m_posted.pop_front();
        lock.unlock();
        task();
    }
}

void ManualMainLoop::advance(double seconds) {
    const auto end =
        m_now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    runPending();
    // The earliest due timer; a task may stop or start timers, so look again each time.
    const auto earlier = [](const auto& a, const auto& b) { return a.second.next < b.second.next; };
    for (auto due = m_timers->begin(); !m_timers->empty();) {
        due = std::min_element(m_timers->begin(), m_timers->end(), earlier);
        if (due->second.next > end)
            break;
        m_now = due->second.next;
        due->second.next += due->second.interval;
        auto task = due->second.task;  // the timer may be destroyed by its own task
        task();
        runPending();
    }
    m_now = end;
    runPending();
}

std::size_t ManualMainLoop::pendingCount() const {
    std::lock_guard lock(m_mutex);
    return m_posted.size();
}

}  // namespace tavrel::test
