#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "base/main_loop.h"

namespace tavrel::test {

// A main loop with a virtual clock: nothing runs until the test says so.
// post() may be called from any thread; everything else from the test's thread.
class ManualMainLoop final : public MainLoop {
public:
    ManualMainLoop();

    void post(Task task) override;
    std::unique_ptr<TimerHandle> startRepeatingTimer(std::chrono::milliseconds interval,
                                                     Task task) override;
    Clock::time_point now() const override { return m_now; }

    // Runs posted tasks, including those they post, until none is left; returns how many ran.
    int runPending();
    // Moves the clock forward, firing due timers in time order and running the
    // tasks posted meanwhile.
    void advance(double seconds);

    std::size_t pendingCount() const;
    std::size_t activeTimerCount() const { return m_timers->size(); }

private:
    struct Timer {
        std::chrono::nanoseconds interval;
        Clock::time_point next;
        Task task;
    };
    using Timers = std::map<std::uint64_t, Timer>;

    mutable std::mutex m_mutex;  // guards m_posted only: post() is the one cross-thread call
    std::deque<Task> m_posted;
    Clock::time_point m_now;
    std::shared_ptr<Timers> m_timers;
    std::uint64_t m_nextTimerID = 0;
};

}  // namespace tavrel::test
