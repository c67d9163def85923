#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "audio/audio_output.h"
#include "audio/voice.h"

namespace tavrel {

// The fixed voice pool, allocated up front, and the callback that mixes it.
class Mixer final : public AudioRenderer {
public:
    static constexpr double rampSeconds = 0.005;

    Mixer(int sampleRate, std::size_t voiceCount, std::size_t ringFrames);

    void render(float* interleaved, std::size_t frames) override;  // realtime
    bool isFedFor(std::size_t frames) const override;
    bool sounding() const override;
    // Called by isFedFor when a voice is short (offline pulls; never the callback).
    void setStarvationHandler(std::function<void()> handler) { m_onStarved = std::move(handler); }

    int sampleRate() const { return m_sampleRate; }
    std::size_t rampFrames() const { return m_rampFrames; }

    // Main thread. A voice nobody owns whose sound is over; null when all are busy.
    Voice* claimVoice(float volume);
    // Main thread. The owner lets go: a sounding voice ramps out and retires by itself.
    void releaseVoice(Voice* voice);
    // Buffers rendered so far: shows whether a device is really pulling.
    std::uint64_t renderCount() const { return m_renders.load(std::memory_order_relaxed); }
    // Main thread. Voices owned or still sounding.
    std::size_t busyVoiceCount() const;

private:
    int m_sampleRate = 0;
    std::size_t m_rampFrames = 0;
    std::vector<std::unique_ptr<Voice>> m_voices;
    std::atomic<std::uint64_t> m_renders{0};
    std::function<void()> m_onStarved;
};

}  // namespace tavrel
