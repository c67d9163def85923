#include <gtest/gtest.h>

#include "engine_rig.h"

namespace tavrel::test {
namespace {

// RMS in dB of the part away from the edges.
double level(const std::vector<float>& samples) {
    return 20 * std::log10(rms(samples, 20000, 200000));
}

class EngineStartOffset : public ::testing::TestWithParam<std::tuple<AudioFormat, bool>> {};

// Every format decodes whole at its level, and the first sample heard is the
// one at the offset, warm or cold: exact for lossless files, within a sample
// of decoding from the start for the others.
TEST_P(EngineStartOffset, FirstSampleHeardIsTheOneAtTheOffset) {
    const auto& [format, warm] = GetParam();
    EngineRig rig;
    const auto path = rig.file("cue." + format.extension);
    if (!writeAudioFile(format, path, sines({{440.0, 0.3}, {1230.0, 0.2}}, 2.5)))
        GTEST_SKIP() << "no " << format.encoder << " encoder";
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
    auto player = std::dynamic_pointer_cast<EngineAudioPlayer>(rig.factory->makePlayer(path));
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
        ASSERT_EQ(out[n * 2], whole[(at + n) * 2] * (float(n + 1) / float(EngineRig::rampFrames)))
            << "frame " << n;
}

INSTANTIATE_TEST_SUITE_P(Formats, EngineStartOffset,
                         ::testing::Combine(::testing::ValuesIn(audioFormats()), ::testing::Bool()),
                         [](const auto& info) {
                             return std::get<0>(info.param).name +
                                    (std::get<1>(info.param) ? "_warm" : "_cold");
                         });

}  // namespace
}  // namespace tavrel::test
