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
// thread take turns under `mutex`; the output callback never sees it.
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
    // Copies already decoded frames in. Caller holds mutex.
    void preload(const std::vector<float>& frames);

private:
    std::vector<float> m_scratch;
};

}  // namespace tavrel
