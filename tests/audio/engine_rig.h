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

// An engine on OfflineOutput at 48 kHz, a manual main loop, a temporary
// folder and a controller whose natural completions are counted.
struct EngineRig {
    static constexpr int rate = 48000;
    static constexpr int rampFrames = 240;  // 5 ms

    EngineRig() {
        auto offline = std::make_unique<OfflineOutput>(rate, 256);
        output = offline.get();
        engine = AudioEngine::create(loop, std::move(offline), AudioEngine::Options{});
        factory = engine->playerFactory();
        controller = std::make_shared<AudioPlaybackController>(factory);
        controller->setOnNaturalCompletion([this] { ++completions; });
    }

    std::filesystem::path file(const std::string& name) const { return folder.path() / name; }
    // Plays the file in the folder through the controller.
    void play(const std::string& name, double startSeconds = 0.0, double gainDB = 0.0) {
        CueSlot slot = CueSlot::empty(++slotID);
        slot.audioFilename = name;
        slot.startSeconds = startSeconds;
        slot.gainDB = gainDB;
        controller->play(slot, file(name));
    }

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
        double pulled = 0;
        return waitFor([&] {
            if ((pulled += 0.01) < maxSeconds)
                output->pull(rate / 100);
            loop.runPending();
            return done();
        });
    }

    // For what other threads do in their own time; false after 20 s.
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
    std::shared_ptr<AudioPlaybackController> controller;
    std::int64_t slotID = 0;
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
