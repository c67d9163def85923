#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "base/main_loop.h"
#include "playback/audio_playing.h"

namespace tavrel {

// The production audio: the engine, opened once for the process. Without an
// output device it still works; its players then refuse to start.
struct ApplicationAudio {
    std::shared_ptr<AudioPlayerMaking> factory;
    // Opens a cue's file at its start offset in the background, so its key
    // press opens and decodes nothing. Cheap to repeat.
    std::function<void(const std::filesystem::path& url, double startSeconds)> warm;
};

ApplicationAudio makeApplicationAudio(MainLoop& mainLoop);

}  // namespace tavrel
