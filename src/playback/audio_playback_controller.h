#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/observable.h"
#include "base/uuid.h"
#include "model/cue_slot.h"
#include "playback/audio_playing.h"
#include "playback/playback_error.h"
#include "playback/playback_state.h"

namespace tavrel {

// Plays one cue at a time: stops what sounds, makes a fresh player, seeks to
// the start offset, applies gain and master volume, starts. Main thread only.
// Make it with std::make_shared: each player's completion holds it weakly.
class AudioPlaybackController : public Observable,
                                public std::enable_shared_from_this<AudioPlaybackController> {
public:
    explicit AudioPlaybackController(std::shared_ptr<AudioPlayerMaking> factory);
    ~AudioPlaybackController() override = default;

    // Published.
    const PlaybackState& state() const { return m_state; }
    const std::optional<std::string>& errorMessage() const { return m_errorMessage; }

    // A copy of the slot being played or paused.
    const std::optional<CueSlot>& currentSlot() const { return m_currentSlot; }
    AudioPlayerMaking& factory() const { return *m_factory; }

    // Throws PlaybackError or the factory's own error. A failure before a
    // player is made leaves the current cue untouched; a cue fading out goes
    // on fading under the new one.
    void play(const CueSlot& slot, const std::optional<std::filesystem::path>& url);
    // True when the state changed. A pause wins over an end that arrives
    // during it: the sound completes only when resumed, and resuming a sound
    // that ended while paused completes it at once (stopped, then the
    // natural-completion callable).
    bool togglePause();
    // Also cuts every fade still sounding.
    void stop();
    // The sounding cue falls to silence over `seconds` and is then stopped,
    // as by stop(), not completed. During a fade, while paused, or with only
    // a replaced cue still fading, it is stop().
    void fadeOut(double seconds);
    bool isFadingOut() const { return m_fadingOut; }

    void report(const std::exception& error);
    void clearError();

    double masterVolume() const { return m_masterVolume; }
    // Stored as given; a sounding or paused player changes loudness at once.
    void setMasterVolume(double volume);

    // Called once each time a playback ends by itself, or fails while playing
    // (errorMessage() then says so).
    void setOnNaturalCompletion(std::function<void()> callback) {
        m_onNaturalCompletion = std::move(callback);
    }

    // 0 when the duration is not finite or not positive; else start within [0, duration].
    static double clampedStart(double start, double duration);
    // 10^(clamp(gainDB, -12, 0) / 20) × clamp(master, 0, 1).
    static float combinedVolume(double master, double gainDB);

private:
    void finishPlayback(const Uuid& id);
    void complete();
    void tearDown(bool stopPlayer);
    void letFadeFinish();
    void cutFades();
    void setState(PlaybackState state);

    PlaybackState m_state = PlaybackState::stopped();
    std::optional<std::string> m_errorMessage;
    std::shared_ptr<AudioPlayerMaking> m_factory;
    std::shared_ptr<AudioPlaying> m_player;
    std::optional<Uuid> m_playbackID;
    std::optional<CueSlot> m_currentSlot;
    std::function<void()> m_onNaturalCompletion;
    double m_masterVolume = 1.0;
    // The paused player reached its end (during the pause's fade-out).
    bool m_endedWhilePaused = false;
    bool m_fadingOut = false;  // the current player's run ends when its fade does
    // Players replaced while fading, kept until their fades end.
    std::vector<std::shared_ptr<AudioPlaying>> m_fadingPlayers;
};

}  // namespace tavrel
