#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "model/preferences.h"

namespace tavrel {

// What an output pulls sound from.
class AudioRenderer {
public:
    virtual ~AudioRenderer() = default;

    // Fills the interleaved stereo buffer. Never allocates, locks or blocks.
    virtual void render(float* interleaved, std::size_t frames) = 0;  // realtime
    // True when render(frames) would not starve any sounding voice (offline pulls).
    virtual bool isFedFor(std::size_t frames) const = 0;
    // True while any voice is mixed (playing or paused): the stream must run.
    virtual bool sounding() const { return true; }
};

// Which of the sound server's outputs to play on, and how much to buffer.
struct OutputChoice {
    std::string device;  // the server's output name; empty: the default output
    LatencyPreset preset = LatencyPreset::stable;

    bool operator==(const OutputChoice&) const = default;
};

// Whether sound reaches an output, as the output last saw it.
struct OutputHealth {
    bool running = true;         // false: no server, no output, or a stalled stream
    bool chosenMissing = false;  // the chosen output is gone; sound goes to the default

    bool operator==(const OutputHealth&) const = default;
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
    // A voice has just started. Main thread. An output whose queued sound is
    // all silence may replace it, so that the start is heard sooner.
    virtual void voiceStarted() {}

    // Outputs that watch themselves call the handler, from any thread, when
    // health() may have changed, and reconnect on their own. Set before start().
    virtual void setHealthHandler(std::function<void()>) {}
    virtual OutputHealth health() const { return {}; }
    // Main thread. Moves the stream to another output or latency without reopening it.
    virtual void choose(const OutputChoice&) {}
    // Times the server found the stream empty.
    virtual std::uint64_t underrunCount() const { return 0; }
};

}  // namespace tavrel
