#include "audio/decoder_thread.h"

#include <algorithm>

namespace tavrel {

namespace {
// Per feed and round, so that one voice's refill does not hold up the others.
constexpr std::size_t framesPerService = 8192;
// After the end of a stream, look again this long after the ring should
// have run dry, so that the finish is reported promptly.
constexpr auto finishMargin = std::chrono::milliseconds(2);
constexpr auto shortestWait = std::chrono::milliseconds(1);
}  // namespace

DecoderThread::DecoderThread(int sampleRate)
    : m_sampleRate(sampleRate), m_thread([this] { run(); }) {}

DecoderThread::~DecoderThread() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void DecoderThread::attach(const std::shared_ptr<VoiceFeed>& feed) {  // main thread; takes m_mutex
    {
        std::lock_guard lock(m_mutex);
        const bool known = std::any_of(m_feeds.begin(), m_feeds.end(),
                                       [&](const auto& weak) { return weak.lock() == feed; });
        if (!known)
            m_feeds.push_back(feed);
        m_woken = true;
    }
    m_wake.notify_all();
}

void DecoderThread::wake() {  // any thread; takes m_mutex
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
    }
    m_wake.notify_all();
}

void DecoderThread::run() {  // decoder thread
    while (true) {
        const std::optional<Duration> due = serviceFeeds();
        std::unique_lock lock(m_mutex);
        const auto woken = [this] { return m_stopping || m_woken; };
        if (!due)
            m_wake.wait(lock, woken);
        else if (*due > Duration::zero())
            m_wake.wait_for(lock, *due, woken);
        if (m_stopping)
            return;
        m_woken = false;
    }
}

std::optional<DecoderThread::Duration> DecoderThread::serviceFeeds() {  // decoder thread; m_mutex
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
    std::optional<Duration> due;
    for (const auto& feed : feeds) {
        if (const auto next = service(*feed))
            due = due ? std::min(*due, *next) : *next;
    }
    return due;
}

// Decoder thread; takes the feed's lock, never m_mutex with it.
std::optional<DecoderThread::Duration> DecoderThread::service(VoiceFeed& feed) const {
    std::lock_guard lock(feed.mutex);
    if (!feed.voice)
        return std::nullopt;
    Voice& voice = *feed.voice;
    const std::size_t filled = feed.fill(framesPerService);
    if (voice.finished()) {
        if (!feed.finishReported) {
            feed.finishReported = true;
            if (feed.onFinished)
                feed.onFinished(feed.run);
        }
        return std::nullopt;
    }
    const std::size_t capacity = voice.ring().capacityFrames();
    const std::size_t buffered = capacity - voice.ring().writableFrames();
    const auto lasting = [this](std::size_t frames) {
        return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(
            static_cast<double>(frames) / static_cast<double>(m_sampleRate)));
    };
    if (voice.endOfStream())
        return lasting(buffered) + finishMargin;
    if (filled == framesPerService && buffered < capacity)
        return Duration::zero();  // took its share of this round and has room for more
    // Wake when an eighth of the ring is spent: the rest is the margin for a
    // late wake-up on a loaded machine.
    const std::size_t keep = capacity - capacity / 8;
    return std::max<Duration>(lasting(buffered > keep ? buffered - keep : 0), shortestWait);
}

}  // namespace tavrel
