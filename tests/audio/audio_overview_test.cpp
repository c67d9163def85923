#include "audio/audio_overview_reader.h"

#include <gtest/gtest.h>

#include "engine_rig.h"

namespace tavrel::test {
namespace {

// Its name, a format of audioFormats(), a sample rate and channels.
using OverviewCase = std::tuple<const char*, std::size_t, int, int>;
class AudioOverviewFormats : public ::testing::TestWithParam<OverviewCase> {};

TEST_P(AudioOverviewFormats, TellsFormatDurationAndWhereTheSoundIs) {
    const auto& [name, index, sampleRate, channels] = GetParam();
    const AudioFormat& format = audioFormats()[index];
    TemporaryDirectory folder;
    const auto file = folder.path() / ("overview." + format.extension);
    // One second of silence, then one of a sine at half scale.
    Signal signal = sines({{440.0, 0.5}}, 2.0, sampleRate, channels);
    std::fill(signal.samples.begin(), signal.samples.begin() + signal.samples.size() / 2, 0.0f);
    if (!writeAudioFile(format, file, signal))
        GTEST_SKIP() << "no " << format.encoder << " encoder";

    const AudioOverview overview = readAudioFormat(file);
    EXPECT_EQ(std::tie(overview.formatName, overview.sampleRate, overview.channels),
              std::tuple(std::string(name), sampleRate, channels));
    EXPECT_NEAR(overview.durationSeconds, 2.0, 0.06);

    const auto peaks = readAudioPeaks(file, overview.sampleRate, 100, [] { return false; });
    ASSERT_EQ(peaks.size(), 100u);
    // Lossy coders smear the onset a little; the middle of each half is clear.
    EXPECT_LT(*std::max_element(peaks.begin(), peaks.begin() + 45), 0.01f);
    for (auto peak = peaks.begin() + 55; peak != peaks.begin() + 98; ++peak)
        ASSERT_NEAR(*peak, 0.5f, 0.08f);
}

INSTANTIATE_TEST_SUITE_P(Formats, AudioOverviewFormats,
                         ::testing::Values(OverviewCase{"WAV", 0, 44100, 1},
                                           OverviewCase{"MP3", 5, 44100, 2},
                                           OverviewCase{"FLAC", 4, 48000, 6}),
                         [](const auto& info) { return std::string(std::get<0>(info.param)); });

TEST(AudioOverviewThread, DeliversFormatThenPeaksNoFormatForBadFilesAndNothingWhenDropped) {
    TemporaryDirectory folder;
    writeWav(folder.path() / "tone.wav", sines({{440.0, 0.5}}, 1.0, 48000, 2));
    ManualMainLoop mainLoop;
    AudioOverviewThread thread(mainLoop);
    writeFile(folder.path() / "noise.wav", std::string(4096, 'x'));
    std::vector<AudioOverview> kept, dropped, unreadable, last;
    const auto request = [&](const char* name, std::vector<AudioOverview>& into) {
        return thread.request(folder.path() / name, 50,
                              [&into](const AudioOverview& o) { into.push_back(o); });
    };
    const auto keptHandle = request("tone.wav", kept);
    request("tone.wav", dropped);
    const auto unreadableHandle = request("noise.wav", unreadable);
    const auto lastHandle = request("tone.wav", last);
    // Requests are read in order: once the last has its peaks, the others are done.
    ASSERT_TRUE(EngineRig::waitFor([&] {
        mainLoop.runPending();
        return last.size() == 2;
    }));
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_TRUE(dropped.empty());
    EXPECT_TRUE(kept[0].peaks.empty());
    EXPECT_EQ(kept[0].formatName, "WAV");
    EXPECT_EQ(kept[1].peaks.size(), 50u);
    EXPECT_EQ(unreadable, std::vector<AudioOverview>{AudioOverview{}});
}

}  // namespace
}  // namespace tavrel::test
