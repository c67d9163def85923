#pragma once

// The audio engine: one output stream kept open, a fixed pool of voices mixed
// by the output callback, a decoder thread feeding them, a warming thread, and
// warm starts (an open decoder per cue, already at its start offset). The application makes
// one at start-up and hands its factory to the playback controller:
//
//     auto engine = AudioEngine::create(mainLoop);
//     auto controller = std::make_shared<AudioPlaybackController>(engine->playerFactory());
//     engine->warm(url, slot.startSeconds);  // every playable slot, again after an edit
//
// It plays through the sound server when one answers, else through PortAudio.
// Without an output the engine still runs: its players then refuse to start.
// A server output reconnects on its own; outputStatus() tells whether sound
// reaches an output, and a cue sounding when the output is lost ends as a
// failure. Players hold the engine, so it lives as long as the last of them.
// Main thread only.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <vector>

#include "audio/audio_output.h"
#include "audio/decoder_thread.h"
#include "audio/engine_audio_player_factory.h"
#include "audio/mixer.h"
#include "audio/warm_start_cache.h"
#include "audio/warming_thread.h"
#include "base/main_loop.h"
#include "playback/output_status.h"

namespace tavrel {

class EngineAudioPlayer;

class AudioEngine : public std::enable_shared_from_this<AudioEngine> {
    struct PrivateToken {};

public:
    struct Options {
        std::size_t voiceCount = 16;
        std::size_t ringFrames = 16384;  // a third of a second at 48 kHz
        std::size_t warmCapacity = 48;
    };

    // On the default output device.
    static std::shared_ptr<AudioEngine> create(MainLoop& mainLoop);
    // On the sound server's chosen output and latency; PortAudio's default
    // device when no server answers.
    static std::shared_ptr<AudioEngine> create(MainLoop& mainLoop, const OutputChoice& choice);
    static std::shared_ptr<AudioEngine> create(MainLoop& mainLoop,
                                               std::unique_ptr<AudioOutput> output,
                                               Options options);

    AudioEngine(PrivateToken, MainLoop& mainLoop, std::unique_ptr<AudioOutput> output,
                Options options);
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    std::shared_ptr<EngineAudioPlayerFactory> playerFactory();

    // Opens the file in the background at the position the controller will
    // seek to for this start offset; the next player of that file and offset
    // starts from it. A file that fails is not opened again, here or by
    // makePlayer (which then throws its error at once), until it changes.
    void warm(const std::filesystem::path& url, double startSeconds);
    // Tries every failed file again (call when the document changes).
    void forgetFailedFiles() { m_warmStarts.forgetFailures(); }
    std::size_t warmStartCount() const { return m_warmStarts.size(); }

    AudioOutput& output() { return *m_output; }
    // Another output or latency, at once, without reopening the stream.
    void setOutputChoice(const OutputChoice& choice) { m_output->choose(choice); }
    // Held by the window; outlives the engine if it must.
    std::shared_ptr<OutputStatus> outputStatus() const { return m_outputStatus; }
    std::uint64_t underrunCount() const { return m_output->underrunCount(); }
    int sampleRate() const { return m_mixer.sampleRate(); }

    // For the engine's players.
    MainLoop& mainLoop() { return m_mainLoop; }
    Mixer& mixer() { return m_mixer; }
    DecoderThread& decoderThread() { return *m_decoderThread; }
    WarmStartCache& warmStarts() { return m_warmStarts; }
    // A player started: it fails if the output is lost while it sounds.
    void sounding(const std::shared_ptr<EngineAudioPlayer>& player);
    // Frames decoded ahead before play(): about 100 ms.
    std::size_t prerollFrames() const { return static_cast<std::size_t>(sampleRate() / 10); }

private:
    void outputHealthChanged();

    MainLoop& m_mainLoop;
    std::unique_ptr<AudioOutput> m_output;
    Mixer m_mixer;
    WarmStartCache m_warmStarts;
    std::unique_ptr<DecoderThread> m_decoderThread;
    std::unique_ptr<WarmingThread> m_warmingThread;
    std::shared_ptr<OutputStatus> m_outputStatus = std::make_shared<OutputStatus>();
    std::vector<std::weak_ptr<EngineAudioPlayer>> m_soundingPlayers;
};

}  // namespace tavrel
