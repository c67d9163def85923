#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/voice.h"

namespace tavrel {

// A player's decoder and the voice it feeds. The main thread and the decoder
// thread take turns under `mutex`; the output callback never sees it. The
// feeder touches the decoder only while `voice` is set.
struct VoiceFeed {
    std::mutex mutex;
    std::unique_ptr<AudioDecoder> decoder;  // guarded by mutex
    Voice* voice = nullptr;                 // guarded; null while nothing is fed
    std::uint64_t run = 0;                  // guarded; which start of the player this is
    bool finishReported = false;            // guarded
    // Called once per run on the decoder thread when the voice finished. Guarded.
    std::function<void(std::uint64_t run)> onFinished;

    // Decodes into the voice's ring up to maxFrames; marks the end of the
    // stream when the decoder has none left. Caller holds mutex.
    std::size_t fill(std::size_t maxFrames);
    // The same for a decoder and voice nobody else is using yet.
    static std::size_t fill(AudioDecoder& decoder, Voice& voice, std::size_t maxFrames,
                            std::vector<float>& scratch);

private:
    std::vector<float> m_scratch;
};

}  // namespace tavrel
