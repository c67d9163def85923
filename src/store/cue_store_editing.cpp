#include "playback/clamped_start.h"
#include "store/cue_store.h"

namespace tavrel {

std::string CueStore::importFile(const path& url, const std::string& kind) {
    if (!m_persistence)
        throw CueStoreError();
    m_mediaPresence.clear();
    return m_persistence->importMedia(url, kind, m_fileManager);
}

bool CueStore::replace(const CueSlot& given,
                       const std::set<std::string>& sessionImportedFilenames) {
    if (given.id < 0 || given.id >= static_cast<std::int64_t>(m_document.slots.size())) {
        return false;
    }
    const auto position = static_cast<std::size_t>(given.id);
    const CueSlot previous = m_document.slots[position];

    CueSlot slot = given;
    // As the save's normalisation would: keep memory and disk the same.
    slot.sanitize();
    if (m_persistence) {
        if (const auto url = m_persistence->mediaFileURL(slot.audioFilename)) {
            try {
                const auto player = m_playback->factory().makePlayer(*url);
                slot.startSeconds = clampedStart(slot.startSeconds, player->duration());
            } catch (const std::exception&) {
                // Not readable as audio: the offset stays as entered; playback clamps it later.
            }
        }
    }

    m_document.slots[position] = slot;
    if (!save()) {
        m_document.slots[position] = previous;
        notifyObservers();
        return false;
    }
    std::set<std::string> candidates = sessionImportedFilenames;
    if (previous.audioFilename)
        candidates.insert(*previous.audioFilename);
    if (previous.imageFilename)
        candidates.insert(*previous.imageFilename);
    removeMediaDelta(candidates);
    notifyObservers();
    return true;
}

void CueStore::discardSessionImports(const std::set<std::string>& filenames) {
    removeMediaDelta(filenames);
}

void CueStore::removeMediaDelta(const std::set<std::string>& candidates) {
    if (!m_didLoadCleanly || !m_persistence)
        return;
    std::set<std::string> protectedNames;
    std::set<std::string> unused;
    try {
        // Reading every saved set costs seconds with a large one: only for names
        // that would really be deleted (most edits keep every file they had).
        const std::set<std::string> referenced = m_document.referencedMediaFilenames();
        for (const auto& name : candidates) {
            if (!referenced.contains(name) && m_persistence->mediaExists(name, m_fileManager))
                unused.insert(name);
        }
        if (unused.empty())
            return;
        protectedNames = m_persistence->savedSetReferencedMediaFilenames(m_fileManager);
    } catch (const std::exception&) {
        // A saved set we cannot read may need any of these files: delete nothing.
        return;
    }
    m_mediaPresence.clear();
    try {
        m_persistence->removeMedia(unused, protectedNames, m_fileManager);
    } catch (const std::exception&) {
        // Clean-up is best effort: a file left behind costs disk space, nothing else.
    }
}

}  // namespace tavrel
