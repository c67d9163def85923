#include "audio/engine_audio_player.h"

#include <gtest/gtest.h>

#include <cmath>

#include "audio_formats.h"
#include "engine_rig.h"
#include "playback/audio_playback_controller.h"

namespace tavrel::test {
namespace {

// What the voice outputs for a sample `n` frames after a start at `volume`.
float rampedIn(float sample, std::size_t n, float volume = 1.0f) {
    const auto envelope = static_cast<float>(std::min<std::size_t>(n + 1, EngineRig::rampFrames));
    return sample * (volume * (envelope / float(EngineRig::rampFrames)));
}

CueSlot slotFor(const std::string& file, double gainDB = 0.0, double startSeconds = 0.0) {
    CueSlot slot = CueSlot::empty(0);
    slot.audioFilename = file;
    slot.gainDB = gainDB;
    slot.startSeconds = startSeconds;
    return slot;
}

TEST(EngineAudioPlayer, AppliesTheSlotGainAndTheMasterVolumeExactly) {
    EngineRig rig;
    const Signal signal = indexRamp(1.0);
    writeWav(rig.file("cue.wav"), signal);
    auto controller = std::make_shared<AudioPlaybackController>(rig.factory);

    controller->play(slotFor("cue.wav", -6.0), rig.file("cue.wav"));
    const float gain = AudioPlaybackController::combinedVolume(1.0, -6.0);
    auto left = rig.pullLeft(4000);
    for (std::size_t n = 0; n < left.size(); ++n)
        ASSERT_EQ(left[n], rampedIn(signal.samples[n * 2], n, gain)) << "frame " << n;

    controller->setMasterVolume(0.5);
    rig.pullLeft(256);  // the change glides over one buffer (EngineRamps)
    left = rig.pullLeft(1000);
    const float halved = AudioPlaybackController::combinedVolume(0.5, -6.0);
    for (std::size_t n = 0; n < left.size(); ++n)
        ASSERT_EQ(left[n], signal.samples[(4256 + n) * 2] * halved) << "frame " << n;
}

class EngineStartOffset : public ::testing::TestWithParam<std::tuple<AudioFormat, bool>> {};

// The first sample heard is the one at the offset, warm or cold: exact for
// lossless files, within a sample of decoding from the start for the others.
TEST_P(EngineStartOffset, FirstSampleHeardIsTheOneAtTheOffset) {
    const auto& [format, warm] = GetParam();
    EngineRig rig;
    const auto path = rig.file("cue." + format.extension);
    std::string why;
    if (!writeAudioFile(format, path, sines({{440.0, 0.3}, {1230.0, 0.2}}, 2.5), why))
        GTEST_SKIP() << why;
    AudioDecoder fromStart(path, EngineRig::rate);
    std::vector<float> whole(48000 * 3 * 2);
    whole.resize(fromStart.read(whole.data(), 48000 * 3) * 2);

    const double offset = 1.2345;
    if (warm) {
        rig.engine->warm(path, offset);
        ASSERT_TRUE(rig.waitForWarmStarts(1));
    }
    auto player = rig.player(path);
    player->setCurrentTime(offset);
    ASSERT_TRUE(player->play());
    EXPECT_EQ(player->startedWarm(), warm);
    const auto out = rig.output->pull(6000);

    const auto at = static_cast<std::size_t>(std::lround(offset * EngineRig::rate));
    int bestLag = 0;
    double bestError = 1e9;
    for (int lag = -4; lag <= 4; ++lag) {
        double error = 0.0;
        for (std::size_t i = EngineRig::rampFrames * 2; i < out.size(); ++i) {
            const double d = out[i] - whole[(at + lag) * 2 + i];
            error += d * d;
        }
        if (error < bestError)
            std::tie(bestLag, bestError) = std::tie(lag, error);
    }
    bestError = std::sqrt(bestError / double(out.size()));
    if (format.lossless) {
        EXPECT_EQ(bestLag, 0);
        EXPECT_LT(bestError, 1e-7);
        for (std::size_t n = 0; n < EngineRig::rampFrames; ++n)
            ASSERT_EQ(out[n * 2], rampedIn(whole[(at + n) * 2], n)) << "frame " << n;
    } else {
        EXPECT_LE(std::abs(bestLag), 1);
        EXPECT_LT(bestError, 0.01);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EngineStartOffset,
                         ::testing::Combine(::testing::ValuesIn(audioFormats()), ::testing::Bool()),
                         [](const auto& info) {
                             return std::get<0>(info.param).name +
                                    (std::get<1>(info.param) ? "_warm" : "_cold");
                         });

// The end is posted to the main loop, never called from the audio side; it
// comes once, to the handler set when the task runs, and never for a player
// paused, stopped, or gone before the task runs.
TEST(EngineAudioPlayer, CompletesOnceOnTheMainLoopAndOnlyWhenItPlayedToTheEnd) {
    EngineRig rig;
    writeWav(rig.file("short.wav"), constant(0.25f, 0.05));
    int calls = 0, ended = 0;
    std::vector<std::shared_ptr<EngineAudioPlayer>> players;
    for (int i = 0; i < 4; ++i) {
        players.push_back(rig.player(rig.file("short.wav")));
        players.back()->setCompletionHandler([&] { ++calls; });
        ASSERT_TRUE(players.back()->play());
    }
    rig.output->pull(1024);
    players[0]->pause();
    players[1]->stop();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (rig.loop.pendingCount() < 2 && std::chrono::steady_clock::now() < deadline)
        rig.output->pull(256);
    EXPECT_EQ(rig.loop.pendingCount(), 2u) << "the two that played to the end";
    players[2].reset();
    players[3]->setCompletionHandler([&] { ++ended; });
    rig.loop.runPending();
    EXPECT_EQ(ended, 1);
    ASSERT_TRUE(rig.markerCompletes());
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(calls, 0);
}

TEST(EngineAudioPlayer, WithoutADevicePlayFailsAndLaterWorks) {
    EngineRig rig;
    writeWav(rig.file("cue.wav"), constant(0.5f, 0.5));
    auto controller = std::make_shared<AudioPlaybackController>(rig.factory);
    rig.output->setDeviceAvailable(false);
    try {
        controller->play(slotFor("cue.wav"), rig.file("cue.wav"));
        ADD_FAILURE() << "played without a device";
    } catch (const PlaybackError& error) {
        EXPECT_EQ(error.kind(), PlaybackError::Kind::couldNotStart);
    }
    EXPECT_TRUE(controller->state().isStopped());
    EXPECT_EQ(rig.engine->mixer().busyVoiceCount(), 0u);

    rig.output->setDeviceAvailable(true);
    controller->play(slotFor("cue.wav"), rig.file("cue.wav"));
    EXPECT_TRUE(controller->state().isPlaying());
    EXPECT_FLOAT_EQ(rig.pullLeft(1000)[999], 0.5f);
}

TEST(EngineAudioPlayer, AStartAtTheVeryEndCompletesAtOnce) {
    EngineRig rig;
    writeWav(rig.file("cue.wav"), constant(0.5f, 0.5));
    auto controller = rig.countingController();
    controller->play(slotFor("cue.wav", 0.0, 99.0), rig.file("cue.wav"));
    EXPECT_TRUE(rig.pullUntil([&] { return rig.completions > 0; }, 0.5));
    EXPECT_EQ(rig.completions, 1);
}

}  // namespace
}  // namespace tavrel::test
