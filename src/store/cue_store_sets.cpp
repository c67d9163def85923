#include "store/cue_store.h"

namespace tavrel {

void CueStore::exportBackup(const path& url) {
    if (!m_persistence)
        throw CueStoreError();
    m_persistence->exportBackup(m_document, url, m_fileManager);
}

bool CueStore::restoreBackup(const path& url) {
    if (!m_persistence) {
        m_persistenceError = CueStoreError::message(CueStoreError::Kind::persistenceUnavailable);
        notifyObservers();
        return false;
    }
    // Silence first, whatever the outcome: the operator asked to change the show.
    stopLoopPlayback(true);
    const CueDocument outgoing = m_document;
    try {
        // Once "cues.json" holds the set, the store shows it, warning or not.
        RestoredSet restored = m_persistence->restoreBackup(url, m_fileManager);
        m_document = std::move(restored.document);
        m_persistenceError = std::move(restored.warning);
    } catch (const std::exception& error) {
        // A failed restore may have moved files before rolling back.
        m_mediaPresence.clear();
        m_persistenceError = error.what();
        notifyObservers();
        return false;
    }
    m_mediaPresence.clear();
    // The set's volume is what the operator saved with it.
    m_playback->setMasterVolume(m_document.masterVolume);
    removeMediaDelta(outgoing.referencedMediaFilenames());
    notifyObservers();
    return true;
}

}  // namespace tavrel
