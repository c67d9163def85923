#include "audio/audio_decoder.h"

#include <gtest/gtest.h>

#include <cmath>

#include "audio/audio_file_error.h"
#include "audio_formats.h"
#include "support/bad_media.h"
#include "support/fault_injecting_file_system.h"

namespace tavrel::test {
namespace {

constexpr int rate = 48000;

std::vector<float> decodeAll(AudioDecoder& decoder) {
    std::vector<float> samples;
    std::vector<float> chunk(4096 * 2);
    while (const std::size_t frames = decoder.read(chunk.data(), 4096))
        samples.insert(samples.end(), chunk.begin(), chunk.begin() + frames * 2);
    return samples;
}

double rms(const std::vector<float>& samples, std::size_t from, std::size_t to) {
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(to - from));
}

// Seeking in every format is checked sample by sample in EngineStartOffset.
class DecoderFormats : public ::testing::TestWithParam<AudioFormat> {};

TEST_P(DecoderFormats, DecodesTheWholeFileAtItsLevel) {
    TemporaryDirectory folder;
    const auto path = folder.path() / ("signal." + GetParam().extension);
    const Signal signal = sines({{440.0, 0.3}, {1230.0, 0.2}, {3170.0, 0.1}}, 2.0);
    std::string why;
    if (!writeAudioFile(GetParam(), path, signal, why))
        GTEST_SKIP() << why;
    AudioDecoder decoder(path, rate);
    EXPECT_NEAR(decoder.durationSeconds(), 2.0, 0.06);
    const auto decoded = decodeAll(decoder);
    EXPECT_TRUE(decoder.atEnd());
    EXPECT_FALSE(decoder.failed());
    const auto frames = decoded.size() / 2;
    if (GetParam().lossless)
        EXPECT_EQ(frames, signal.frames());
    else
        EXPECT_NEAR(double(frames), double(signal.frames()), 2500.0);
    const double expected = rms(signal.samples, 20000, 160000);
    EXPECT_NEAR(20 * std::log10(rms(decoded, 20000, 160000) / expected), 0.0, 0.3);
}

INSTANTIATE_TEST_SUITE_P(Formats, DecoderFormats, ::testing::ValuesIn(audioFormats()),
                         [](const auto& info) { return info.param.name; });

// Whatever the file's channels and rate, the output is stereo at the output
// rate, at the level a listener expects: mono at full level on both sides, a
// fold-down that never clips.
TEST(AudioDecoder, ChannelsAndRatesBecomeStereoAtTheOutputRate) {
    struct Case {
        const char* name;
        Signal signal;
        double lowestRms, highestRms;
    };
    const Case cases[] = {
        {"mono", constant(0.5f, 0.5, rate, 1), 0.499, 0.501},
        {"surround", sines({{440.0, 0.5}}, 0.5, rate, 6), 0.2, 1.0},
        {"44.1 kHz", sines({{1000.0, 0.5}}, 0.5, 44100), 0.348, 0.359},
    };
    TemporaryDirectory folder;
    for (const auto& [name, signal, lowest, highest] : cases) {
        SCOPED_TRACE(name);
        writeWav(folder.path() / "cue.wav", signal);
        AudioDecoder decoder(folder.path() / "cue.wav", rate);
        const auto decoded = decodeAll(decoder);
        EXPECT_NEAR(double(decoded.size() / 2), 0.5 * rate, 64.0);
        const double level = rms(decoded, 4800, decoded.size() - 4800);
        EXPECT_GE(level, lowest);
        EXPECT_LE(level, highest);
        EXPECT_LE(*std::max_element(decoded.begin(), decoded.end()), 1.0f);
        EXPECT_EQ(decoded[2000], decoded[2001]) << "both sides alike";
    }
}

TEST(AudioDecoder, StreamsATwoHourFileAndSeeksFarIntoIt) {
    TemporaryDirectory folder;
    writeSparseWav(folder.path() / "long.wav", 7200.0);
    AudioDecoder decoder(folder.path() / "long.wav", rate);
    EXPECT_NEAR(decoder.durationSeconds(), 7200.0, 0.01);
    decoder.seek(5400.0);
    std::vector<float> part(4800 * 2, 1.0f);
    EXPECT_EQ(decoder.read(part.data(), 4800), 4800u);
    EXPECT_EQ(part[100], 0.0f);
}

TEST(AudioDecoder, ATruncatedMp3PlaysWhatItHasThenEnds) {
    TemporaryDirectory folder;
    const auto path = folder.path() / "cut.mp3";
    if (!encodeAudio(path, "mp3", "libmp3lame", sines({{440.0, 0.5}}, 2.0)))
        GTEST_SKIP() << "this FFmpeg has no libmp3lame encoder";
    // Mid-frame: frames are hundreds of bytes, this cut is not on a boundary.
    std::filesystem::resize_file(path, std::filesystem::file_size(path) * 6 / 10 + 7);
    AudioDecoder decoder(path, rate);
    const auto decoded = decodeAll(decoder);
    EXPECT_TRUE(decoder.atEnd());
    EXPECT_NEAR(double(decoded.size() / 2) / rate, 1.2, 0.1);
}

// Each is refused with FFmpeg's own words, never a crash or a hang, and
// `--check` says the same about it.
TEST(AudioDecoder, RefusesWhatHoldsNoAudio) {
    TemporaryDirectory folder;
    const auto dir = folder.path();
    writeBytes(dir / "empty.mp3", "");
    writeBytes(dir / "notes.txt", "Cue list for Saturday\nslot 1: opening\n");
    writeWav(dir / "silent.wav", Signal{{}, 2, rate});
    std::filesystem::create_directory(dir / "folder.wav");
    std::vector<std::filesystem::path> bad = {dir / "empty.mp3",   dir / "notes.txt",
                                              dir / "silent.wav",  dir / "folder.wav",
                                              dir / "missing.wav", "/dev/zero"};
    for (const auto& path : writeBadMedia(dir).all())
        bad.push_back(path);
    for (const auto& path : bad) {
        try {
            AudioDecoder decoder(path, rate);
            ADD_FAILURE() << path.filename() << " opened";
        } catch (const AudioFileError& error) {
            EXPECT_LT(error.ffmpegCode(), 0) << path.filename();
            EXPECT_TRUE(std::string(error.what()).starts_with("음원 파일을 재생할 수 없습니다. ("))
                << error.what();
            EXPECT_EQ(error.url(), path);
            EXPECT_EQ(checkPlayable(path), std::optional<std::string>(error.what()));
        }
    }
    writeWav(dir / "good.wav", constant(0.5f, 0.2));
    EXPECT_EQ(checkPlayable(dir / "good.wav"), std::nullopt);
}

}  // namespace
}  // namespace tavrel::test
