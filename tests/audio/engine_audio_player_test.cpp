#include "audio/engine_audio_player.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine_rig.h"

namespace tavrel::test {
namespace {

// What the voice outputs for a sample `n` frames after a start at `volume`.
float rampedIn(float sample, std::size_t n, float volume = 1.0f) {
    const auto envelope = static_cast<float>(std::min<std::size_t>(n + 1, EngineRig::rampFrames));
    return sample * (volume * (envelope / float(EngineRig::rampFrames)));
}

// RMS in dB of the part away from the edges.
double level(const std::vector<float>& samples) {
    double sum = 0.0;
    for (std::size_t i = 20000; i < 200000; ++i)
        sum += double(samples[i]) * samples[i];
    return 10 * std::log10(sum / 180000);
}

class EngineStartOffset : public ::testing::TestWithParam<std::tuple<AudioFormat, bool>> {};

// Every format decodes whole at its level, and the first sample heard is the
// one at the offset, warm or cold: exact for lossless files, within a sample
// of decoding from the start for the others.
TEST_P(EngineStartOffset, FirstSampleHeardIsTheOneAtTheOffset) {
    const auto& [format, warm] = GetParam();
    EngineRig rig;
    const auto path = rig.file("cue." + format.extension);
    std::string why;
    if (!writeAudioFile(format, path, sines({{440.0, 0.3}, {1230.0, 0.2}}, 2.5), why))
        GTEST_SKIP() << why;
    // The whole file, decoded from the start, at its length and level.
    AudioDecoder fromStart(path, EngineRig::rate);
    std::vector<float> whole(48000 * 3 * 2);
    whole.resize(fromStart.read(whole.data(), 48000 * 3) * 2);
    EXPECT_NEAR(fromStart.durationSeconds(), 2.5, 0.06);
    EXPECT_NEAR(whole.size() / 2.0, 120000, format.lossless ? 0 : 2500);
    EXPECT_NEAR(level(whole), level(sines({{440.0, 0.3}, {1230.0, 0.2}}, 2.5).samples), 0.3);

    const double offset = 1.2345;
    if (warm) {
        rig.engine->warm(path, offset);
        ASSERT_TRUE(EngineRig::waitFor([&] { return rig.engine->warmStartCount() > 0; }));
    }
    auto player = rig.player(path);
    player->setCurrentTime(offset);
    ASSERT_TRUE(player->play());
    EXPECT_EQ(player->startedWarm(), warm);
    const auto out = rig.output->pull(6000);

    const auto at = static_cast<std::size_t>(std::lround(offset * EngineRig::rate));
    std::pair<double, int> best{1e9, 0};  // error, lag
    for (int lag = -4; lag <= 4; ++lag) {
        double error = 0.0;
        for (std::size_t i = EngineRig::rampFrames * 2; i < out.size(); ++i)
            error += std::pow(out[i] - whole[(at + lag) * 2 + i], 2);
        best = std::min(best, {std::sqrt(error / double(out.size())), lag});
    }
    EXPECT_LE(std::abs(best.second), format.lossless ? 0 : 1);
    EXPECT_LT(best.first, format.lossless ? 1e-7 : 0.01);
    for (std::size_t n = 0; format.lossless && n < EngineRig::rampFrames; ++n)
        ASSERT_EQ(out[n * 2], rampedIn(whole[(at + n) * 2], n)) << "frame " << n;
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
    EXPECT_TRUE(EngineRig::waitFor([&] {
        rig.output->pull(256);
        return rig.loop.pendingCount() >= 2;
    }));
    players[2].reset();
    players[3]->setCompletionHandler([&] { ++ended; });
    // A start at the very end completes at once, as a cue.
    rig.play("short.wav", 99.0);
    // The decoder thread reports the ends of all voices in the same rounds, so
    // once a marker's end has come through the main loop, any report still
    // owed by an earlier voice has come too.
    writeWav(rig.file("marker.wav"), constant(0.1f, 0.02));
    auto marker = rig.player(rig.file("marker.wav"));
    bool done = false;
    marker->setCompletionHandler([&] { done = true; });
    ASSERT_TRUE(marker->play() && rig.pullUntil([&] { return done; }, 1.0));
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(rig.completions, 1);
}

}  // namespace
}  // namespace tavrel::test
