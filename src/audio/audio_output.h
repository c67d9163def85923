#pragma once

#include <cstddef>

namespace tavrel {

// What an output pulls sound from.
class AudioRenderer {
public:
    virtual ~AudioRenderer() = default;

    // Fills the interleaved stereo buffer. Never allocates, locks or blocks.
    virtual void render(float* interleaved, std::size_t frames) = 0;  // realtime
    // True when render(frames) would not starve any sounding voice (offline pulls).
    virtual bool isFedFor(std::size_t frames) const = 0;
};

// A float32 stereo output stream at a fixed rate.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    // Known from construction, kept for the life of the output.
    virtual int sampleRate() const = 0;
    virtual int bufferFrames() const = 0;
    // As the device reports it; 0 when there is none.
    virtual double latencySeconds() const = 0;

    // Opens the stream and keeps it running. Main thread, once.
    virtual void start(AudioRenderer& renderer) = 0;
    // True when the stream runs; reopens the default device after a loss. Main thread.
    virtual bool ensureRunning() = 0;
};

}  // namespace tavrel
