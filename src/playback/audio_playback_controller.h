#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/main_loop.h"
#include "base/observable.h"
#include "base/uuid.h"
#include "model/cue_slot.h"
#include "playback/audio_playing.h"
#include "playback/playback_error.h"
#include "playback/playback_state.h"

namespace tavrel {

// How far the sound has got, in seconds of the cue (from its start offset to
// the end of the file). Zeros when nothing plays.
struct PlaybackProgress {
    double elapsed = 0;
    double duration = 0;  // 0 when the file's length is unknown

    bool operator==(const PlaybackProgress&) const = default;
};

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

    // Current at every notification; between them it moves only on its own
    // channel, ten times a second while a sound plays (frozen while paused),
    // so a view that shows time repaints that and nothing else.
    const PlaybackProgress& progress() const { return m_progress; }
    // The ticks run only while a sound plays and someone subscribes.
    [[nodiscard]] Subscription subscribeProgress(std::function<void()> onTick);
    // The clock of the ticks; without one progress moves only with the state.
    void setProgressClock(MainLoop& mainLoop) { m_progressClock = &mainLoop; }
    static constexpr auto progressInterval = std::chrono::milliseconds(100);

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

    // 10^(gainDB clamped to the slot gain range / 20) × clamp(master, 0, 1).
    static float combinedVolume(double master, double gainDB);

private:
    void finishPlayback(const Uuid& id);
    void complete();
    void tearDown(bool stopPlayer);
    void letFadeFinish();
    void cutFades();
    void setState(PlaybackState state);
    // Reads the player's position; notifies the progress channel when `tick` and it moved.
    void updateProgress(bool tick);
    void updateProgressTimer();

    class Channel : public Observable {
    public:
        using Observable::notifyObservers;
    };

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
    double m_startOffset = 0;
    PlaybackProgress m_progress;
    Channel m_progressChannel;
    MainLoop* m_progressClock = nullptr;
    int m_progressSubscribers = 0;
    // Idle costs nothing.
    std::unique_ptr<TimerHandle> m_progressTimer;
    bool m_fadingOut = false;  // the current player's run ends when its fade does
    // Players replaced while fading, kept until their fades end.
    std::vector<std::shared_ptr<AudioPlaying>> m_fadingPlayers;
};

}  // namespace tavrel
