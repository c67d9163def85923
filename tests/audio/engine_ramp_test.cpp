#include <gtest/gtest.h>

#include <cmath>

#include "engine_rig.h"

namespace tavrel::test {
namespace {

// The operator's worst case: a low tone cut at its peak, where a hard stop
// would jump by nearly the full amplitude. Each act is heard as a ramp.
TEST(EngineRamps, PauseResumeVolumeReplaceAndStopNeverClick) {
    EngineRig rig;
    writeWav(rig.file("low.wav"), sines({{100.0, 0.9}}, 2.0));
    writeWav(rig.file("other.wav"), sines({{150.0, 0.9}}, 2.0));
    // The natural step of the 150 Hz tone, plus one ramp step, plus rounding.
    const float clickThreshold = 0.9f * 2.0f * 3.14159265f * 150.0f / 48000.0f +
                                 0.9f / float(EngineRig::rampFrames) + 0.001f;
    auto& controller = *rig.controller;
    rig.play("low.wav");
    auto heard = rig.pullLeft(4920);  // ends at the peak of the 100 Hz tone
    ASSERT_GT(heard.back(), 0.85f);
    const std::pair<const char*, std::function<void()>> acts[] = {
        {"pause", [&] { controller.togglePause(); }},
        {"resume", [&] { controller.togglePause(); }},
        // The new cue starts at its own peak while the old one is at another.
        {"replace", [&] { rig.play("other.wav", 1.0 / 600.0); }},
        {"volume", [&] { controller.setMasterVolume(0.1); }},
        {"stop", [&] { controller.stop(); }},
    };
    for (const auto& [name, act] : acts) {
        act();
        const auto after = rig.pullLeft(1000);
        heard.insert(heard.end(), after.begin(), after.end());
        EXPECT_LT(largestStep(heard), clickThreshold) << name;
        heard.erase(heard.begin(), heard.end() - 1000);
    }
    EXPECT_EQ(heard.back(), 0.0f);
    EXPECT_EQ(rig.engine->mixer().busyVoiceCount(), 0u) << "back in the pool once faded";
}

// One falling curve, no step, silent after its length, and its end is a stop.
TEST(EngineFades, AFadeFallsSmoothlyToSilenceAfterItsLengthAndEndsAsAStop) {
    EngineRig rig;
    writeWav(rig.file("level.wav"), constant(0.5f, 3.0));
    const auto& controller = rig.controller;
    rig.play("level.wav");
    const auto before = rig.pullLeft(2000);
    controller->fadeOut(0.5);
    const std::size_t length = EngineRig::rate / 2;  // longer than a ring: fed throughout
    const auto fade = rig.pullLeft(length + 2000);
    // The steepest step of the curve is at its start: 2 / length of the level.
    std::vector<float> heard{before.back()};
    heard.insert(heard.end(), fade.begin(), fade.end());
    EXPECT_LT(largestStep(heard), 0.5f * 2.0f / float(length) + 1e-6f);
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
