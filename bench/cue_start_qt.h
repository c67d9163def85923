#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tavrel {
class AudioEngine;
}

namespace tavrel::bench {

// Side-by-side comparison with Qt Multimedia's QMediaPlayer + QAudioOutput.
// Built only when Qt Multimedia is found (TAVREL_QT_COMPARISON); the
// application never depends on it.
struct QtFile {
    std::string format;
    std::filesystem::path path;
};

struct QtComparison {
    std::map<std::string, double> p50;        // per format, milliseconds
    std::map<std::string, double> replayP50;  // the same player played again after stop()
    std::string why;                          // why nothing was measured, if so
};

// What qt_p50_ms means; written next to it in the JSON.
inline constexpr const char* qtMeasureDescription =
    "QMediaPlayer::play() (source already LoadedMedia, QAudioOutput on the null sink) to the "
    "first non-silent sample of its sound in the null sink's monitor recording, minus the "
    "engine's own callback-to-monitor delay measured in the same recording; i.e. the same "
    "reference point as trigger_*_ms (first sample handed to the output callback); one fresh "
    "QMediaPlayer per start. qt_replay_p50_ms: the same, for that player's second play() "
    "after stop()";

#ifdef TAVREL_QT_COMPARISON
// Runs with `engine` open on the private null sink whose monitor source is
// `monitorSource`; PULSE_SERVER already points at that server.
QtComparison measureQtMultimedia(AudioEngine& engine, const std::vector<QtFile>& files,
                                 const std::string& monitorSource, int runs);
#endif

}  // namespace tavrel::bench
