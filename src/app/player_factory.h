#pragma once

#include <memory>

#include "base/main_loop.h"
#include "playback/audio_playing.h"

namespace tavrel {

// The production player factory: the audio engine, opened once for the
// process. Without an output device it still returns a factory; its players
// then refuse to start.
std::shared_ptr<AudioPlayerMaking> makeApplicationPlayerFactory(MainLoop& mainLoop);

}  // namespace tavrel
