#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "audio/voice_feed.h"

namespace tavrel {

// The feeder: keeps every attached voice's ring topped up and reports voices
// that finished. It reads only the decoders of voices it feeds; opening and
// warming files happen on the WarmingThread. With nothing to feed it sleeps
// until woken; while voices sound it wakes when an eighth of their rings is
// spent (the output callback may not notify it).
class DecoderThread {
public:
    explicit DecoderThread(int sampleRate);
    ~DecoderThread();
    DecoderThread(const DecoderThread&) = delete;
    DecoderThread& operator=(const DecoderThread&) = delete;

    // Any thread but the callback. Fed until the feed is gone or its voice is
    // detached; attaching again (a new voice) wakes the feeder.
    void attach(const std::shared_ptr<VoiceFeed>& feed);
    // Any thread but the callback: services the feeds now.
    void wake();

private:
    using Duration = std::chrono::steady_clock::duration;

    void run();
    // How long the feeds can go unserviced; none while nothing is fed.
    std::optional<Duration> serviceFeeds();
    std::optional<Duration> service(VoiceFeed& feed) const;

    const int m_sampleRate;
    std::mutex m_mutex;  // guards the members below
    std::condition_variable m_wake;
    std::vector<std::weak_ptr<VoiceFeed>> m_feeds;
    bool m_woken = false;
    bool m_stopping = false;
    std::thread m_thread;  // last: starts once the rest is ready
};

}  // namespace tavrel
