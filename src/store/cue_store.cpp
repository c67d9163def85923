#include "store/cue_store.h"

namespace tavrel {

std::shared_ptr<CueStore> CueStore::create(std::optional<CuePersistence> persistence,
                                           std::shared_ptr<AudioPlaybackController> playback,
                                           MainLoop& mainLoop, FileSystem& fileManager) {
    std::shared_ptr<CueStore> store(
        new CueStore(std::move(persistence), std::move(playback), mainLoop, fileManager));
    // The controller holds the store weakly: no cycle, nothing once it is gone.
    std::weak_ptr<CueStore> weakStore = store;
    store->m_playback->setProgressClock(mainLoop);
    store->m_playback->setOnNaturalCompletion([weakStore] {
        if (auto self = weakStore.lock())
            self->handleNaturalCompletion();
    });
    return store;
}

CueStore::CueStore(std::optional<CuePersistence> persistence,
                   std::shared_ptr<AudioPlaybackController> playback, MainLoop& mainLoop,
                   FileSystem& fileManager)
    : m_playback(std::move(playback)), m_mainLoop(mainLoop), m_fileManager(fileManager) {
    start(std::move(persistence));
}

CueStore::~CueStore() = default;

void CueStore::start(std::optional<CuePersistence> persistence) {
    CueDocument document = CueDocument::empty();
    std::optional<std::string> message;
    bool loadedCleanly = false;

    if (!persistence) {
        try {
            persistence = CuePersistence::applicationSupport(m_fileManager);
        } catch (const std::exception& error) {
            message = error.what();
        }
    }
    if (persistence) {
        try {
            document = persistence->load(m_fileManager);
            loadedCleanly = true;
        } catch (const std::exception& error) {
            // The unusable file was preserved by load(); it is written over only
            // by the user's next saving command.
            message = error.what();
        }
    }
    m_persistence = std::move(persistence);
    m_document = std::move(document);
    m_persistenceError = std::move(message);
    m_didLoadCleanly = loadedCleanly;
    m_playback->setMasterVolume(m_document.masterVolume);
}

void CueStore::setPersistenceError(std::optional<std::string> message) {
    if (m_persistenceError == message)
        return;
    m_persistenceError = std::move(message);
    notifyObservers();
}

void CueStore::setEditingMode(bool editing) {
    if (m_isEditingMode == editing)
        return;
    m_isEditingMode = editing;
    notifyObservers();
}

void CueStore::setEditorPresented(bool presented) {
    if (m_isEditorPresented == presented)
        return;
    m_isEditorPresented = presented;
    notifyObservers();
}

bool CueStore::save() {
    if (!m_persistence) {
        m_persistenceError = CueStoreError::message(CueStoreError::Kind::persistenceUnavailable);
        return false;
    }
    try {
        m_persistenceError = m_persistence->save(m_document, m_fileManager);
        return true;
    } catch (const std::exception& error) {
        m_persistenceError = error.what();
        return false;
    }
}

void CueStore::cleanUpLeftovers() {
    if (!m_didLoadCleanly || !m_persistence)
        return;
    try {
        m_persistence->removeStagingLeftovers(m_fileManager);
    } catch (const std::exception&) {
        // Leftovers cost disk space, nothing else; the next start tries again.
    }
}

std::optional<std::filesystem::path> CueStore::audioURL(const CueSlot& slot) const {
    if (!m_persistence)
        return std::nullopt;
    return m_persistence->mediaFileURL(slot.audioFilename);
}

std::optional<std::filesystem::path> CueStore::audioURL(const LoopTrack& track) const {
    if (!m_persistence)
        return std::nullopt;
    return m_persistence->mediaFileURL(track.audioFilename);
}

std::optional<std::filesystem::path> CueStore::imageURL(const CueSlot& slot) const {
    if (!m_persistence)
        return std::nullopt;
    return m_persistence->mediaFileURL(slot.imageFilename);
}

bool CueStore::isAudioMissing(const CueSlot& slot) const {
    return slot.audioFilename && !mediaPresent(slot.audioFilename);
}

bool CueStore::canPlay(const CueSlot& slot) const {
    return slot.audioFilename && mediaPresent(slot.audioFilename);
}

bool CueStore::canPlay(const LoopTrack& track) const {
    return mediaPresent(track.audioFilename);
}

bool CueStore::mediaPresent(const std::optional<std::string>& filename) const {
    if (!m_persistence || !filename)
        return false;
    const auto [entry, added] = m_mediaPresence.try_emplace(*filename, false);
    if (added)
        entry->second = m_persistence->mediaExists(filename, m_fileManager);
    return entry->second;
}

bool CueStore::learnMissingMedia(const std::exception& error,
                                 const std::optional<std::string>& filename) {
    const auto* playbackError = dynamic_cast<const PlaybackError*>(&error);
    if (!filename || !playbackError || playbackError->kind() != PlaybackError::Kind::missingMedia)
        return false;
    m_mediaPresence[*filename] = false;
    return true;
}

void CueStore::refreshMediaPresence() {
    if (!m_persistence)
        return;
    bool changed = false;
    for (auto& [name, present] : m_mediaPresence) {
        const bool now = m_persistence->mediaExists(name, m_fileManager);
        changed = changed || now != present;
        present = now;
    }
    if (changed)
        notifyObservers();
}

}  // namespace tavrel
