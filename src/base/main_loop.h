#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace tavrel {

// Stops its timer when destroyed.
class TimerHandle {
public:
    virtual ~TimerHandle() = default;
};

// The main thread's event loop, as the core sees it. Production: QtMainLoop;
// tests: ManualMainLoop with a virtual clock.
class MainLoop {
public:
    using Task = std::function<void()>;
    using Clock = std::chrono::steady_clock;

    virtual ~MainLoop() = default;

    // Runs the task later on the main thread. Callable from any thread.
    virtual void post(Task task) = 0;

    // Runs the task on the main thread every interval until the handle is destroyed.
    virtual std::unique_ptr<TimerHandle> startRepeatingTimer(std::chrono::milliseconds interval,
                                                             Task task) = 0;

    // Monotonic: a change of the system clock moves nothing that is timed by this.
    virtual Clock::time_point now() const = 0;
};

}  // namespace tavrel
