#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "audio/sample_ring.h"

namespace tavrel {

// One sounding file in the mixer: a ring of decoded frames, a play/pause
// target, a volume, a 5 ms envelope and an optional fade-out. The main
// thread arms and commands it, a feeding thread writes its ring, the output
// callback mixes it.
class Voice {
public:
    enum class Phase : int {
        free,     // nobody uses it
        armed,    // being filled; the callback skips it
        active,   // the callback mixes it
        retired,  // the callback is done with it: stopped or ended
    };

    Voice(std::size_t ringFrames, std::size_t rampFrames);

    // Main thread.
    void arm(float volume);  // from free or retired; empties the ring
    void start();            // armed → active, or resumes
    void pause();
    void requestStop();  // ramps out, then retires
    // Falls to silence along one curve over `frames` played frames, then
    // finishes; a pause holds the curve where it is. Once per arm().
    void fadeOut(std::size_t frames);
    void setVolume(float volume) { m_volume.store(volume, std::memory_order_relaxed); }
    bool ownedByPlayer = false;  // main thread only

    Phase phase() const { return m_phase.load(std::memory_order_acquire); }
    // Frames handed to the output since arm(), fades included.
    std::int64_t framesConsumed() const { return m_framesConsumed.load(std::memory_order_acquire); }
    // Its sound is over: played all of its stream, or faded out.
    bool finished() const { return m_finished.load(std::memory_order_acquire); }
    // steady_clock nanoseconds of the first frame mixed, 0 before; always 0
    // outside bench builds (TAVREL_TIMING_HOOKS).
    std::int64_t firstOutputNanoseconds() const {
        return m_firstOutputNanoseconds.load(std::memory_order_acquire);
    }
    bool isSounding() const { return m_sounding.load(std::memory_order_acquire); }

    // Feeding thread.
    SampleRing& ring() { return m_ring; }
    void markEndOfStream() { m_endOfStream.store(true, std::memory_order_release); }
    bool endOfStream() const { return m_endOfStream.load(std::memory_order_acquire); }

    // Adds this voice into the output buffer.
    void mixInto(float* interleaved, std::size_t frames);  // realtime
    // Has `frames` frames ready, has ended, or is not sounding (offline pulls).
    bool isFedFor(std::size_t frames) const;

private:
    std::size_t mixFrames(float* interleaved, std::size_t frames, bool sounding);  // realtime
    void noteUnderrun();                                                           // realtime
    float fadeGain();                                                              // realtime

    SampleRing m_ring;
    const std::size_t m_rampFrames;

    std::atomic<Phase> m_phase{Phase::free};
    std::atomic<bool> m_sounding{false};
    std::atomic<bool> m_stopRequested{false};
    std::atomic<std::size_t> m_fadeRequestFrames{0};  // 0: no fade asked for
    std::atomic<float> m_volume{1.0f};
    std::atomic<bool> m_endOfStream{false};
    std::atomic<bool> m_finished{false};
    std::atomic<std::int64_t> m_framesConsumed{0};
    std::atomic<std::int64_t> m_firstOutputNanoseconds{0};

    // Callback only once active; set by arm() before the callback sees the voice.
    std::size_t m_envelopeFrames = 0;  // 0 … m_rampFrames
    std::size_t m_fadeFrames = 0;      // the fade's length once begun, else 0
    std::size_t m_fadeLeftFrames = 0;  // m_fadeFrames … 0
    float m_appliedVolume = 1.0f;
    std::int64_t m_consumed = 0;
};

}  // namespace tavrel
