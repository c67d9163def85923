#pragma once

#include <cmath>
#include <cstdint>
#include <filesystem>
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
// 16-bit WAV.
void writeWav(const std::filesystem::path& path, const Signal& signal);

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
// Writes the signal in that format; false when this FFmpeg lacks the encoder.
bool writeAudioFile(const AudioFormat& format, const std::filesystem::path& path,
                    const Signal& signal);

// RMS of samples [from, to).
inline double rms(const std::vector<float>& samples, std::size_t from, std::size_t to) {
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(to - from));
}

}  // namespace tavrel::test
