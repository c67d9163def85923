#include "ui/qt_main_loop.h"

#include <QMetaObject>
#include <QTimer>

namespace tavrel {

namespace {

class QtTimerHandle final : public TimerHandle {
public:
    QtTimerHandle(std::chrono::milliseconds interval, MainLoop::Task task) {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(interval);
        QObject::connect(&m_timer, &QTimer::timeout, [task = std::move(task)] { task(); });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

}  // namespace

QtMainLoop::QtMainLoop() : m_context(std::make_unique<QObject>()) {}

QtMainLoop::~QtMainLoop() = default;

void QtMainLoop::post(Task task) {
    QMetaObject::invokeMethod(m_context.get(), std::move(task), Qt::QueuedConnection);
}

std::unique_ptr<TimerHandle> QtMainLoop::startRepeatingTimer(std::chrono::milliseconds interval,
                                                             Task task) {
    return std::make_unique<QtTimerHandle>(interval, std::move(task));
}

}  // namespace tavrel
