#include "signal_analysis.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace tavrel::e2e {

namespace {

std::vector<float> readLeftChannel(const std::filesystem::path& rawFile,
                                   std::size_t skipFrames = 0) {
    std::ifstream in(rawFile, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(skipFrames * 2 * sizeof(float)));
    std::vector<float> left;
    float frame[2];
    while (in.read(reinterpret_cast<char*>(frame), sizeof frame))
        left.push_back(frame[0]);
    return left;
}

// What one 10 ms window holds; its frequency from upward zero crossings,
// interpolated between samples: to well under one per cent. 0 when silent.
struct Window {
    double rms = 0;
    double frequencyHz = 0;
};

Window analyseWindow(const float* left, std::size_t frames, int sampleRate) {
    double sum = 0, firstCrossing = -1, lastCrossing = -1;
    int crossings = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        sum += static_cast<double>(left[i]) * left[i];
        if (i > 0 && left[i - 1] < 0 && left[i] >= 0) {
            const double at = static_cast<double>(i - 1) +
                              left[i - 1] / static_cast<double>(left[i - 1] - left[i]);
            firstCrossing = firstCrossing < 0 ? at : firstCrossing;
            lastCrossing = at;
            ++crossings;
        }
    }
    Window window{std::sqrt(sum / static_cast<double>(frames)), 0};
    if (window.rms > 0.01 && crossings >= 2 && lastCrossing > firstCrossing)
        window.frequencyHz = (crossings - 1) * sampleRate / (lastCrossing - firstCrossing);
    return window;
}

// One tone within 3 %, or both silence.
bool sameTone(double a, double b) {
    return (a == 0) == (b == 0) && std::fabs(a - b) <= 0.03 * b;
}

// Runs of windows with one tone; each with its median level, which the
// sink's dropouts inside a tone do not lower.
std::vector<Stretch> stretches(const std::vector<float>& left, int sampleRate) {
    std::vector<Stretch> result;
    std::vector<double> levels;
    const auto close = [&] {
        if (result.empty())
            return;
        std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
        result.back().rms = levels[levels.size() / 2];
        levels.clear();
    };
    const auto frames = static_cast<std::size_t>(sampleRate / 100);
    for (std::size_t start = 0; start + frames <= left.size(); start += frames) {
        const Window window = analyseWindow(left.data() + start, frames, sampleRate);
        if (result.empty() || !sameTone(window.frequencyHz, result.back().frequencyHz)) {
            close();
            result.push_back({static_cast<double>(start) / sampleRate, 0, window.frequencyHz, 0});
        }
        result.back().durationSeconds += 0.01;
        levels.push_back(window.rms);
    }
    close();
    return result;
}

}  // namespace

bool near(double frequency, double expected) {
    return std::fabs(frequency - expected) < 0.05 * expected;
}

std::vector<Stretch> listen(const std::filesystem::path& rawFile, int sampleRate,
                            double maxGapSeconds, double fromSeconds) {
    // Ramps and window edges make short stretches: those are left out.
    std::vector<Stretch> significant;
    for (const auto& s :
         stretches(readLeftChannel(rawFile, static_cast<std::size_t>(fromSeconds * sampleRate)),
                   sampleRate)) {
        if (s.durationSeconds < 0.045)
            continue;
        if (!significant.empty() && sameTone(s.frequencyHz, significant.back().frequencyHz))
            significant.back().durationSeconds =
                s.startSeconds + s.durationSeconds - significant.back().startSeconds;
        else
            significant.push_back(s);
    }
    std::vector<Stretch> result;
    for (std::size_t i = 0; i < significant.size(); ++i) {
        const Stretch& s = significant[i];
        const bool dropout = s.frequencyHz == 0 && s.durationSeconds < maxGapSeconds &&
                             !result.empty() && i + 1 < significant.size() &&
                             result.back().frequencyHz > 0 &&
                             near(significant[i + 1].frequencyHz, result.back().frequencyHz);
        if (dropout)
            result.back().durationSeconds += significant[++i].durationSeconds;
        else
            result.push_back(s);
    }
    return result;
}

std::vector<double> tonesOf(const std::vector<Stretch>& heard) {
    std::vector<double> tones;
    for (const auto& s : heard)
        if (s.frequencyHz > 0)
            tones.push_back(s.frequencyHz);
    return tones;
}

std::string describe(const std::vector<Stretch>& stretches) {
    std::ostringstream text;
    for (const auto& s : stretches)  // 0 Hz: silence
        text << "  at " << s.startSeconds << " s for " << s.durationSeconds
             << " s: " << s.frequencyHz << " Hz rms " << s.rms << "\n";
    return text.str();
}

namespace {

// Marks each run of exact zeros inside sound, `shortest` to `longest` samples
// long: what the server plays when a buffer came late, not a missing ramp.
std::vector<bool> dropouts(const std::vector<float>& left, std::size_t shortest,
                           std::size_t longest) {
    std::vector<bool> marked(left.size(), false);
    for (std::size_t i = 1; i < left.size(); ++i) {
        if (left[i] != 0.0f || left[i - 1] == 0.0f)
            continue;
        std::size_t end = i;
        while (end < left.size() && left[end] == 0.0f)
            ++end;
        if (end < left.size() && end - i >= shortest && end - i <= longest)
            std::fill(marked.begin() + static_cast<std::ptrdiff_t>(i),
                      marked.begin() + static_cast<std::ptrdiff_t>(end), true);
        i = end;
    }
    return marked;
}

}  // namespace

double largestStep(const std::filesystem::path& rawFile, int sampleRate, double dropoutSeconds,
                   double fromSeconds) {
    const auto left = readLeftChannel(rawFile);
    const auto dropout = dropouts(left, 1, static_cast<std::size_t>(dropoutSeconds * sampleRate));
    double largest = 0;
    for (auto i = std::max<std::size_t>(1, fromSeconds * sampleRate); i < left.size(); ++i) {
        if (!dropout[i] && !dropout[i - 1])
            largest = std::max(largest, std::fabs(static_cast<double>(left[i] - left[i - 1])));
    }
    return largest;
}

std::vector<double> peakEnvelope(const std::filesystem::path& rawFile, int sampleRate,
                                 double windowSeconds, double dropoutSeconds) {
    const auto left = readLeftChannel(rawFile);
    // A sine at these rates is never exactly zero for a millisecond.
    const auto dropout = dropouts(left, static_cast<std::size_t>(sampleRate / 1000),
                                  static_cast<std::size_t>(dropoutSeconds * sampleRate));
    const auto frames = static_cast<std::size_t>(windowSeconds * sampleRate);
    std::vector<double> envelope(left.size() / frames, 0.0);
    for (std::size_t i = 0; i < envelope.size() * frames; ++i)
        envelope[i / frames] = std::max(envelope[i / frames], std::fabs(double(left[i])));
    for (std::size_t i = 0; i < envelope.size() * frames; ++i)
        envelope[i / frames] = dropout[i] ? std::nan("") : envelope[i / frames];
    return envelope;
}

}  // namespace tavrel::e2e
