#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace tavrel::test {

// Interleaved float frames and their shape.
struct Signal {
    std::vector<float> samples;
    int channels = 2;
    int sampleRate = 48000;

    std::size_t frames() const { return samples.size() / channels; }
};

// Sum of sines (Hz, amplitude), the same on every channel.
Signal sines(const std::vector<std::pair<double, double>>& partials, double seconds,
             int sampleRate = 48000, int channels = 2);
// A level held constant.
Signal constant(float level, double seconds, int sampleRate = 48000, int channels = 2);
// WAV of 16, 24 or 32 (float) bits.
void writeWav(const std::filesystem::path& path, const Signal& signal, int bits = 16);

// A file format the engine must play, and how a test makes one: FFmpeg's
// encoder into the container (bit rate 0: variable).
struct AudioFormat {
    std::string name;
    std::string extension;
    std::string container;
    std::string encoder;
    bool lossless = false;
    std::int64_t bitRate = 192000;
};
const std::vector<AudioFormat>& audioFormats();
inline void PrintTo(const AudioFormat& format, std::ostream* out) {
    *out << format.name;
}
// Writes the signal in that format; false (with the reason in `why`) when this
// FFmpeg lacks the encoder.
bool writeAudioFile(const AudioFormat& format, const std::filesystem::path& path,
                    const Signal& signal, std::string& why);

}  // namespace tavrel::test
