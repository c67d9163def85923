#include "audio/voice_feed.h"

#include <algorithm>

namespace tavrel {

namespace {
constexpr std::size_t scratchFrames = 2048;
}

std::size_t VoiceFeed::fill(std::size_t maxFrames) {
    if (!voice || !decoder || voice->endOfStream())
        return 0;
    m_scratch.resize(scratchFrames * AudioDecoder::outputChannels);
    std::size_t total = 0;
    while (total < maxFrames) {
        const std::size_t space =
            std::min({voice->ring().writableFrames(), maxFrames - total, scratchFrames});
        if (space == 0)
            break;
        const std::size_t decoded = decoder->read(m_scratch.data(), space);
        voice->ring().write(m_scratch.data(), decoded);
        total += decoded;
        if (decoded < space || decoder->atEnd()) {
            voice->markEndOfStream();
            break;
        }
    }
    return total;
}

void VoiceFeed::preload(const std::vector<float>& frames) {
    if (voice)
        voice->ring().write(frames.data(), frames.size() / AudioDecoder::outputChannels);
}

}  // namespace tavrel
