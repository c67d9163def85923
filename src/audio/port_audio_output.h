#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "audio/audio_output.h"

typedef void PaStream;

namespace tavrel {

// The default output device through PortAudio: float32 stereo at the
// device's rate, one stream opened at start-up and kept open, so a cue
// never waits for a device to wake. Without a device it still constructs;
// ensureRunning() then fails, and retries on each call. A stream that died
// or stopped calling back is reopened on the default device.
class PortAudioOutput final : public AudioOutput {
public:
    explicit PortAudioOutput(int bufferFrames = 256);
    ~PortAudioOutput() override;
    PortAudioOutput(const PortAudioOutput&) = delete;
    PortAudioOutput& operator=(const PortAudioOutput&) = delete;

    int sampleRate() const override { return m_sampleRate; }
    int bufferFrames() const override { return m_bufferFrames; }
    double latencySeconds() const override { return m_latencySeconds; }
    void start(AudioRenderer& renderer) override;
    bool ensureRunning() override;

    // What the stream callback reaches.
    struct CallbackTarget {
        AudioRenderer* renderer = nullptr;
        std::atomic<std::uint64_t> count{0};
    };

private:
    bool initialize();
    bool open();
    void close();
    bool stalled();

    int m_bufferFrames = 0;
    int m_sampleRate = 48000;  // kept when the device changes: decoders resample to it
    double m_latencySeconds = 0.0;
    bool m_initialized = false;
    PaStream* m_stream = nullptr;
    CallbackTarget m_callback;
    std::uint64_t m_seenCallbacks = 0;
    std::chrono::steady_clock::time_point m_lastProgress{};
};

}  // namespace tavrel
