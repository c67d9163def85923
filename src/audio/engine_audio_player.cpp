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

std::optional<std::chrono::steady_clock::time_point> EngineAudioPlayer::firstOutputTime() const {
    if (!m_voice || m_voice->firstOutputNanoseconds() == 0)
        return std::nullopt;
    return std::chrono::steady_clock::time_point(
        std::chrono::nanoseconds(m_voice->firstOutputNanoseconds()));
}

// Takes a voice and fills its first ~100 ms, from a warm start when one
// matches, else by seeking this player's own decoder.
bool EngineAudioPlayer::loadStart() {  // main thread
    Voice* voice = m_engine->mixer().claimVoice(m_volume);
    if (!voice)
        return false;
    std::optional<WarmStart> warm = m_engine->warmStarts().take(m_url, m_startSeconds);
    {
        std::lock_guard lock(m_feed->mutex);
        if (!openAtStart(warm ? &*warm : nullptr)) {
            m_engine->mixer().releaseVoice(voice);
            return false;
        }
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
        if (warm)
            m_feed->preload(warm->frames);
        else
            m_feed->fill(m_engine->prerollFrames());
    }
    m_voice = voice;
    m_startedWarm = warm.has_value();
    if (!m_attached) {
        m_engine->decoderThread().attach(m_feed);
        m_attached = true;
    }
    if (warm)
        m_engine->warm(m_url, m_startSeconds);  // ready for the next press of this cue
    return true;
}

// Caller holds the feed's mutex.
bool EngineAudioPlayer::openAtStart(WarmStart* warm) {  // main thread
    if (warm) {
        m_feed->decoder = std::move(warm->decoder);
        return true;
    }
    try {
        if (!m_feed->decoder)
            m_feed->decoder = std::make_unique<AudioDecoder>(m_url, m_engine->sampleRate());
    } catch (const AudioFileError&) {
        // Gone unplayable since makePlayer: play() reports that it could not start.
        return false;
    }
    m_feed->decoder->seek(m_startSeconds);
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
