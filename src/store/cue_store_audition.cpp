#include "store/cue_store.h"

namespace tavrel {

std::optional<std::string> CueStore::audition(const CueSlot& draft) {
    m_audition.reset();
    std::optional<std::string> failure;
    if (startSound(draft, [&failure](const std::exception& error) { failure = error.what(); }))
        m_audition = draft;
    return failure;
}

bool CueStore::isAuditioning() const {
    // A later cue, or the audition's own end, leaves the controller on another slot or none.
    return m_audition && !m_playback->state().isStopped() &&
           m_playback->currentSlot() == m_audition;
}

void CueStore::stopAudition() {
    if (isAuditioning())
        m_playback->stop();
    m_audition.reset();
}

}  // namespace tavrel
