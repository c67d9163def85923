#include "audio/engine_audio_player.h"

#include <algorithm>
#include <cmath>

#include "audio/audio_engine.h"
#include "audio/audio_file_error.h"

namespace tavrel {

EngineAudioPlayer::EngineAudioPlayer(std::shared_ptr<AudioEngine> engine, std::filesystem::path url,
                                     std::unique_ptr<AudioDecoder> decoder, double durationSeconds)
    : m_engine(std::move(engine)),
      m_url(std::move(url)),
      m_durationSeconds(durationSeconds),
      m_feed(std::make_shared<VoiceFeed>()) {
    m_feed->decoder = std::move(decoder);
}

EngineAudioPlayer::~EngineAudioPlayer() {
    releaseVoice();
}

double EngineAudioPlayer::currentTime() const {  // main thread
    if (!m_voice)
        return m_startSeconds;
    const double seconds =
        m_startSeconds + static_cast<double>(m_voice->framesConsumed()) / m_engine->sampleRate();
    return m_durationSeconds > 0.0 ? std::min(seconds, m_durationSeconds) : seconds;
}

void EngineAudioPlayer::setCurrentTime(double seconds) {  // main thread
    const bool wasPlaying = isPlaying();
    releaseVoice();
    m_playing = false;
    m_startSeconds = std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0;
    if (wasPlaying)
        play();
}

void EngineAudioPlayer::setVolume(float volume) {  // main thread
    m_volume = volume;
    if (m_voice)
        m_voice->setVolume(volume);
}

bool EngineAudioPlayer::isPlaying() const {  // main thread
    return m_playing && m_voice && !m_voice->finished();
}

bool EngineAudioPlayer::prepareToPlay() {  // main thread
    if (m_voice && m_voice->finished()) {
        releaseVoice();
        m_startSeconds = 0.0;
    }
    return m_voice || loadStart();
}

bool EngineAudioPlayer::play() {  // main thread
    if (!m_engine->output().ensureRunning())
        return false;
    if (!prepareToPlay())
        return false;
    m_voice->setVolume(m_volume);
    m_voice->start();
    m_engine->output().voiceStarted();
    m_playing = true;
    m_failed = false;
    m_engine->sounding(shared_from_this());
    return true;
}

void EngineAudioPlayer::outputLost() {  // main thread
    if (!isPlaying())
        return;
    ++m_run;  // a completion already on its way belongs to this run
    releaseVoice();
    m_playing = false;
    m_failed = true;
    if (auto handler = m_completionHandler)
        handler();
}

void EngineAudioPlayer::pause() {  // main thread
    if (m_voice)
        m_voice->pause();
    m_playing = false;
}

void EngineAudioPlayer::stop() {  // main thread
    m_startSeconds = currentTime();
    releaseVoice();
    m_playing = false;
}

void EngineAudioPlayer::fadeOut(double seconds) {  // main thread
    if (!isPlaying()) {
        stop();
        return;
    }
    const double frames =
        std::isfinite(seconds) ? std::max(seconds, 0.0) * m_engine->sampleRate() : 0.0;
    m_voice->fadeOut(static_cast<std::size_t>(std::lround(frames)));
}

std::optional<std::chrono::steady_clock::time_point> EngineAudioPlayer::firstOutputTime() const {
    if (!m_voice || m_voice->firstOutputNanoseconds() == 0)
        return std::nullopt;
    return std::chrono::steady_clock::time_point(
        std::chrono::nanoseconds(m_voice->firstOutputNanoseconds()));
}

// Takes a voice and fills its first ~100 ms, from a warm start when one
// matches, else by seeking this player's own decoder. The feed has no voice
// meanwhile, so the feeder leaves its decoder alone and never waits on this
// file: the feed's lock is taken only to hand the decoder over.
bool EngineAudioPlayer::loadStart() {  // main thread
    Voice* voice = m_engine->mixer().claimVoice(m_volume);
    if (!voice)
        return false;
    std::optional<WarmStart> warm = m_engine->warmStarts().take(WarmKey(m_url, m_startSeconds));
    std::unique_ptr<AudioDecoder> decoder;
    {
        std::lock_guard lock(m_feed->mutex);
        decoder = std::move(m_feed->decoder);
    }
    if (warm) {
        decoder = std::move(warm->decoder);
        voice->ring().write(warm->frames.data(),
                            warm->frames.size() / AudioDecoder::outputChannels);
    } else if (!prerollCold(decoder, *voice)) {
        m_engine->mixer().releaseVoice(voice);
        return false;
    }
    {
        std::lock_guard lock(m_feed->mutex);
        m_feed->decoder = std::move(decoder);
        m_feed->voice = voice;
        m_feed->run = ++m_run;
        m_feed->finishReported = false;
        if (!m_feed->onFinished) {
            m_feed->onFinished = [loop = &m_engine->mainLoop(),
                                  weak = weak_from_this()](std::uint64_t run) {
                loop->post([weak, run] {
                    if (auto self = weak.lock())
                        self->completed(run);
                });
            };
        }
    }
    m_voice = voice;
    m_startedWarm = warm.has_value();
    m_engine->decoderThread().attach(m_feed);
    if (warm)
        m_engine->warm(m_url, m_startSeconds);  // ready for the next press of this cue
    return true;
}

// Opens (when the player has no decoder yet), seeks and decodes the first
// frames into the voice, all within the open timeout.
bool EngineAudioPlayer::prerollCold(std::unique_ptr<AudioDecoder>& decoder,
                                    Voice& voice) {  // main thread
    try {
        if (!decoder)
            decoder = std::make_unique<AudioDecoder>(m_url, m_engine->sampleRate());
    } catch (const AudioFileError&) {
        // Gone unplayable since makePlayer: play() reports that it could not start.
        return false;
    }
    decoder->setDeadline(AudioDecoder::Clock::now() + AudioDecoder::openTimeout);
    decoder->seek(m_startSeconds);
    std::vector<float> scratch;
    VoiceFeed::fill(*decoder, voice, m_engine->prerollFrames(), scratch);
    decoder->setDeadline(std::nullopt);
    return true;
}

void EngineAudioPlayer::releaseVoice() {  // main thread
    if (!m_voice)
        return;
    {
        std::lock_guard lock(m_feed->mutex);
        m_feed->voice = nullptr;
    }
    m_engine->mixer().releaseVoice(m_voice);
    m_voice = nullptr;
}

void EngineAudioPlayer::completed(std::uint64_t run) {  // main thread
    // A start made after this one ended is not what ended.
    if (run != m_run)
        return;
    releaseVoice();
    m_playing = false;
    m_startSeconds = 0.0;
    if (auto handler = m_completionHandler)
        handler();
}

}  // namespace tavrel
