#include <cmath>

#include "base/clamped.h"
#include "store/cue_store.h"

namespace tavrel {

void CueStore::play(const CueSlot& slot) {
    if (startSound(slot, [this](const std::exception& error) { m_playback->report(error); }))
        tellTransportListener(TransportCommand::play, slot.id);
}

bool CueStore::startSound(const CueSlot& slot,
                          const std::function<void(const std::exception&)>& failed) {
    const bool wasSounding = !m_playback->state().isStopped();
    try {
        m_playback->play(slot, audioURL(slot));
    } catch (const std::exception& error) {
        learnMissingMedia(error, slot.audioFilename);
        failed(error);
        // The controller may already have stopped the loop's track before
        // failing: a session with nothing sounding must not stay published.
        // A failure before that (no audio, no file) changes nothing else.
        if (m_loopPlayback && wasSounding && m_playback->state().isStopped()) {
            stopLoopPlayback(false);
            notifyObservers();
        }
        return false;
    }
    if (m_loopPlayback) {
        stopLoopPlayback(false);
        notifyObservers();
    }
    return true;
}

void CueStore::togglePause() {
    if (!m_loopPlayback) {
        if (m_playback->togglePause())
            tellTransportListener(TransportCommand::togglePause);
        return;
    }
    const PlaybackState state = m_playback->state();
    if (m_loopPlayback->isPaused && state.isPaused()) {
        // The run resumes before the controller does: a track that ended
        // during its pause completes inside togglePause(), and the advance
        // must find the run running.
        m_loopPlayback->isPaused = false;
        if (m_loopPlayback->remainingSeconds) {
            m_loopPlayback->deadline =
                m_mainLoop.now() + std::chrono::seconds(*m_loopPlayback->remainingSeconds);
        }
        if (!m_playback->togglePause()) {
            m_loopPlayback->isPaused = true;
            m_loopPlayback->deadline.reset();
            return;
        }
        // The advance may have ended the run (no track could play).
        if (m_loopPlayback && !m_loopPlayback->isInfinite)
            scheduleLoopPlaybackTimer();
        notifyObservers();
        tellTransportListener(TransportCommand::togglePause);
    } else if (!m_loopPlayback->isPaused && state.isPlaying()) {
        if (!refreshLoopPlaybackRemaining()) {
            notifyObservers();
            return;
        }
        const bool paused = m_playback->togglePause();
        if (paused && m_loopPlayback) {
            m_loopPlayback->isPaused = true;
            m_loopPlayback->deadline.reset();
            m_loopPlaybackTimer.reset();
        }
        notifyObservers();
        if (paused)
            tellTransportListener(TransportCommand::togglePause);
    }
}

void CueStore::stopPlayback() {
    const bool hadLoop = m_loopPlayback.has_value();
    stopLoopPlayback(true);
    if (hadLoop)
        notifyObservers();
    tellTransportListener(TransportCommand::stop);
}

void CueStore::fadeOut() {
    const bool hadLoop = m_loopPlayback.has_value();
    stopLoopPlayback(false);
    m_playback->fadeOut(m_preferences.fadeSeconds);
    if (hadLoop)
        notifyObservers();
    tellTransportListener(TransportCommand::fade);
}

void CueStore::tellTransportListener(TransportCommand command, std::int64_t slotID) {
    if (m_transportListener)
        m_transportListener(command, slotID);
}

void CueStore::setMasterVolume(double volume) {
    if (std::isnan(volume))
        return;
    m_document.masterVolume = clamped(volume, 0.0, 1.0);
    m_playback->setMasterVolume(m_document.masterVolume);
    notifyObservers();
}

void CueStore::persistMasterVolume() {
    save();
    notifyObservers();
}

}  // namespace tavrel
