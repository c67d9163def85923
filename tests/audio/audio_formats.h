#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "signal_files.h"

namespace tavrel::test {

// A file format the engine must play, and how a test makes one.
struct AudioFormat {
    std::string name;
    std::string extension;
    std::string container;  // empty: plain WAV writing
    std::string encoder;
    bool lossless = false;
    std::int64_t bitRate = 192000;
    WavEncoding wav = WavEncoding::pcm16;
};

const std::vector<AudioFormat>& audioFormats();

// Test names show the format, not its bytes.
inline void PrintTo(const AudioFormat& format, std::ostream* out) {
    *out << format.name;
}

// Writes the signal in that format; false (with the reason in `why`) when this
// FFmpeg lacks the encoder.
bool writeAudioFile(const AudioFormat& format, const std::filesystem::path& path,
                    const Signal& signal, std::string& why);

}  // namespace tavrel::test
