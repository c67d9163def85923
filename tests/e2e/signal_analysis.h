#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tavrel::e2e {

// What one 10 ms window of a recording holds.
struct Window {
    double startSeconds = 0;
    double rms = 0;
    double frequencyHz = 0;  // from zero crossings; 0 when silent
};

// Reads raw interleaved float32 stereo and describes it window by window (left
// channel), from `fromSeconds` on, with times counted from there.
std::vector<Window> analyseRecording(const std::filesystem::path& rawFile, int sampleRate,
                                     double fromSeconds = 0);

// Consecutive windows with the same tone (within 3 %) or silence.
struct Stretch {
    double startSeconds = 0;
    double durationSeconds = 0;
    double frequencyHz = 0;  // 0: silence
    double rms = 0;          // of its median window
};
std::vector<Stretch> stretches(const std::vector<Window>& windows, double silenceRms = 0.01);

std::string describe(const std::vector<Stretch>& stretches);

// The largest sample step of the left channel from `fromSeconds` on, leaving
// out the edges of silences no longer than `dropoutSeconds` inside sound.
double largestStep(const std::filesystem::path& rawFile, int sampleRate, double dropoutSeconds,
                   double fromSeconds = 0);

// The left channel's largest magnitude in each window of `windowSeconds`;
// NaN for a window holding a dropout (a run of a millisecond or more of
// exact zeros inside sound, no longer than `dropoutSeconds`).
std::vector<double> peakEnvelope(const std::filesystem::path& rawFile, int sampleRate,
                                 double windowSeconds, double dropoutSeconds);

}  // namespace tavrel::e2e
