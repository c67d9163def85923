#include <algorithm>
#include <cmath>

#include "store/cue_store.h"

namespace tavrel {

namespace {

constexpr auto loopTimerInterval = std::chrono::milliseconds(500);
// Keeps deadline arithmetic far from overflow; about two years.
constexpr std::int64_t longestLoopMinutes = 1'000'000;

CueSlot loopTrackSlot(const LoopTrack& track) {
    CueSlot slot = CueSlot::empty(-1);
    slot.title = track.title;
    slot.usage = "반복 재생";
    slot.audioFilename = track.audioFilename;
    return slot;
}

}  // namespace

void CueStore::startLoopPlayback(const std::set<Uuid>& trackIDs,
                                 std::optional<std::int64_t> durationMinutes) {
    std::vector<LoopTrack> tracks;
    for (const auto& track : m_document.loopTracks) {
        if (trackIDs.contains(track.id) && canPlay(track))
            tracks.push_back(track);
    }
    if (tracks.empty()) {
        m_playback->report(PlaybackError(PlaybackError::Kind::noAudio));
        return;
    }
    stopLoopPlayback(true);

    LoopPlaybackSession session;
    session.tracks = std::move(tracks);
    session.isInfinite = !durationMinutes.has_value();
    if (durationMinutes) {
        const std::int64_t seconds =
            std::clamp<std::int64_t>(*durationMinutes, 1, longestLoopMinutes) * 60;
        session.remainingSeconds = seconds;
        session.deadline = m_mainLoop.now() + std::chrono::seconds(seconds);
    }
    m_loopPlayback = std::move(session);
    if (!m_loopPlayback->isInfinite)
        scheduleLoopPlaybackTimer();
    advanceLoopPlayback();
    notifyObservers();
}

void CueStore::handleNaturalCompletion() {
    if (!m_loopPlayback)
        return;
    advanceLoopPlayback();
    notifyObservers();
}

void CueStore::advanceLoopPlayback() {
    if (!refreshLoopPlaybackRemaining())
        return;
    if (m_loopPlayback->isPaused)
        return;
    m_activeLoopTrackID.reset();

    const std::size_t count = m_loopPlayback->tracks.size();
    for (std::size_t attempt = 0; attempt < count; ++attempt) {
        const LoopTrack candidate = m_loopPlayback->tracks[m_loopPlayback->nextIndex];
        m_loopPlayback->nextIndex = (m_loopPlayback->nextIndex + 1) % count;

        // The document's version: the list may have changed since the run began.
        const auto found =
            std::find_if(m_document.loopTracks.begin(), m_document.loopTracks.end(),
                         [&candidate](const LoopTrack& track) { return track.id == candidate.id; });
        if (found == m_document.loopTracks.end() || !canPlay(*found))
            continue;
        const LoopTrack track = *found;
        try {
            m_playback->play(loopTrackSlot(track), audioURL(track));
            m_activeLoopTrackID = track.id;
            return;
        } catch (const std::exception& error) {
            // A file found gone is skipped as quietly as one known to be.
            if (!learnMissingMedia(error, track.audioFilename))
                m_playback->report(error);
        }
    }
    stopLoopPlayback(true);
}

bool CueStore::refreshLoopPlaybackRemaining() {
    if (!m_loopPlayback)
        return false;
    if (m_loopPlayback->isPaused || m_loopPlayback->isInfinite)
        return true;
    if (!m_loopPlayback->deadline)
        return true;
    const std::chrono::duration<double> left = *m_loopPlayback->deadline - m_mainLoop.now();
    const auto seconds = static_cast<std::int64_t>(std::ceil(left.count()));
    m_loopPlayback->remainingSeconds = std::max<std::int64_t>(seconds, 0);
    if (seconds <= 0) {
        stopLoopPlayback(true);
        return false;
    }
    return true;
}

void CueStore::scheduleLoopPlaybackTimer() {
    m_loopPlaybackTimer.reset();
    std::weak_ptr<CueStore> weakSelf = weak_from_this();
    MainLoop& mainLoop = m_mainLoop;
    m_loopPlaybackTimer = m_mainLoop.startRepeatingTimer(loopTimerInterval, [weakSelf, &mainLoop] {
        // A tick never runs inside another store operation.
        mainLoop.post([weakSelf] {
            auto self = weakSelf.lock();
            if (!self || !self->m_loopPlayback)
                return;
            const auto before = self->m_loopPlayback->remainingSeconds;
            self->refreshLoopPlaybackRemaining();
            // Views show whole seconds: a tick that changes none is not told.
            if (!self->m_loopPlayback || self->m_loopPlayback->remainingSeconds != before)
                self->notifyObservers();
        });
    });
}

void CueStore::stopLoopPlayback(bool stopAudio) {
    m_loopPlaybackTimer.reset();
    m_loopPlayback.reset();
    m_activeLoopTrackID.reset();
    if (stopAudio)
        m_playback->stop();
}

}  // namespace tavrel
