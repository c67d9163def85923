#include <gtest/gtest.h>

#include <cmath>

#include "engine_rig.h"
#include "playback/audio_playback_controller.h"

namespace tavrel::test {
namespace {

constexpr std::size_t ramp = EngineRig::rampFrames;

float envelope(std::size_t steps) {
    return float(steps) / float(ramp);
}

CueSlot slotFor(const std::string& file, std::int64_t id = 0, double startSeconds = 0.0) {
    CueSlot slot = CueSlot::empty(id);
    slot.audioFilename = file;
    slot.startSeconds = startSeconds;
    return slot;
}

std::vector<float> joined(std::vector<float> a, const std::vector<float>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The operator's worst case: a low tone cut at its peak, where a hard stop
// would jump by nearly the full amplitude.
TEST(EngineRamps, StopPauseAndReplaceNeverClick) {
    EngineRig rig;
    writeWav(rig.file("low.wav"), sines({{100.0, 0.9}}, 2.0));
    writeWav(rig.file("other.wav"), sines({{150.0, 0.9}}, 2.0));
    const float naturalStep = 0.9f * 2.0f * 3.14159265f * 150.0f / 48000.0f;
    const float clickThreshold = naturalStep + 0.9f / float(ramp) + 0.001f;
    auto controller = std::make_shared<AudioPlaybackController>(rig.factory);

    controller->play(slotFor("low.wav"), rig.file("low.wav"));
    auto before = rig.pullLeft(4920);  // ends at the peak of the 100 Hz tone
    ASSERT_GT(before.back(), 0.85f);
    controller->togglePause();
    const auto paused = rig.pullLeft(1000);
    EXPECT_EQ(paused.back(), 0.0f);
    EXPECT_LT(largestStep(joined(before, paused)), clickThreshold) << "pause";

    controller->togglePause();
    const auto after = rig.pullLeft(1000);
    EXPECT_GT(*std::max_element(after.begin(), after.end()), 0.85f);
    EXPECT_LT(largestStep(joined(paused, after)), clickThreshold) << "resume";

    // The new cue starts at its own peak while the old one is at another.
    controller->play(slotFor("other.wav", 1, 1.0 / 600.0), rig.file("other.wav"));
    const auto replaced = rig.pullLeft(2000);
    EXPECT_LT(largestStep(joined(after, replaced)), clickThreshold) << "replace";

    controller->stop();
    const auto stopped = rig.pullLeft(1000);
    EXPECT_LT(largestStep(joined(replaced, stopped)), clickThreshold) << "stop";
    EXPECT_EQ(stopped.back(), 0.0f);
    EXPECT_EQ(rig.engine->mixer().busyVoiceCount(), 0u) << "back in the pool once faded";
}

// The outgoing cue fades out under the incoming one instead of being cut.
TEST(EngineRamps, AReplacedCueRampsOutWhileTheNewOneStarts) {
    EngineRig rig;
    writeWav(rig.file("up.wav"), constant(0.5f, 1.0));
    writeWav(rig.file("down.wav"), constant(-0.25f, 1.0));
    auto controller = std::make_shared<AudioPlaybackController>(rig.factory);
    controller->play(slotFor("up.wav"), rig.file("up.wav"));
    rig.pullLeft(1000);
    controller->play(slotFor("down.wav", 1), rig.file("down.wav"));
    const auto overlap = rig.pullLeft(1000);
    for (std::size_t n = 0; n + 1 < ramp; ++n) {
        const float expected = 0.5f * envelope(ramp - 1 - n) + -0.25f * envelope(n + 1);
        ASSERT_NEAR(overlap[n], expected, 1e-6) << "frame " << n;
    }
    EXPECT_EQ(overlap[ramp], -0.25f);
}

TEST(EngineRamps, PauseAndResumeNeitherDropNorRepeatASample) {
    EngineRig rig;
    const Signal signal = indexRamp(2.0);
    writeWav(rig.file("index.wav"), signal);
    auto player = rig.player(rig.file("index.wav"));
    ASSERT_TRUE(player->play());
    const auto first = rig.pullLeft(5000);
    player->pause();
    const auto fade = rig.pullLeft(1000);
    // The fade-out is heard, so it counts as played.
    const std::size_t consumed = 5000 + ramp - 1;
    EXPECT_NEAR(player->currentTime(), double(consumed) / EngineRig::rate, 1e-12);
    for (std::size_t n = 0; n + 1 < ramp; ++n)
        ASSERT_EQ(fade[n], signal.samples[(5000 + n) * 2] * envelope(ramp - 1 - n)) << n;
    EXPECT_EQ(fade[ramp - 1], 0.0f);

    ASSERT_TRUE(player->play());
    const auto resumed = rig.pullLeft(2000);
    for (std::size_t n = 0; n < resumed.size(); ++n) {
        const float sample = signal.samples[(consumed + n) * 2];
        ASSERT_EQ(resumed[n], sample * envelope(std::min(n + 1, ramp))) << "frame " << n;
    }
    EXPECT_EQ(first[4999], signal.samples[4999 * 2]);
}

TEST(EngineRamps, AVolumeChangeGlidesOverOneBuffer) {
    EngineRig rig;
    writeWav(rig.file("level.wav"), constant(0.5f, 1.0));
    auto player = rig.player(rig.file("level.wav"));
    ASSERT_TRUE(player->play());
    const auto steady = rig.pullLeft(1024);  // whole buffers
    player->setVolume(0.0f);
    const auto glide = rig.pullLeft(256);
    EXPECT_EQ(glide.back(), 0.0f);
    EXPECT_EQ(steady.back(), 0.5f);
    EXPECT_LT(largestStep(joined({steady.back()}, glide)), 0.5f / 256.0f + 1e-6f);
    EXPECT_GT(glide[127], 0.2f);
}

// One falling curve, no step, silent after its length, and its end is a stop.
TEST(EngineFades, AFadeFallsSmoothlyToSilenceAfterItsLengthAndEndsAsAStop) {
    EngineRig rig;
    writeWav(rig.file("level.wav"), constant(0.5f, 3.0));
    auto controller = rig.countingController();
    controller->play(slotFor("level.wav"), rig.file("level.wav"));
    const auto before = rig.pullLeft(2000);
    controller->fadeOut(0.5);
    const std::size_t length = EngineRig::rate / 2;  // longer than a ring: fed throughout
    const auto fade = rig.pullLeft(length + 2000);
    // The steepest step of the curve is at its start: 2 / length of the level.
    EXPECT_LT(largestStep(joined({before.back()}, fade)), 0.5f * 2.0f / float(length) + 1e-6f);
    for (std::size_t n = 1; n < fade.size(); ++n)
        ASSERT_LE(fade[n], fade[n - 1]) << "frame " << n;
    EXPECT_GT(fade[length - 100], 0.0f);
    EXPECT_EQ(fade[length], 0.0f);
    ASSERT_TRUE(rig.pullUntil([&] { return controller->state().isStopped(); }, 1.0));
    EXPECT_EQ(rig.completions, 0);
    EXPECT_EQ(rig.engine->mixer().busyVoiceCount(), 0u);
}

}  // namespace
}  // namespace tavrel::test
