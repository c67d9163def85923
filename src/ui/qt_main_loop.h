#pragma once

#include <QObject>

#include "base/main_loop.h"

namespace tavrel {

// The main loop of a Qt application. Make it on the main thread after the
// QApplication; it must outlive everything that posts to it.
class QtMainLoop final : public MainLoop {
public:
    QtMainLoop();
    ~QtMainLoop() override;

    // Any thread: queued onto the main thread's event loop.
    void post(Task task) override;
    // Main thread.
    std::unique_ptr<TimerHandle> startRepeatingTimer(std::chrono::milliseconds interval,
                                                     Task task) override;
    Clock::time_point now() const override { return Clock::now(); }

private:
    // Lives on the main thread; queued calls to it run there.
    std::unique_ptr<QObject> m_context;
};

}  // namespace tavrel
