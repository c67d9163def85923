#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "audio/audio_engine.h"
#include "audio/engine_audio_player.h"
#include "audio/engine_audio_player_factory.h"
#include "audio/offline_output.h"
#include "playback/audio_playback_controller.h"
#include "signal_files.h"
#include "support/fault_injecting_file_system.h"
#include "support/manual_main_loop.h"

namespace tavrel::test {

// An engine on OfflineOutput at 48 kHz, a manual main loop and a temporary folder.
struct EngineRig {
    static constexpr int rate = 48000;
    static constexpr int rampFrames = 240;  // 5 ms

    explicit EngineRig(int bufferFrames = 256) {
        auto offline = std::make_unique<OfflineOutput>(rate, bufferFrames);
        output = offline.get();
        engine = AudioEngine::create(loop, std::move(offline), AudioEngine::Options{});
        factory = engine->playerFactory();
    }

    // A controller on this engine whose natural completions are counted in `completions`.
    std::shared_ptr<AudioPlaybackController> countingController() {
        auto controller = std::make_shared<AudioPlaybackController>(factory);
        controller->setOnNaturalCompletion([this] { ++completions; });
        return controller;
    }

    std::shared_ptr<EngineAudioPlayer> player(const std::filesystem::path& url) {
        return std::dynamic_pointer_cast<EngineAudioPlayer>(factory->makePlayer(url));
    }
    std::filesystem::path file(const std::string& name) const { return folder.path() / name; }

    // Left channel of the next `frames` frames.
    std::vector<float> pullLeft(std::size_t frames) {
        const auto samples = output->pull(frames);
        std::vector<float> left(frames);
        for (std::size_t i = 0; i < frames; ++i)
            left[i] = samples[i * 2];
        return left;
    }

    // Pulls up to `maxSeconds` of audio, then waits, running posted tasks,
    // until `done` holds; the decoder thread reports in its own time.
    template <typename Done>
    bool pullUntil(Done done, double maxSeconds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (double pulled = 0; std::chrono::steady_clock::now() < deadline; pulled += 0.01) {
            if (pulled < maxSeconds)
                output->pull(rate / 100);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            loop.runPending();
            if (done())
                return true;
        }
        return false;
    }

    // For checks that something does not happen: a short marker cue played to
    // its end. The decoder thread reports the ends of all voices in the same
    // rounds, so once the marker's end has come through the main loop, any
    // report still owed by an earlier voice has come too.
    bool markerCompletes() {
        writeWav(file("marker.wav"), constant(0.1f, 0.02));
        auto marker = player(file("marker.wav"));
        bool done = false;
        marker->setCompletionHandler([&] { done = true; });
        return marker->play() && pullUntil([&] { return done; }, 1.0);
    }

    bool waitForWarmStarts(std::size_t count) {
        return waitFor([&] { return engine->warmStartCount() >= count; });
    }

    // For what the warming thread does in its own time.
    template <typename Done>
    static bool waitFor(Done done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return done();
    }

    TemporaryDirectory folder;
    ManualMainLoop loop;
    OfflineOutput* output = nullptr;
    std::shared_ptr<AudioEngine> engine;
    std::shared_ptr<EngineAudioPlayerFactory> factory;
    int completions = 0;
};

// Largest absolute difference between neighbouring samples.
inline float largestStep(const std::vector<float>& samples) {
    float largest = 0.0f;
    for (std::size_t i = 1; i < samples.size(); ++i)
        largest = std::max(largest, std::abs(samples[i] - samples[i - 1]));
    return largest;
}

}  // namespace tavrel::test
