#include "signal_analysis.h"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <sstream>

namespace tavrel::e2e {

namespace {

void put16(std::ofstream& out, std::uint16_t value) {
    out.put(static_cast<char>(value & 0xFF));
    out.put(static_cast<char>(value >> 8));
}

void put32(std::ofstream& out, std::uint32_t value) {
    put16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    put16(out, static_cast<std::uint16_t>(value >> 16));
}

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

void writeToneWav(const std::filesystem::path& file, int sampleRate,
                  const std::vector<ToneSegment>& segments) {
    std::vector<std::int16_t> samples;
    double phase = 0;
    for (const auto& segment : segments) {
        const auto count = static_cast<std::size_t>(segment.durationSeconds * sampleRate);
        for (std::size_t i = 0; i < count; ++i) {
            samples.push_back(static_cast<std::int16_t>(
                std::lround(segment.amplitude * std::sin(phase) * 32767.0)));
            phase += 2 * std::numbers::pi * segment.frequencyHz / sampleRate;
            if (phase > 2 * std::numbers::pi)
                phase -= 2 * std::numbers::pi;
        }
    }
    std::ofstream out(file, std::ios::binary);
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    put32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(out, 16);
    put16(out, 1);  // PCM
    put16(out, 1);  // mono
    put32(out, static_cast<std::uint32_t>(sampleRate));
    put32(out, static_cast<std::uint32_t>(sampleRate * 2));
    put16(out, 2);
    put16(out, 16);
    out.write("data", 4);
    put32(out, dataBytes);
    out.write(reinterpret_cast<const char*>(samples.data()), dataBytes);
}

std::vector<Window> analyseRecording(const std::filesystem::path& rawFile, int sampleRate,
                                     double lastSeconds) {
    std::size_t skipFrames = 0;
    if (lastSeconds > 0) {
        std::error_code error;
        const auto frames = std::filesystem::file_size(rawFile, error) / (2 * sizeof(float));
        const auto wanted = static_cast<std::size_t>(lastSeconds * sampleRate);
        skipFrames = !error && frames > wanted ? frames - wanted : 0;
    }
    const auto left = readLeftChannel(rawFile, skipFrames);
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
            if (i == 0)
                continue;
            const double step = std::fabs(static_cast<double>(left[i] - left[i - 1]));
            window.largestStep = std::max(window.largestStep, step);
            if (left[i - 1] < 0 && left[i] >= 0) {
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
    double rmsSum = 0;
    int count = 0;
    for (const auto& window : windows) {
        const double frequency = window.rms < silenceRms ? 0.0 : window.frequencyHz;
        const bool same =
            !result.empty() &&
            ((frequency == 0 && result.back().frequencyHz == 0) ||
             (frequency > 0 && result.back().frequencyHz > 0 &&
              std::fabs(frequency - result.back().frequencyHz) < 0.03 * result.back().frequencyHz));
        if (!same) {
            if (!result.empty())
                result.back().rms = rmsSum / count;
            result.push_back({window.startSeconds, 0, frequency, 0, 0});
            rmsSum = 0;
            count = 0;
        }
        result.back().durationSeconds += 0.01;
        result.back().largestStep = std::max(result.back().largestStep, window.largestStep);
        rmsSum += window.rms;
        ++count;
    }
    if (!result.empty())
        result.back().rms = rmsSum / count;
    return result;
}

std::string describe(const std::vector<Stretch>& stretches) {
    std::ostringstream text;
    for (const auto& s : stretches) {
        text << "  at " << s.startSeconds << " s for " << s.durationSeconds << " s: ";
        if (s.frequencyHz == 0) {
            text << "silence";
        } else {
            text << s.frequencyHz << " Hz rms " << s.rms;
        }
        text << " (largest step " << s.largestStep << ")\n";
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

}  // namespace tavrel::e2e
