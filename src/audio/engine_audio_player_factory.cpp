#include "audio/engine_audio_player_factory.h"

#include "audio/audio_engine.h"
#include "audio/audio_file_error.h"
#include "audio/engine_audio_player.h"

namespace tavrel {

EngineAudioPlayerFactory::EngineAudioPlayerFactory(std::shared_ptr<AudioEngine> engine)
    : m_engine(std::move(engine)) {}

std::shared_ptr<AudioPlaying> EngineAudioPlayerFactory::makePlayer(
    const std::filesystem::path& url) {  // main thread
    auto& cache = m_engine->warmStarts();
    const WarmKey key(url);
    if (const auto duration = cache.durationOf(key))
        return std::make_shared<EngineAudioPlayer>(m_engine, url, nullptr, *duration);
    // A file that failed and has not changed since is not opened again, unless
    // it only ran out of time: the operator's press deserves another try.
    if (auto failure = cache.knownFailure(key); failure && !failure->timedOut())
        throw *failure;
    std::unique_ptr<AudioDecoder> decoder;
    try {
        decoder = std::make_unique<AudioDecoder>(url, m_engine->sampleRate());
    } catch (const AudioFileError& error) {
        cache.noteFailure(key, error);
        throw;
    }
    cache.noteSuccess(key);
    const double duration = decoder->durationSeconds();
    return std::make_shared<EngineAudioPlayer>(m_engine, url, std::move(decoder), duration);
}

void EngineAudioPlayerFactory::warm(const std::filesystem::path& url, double startSeconds) {
    m_engine->warm(url, startSeconds);
}

}  // namespace tavrel
