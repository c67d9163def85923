#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tavrel {

// Opens, probes and warms files in order, away from the feeder: a slow or
// bad file delays only the warm-ups queued behind it, never a sounding voice.
// Every job is bounded by the decoder's open timeout. Sleeps while idle.
class WarmingThread {
public:
    WarmingThread();
    // Finishes the job under way; the queued ones are dropped.
    ~WarmingThread();
    WarmingThread(const WarmingThread&) = delete;
    WarmingThread& operator=(const WarmingThread&) = delete;

    // Any thread.
    void post(std::function<void()> job);

private:
    void run();

    std::mutex m_mutex;  // guards the members below
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::thread m_thread;  // last: starts once the rest is ready
};

}  // namespace tavrel
