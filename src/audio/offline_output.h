#pragma once

#include <cstddef>
#include <vector>

#include "audio/audio_output.h"

namespace tavrel {

// An output without a device: the caller pulls the callback in a loop and
// inspects the samples. For tests and benchmarks.
class OfflineOutput final : public AudioOutput {
public:
    explicit OfflineOutput(int sampleRate = 48000, int bufferFrames = 256);

    int sampleRate() const override { return m_sampleRate; }
    int bufferFrames() const override { return m_bufferFrames; }
    double latencySeconds() const override { return 0.0; }
    void start(AudioRenderer& renderer) override { m_renderer = &renderer; }
    bool ensureRunning() override { return m_deviceAvailable && m_renderer; }

    // Plays as if no device were there: ensureRunning() fails.
    void setDeviceAvailable(bool available) { m_deviceAvailable = available; }

    // Runs the callback for `frames` frames, in buffers of bufferFrames(),
    // waiting first until the decoder thread has fed every sounding voice.
    // Returns interleaved stereo.
    std::vector<float> pull(std::size_t frames);

private:
    void waitUntilFed(std::size_t frames) const;

    int m_sampleRate = 0;
    int m_bufferFrames = 0;
    bool m_deviceAvailable = true;
    AudioRenderer* m_renderer = nullptr;
};

}  // namespace tavrel
