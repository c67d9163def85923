#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/audio_output.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_time_event;
struct pa_defer_event;
struct pa_buffer_attr;

namespace tavrel {

// One of the sound server's outputs.
struct OutputDevice {
    std::string name;  // what OutputChoice::device takes
    std::string description;
};

// The server's outputs; empty when no server answered within the timeout.
std::optional<std::vector<OutputDevice>> listOutputDevices(std::chrono::milliseconds timeout);

// A native client of the sound server (PulseAudio, or PipeWire through its
// PulseAudio service): float32 stereo, buffer sizes set from the latency
// preset, never stopped on an underrun (a late callback costs one buffer of
// silence). Everything runs on libpulse's own thread, which asks for
// realtime scheduling. It watches itself: a lost server, a failed stream or
// callbacks that stop coming are reported through the health handler, and it
// reconnects on its own. A chosen output that disappears leaves the stream on
// the default output; it is moved back when the output returns.
class PulseAudioOutput final : public AudioOutput {
public:
    // Null when no server answers within the timeout.
    static std::unique_ptr<PulseAudioOutput> connect(const OutputChoice& choice,
                                                     std::chrono::milliseconds timeout);
    ~PulseAudioOutput() override;
    PulseAudioOutput(const PulseAudioOutput&) = delete;
    PulseAudioOutput& operator=(const PulseAudioOutput&) = delete;

    int sampleRate() const override { return m_sampleRate; }
    int bufferFrames() const override { return m_bufferFrames.load(std::memory_order_relaxed); }
    double latencySeconds() const override;
    void start(AudioRenderer& renderer) override;
    // Wakes a resting stream; the start that follows is heard as on a running one.
    bool ensureRunning() override;
    // From silence, the start replaces what the server still holds.
    void voiceStarted() override;

    void setHealthHandler(std::function<void()> handler) override;
    OutputHealth health() const override;
    void choose(const OutputChoice& choice) override;
    std::uint64_t underrunCount() const override {
        return m_underruns.load(std::memory_order_relaxed);
    }
    // Whether the audio thread got realtime scheduling.
    bool realtime() const { return m_realtime.load(std::memory_order_relaxed); }

    // libpulse's callbacks, on its thread with its lock held.
    void contextChanged();
    void streamChanged();
    void writeRequested(std::size_t bytes);  // realtime
    void startSooner();                      // realtime
    void underflowed() { m_underruns.fetch_add(1, std::memory_order_relaxed); }
    void tick();
    void sinkEvent();
    void chosenSinkSeen(bool exists);
    void defaultSinkNamed(const char* name);

private:
    PulseAudioOutput();
    void beginConnect();
    void dropConnection();
    void openStream();
    void dropStream();
    void checkChosenSink();
    void moveStreamTo(const std::string& sink);
    void moveToDefault();
    void noteBuffer(const pa_buffer_attr& attributes);
    void setHealth(bool running, bool chosenMissing);
    void becomeRealtime();
    std::size_t writeRendered(std::size_t bytes, bool fromReadIndex);  // realtime
    void watchProgress(std::chrono::steady_clock::time_point now);
    void restWhenQuiet(std::chrono::steady_clock::time_point now);

    pa_threaded_mainloop* m_mainloop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    pa_context* m_clock = nullptr;
    pa_time_event* m_timer = nullptr;
    pa_defer_event* m_sooner = nullptr;
    AudioRenderer* m_renderer = nullptr;
    std::function<void()> m_healthHandler;
    int m_sampleRate = 48000;  // kept for the life of the output: decoders resample to it

    // Under the mainloop's lock.
    OutputChoice m_choice;
    bool m_rateKnown = false;
    bool m_pipeWire = false;
    bool m_sinkFound = false;
    int m_sinkRate = 0;
    std::uint64_t m_writes = 0;
    std::uint64_t m_seenWrites = 0;
    std::uint64_t m_writesAtReady = 0;
    std::chrono::steady_clock::time_point m_lastProgress{};
    std::chrono::steady_clock::time_point m_nextAttempt{};
    std::chrono::steady_clock::time_point m_connectStarted{};
    std::chrono::steady_clock::time_point m_streamOpened{};
    bool m_corked = false;
    std::chrono::steady_clock::time_point m_quietSince{};
    std::chrono::steady_clock::time_point m_lastStart{};

    std::atomic<bool> m_running{false};
    std::atomic<bool> m_chosenMissing{false};
    std::atomic<int> m_bufferFrames{0};
    std::atomic<double> m_latencySeconds{0.0};
    std::atomic<std::uint64_t> m_underruns{0};
    std::atomic<bool> m_realtime{false};
    bool m_triedRealtime = false;   // audio thread only
    std::size_t m_silentBytes = 0;  // audio thread: written since the last audible sample
};

}  // namespace tavrel
