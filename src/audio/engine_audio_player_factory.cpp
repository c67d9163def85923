#include "audio/engine_audio_player_factory.h"

#include "audio/audio_engine.h"
#include "audio/engine_audio_player.h"

namespace tavrel {

EngineAudioPlayerFactory::EngineAudioPlayerFactory(std::shared_ptr<AudioEngine> engine)
    : m_engine(std::move(engine)) {}

std::shared_ptr<AudioPlaying> EngineAudioPlayerFactory::makePlayer(
    const std::filesystem::path& url) {  // main thread
    if (const auto duration = m_engine->warmStarts().durationOf(url))
        return std::make_shared<EngineAudioPlayer>(m_engine, url, nullptr, *duration);
    auto decoder = std::make_unique<AudioDecoder>(url, m_engine->sampleRate());
    const double duration = decoder->durationSeconds();
    return std::make_shared<EngineAudioPlayer>(m_engine, url, std::move(decoder), duration);
}

void EngineAudioPlayerFactory::warm(const std::filesystem::path& url, double startSeconds) {
    m_engine->warm(url, startSeconds);
}

}  // namespace tavrel
