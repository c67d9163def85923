#include "audio/audio_overview_reader.h"

#include <gtest/gtest.h>

#include <thread>

#include "signal_files.h"
#include "support/fault_injecting_file_system.h"
#include "support/manual_main_loop.h"

namespace tavrel::test {
namespace {

struct OverviewCase {
    std::string name;
    AudioFormat format;
    int sampleRate;
    int channels;
};

void PrintTo(const OverviewCase& overviewCase, std::ostream* out) {
    *out << overviewCase.name;
}

class AudioOverviewFormats : public ::testing::TestWithParam<OverviewCase> {};

// One second of silence, then one of a sine at half scale.
Signal silenceThenTone(int sampleRate, int channels) {
    Signal signal = sines({{440.0, 0.5}}, 2.0, sampleRate, channels);
    std::fill(signal.samples.begin(), signal.samples.begin() + signal.samples.size() / 2, 0.0f);
    return signal;
}

TEST_P(AudioOverviewFormats, TellsFormatDurationAndWhereTheSoundIs) {
    const OverviewCase& c = GetParam();
    TemporaryDirectory folder;
    const auto file = folder.path() / ("overview." + c.format.extension);
    std::string why;
    if (!writeAudioFile(c.format, file, silenceThenTone(c.sampleRate, c.channels), why))
        GTEST_SKIP() << why;

    const AudioOverview overview = readAudioFormat(file);
    EXPECT_EQ(overview.formatName, c.name);
    EXPECT_EQ(overview.sampleRate, c.sampleRate);
    EXPECT_EQ(overview.channels, c.channels);
    EXPECT_NEAR(overview.durationSeconds, 2.0, 0.06);

    const auto peaks = readAudioPeaks(file, overview.sampleRate, 100, [] { return false; });
    ASSERT_EQ(peaks.size(), 100u);
    // Lossy coders smear the onset a little; the middle of each half is clear.
    EXPECT_LT(*std::max_element(peaks.begin(), peaks.begin() + 45), 0.01f);
    for (auto peak = peaks.begin() + 55; peak != peaks.begin() + 98; ++peak)
        ASSERT_NEAR(*peak, 0.5f, 0.08f);
}

INSTANTIATE_TEST_SUITE_P(Formats, AudioOverviewFormats,
                         ::testing::Values(OverviewCase{"WAV", audioFormats()[0], 44100, 1},
                                           OverviewCase{"MP3", audioFormats()[5], 44100, 2},
                                           OverviewCase{"FLAC", audioFormats()[4], 48000, 6}),
                         [](const auto& info) { return info.param.name; });

TEST(AudioOverviewThread, DeliversFormatThenPeaksNoFormatForBadFilesAndNothingWhenDropped) {
    TemporaryDirectory folder;
    writeWav(folder.path() / "tone.wav", sines({{440.0, 0.5}}, 1.0, 48000, 2));
    ManualMainLoop mainLoop;
    AudioOverviewThread thread(mainLoop);
    std::vector<AudioOverview> kept, dropped, last;
    const auto keptHandle = thread.request(folder.path() / "tone.wav", 50,
                                           [&](const AudioOverview& o) { kept.push_back(o); });
    thread.request(folder.path() / "tone.wav", 50,
                   [&](const AudioOverview& o) { dropped.push_back(o); });
    std::vector<AudioOverview> unreadable;
    writeFile(folder.path() / "noise.wav", std::string(4096, 'x'));
    const auto unreadableHandle = thread.request(
        folder.path() / "noise.wav", 50, [&](const AudioOverview& o) { unreadable.push_back(o); });
    const auto lastHandle = thread.request(folder.path() / "tone.wav", 50,
                                           [&](const AudioOverview& o) { last.push_back(o); });
    // Requests are read in order: once the last has its peaks, the others are done.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (last.size() < 2 && std::chrono::steady_clock::now() < deadline) {
        mainLoop.runPending();
        std::this_thread::yield();
    }
    ASSERT_EQ(last.size(), 2u);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_TRUE(dropped.empty());
    EXPECT_TRUE(kept[0].peaks.empty());
    EXPECT_EQ(kept[0].formatName, "WAV");
    EXPECT_EQ(kept[1].peaks.size(), 50u);
    EXPECT_EQ(unreadable, std::vector<AudioOverview>{AudioOverview{}});
}

}  // namespace
}  // namespace tavrel::test
