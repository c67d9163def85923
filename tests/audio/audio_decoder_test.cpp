#include "audio/audio_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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

// The lag in [-8, 8] frames at which `part` best matches `whole` from `offsetFrames`.
std::pair<int, double> bestLag(const std::vector<float>& whole, const std::vector<float>& part,
                               std::size_t offsetFrames) {
    std::pair<int, double> best{0, std::numeric_limits<double>::max()};
    for (int lag = -8; lag <= 8; ++lag) {
        double error = 0.0;
        for (std::size_t i = 0; i < part.size(); ++i) {
            const double reference = whole[(offsetFrames + lag) * 2 + i];
            error += (part[i] - reference) * (part[i] - reference);
        }
        error = std::sqrt(error / double(part.size()));
        if (error < best.second)
            best = {lag, error};
    }
    return best;
}

class DecoderFormats : public ::testing::TestWithParam<AudioFormat> {
protected:
    std::filesystem::path write(const Signal& signal) {
        const auto path = folder.path() / ("signal." + GetParam().extension);
        std::string why;
        if (!writeAudioFile(GetParam(), path, signal, why))
            return {};
        skipReason = why;
        return path;
    }
    TemporaryDirectory folder;
    std::string skipReason;
};

const Signal twoSeconds = sines({{440.0, 0.3}, {1230.0, 0.2}, {3170.0, 0.1}}, 2.0);

TEST_P(DecoderFormats, DecodesTheWholeFileAtItsLevel) {
    const auto path = write(twoSeconds);
    if (path.empty())
        GTEST_SKIP() << "no encoder for " << GetParam().name;
    AudioDecoder decoder(path, rate);
    EXPECT_NEAR(decoder.durationSeconds(), 2.0, 0.06);
    const auto decoded = decodeAll(decoder);
    EXPECT_TRUE(decoder.atEnd());
    EXPECT_FALSE(decoder.failed());
    const auto frames = decoded.size() / 2;
    if (GetParam().lossless)
        EXPECT_EQ(frames, twoSeconds.frames());
    else
        EXPECT_NEAR(double(frames), double(twoSeconds.frames()), 2500.0);
    const double expected = rms(twoSeconds.samples, 20000, 160000);
    EXPECT_NEAR(20 * std::log10(rms(decoded, 20000, 160000) / expected), 0.0, 0.3);
}

TEST_P(DecoderFormats, SeekLandsOnTheSampleDecodedFromTheStart) {
    const auto path = write(twoSeconds);
    if (path.empty())
        GTEST_SKIP() << "no encoder for " << GetParam().name;
    AudioDecoder fromStart(path, rate);
    const auto whole = decodeAll(fromStart);
    for (const double offset : {0.15, 1.2345}) {
        AudioDecoder decoder(path, rate);
        decoder.seek(offset);
        std::vector<float> part(4800 * 2);
        ASSERT_EQ(decoder.read(part.data(), 4800), 4800u);
        const auto offsetFrames = static_cast<std::size_t>(std::lround(offset * rate));
        const auto [lag, error] = bestLag(whole, part, offsetFrames);
        if (GetParam().lossless) {
            EXPECT_EQ(lag, 0) << "at " << offset;
            EXPECT_LT(error, 1e-7) << "at " << offset;
        } else {
            EXPECT_LE(std::abs(lag), 1) << "at " << offset;
            EXPECT_LT(error, 0.01) << "at " << offset;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, DecoderFormats, ::testing::ValuesIn(audioFormats()),
                         [](const auto& info) { return info.param.name; });

TEST(AudioDecoder, MonoPlaysAtFullLevelOnBothSides) {
    TemporaryDirectory folder;
    writeWav(folder.path() / "mono.wav", constant(0.5f, 0.2, rate, 1));
    AudioDecoder decoder(folder.path() / "mono.wav", rate);
    const auto decoded = decodeAll(decoder);
    ASSERT_EQ(decoded.size(), 9600u * 2);
    EXPECT_FLOAT_EQ(decoded[1000], 0.5f);
    EXPECT_FLOAT_EQ(decoded[1001], 0.5f);
}

TEST(AudioDecoder, FoldsSurroundDownToStereo) {
    TemporaryDirectory folder;
    Signal surround = sines({{440.0, 0.5}}, 0.5, rate, 6);
    writeWav(folder.path() / "surround.wav", surround);
    AudioDecoder decoder(folder.path() / "surround.wav", rate);
    const auto decoded = decodeAll(decoder);
    ASSERT_EQ(decoded.size(), surround.frames() * 2);
    const double left = rms(decoded, 0, decoded.size());
    EXPECT_GT(left, 0.2);
    for (const float sample : decoded)
        ASSERT_LE(std::abs(sample), 1.0f);
}

TEST(AudioDecoder, ResamplesToTheOutputRate) {
    TemporaryDirectory folder;
    writeWav(folder.path() / "cd.wav", sines({{1000.0, 0.5}}, 1.0, 44100));
    AudioDecoder decoder(folder.path() / "cd.wav", rate);
    const auto decoded = decodeAll(decoder);
    EXPECT_NEAR(double(decoded.size() / 2), 48000.0, 64.0);
    int crossings = 0;
    for (std::size_t i = 2; i < decoded.size(); i += 2)
        crossings += (decoded[i - 2] < 0.0f) != (decoded[i] < 0.0f);
    EXPECT_NEAR(crossings / 2.0, 1000.0, 2.0);
    EXPECT_NEAR(rms(decoded, 4800, 90000), 0.5 / std::sqrt(2.0), 0.005);
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

// Each is refused with FFmpeg's own words, never a crash or a hang.
TEST(AudioDecoder, RefusesWhatHoldsNoAudio) {
    TemporaryDirectory folder;
    const auto dir = folder.path();
    std::filesystem::create_directory(dir / "more");
    writeBytes(dir / "empty.mp3", "");
    std::string noise(20000, '\0');
    unsigned state = 12345;
    for (char& c : noise)
        c = static_cast<char>((state = state * 1103515245u + 12345u) >> 16);
    writeBytes(dir / "noise.mp3", noise);
    writeBytes(dir / "notes.txt", "Cue list for Saturday\nslot 1: opening\n");
    writeWav(dir / "silent.wav", Signal{{}, 2, rate});
    std::filesystem::create_directory(dir / "folder.wav");
    std::vector<std::filesystem::path> bad = {
        dir / "empty.mp3",  dir / "noise.mp3",   dir / "notes.txt", dir / "silent.wav",
        dir / "folder.wav", dir / "missing.wav", "/dev/zero"};
    for (const auto& path : writeBadMedia(dir / "more").all())
        bad.push_back(path);
    if (writePng(dir / "cover.png"))
        bad.push_back(dir / "cover.png");
    if (writeVideoOnly(dir / "video.nut"))
        bad.push_back(dir / "video.nut");
    for (const auto& path : bad) {
        try {
            AudioDecoder decoder(path, rate);
            ADD_FAILURE() << path.filename() << " opened";
        } catch (const AudioFileError& error) {
            EXPECT_LT(error.ffmpegCode(), 0) << path.filename();
            EXPECT_TRUE(std::string(error.what()).starts_with("음원 파일을 재생할 수 없습니다. ("))
                << error.what();
            EXPECT_EQ(error.url(), path);
            // What `--check` says about it.
            EXPECT_EQ(checkPlayable(path), std::optional<std::string>(error.what()));
        }
    }
    writeWav(dir / "good.wav", constant(0.5f, 0.2));
    EXPECT_EQ(checkPlayable(dir / "good.wav"), std::nullopt);
}

}  // namespace
}  // namespace tavrel::test
