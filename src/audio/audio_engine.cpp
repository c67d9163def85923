#include "audio/audio_engine.h"

#include "audio/audio_file_error.h"
#include "audio/engine_audio_player.h"
#include "audio/engine_audio_player_factory.h"
#include "audio/port_audio_output.h"
#include "audio/pulse_audio_output.h"
#include "playback/clamped_start.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace tavrel {

namespace {

// Warming thread; the cache takes its own lock.
void warmNow(WarmStartCache& cache, WarmStart start, int sampleRate, std::size_t frames) {
    try {
        start.decoder = std::make_unique<AudioDecoder>(start.key.file(), sampleRate,
                                                       AudioDecoder::warmingTimeout);
        start.durationSeconds = start.decoder->durationSeconds();
        // Keyed by the position the controller will seek to for this offset.
        start.startSeconds = clampedStart(start.key.offset(), start.durationSeconds);
        start.decoder->setDeadline(AudioDecoder::Clock::now() + AudioDecoder::warmingTimeout);
        start.decoder->seek(start.startSeconds);
        start.frames.resize(frames * AudioDecoder::outputChannels);
        const std::size_t decoded = start.decoder->read(start.frames.data(), frames);
        start.frames.resize(decoded * AudioDecoder::outputChannels);
        if (start.decoder->failed()) {
            AudioFileError error(start.key.file(), AVERROR_INVALIDDATA);
            if (start.decoder->timedOut())
                error.markTimedOut();
            throw error;
        }
        start.decoder->setDeadline(std::nullopt);
    } catch (const AudioFileError& error) {
        cache.fail(start.key, error);
        return;
    }
    cache.put(std::move(start));
}

}  // namespace

std::shared_ptr<AudioEngine> AudioEngine::create(MainLoop& mainLoop) {
    return create(mainLoop, OutputChoice{});
}

std::shared_ptr<AudioEngine> AudioEngine::create(MainLoop& mainLoop, const OutputChoice& choice) {
    // A server that does not answer within this long is as good as none.
    std::unique_ptr<AudioOutput> output =
        PulseAudioOutput::connect(choice, std::chrono::milliseconds(1500));
    if (!output)
        output = std::make_unique<PortAudioOutput>();
    return create(mainLoop, std::move(output), Options{});
}

std::shared_ptr<AudioEngine> AudioEngine::create(MainLoop& mainLoop,
                                                 std::unique_ptr<AudioOutput> output,
                                                 Options options) {
    auto engine =
        std::make_shared<AudioEngine>(PrivateToken{}, mainLoop, std::move(output), options);
    std::weak_ptr<AudioEngine> weak = engine;
    engine->m_output->setHealthHandler([weak, &mainLoop] {
        mainLoop.post([weak] {
            if (auto strong = weak.lock())
                strong->outputHealthChanged();
        });
    });
    engine->m_output->start(engine->m_mixer);
    engine->outputHealthChanged();
    return engine;
}

AudioEngine::AudioEngine(PrivateToken, MainLoop& mainLoop, std::unique_ptr<AudioOutput> output,
                         Options options)
    : m_mainLoop(mainLoop),
      m_output(std::move(output)),
      m_mixer(m_output->sampleRate(), options.voiceCount, options.ringFrames),
      m_warmStarts(options.warmCapacity),
      m_decoderThread(std::make_unique<DecoderThread>(m_mixer.sampleRate())),
      m_warmingThread(std::make_unique<WarmingThread>()) {
    // A damaged file is reported by makePlayer; FFmpeg's running commentary
    // on it does not belong on the user's terminal.
    av_log_set_level(AV_LOG_FATAL);
    // An offline pull outruns real time: it asks for the next refill itself.
    m_mixer.setStarvationHandler([feeder = m_decoderThread.get()] { feeder->wake(); });
}

AudioEngine::~AudioEngine() {
    // The callback reads the voices and the decoder thread writes them: stop both first.
    m_output.reset();
    m_decoderThread.reset();
    m_warmingThread.reset();
}

std::shared_ptr<EngineAudioPlayerFactory> AudioEngine::playerFactory() {
    return std::make_shared<EngineAudioPlayerFactory>(shared_from_this());
}

void AudioEngine::sounding(const std::shared_ptr<EngineAudioPlayer>& player) {  // main thread
    std::erase_if(m_soundingPlayers, [](const auto& weak) {
        const auto strong = weak.lock();
        return !strong || !strong->isPlaying();
    });
    m_soundingPlayers.push_back(player);
}

void AudioEngine::outputHealthChanged() {  // main thread
    const OutputHealth health = m_output->health();
    if (!health.running) {
        // What was sounding is not heard: its run ends as a failed one.
        auto players = std::move(m_soundingPlayers);
        m_soundingPlayers.clear();
        for (const auto& weak : players)
            if (auto player = weak.lock())
                player->outputLost();
    }
    m_outputStatus->update(health.running, health.chosenMissing);
}

void AudioEngine::warm(const std::filesystem::path& url, double startSeconds) {  // main thread
    WarmStart start;
    start.key = WarmKey(url, startSeconds);
    if (!m_warmStarts.reserve(start.key))
        return;
    m_warmingThread->post(
        [cache = &m_warmStarts, start = std::make_shared<WarmStart>(std::move(start)),
         rate = sampleRate(),
         frames = prerollFrames()] { warmNow(*cache, std::move(*start), rate, frames); });
}

}  // namespace tavrel
