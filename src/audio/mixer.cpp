#include "audio/mixer.h"

#include <algorithm>
#include <cmath>

namespace tavrel {

Mixer::Mixer(int sampleRate, std::size_t voiceCount, std::size_t ringFrames)
    : m_sampleRate(sampleRate),
      m_rampFrames(static_cast<std::size_t>(std::lround(rampSeconds * sampleRate))) {
    m_voices.reserve(voiceCount);
    for (std::size_t i = 0; i < voiceCount; ++i)
        m_voices.push_back(std::make_unique<Voice>(ringFrames, m_rampFrames));
}

void Mixer::render(float* interleaved, std::size_t frames) {  // realtime
    std::fill(interleaved, interleaved + frames * SampleRing::channels, 0.0f);
    for (const auto& voice : m_voices)
        voice->mixInto(interleaved, frames);
    // A fade-out overlapping a start can sum past full scale.
    for (std::size_t i = 0; i < frames * SampleRing::channels; ++i)
        interleaved[i] = std::clamp(interleaved[i], -1.0f, 1.0f);
    m_renders.fetch_add(1, std::memory_order_relaxed);
}

bool Mixer::isFedFor(std::size_t frames) const {  // the thread pulling offline
    const bool fed = std::all_of(m_voices.begin(), m_voices.end(),
                                 [frames](const auto& voice) { return voice->isFedFor(frames); });
    if (!fed && m_onStarved)
        m_onStarved();
    return fed;
}

bool Mixer::sounding() const {  // audio thread
    return std::any_of(m_voices.begin(), m_voices.end(),
                       [](const auto& voice) { return voice->phase() == Voice::Phase::active; });
}

Voice* Mixer::claimVoice(float volume) {  // main thread
    for (const auto& voice : m_voices) {
        const Voice::Phase phase = voice->phase();
        if (voice->ownedByPlayer || (phase != Voice::Phase::free && phase != Voice::Phase::retired))
            continue;
        voice->ownedByPlayer = true;
        voice->arm(volume);
        return voice.get();
    }
    return nullptr;
}

void Mixer::releaseVoice(Voice* voice) {  // main thread
    voice->ownedByPlayer = false;
    voice->requestStop();
}

std::size_t Mixer::busyVoiceCount() const {  // main thread
    return static_cast<std::size_t>(std::count_if(
        m_voices.begin(), m_voices.end(),
        [](const auto& v) { return v->ownedByPlayer || v->phase() == Voice::Phase::active; }));
}

}  // namespace tavrel
