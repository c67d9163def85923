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
    EXPECT_NEAR(gain, 0.501187, 1e-6);
    auto left = rig.pullLeft(4000);
    for (std::size_t n = 0; n < left.size(); ++n)
        ASSERT_EQ(left[n], rampedIn(signal.samples[n * 2], n, gain)) << "frame " << n;

    controller->setMasterVolume(0.5);
    rig.pullLeft(256);  // the change glides over one buffer
    left = rig.pullLeft(1000);
    const float halved = AudioPlaybackController::combinedVolume(0.5, -6.0);
    EXPECT_NEAR(halved, 0.2506, 1e-4);
    for (std::size_t n = 0; n < left.size(); ++n)
        ASSERT_EQ(left[n], signal.samples[(4256 + n) * 2] * halved) << "frame " << n;
}

TEST(EngineAudioPlayer, CurrentTimeIsWhatTheCallbackConsumed) {
    EngineRig rig;
    writeWav(rig.file("cue.wav"), indexRamp(3.0));
    auto player = rig.player(rig.file("cue.wav"));
    EXPECT_NEAR(player->duration(), 3.0, 1e-9);
    player->setCurrentTime(1.0);
    EXPECT_EQ(player->currentTime(), 1.0);
    ASSERT_TRUE(player->prepareToPlay());
    EXPECT_EQ(player->currentTime(), 1.0);  // decoded ahead, not yet heard
    ASSERT_TRUE(player->play());
    EXPECT_TRUE(player->isPlaying());
    rig.output->pull(4800);
    EXPECT_NEAR(player->currentTime(), 1.1, 1e-9);
    player->pause();
    EXPECT_FALSE(player->isPlaying());
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

TEST(EngineAudioPlayer, AWarmStartIsWarmedAgainOnceTaken) {
    EngineRig rig;
    writeWav(rig.file("cue.wav"), indexRamp(1.0));
    rig.engine->warm(rig.file("cue.wav"), 0.5);
    rig.engine->warm(rig.file("cue.wav"), 0.5);  // once is enough
    ASSERT_TRUE(rig.waitForWarmStarts(1));
    auto player = rig.player(rig.file("cue.wav"));
    player->setCurrentTime(0.5);
    ASSERT_TRUE(player->play());
    EXPECT_TRUE(player->startedWarm());
    EXPECT_TRUE(rig.waitForWarmStarts(1));
    EXPECT_EQ(rig.engine->warmStartCount(), 1u);
}

TEST(EngineAudioPlayer, CompletesOnceOnTheMainLoopAfterTheEnd) {
    EngineRig rig;
    writeWav(rig.file("short.wav"), constant(0.25f, 0.1));
    auto controller = rig.countingController();
    controller->play(slotFor("short.wav"), rig.file("short.wav"));

    rig.output->pull(9600);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (rig.loop.pendingCount() == 0 && std::chrono::steady_clock::now() < deadline) {
        rig.output->pull(256);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(rig.completions, 0);  // posted, not called from the audio side
    EXPECT_TRUE(controller->state().isPlaying());
    rig.loop.runPending();
    EXPECT_EQ(rig.completions, 1);
    EXPECT_FALSE(controller->state().isPlaying());
    rig.pullAndSettle(0.2);
    EXPECT_EQ(rig.completions, 1);
}

TEST(EngineAudioPlayer, StopPauseAndAGonePlayerNeverComplete) {
    EngineRig rig;
    writeWav(rig.file("short.wav"), constant(0.25f, 0.05));
    int calls = 0;
    auto paused = rig.player(rig.file("short.wav"));
    paused->setCompletionHandler([&] { ++calls; });
    paused->play();
    rig.output->pull(512);
    paused->pause();
    auto stopped = rig.player(rig.file("short.wav"));
    stopped->setCompletionHandler([&] { ++calls; });
    stopped->play();
    rig.output->pull(512);
    stopped->stop();
    auto gone = rig.player(rig.file("short.wav"));
    gone->setCompletionHandler([&] { ++calls; });
    gone->play();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (rig.loop.pendingCount() == 0 && std::chrono::steady_clock::now() < deadline)
        rig.output->pull(256);
    EXPECT_EQ(rig.loop.pendingCount(), 1u);  // only the one that ended posted
    gone.reset();
    rig.pullAndSettle(0.3);
    EXPECT_EQ(calls, 0);
}

TEST(EngineAudioPlayer, TheHandlerSetWhenTheTaskRunsIsTheOneCalled) {
    EngineRig rig;
    writeWav(rig.file("short.wav"), constant(0.25f, 0.05));
    auto player = rig.player(rig.file("short.wav"));
    int first = 0, second = 0;
    player->setCompletionHandler([&] { ++first; });
    player->play();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (rig.loop.pendingCount() == 0 && std::chrono::steady_clock::now() < deadline)
        rig.output->pull(256);
    player->setCompletionHandler([&] { ++second; });
    rig.loop.runPending();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
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
