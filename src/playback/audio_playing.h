#pragma once

#include <filesystem>
#include <functional>
#include <memory>

namespace tavrel {

// One loaded audio file being played. Used on the main thread only.
class AudioPlaying {
public:
    virtual ~AudioPlaying() = default;

    // Length of the file in seconds.
    virtual double duration() const = 0;
    // Position in seconds of the sample being heard; writing it before play()
    // sets the start position.
    virtual double currentTime() const = 0;
    virtual void setCurrentTime(double seconds) = 0;
    // Linear gain: 0 is silence, 1 full level.
    virtual float volume() const = 0;
    virtual void setVolume(float volume) = 0;
    // True while sound is being produced.
    virtual bool isPlaying() const = 0;

    // Called once, later, on the main thread, when playback ended by itself,
    // failed while playing or finished a fade-out; never by stop() or pause(),
    // never once the player is gone.
    virtual std::function<void()> completionHandler() const = 0;
    virtual void setCompletionHandler(std::function<void()> handler) = 0;
    // True when the run that just completed failed (its output was lost)
    // rather than reaching its end.
    virtual bool failed() const { return false; }

    // Loads buffers so that play() starts at once. Advisory.
    virtual bool prepareToPlay() = 0;
    // Starts, or resumes from a pause; false when it could not start.
    virtual bool play() = 0;
    // Stops producing sound and keeps the position.
    virtual void pause() = 0;
    // Stops; the player is not used again.
    virtual void stop() = 0;
    // While playing: falls smoothly to silence over `seconds`, then is stopped
    // and calls the completion handler. Otherwise the same as stop().
    virtual void fadeOut(double seconds) = 0;
};

// Makes loaded players. Throws (the backend's own error) when the file cannot
// be opened as audio.
class AudioPlayerMaking {
public:
    virtual ~AudioPlayerMaking() = default;

    virtual std::shared_ptr<AudioPlaying> makePlayer(const std::filesystem::path& url) = 0;
};

}  // namespace tavrel
