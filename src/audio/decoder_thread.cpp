#include "audio/decoder_thread.h"

#include <chrono>

namespace tavrel {

namespace {
// Rings hold about a third of a second, so waking every few milliseconds
// keeps them nearly full without busy work.
constexpr auto pollInterval = std::chrono::milliseconds(4);
constexpr std::size_t framesPerService = 8192;
}  // namespace

DecoderThread::DecoderThread() : m_thread([this] { run(); }) {}

DecoderThread::~DecoderThread() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void DecoderThread::attach(const std::shared_ptr<VoiceFeed>& feed) {
    {
        std::lock_guard lock(m_mutex);
        m_feeds.push_back(feed);
    }
    m_wake.notify_all();
}

void DecoderThread::post(std::function<void()> job) {
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_all();
}

void DecoderThread::run() {
    while (true) {
        std::function<void()> job;
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
            if (!m_jobs.empty()) {
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
        }
        // Feeds first: a ring running dry is heard, a late warm start is not.
        const bool busy = serviceFeeds();
        if (job) {
            job();
            continue;
        }
        if (busy)
            continue;
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, pollInterval, [this] { return m_stopping || !m_jobs.empty(); });
    }
}

// True when some ring took frames, so another round may be due at once.
bool DecoderThread::serviceFeeds() {
    std::vector<std::shared_ptr<VoiceFeed>> feeds;
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_feeds, [](const auto& feed) { return feed.expired(); });
        feeds.reserve(m_feeds.size());
        for (const auto& weak : m_feeds) {
            if (auto feed = weak.lock())
                feeds.push_back(std::move(feed));
        }
    }
    bool busy = false;
    for (const auto& feed : feeds)
        busy = service(*feed) || busy;
    return busy;
}

bool DecoderThread::service(VoiceFeed& feed) {
    std::lock_guard lock(feed.mutex);
    if (!feed.voice)
        return false;
    const bool filled = feed.fill(framesPerService) > 0;
    if (feed.voice->finished() && !feed.finishReported) {
        feed.finishReported = true;
        if (feed.onFinished)
            feed.onFinished(feed.run);
    }
    return filled && feed.voice->ring().writableFrames() > 0;
}

}  // namespace tavrel
