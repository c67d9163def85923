#include "app/player_factory.h"

#include "audio/audio_engine.h"
#include "audio/engine_audio_player_factory.h"

namespace tavrel {

ApplicationAudio makeApplicationAudio(MainLoop& mainLoop, const std::string& device,
                                      LatencyPreset preset) {
    // The factory and its players hold the engine: it lives as long as they do.
    const std::shared_ptr<AudioEngine> engine = AudioEngine::create(mainLoop, {device, preset});
    std::shared_ptr<EngineAudioPlayerFactory> factory = engine->playerFactory();
    std::weak_ptr<EngineAudioPlayerFactory> weakFactory = factory;
    std::weak_ptr<AudioEngine> weakEngine = engine;
    return {factory,
            [weakFactory](const std::filesystem::path& url, double startSeconds) {
                if (auto strong = weakFactory.lock())
                    strong->warm(url, startSeconds);
            },
            engine->outputStatus(),
            [weakEngine](const std::string& device, LatencyPreset preset) {
                if (auto strong = weakEngine.lock())
                    strong->setOutputChoice({device, preset});
            },
            [weakEngine] {
                if (auto strong = weakEngine.lock())
                    strong->forgetFailedFiles();
            }};
}

}  // namespace tavrel
