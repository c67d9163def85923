#pragma once

#include <string>
#include <vector>

namespace tavrel {

// What the editor shows of a sound file: its format and the shape of its
// whole length. Read by the engine, off the main thread.
struct AudioOverview {
    double durationSeconds = 0.0;
    std::string formatName;  // "MP3", "FLAC", "WAV", …
    int sampleRate = 0;      // the file's own, in Hz
    int channels = 0;
    // Peak levels (0…1) of equal stretches from start to end; empty until read.
    std::vector<float> peaks;

    bool operator==(const AudioOverview&) const = default;
};

}  // namespace tavrel
