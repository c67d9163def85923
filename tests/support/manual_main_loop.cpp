#include "support/manual_main_loop.h"

namespace tavrel::test {

namespace {

template <typename Timers>
class ManualTimerHandle final : public TimerHandle {
public:
    ManualTimerHandle(std::weak_ptr<Timers> timers, std::uint64_t id)
        : m_timers(std::move(timers)), m_id(id) {}
    ~ManualTimerHandle() override {
        if (auto timers = m_timers.lock())
            timers->erase(m_id);
    }

private:
    std::weak_ptr<Timers> m_timers;
    std::uint64_t m_id;
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
    return std::make_unique<ManualTimerHandle<Timers>>(m_timers, id);
}

int ManualMainLoop::runPending() {
    int count = 0;
    for (;;) {
        Task task;
        {
            std::lock_guard lock(m_mutex);
            if (m_posted.empty())
                break;
            task = std::move(m_posted.front());
            m_posted.pop_front();
        }
        task();
        ++count;
    }
    return count;
}

void ManualMainLoop::advance(double seconds) {
    const auto end =
        m_now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    runPending();
    for (;;) {
        // The earliest due timer; a task may stop or start timers, so look again each time.
        auto due = m_timers->end();
        for (auto it = m_timers->begin(); it != m_timers->end(); ++it) {
            if (it->second.next <= end &&
                (due == m_timers->end() || it->second.next < due->second.next)) {
                due = it;
            }
        }
        if (due == m_timers->end())
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
