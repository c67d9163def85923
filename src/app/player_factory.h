#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "base/main_loop.h"
#include "model/preferences.h"
#include "playback/audio_playing.h"
#include "playback/output_status.h"

namespace tavrel {

// The production audio: the engine, opened once for the process. Without an
// output device it still works; its players then refuse to start.
struct ApplicationAudio {
    std::shared_ptr<AudioPlayerMaking> factory;
    // Opens a cue's file at its start offset in the background, so its key
    // press opens and decodes nothing. Cheap to repeat.
    std::function<void(const std::filesystem::path& url, double startSeconds)> warm;
    // Whether sound reaches an output, for the window.
    std::shared_ptr<OutputStatus> outputStatus;
    // Moves the sound to another output (empty: the default) and latency at once.
    std::function<void(const std::string& device, LatencyPreset preset)> setOutput;
    // The document changed: files that failed to open may be worth a new try.
    std::function<void()> forgetFailedFiles;
};

ApplicationAudio makeApplicationAudio(MainLoop& mainLoop, const std::string& device = {},
                                      LatencyPreset preset = LatencyPreset::stable);

}  // namespace tavrel
