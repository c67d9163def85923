#include "audio/voice_feed.h"

#include <algorithm>

namespace tavrel {

namespace {
constexpr std::size_t scratchFrames = 2048;
}

std::size_t VoiceFeed::fill(std::size_t maxFrames) {  // decoder thread; caller holds mutex
    if (!voice || !decoder)
        return 0;
    return fill(*decoder, *voice, maxFrames, m_scratch);
}

// The ring's writer: the decoder thread, or the main thread before the voice
// is handed to the feed.
std::size_t VoiceFeed::fill(AudioDecoder& decoder, Voice& voice, std::size_t maxFrames,
                            std::vector<float>& scratch) {
    if (voice.endOfStream())
        return 0;
    scratch.resize(scratchFrames * AudioDecoder::outputChannels);
    std::size_t total = 0;
    while (total < maxFrames) {
        const std::size_t space =
            std::min({voice.ring().writableFrames(), maxFrames - total, scratchFrames});
        if (space == 0)
            break;
        const std::size_t decoded = decoder.read(scratch.data(), space);
        voice.ring().write(scratch.data(), decoded);
        total += decoded;
        if (decoded < space || decoder.atEnd()) {
            voice.markEndOfStream();
            break;
        }
    }
    return total;
}

}  // namespace tavrel
