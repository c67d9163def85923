#include "playback/audio_playback_controller.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <utility>

#include "base/clamped.h"
#include "playback/clamped_start.h"

namespace tavrel {

AudioPlaybackController::AudioPlaybackController(std::shared_ptr<AudioPlayerMaking> factory)
    : m_factory(std::move(factory)) {}

void AudioPlaybackController::play(const CueSlot& slot,
                                   const std::optional<std::filesystem::path>& url) {
    if (!slot.audioFilename)
        throw PlaybackError(PlaybackError::Kind::noAudio);
    if (!url)
        throw PlaybackError(PlaybackError::Kind::missingMedia);
    std::error_code error;
    if (!std::filesystem::exists(*url, error)) {
        throw PlaybackError(PlaybackError::Kind::missingMedia);
    }

    const bool hadRun = m_player != nullptr;
    if (m_fadingOut && m_state.isPlaying())
        letFadeFinish();
    tearDown(true);
    // Observers hear of the torn-down run once the command is over, also when it fails.
    auto notifyIfStopped = [this, hadRun] {
        if (hadRun)
            notifyObservers();
    };

    std::shared_ptr<AudioPlaying> player;
    try {
        player = m_factory->makePlayer(*url);
        m_startOffset = clampedStart(slot.startSeconds, player->duration());
        player->setCurrentTime(m_startOffset);
        player->setVolume(combinedVolume(m_masterVolume, slot.gainDB));
        player->prepareToPlay();
    } catch (...) {
        notifyIfStopped();
        throw;
    }

    const Uuid id = Uuid::random();
    std::weak_ptr<AudioPlaybackController> weakSelf = weak_from_this();
    player->setCompletionHandler([weakSelf, id] {
        if (auto self = weakSelf.lock())
            self->finishPlayback(id);
    });
    m_player = player;
    m_playbackID = id;
    m_currentSlot = slot;

    if (!player->play()) {
        // Never started: released without stop().
        m_player.reset();
        m_playbackID.reset();
        m_currentSlot.reset();
        notifyIfStopped();
        throw PlaybackError(PlaybackError::Kind::couldNotStart);
    }
    m_errorMessage.reset();
    setState(PlaybackState::playing(slot.id));
}

bool AudioPlaybackController::togglePause() {
    if (m_state.isPlaying()) {
        if (!m_player)
            return false;
        m_player->pause();
        setState(PlaybackState::paused(*m_state.activeSlotID()));
        return true;
    }
    if (m_state.isPaused()) {
        if (!m_player)
            return false;
        if (m_endedWhilePaused) {
            complete();
            return true;
        }
        if (!m_player->play())
            return false;
        setState(PlaybackState::playing(*m_state.activeSlotID()));
        return true;
    }
    return false;
}

void AudioPlaybackController::stop() {
    const bool hadPlayer = m_player != nullptr;
    cutFades();
    tearDown(true);
    if (!hadPlayer)
        return;
    notifyObservers();
}

void AudioPlaybackController::fadeOut(double seconds) {
    if (!m_player || m_fadingOut || !m_state.isPlaying()) {
        stop();
        return;
    }
    m_fadingOut = true;
    m_player->fadeOut(seconds);
    notifyObservers();
}

void AudioPlaybackController::report(const std::exception& error) {
    m_errorMessage = error.what();
    notifyObservers();
}

void AudioPlaybackController::clearError() {
    if (!m_errorMessage)
        return;
    m_errorMessage.reset();
    notifyObservers();
}

void AudioPlaybackController::setMasterVolume(double volume) {
    m_masterVolume = volume;
    if (m_currentSlot && m_player) {
        m_player->setVolume(combinedVolume(volume, m_currentSlot->gainDB));
    }
}

float AudioPlaybackController::combinedVolume(double master, double gainDB) {
    const double gain = clamped(gainDB, CueSlot::minimumGainDB, CueSlot::maximumGainDB);
    const double linear = std::pow(10.0, gain / 20.0);
    const double m = clamped(master, 0.0, 1.0);
    return static_cast<float>(linear * m);
}

void AudioPlaybackController::finishPlayback(const Uuid& id) {
    if (!m_playbackID || *m_playbackID != id)
        return;
    // The operator's fade ended (or the file did, inside it): a stop.
    if (m_fadingOut) {
        tearDown(false);
        notifyObservers();
        return;
    }
    // The file ended inside the pause's fade: the operator paused first, so
    // the sound stays paused (and Space still works) until it is resumed.
    if (m_state.isPaused()) {
        m_endedWhilePaused = true;
        return;
    }
    complete();
}

void AudioPlaybackController::complete() {
    // A run cut off by a lost output is told as a start that failed.
    if (m_player && m_player->failed())
        m_errorMessage = PlaybackError(PlaybackError::Kind::couldNotStart).what();
    tearDown(false);
    notifyObservers();
    if (m_onNaturalCompletion)
        m_onNaturalCompletion();
}

// Empties player, run and slot; state becomes stopped without notifying, so a
// command notifies once when it is complete.
void AudioPlaybackController::tearDown(bool stopPlayer) {
    if (m_player && stopPlayer)
        m_player->stop();
    m_player.reset();
    m_playbackID.reset();
    m_currentSlot.reset();
    m_endedWhilePaused = false;
    m_fadingOut = false;
    m_state = PlaybackState::stopped();
    m_progressTimer.reset();
    m_progress = {};
}

// The fading player leaves the run but keeps its voice until its fade ends,
// so a cue replacing it does not cut it short.
void AudioPlaybackController::letFadeFinish() {
    std::shared_ptr<AudioPlaying> player = std::move(m_player);
    std::weak_ptr<AudioPlaybackController> weakSelf = weak_from_this();
    player->setCompletionHandler([weakSelf, faded = player.get()] {
        if (auto self = weakSelf.lock())
            std::erase_if(self->m_fadingPlayers,
                          [faded](const auto& p) { return p.get() == faded; });
    });
    m_fadingPlayers.push_back(std::move(player));
}

void AudioPlaybackController::cutFades() {
    for (const auto& player : std::exchange(m_fadingPlayers, {}))
        player->stop();
}

void AudioPlaybackController::setState(PlaybackState state) {
    m_state = state;
    updateProgress(false);
    updateProgressTimer();
    notifyObservers();
}

Subscription AudioPlaybackController::subscribeProgress(std::function<void()> onTick) {
    auto inner = std::make_shared<Subscription>(m_progressChannel.subscribe(std::move(onTick)));
    ++m_progressSubscribers;
    updateProgressTimer();
    std::weak_ptr<AudioPlaybackController> weakSelf = weak_from_this();
    return Subscription([weakSelf, inner] {
        inner->reset();
        if (auto self = weakSelf.lock()) {
            --self->m_progressSubscribers;
            self->updateProgressTimer();
        }
    });
}

void AudioPlaybackController::updateProgressTimer() {
    if (!m_state.isPlaying() || !m_progressClock || m_progressSubscribers == 0) {
        m_progressTimer.reset();
    } else if (!m_progressTimer) {
        std::weak_ptr<AudioPlaybackController> weakSelf = weak_from_this();
        m_progressTimer = m_progressClock->startRepeatingTimer(progressInterval, [weakSelf] {
            if (auto self = weakSelf.lock())
                self->updateProgress(true);
        });
    }
}

void AudioPlaybackController::updateProgress(bool tick) {
    if (!m_player)
        return;
    PlaybackProgress now;
    const double length = m_player->duration();
    if (std::isfinite(length) && length > m_startOffset)
        now.duration = length - m_startOffset;
    const double position = m_player->currentTime() - m_startOffset;
    now.elapsed = std::isfinite(position) ? std::max(position, 0.0) : 0.0;
    if (now.duration > 0)
        now.elapsed = std::min(now.elapsed, now.duration);
    if (now == m_progress)
        return;
    m_progress = now;
    if (tick)
        m_progressChannel.notifyObservers();
}

}  // namespace tavrel
