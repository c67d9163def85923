#pragma once

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
// Each frame's value says its index: a steady ramp from -0.9 that wraps every
// `period` frames, exact in 16 bits and in float.
Signal indexRamp(double seconds, int period = 4096, int sampleRate = 48000);

enum class WavEncoding { pcm16, pcm24, float32 };
// Plain RIFF WAV.
void writeWav(const std::filesystem::path& path, const Signal& signal,
              WavEncoding encoding = WavEncoding::pcm16);
// A WAV header announcing `seconds` of 16-bit stereo, the data left sparse (zeros).
void writeSparseWav(const std::filesystem::path& path, double seconds, int sampleRate = 48000);

// Encodes through FFmpeg's encoder into the container; false when this
// FFmpeg has no such encoder. A bit rate of 0 asks for variable bit rate.
bool encodeAudio(const std::filesystem::path& path, const std::string& container,
                 const std::string& encoder, const Signal& signal, std::int64_t bitRate = 192000);
void writeBytes(const std::filesystem::path& path, const std::string& bytes);

}  // namespace tavrel::test
