#pragma once

#include <filesystem>
#include <memory>

#include "playback/audio_playing.h"

namespace tavrel {

class AudioEngine;

// Makes the engine's players. A file with a warm start opens nothing at the
// key press; any other file is opened here within the decoder's open timeout,
// and one that holds no decodable audio throws AudioFileError ("음원 파일을
// 재생할 수 없습니다. (…)"), at once when it already failed unchanged. Main thread only.
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
