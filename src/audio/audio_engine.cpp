#include "audio/audio_engine.h"

#include "audio/audio_file_error.h"
#include "audio/engine_audio_player.h"
#include "audio/engine_audio_player_factory.h"
#include "audio/port_audio_output.h"
#include "audio/pulse_audio_output.h"
#include "playback/audio_playback_controller.h"

extern "C" {
#include <libavutil/log.h>
}

namespace tavrel {

namespace {

void warmNow(WarmStartCache& cache, const std::filesystem::path& url, double startSeconds,
             int sampleRate, std::size_t frames) {
    WarmStart start;
    try {
        start.decoder = std::make_unique<AudioDecoder>(url, sampleRate);
    } catch (const AudioFileError&) {
        // Not playable: makePlayer opens it cold and reports FFmpeg's message then.
        cache.abandon(url, startSeconds);
        return;
    }
    start.url = url;
    start.durationSeconds = start.decoder->durationSeconds();
    // Keyed by the position the controller will seek to for this offset.
    start.startSeconds = AudioPlaybackController::clampedStart(startSeconds, start.durationSeconds);
    start.decoder->seek(start.startSeconds);
    start.frames.resize(frames * AudioDecoder::outputChannels);
    const std::size_t decoded = start.decoder->read(start.frames.data(), frames);
    start.frames.resize(decoded * AudioDecoder::outputChannels);
    cache.put(std::move(start), startSeconds);
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
      m_decoderThread(std::make_unique<DecoderThread>()) {
    // A damaged file is reported by makePlayer; FFmpeg's running commentary
    // on it does not belong on the user's terminal.
    av_log_set_level(AV_LOG_FATAL);
}

AudioEngine::~AudioEngine() {
    // The callback reads the voices and the decoder thread writes them: stop both first.
    m_output.reset();
    m_decoderThread.reset();
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
    if (!m_warmStarts.reserve(url, startSeconds))
        return;
    m_decoderThread->post(
        [cache = &m_warmStarts, url, startSeconds, rate = sampleRate(), frames = prerollFrames()] {
            warmNow(*cache, url, startSeconds, rate, frames);
        });
}

}  // namespace tavrel
