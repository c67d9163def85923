#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "audio/audio_decoder.h"
#include "audio/voice_feed.h"
#include "audio/warm_start_cache.h"
#include "playback/audio_playing.h"

namespace tavrel {

class AudioEngine;

// One file on the engine. It takes a voice when prepared and gives it back
// when stopped, replaced or destroyed; the voice then ramps out by itself, so
// a cue that replaces this one starts while this one fades. Main thread only.
class EngineAudioPlayer final : public AudioPlaying,
                                public std::enable_shared_from_this<EngineAudioPlayer> {
public:
    // Make with std::make_shared. The decoder is null when the file has a
    // warm start: it is taken once the start offset is known.
    EngineAudioPlayer(std::shared_ptr<AudioEngine> engine, std::filesystem::path url,
                      std::unique_ptr<AudioDecoder> decoder, double durationSeconds);
    ~EngineAudioPlayer() override;

    double duration() const override { return m_durationSeconds; }
    // While playing: the sample the callback has reached, not the decoder's position.
    double currentTime() const override;
    // Sample-accurate; while playing, the old position ramps out and the new one in.
    void setCurrentTime(double seconds) override;
    float volume() const override { return m_volume; }
    void setVolume(float volume) override;
    bool isPlaying() const override;

    std::function<void()> completionHandler() const override { return m_completionHandler; }
    void setCompletionHandler(std::function<void()> handler) override {
        m_completionHandler = std::move(handler);
    }

    bool failed() const override { return m_failed; }
    // The engine's output was lost: a sounding run ends as a failure.
    void outputLost();

    // Decodes the first ~100 ms into a voice, so play() only flips an atomic.
    bool prepareToPlay() override;
    // False without an output device, or when no voice is free.
    bool play() override;
    void pause() override;
    void stop() override;
    // The voice fades itself; its finish is reported like the end of the file.
    void fadeOut(double seconds) override;

    // When the callback first handed this start's audio to the output; only
    // bench builds (TAVREL_TIMING_HOOKS) measure it, others never have it.
    std::optional<std::chrono::steady_clock::time_point> firstOutputTime() const;
    // This start came from a warm start rather than opening the file.
    bool startedWarm() const { return m_startedWarm; }

private:
    bool loadStart();
    bool prerollCold(std::unique_ptr<AudioDecoder>& decoder, Voice& voice);
    void releaseVoice();
    void completed(std::uint64_t run);

    std::shared_ptr<AudioEngine> m_engine;
    std::filesystem::path m_url;
    double m_durationSeconds = 0.0;
    std::shared_ptr<VoiceFeed> m_feed;
    Voice* m_voice = nullptr;     // ours while set
    double m_startSeconds = 0.0;  // position of the voice's first frame
    std::uint64_t m_run = 0;
    float m_volume = 1.0f;
    bool m_playing = false;
    bool m_startedWarm = false;
    bool m_failed = false;
    std::function<void()> m_completionHandler;
};

}  // namespace tavrel
