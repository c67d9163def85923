#include "app/player_factory.h"

#include "audio/audio_engine.h"
#include "audio/engine_audio_player_factory.h"

namespace tavrel {

ApplicationAudio makeApplicationAudio(MainLoop& mainLoop) {
    // The factory and its players hold the engine: it lives as long as they do.
    std::shared_ptr<EngineAudioPlayerFactory> factory =
        AudioEngine::create(mainLoop)->playerFactory();
    std::weak_ptr<EngineAudioPlayerFactory> weakFactory = factory;
    return {factory, [weakFactory](const std::filesystem::path& url, double startSeconds) {
                if (auto strong = weakFactory.lock())
                    strong->warm(url, startSeconds);
            }};
}

}  // namespace tavrel
