#pragma once

#include <filesystem>
#include <memory>

#include "playback/audio_playing.h"

namespace tavrel {

class AudioEngine;

// Makes the engine's players. A file with a warm start opens nothing at the
// key press; any other file is opened here, and one that holds no decodable
// audio throws AudioFileError with FFmpeg's message. Main thread only.
class EngineAudioPlayerFactory final : public AudioPlayerMaking {
public:
    explicit EngineAudioPlayerFactory(std::shared_ptr<AudioEngine> engine);

    std::shared_ptr<AudioPlaying> makePlayer(const std::filesystem::path& url) override;
    // See AudioEngine::warm.
    void warm(const std::filesystem::path& url, double startSeconds);

private:
    std::shared_ptr<AudioEngine> m_engine;
};

}  // namespace tavrel
