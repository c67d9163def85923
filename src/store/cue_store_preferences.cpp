#include "store/cue_store.h"

namespace tavrel {

void CueStore::usePreferences(PreferencesStorage storage) {
    auto loaded = storage.load(m_fileManager);
    m_preferencesStorage = std::move(storage);
    m_preferences = std::move(loaded.preferences);
    // A library problem found at start-up is the more urgent one to show.
    if (loaded.problem && !m_persistenceError)
        m_persistenceError = std::move(loaded.problem);
    notifyObservers();
}

bool CueStore::setPreferences(const Preferences& preferences) {
    if (preferences == m_preferences)
        return true;
    if (m_preferencesStorage) {
        try {
            m_preferencesStorage->save(preferences, m_fileManager);
        } catch (const std::exception& error) {
            m_persistenceError = error.what();
            notifyObservers();
            return false;
        }
    }
    m_preferences = preferences;
    notifyObservers();
    return true;
}

}  // namespace tavrel
