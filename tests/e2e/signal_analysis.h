#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tavrel::e2e {

// A tone or a silence, as heard.
struct Stretch {
    double startSeconds = 0;
    double durationSeconds = 0;
    double frequencyHz = 0;  // 0: silence
    double rms = 0;          // of its median 10 ms window
};

// Within 5 %: a stretch that begins on the border of two tones is measured a
// few per cent off, and no two tones of the show are closer than 10 %.
bool near(double frequency, double expected);

// What a raw interleaved float32 stereo recording holds (left channel), from
// `fromSeconds` on, with times counted from there: stretches long enough to
// mean something, and a silence shorter than `maxGapSeconds` between two
// stretches of one tone (the sink's dropout on a loaded machine, no pause or
// restart) merged away, the two counting with the length of their sound alone.
std::vector<Stretch> listen(const std::filesystem::path& rawFile, int sampleRate,
                            double maxGapSeconds, double fromSeconds = 0);
std::vector<double> tonesOf(const std::vector<Stretch>& heard);
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
