#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/voice_feed.h"

namespace tavrel {

// Keeps every attached voice's ring topped up, reports voices that finished,
// and runs background jobs (warming starts). File I/O lives here so the
// output callback never waits on a disk.
class DecoderThread {
public:
    DecoderThread();
    ~DecoderThread();
    DecoderThread(const DecoderThread&) = delete;
    DecoderThread& operator=(const DecoderThread&) = delete;

    // Any thread. Fed until the feed is gone or its voice is detached.
    void attach(const std::shared_ptr<VoiceFeed>& feed);
    // Any thread. Runs the job on this thread, in order.
    void post(std::function<void()> job);

private:
    void run();
    bool serviceFeeds();
    static bool service(VoiceFeed& feed);

    std::mutex m_mutex;  // guards the members below
    std::condition_variable m_wake;
    std::vector<std::weak_ptr<VoiceFeed>> m_feeds;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::thread m_thread;  // last: starts once the rest is ready
};

}  // namespace tavrel
