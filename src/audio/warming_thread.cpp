#include "audio/warming_thread.h"

#include <sys/resource.h>
#include <unistd.h>

namespace tavrel {

WarmingThread::WarmingThread() : m_thread([this] { run(); }) {}

WarmingThread::~WarmingThread() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void WarmingThread::post(std::function<void()> job) {  // main thread; takes m_mutex
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_all();
}

void WarmingThread::run() {  // warming thread; jobs run without m_mutex
    // Warm-ups can wait; the feeder and the window cannot. On Linux a
    // thread has its own nice value. Without the right it runs as it is.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
    while (true) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_stopping)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}

}  // namespace tavrel
