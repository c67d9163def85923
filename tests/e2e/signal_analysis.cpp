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

}  // namespace

std::vector<Window> analyseRecording(const std::filesystem::path& rawFile, int sampleRate,
                                     double fromSeconds) {
    const auto left = readLeftChannel(rawFile, static_cast<std::size_t>(fromSeconds * sampleRate));
    const auto windowFrames = static_cast<std::size_t>(sampleRate / 100);
    std::vector<Window> windows;
    for (std::size_t start = 0; start + windowFrames <= left.size(); start += windowFrames) {
        Window window;
        window.startSeconds = static_cast<double>(start) / sampleRate;
        double sum = 0;
        // Upward zero crossings, interpolated between samples: a 10 ms window
        // still gives the frequency to well under one per cent.
        double firstCrossing = -1;
        double lastCrossing = -1;
        int crossings = 0;
        for (std::size_t i = start; i < start + windowFrames; ++i) {
            sum += static_cast<double>(left[i]) * left[i];
            if (i > 0 && left[i - 1] < 0 && left[i] >= 0) {
                const double at = static_cast<double>(i - 1) +
                                  left[i - 1] / static_cast<double>(left[i - 1] - left[i]);
                if (firstCrossing < 0)
                    firstCrossing = at;
                lastCrossing = at;
                ++crossings;
            }
        }
        window.rms = std::sqrt(sum / static_cast<double>(windowFrames));
        if (window.rms > 0.005 && crossings >= 2 && lastCrossing > firstCrossing) {
            window.frequencyHz = (crossings - 1) * sampleRate / (lastCrossing - firstCrossing);
        }
        windows.push_back(window);
    }
    return windows;
}

std::vector<Stretch> stretches(const std::vector<Window>& windows, double silenceRms) {
    std::vector<Stretch> result;
    std::vector<double> levels;
    // The median window: the sink's dropouts inside a tone do not lower it.
    const auto close = [&] {
        if (result.empty())
            return;
        std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
        result.back().rms = levels[levels.size() / 2];
        levels.clear();
    };
    for (const auto& window : windows) {
        const double frequency = window.rms < silenceRms ? 0.0 : window.frequencyHz;
        const bool same =
            !result.empty() &&
            ((frequency == 0 && result.back().frequencyHz == 0) ||
             (frequency > 0 && result.back().frequencyHz > 0 &&
              std::fabs(frequency - result.back().frequencyHz) < 0.03 * result.back().frequencyHz));
        if (!same) {
            close();
            result.push_back({window.startSeconds, 0, frequency, 0});
        }
        result.back().durationSeconds += 0.01;
        levels.push_back(window.rms);
    }
    close();
    return result;
}

std::string describe(const std::vector<Stretch>& stretches) {
    std::ostringstream text;
    for (const auto& s : stretches) {
        text << "  at " << s.startSeconds << " s for " << s.durationSeconds << " s: ";
        if (s.frequencyHz == 0)
            text << "silence\n";
        else
            text << s.frequencyHz << " Hz rms " << s.rms << "\n";
    }
    return text.str();
}

namespace {

// Runs [begin, end) of exact zeros, at most `longest` samples, with sound on both sides.
template <typename Visit>
void forEachDropout(const std::vector<float>& left, std::size_t longest, Visit visit) {
    for (std::size_t i = 1; i < left.size();) {
        if (left[i] != 0.0f || left[i - 1] == 0.0f) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < left.size() && left[end] == 0.0f)
            ++end;
        if (end < left.size() && end - i <= longest)
            visit(i, end);
        i = end;
    }
}

}  // namespace

double largestStep(const std::filesystem::path& rawFile, int sampleRate, double dropoutSeconds,
                   double fromSeconds) {
    const auto left = readLeftChannel(rawFile);
    // The edges of a short run of digital silence inside sound: what the
    // server plays when a buffer came late, not a missing ramp.
    std::vector<bool> dropoutEdge(left.size() + 1, false);
    forEachDropout(
        left, static_cast<std::size_t>(dropoutSeconds * sampleRate),
        [&](std::size_t begin, std::size_t end) { dropoutEdge[begin] = dropoutEdge[end] = true; });
    double largest = 0;
    for (auto i = std::max<std::size_t>(1, fromSeconds * sampleRate); i < left.size(); ++i) {
        if (!dropoutEdge[i])
            largest = std::max(largest, std::fabs(static_cast<double>(left[i] - left[i - 1])));
    }
    return largest;
}

std::vector<double> peakEnvelope(const std::filesystem::path& rawFile, int sampleRate,
                                 double windowSeconds, double dropoutSeconds) {
    const auto left = readLeftChannel(rawFile);
    const auto frames = static_cast<std::size_t>(windowSeconds * sampleRate);
    std::vector<double> envelope(left.size() / frames, 0.0);
    for (std::size_t i = 0; i < envelope.size() * frames; ++i)
        envelope[i / frames] = std::max(envelope[i / frames], std::fabs(double(left[i])));
    // A sine at these rates is never exactly zero for a millisecond.
    forEachDropout(left, static_cast<std::size_t>(dropoutSeconds * sampleRate),
                   [&](std::size_t begin, std::size_t end) {
                       if (end - begin < static_cast<std::size_t>(sampleRate / 1000))
                           return;
                       for (auto w = begin / frames; w <= (end - 1) / frames && w < envelope.size();
                            ++w)
                           envelope[w] = std::nan("");
                   });
    return envelope;
}

}  // namespace tavrel::e2e
