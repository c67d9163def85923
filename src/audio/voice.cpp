#include "audio/voice.h"

#include <algorithm>
#include <chrono>

namespace tavrel {

Voice::Voice(std::size_t ringFrames, std::size_t rampFrames)
    : m_ring(ringFrames), m_rampFrames(std::max<std::size_t>(rampFrames, 1)) {}

void Voice::arm(float volume) {
    m_ring.reset();
    m_sounding.store(false, std::memory_order_relaxed);
    m_stopRequested.store(false, std::memory_order_relaxed);
    m_fadeRequestFrames.store(0, std::memory_order_relaxed);
    m_volume.store(volume, std::memory_order_relaxed);
    m_endOfStream.store(false, std::memory_order_relaxed);
    m_finished.store(false, std::memory_order_relaxed);
    m_framesConsumed.store(0, std::memory_order_relaxed);
    m_firstOutputNanoseconds.store(0, std::memory_order_relaxed);
    m_envelopeFrames = 0;
    m_fadeFrames = 0;
    m_fadeLeftFrames = 0;
    m_appliedVolume = volume;
    m_consumed = 0;
    m_phase.store(Phase::armed, std::memory_order_release);
}

void Voice::start() {
    m_sounding.store(true, std::memory_order_release);
    if (phase() == Phase::armed)
        m_phase.store(Phase::active, std::memory_order_release);
}

void Voice::pause() {
    m_sounding.store(false, std::memory_order_release);
}

void Voice::requestStop() {
    m_stopRequested.store(true, std::memory_order_release);
    if (phase() == Phase::armed)
        m_phase.store(Phase::retired, std::memory_order_release);
}

void Voice::fadeOut(std::size_t frames) {
    m_fadeRequestFrames.store(std::max<std::size_t>(frames, 1), std::memory_order_release);
}

void Voice::mixInto(float* interleaved, std::size_t frames) {  // realtime
    if (m_phase.load(std::memory_order_acquire) != Phase::active)
        return;
    if (m_fadeFrames == 0) {
        m_fadeFrames = m_fadeRequestFrames.load(std::memory_order_acquire);
        m_fadeLeftFrames = m_fadeFrames;
    }
    const bool stopping = m_stopRequested.load(std::memory_order_acquire);
    const bool sounding = m_sounding.load(std::memory_order_acquire) && !stopping;
    if (!sounding && m_envelopeFrames == 0) {
        if (stopping)
            m_phase.store(Phase::retired, std::memory_order_release);
        return;
    }
    const std::size_t mixed = mixFrames(interleaved, frames, sounding);
#ifdef TAVREL_TIMING_HOOKS
    if (mixed > 0 && m_consumed == static_cast<std::int64_t>(mixed)) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        m_firstOutputNanoseconds.store(
            std::chrono::duration_cast<std::chrono::nanoseconds>(now).count(),
            std::memory_order_release);
    }
#endif
    m_framesConsumed.store(m_consumed, std::memory_order_release);
    if (m_fadeFrames > 0 && m_fadeLeftFrames == 0) {
        m_finished.store(true, std::memory_order_release);
        m_phase.store(Phase::retired, std::memory_order_release);
        return;
    }
    if (mixed < frames && (sounding || m_envelopeFrames > 0))
        noteUnderrun();
}

// Mixes until the buffer is full, the ring is empty, or a ramp or fade
// reaches silence; returns the frames taken from the ring.
std::size_t Voice::mixFrames(float* interleaved, std::size_t frames, bool sounding) {  // realtime
    const std::size_t available = std::min(frames, m_ring.readableFrames());
    const float targetVolume = m_volume.load(std::memory_order_relaxed);
    // Smoothed over the whole buffer so a volume change never steps.
    const float volumeStep = (targetVolume - m_appliedVolume) / static_cast<float>(frames);
    const float rampFrames = static_cast<float>(m_rampFrames);
    std::size_t used = 0;
    for (; used < available; ++used) {
        if (sounding) {
            m_envelopeFrames = std::min(m_envelopeFrames + 1, m_rampFrames);
        } else if (--m_envelopeFrames == 0) {
            break;
        }
        if (m_fadeFrames > 0 && m_fadeLeftFrames == 0)
            break;
        const float volume = m_appliedVolume + volumeStep * static_cast<float>(used + 1);
        const float gain =
            volume * (static_cast<float>(m_envelopeFrames) / rampFrames) * fadeGain();
        const float* frame = m_ring.frameAt(used);
        interleaved[used * 2] += frame[0] * gain;
        interleaved[used * 2 + 1] += frame[1] * gain;
    }
    m_ring.consume(used);
    m_consumed += static_cast<std::int64_t>(used);
    m_appliedVolume = targetVolume;
    return used;
}

// Steps the fade by one frame. Amplitude falls as the square of the time
// left: loudness then drops at a steady pace, and the curve starts from
// full level and ends at zero without a step.
float Voice::fadeGain() {  // realtime
    if (m_fadeFrames == 0)
        return 1.0f;
    --m_fadeLeftFrames;
    const float left = static_cast<float>(m_fadeLeftFrames) / static_cast<float>(m_fadeFrames);
    return left * left;
}

void Voice::noteUnderrun() {  // realtime
    // The end flag is read before the ring so that the last frames are seen.
    if (m_endOfStream.load(std::memory_order_acquire) && m_ring.readableFrames() == 0) {
        m_finished.store(true, std::memory_order_release);
        m_phase.store(Phase::retired, std::memory_order_release);
    }
}

bool Voice::isFedFor(std::size_t frames) const {
    if (phase() != Phase::active)
        return true;
    // A paused or fading voice still needs its fade-out.
    const std::size_t needed = isSounding() ? frames : std::min(frames, m_rampFrames);
    return endOfStream() || m_ring.readableFrames() >= needed;
}

}  // namespace tavrel
