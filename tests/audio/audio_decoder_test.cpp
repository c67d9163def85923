#include "audio/audio_decoder.h"

#include <gtest/gtest.h>

#include <fstream>

#include "audio/audio_file_error.h"
#include "signal_files.h"
#include "support/fault_injecting_file_system.h"

namespace tavrel::test {
namespace {

// Each format is decoded at its level and from any offset in EngineStartOffset.

// Whatever the file's channels and rate, the output is stereo at the output
// rate, at the level a listener expects: mono at full level on both sides, a
// fold-down that never clips.
TEST(AudioDecoder, ChannelsAndRatesBecomeStereoAtTheOutputRate) {
    const std::tuple<const char*, Signal, double, double> cases[] = {
        {"mono", constant(0.5f, 0.5, 48000, 1), 0.499, 0.501},
        {"surround", sines({{440.0, 0.5}}, 0.5, 48000, 6), 0.2, 1.0},
        {"44.1 kHz", sines({{1000.0, 0.5}}, 0.5, 44100), 0.348, 0.359},
    };
    TemporaryDirectory folder;
    for (const auto& [name, signal, lowest, highest] : cases) {
        SCOPED_TRACE(name);
        writeWav(folder.path() / "cue.wav", signal);
        AudioDecoder decoder(folder.path() / "cue.wav", 48000);
        std::vector<float> decoded(48000 * 2);
        decoded.resize(decoder.read(decoded.data(), 48000) * 2);
        EXPECT_NEAR(double(decoded.size() / 2), 24000, 64.0);
        const double level = rms(decoded, 4800, decoded.size() - 4800);
        EXPECT_TRUE(level >= lowest && level <= highest) << level;
        EXPECT_LE(*std::max_element(decoded.begin(), decoded.end()), 1.0f);
        EXPECT_EQ(decoded[2000], decoded[2001]) << "both sides alike";
    }
}

// Each is refused with FFmpeg's own words, never a crash or a hang, and
// `--check` says the same about it.
TEST(AudioDecoder, RefusesWhatHoldsNoAudio) {
    TemporaryDirectory folder;
    const auto dir = folder.path();
    std::ofstream(dir / "empty.mp3").close();
    std::ofstream(dir / "notes.txt") << "Cue list for Saturday\nslot 1: opening\n";
    writeWav(dir / "silent.wav", Signal{});
    std::filesystem::create_directory(dir / "folder.wav");
    // The bad media a show must survive are refused in EngineBadInput.
    for (const std::filesystem::path& path :
         {dir / "empty.mp3", dir / "notes.txt", dir / "silent.wav", dir / "folder.wav",
          dir / "missing.wav", std::filesystem::path("/dev/zero")}) {
        try {
            AudioDecoder decoder(path, 48000);
            ADD_FAILURE() << path.filename() << " opened";
        } catch (const AudioFileError& error) {
            EXPECT_TRUE(std::string(error.what()).starts_with("음원 파일을 재생할 수 없습니다. ("))
                << error.what();
            EXPECT_EQ(checkPlayable(path), std::optional<std::string>(error.what()));
        }
    }
}

}  // namespace
}  // namespace tavrel::test
