#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/main_loop.h"
#include "base/observable.h"
#include "base/uuid.h"
#include "model/cue_document.h"
#include "persistence/cue_persistence.h"
#include "persistence/local_file_system.h"
#include "persistence/preferences_storage.h"
#include "playback/audio_playback_controller.h"
#include "store/cue_store_error.h"
#include "store/loop_playback_session.h"

namespace tavrel {

// The one application state object: owns the document, the library storage
// and the cue player, runs the loop player and carries out every user command.
// Main thread only. Observers are told once per command, after it has been
// applied; the controller is observed separately (playback()).
class CueStore : public Observable, public std::enable_shared_from_this<CueStore> {
public:
    using path = std::filesystem::path;

    // Start-up; writes nothing. Without `persistence` the library is found with
    // CuePersistence::applicationSupport; if that fails the store runs without
    // storage and says why in persistenceError(). `mainLoop` and `fileManager`
    // must outlive the store.
    static std::shared_ptr<CueStore> create(std::optional<CuePersistence> persistence,
                                            std::shared_ptr<AudioPlaybackController> playback,
                                            MainLoop& mainLoop,
                                            FileSystem& fileManager = LocalFileSystem::shared());
    ~CueStore() override;

    // Published state.
    const CueDocument& document() const { return m_document; }
    // The last storage error to show; views clear it when the user acknowledges it.
    const std::optional<std::string>& persistenceError() const { return m_persistenceError; }
    void setPersistenceError(std::optional<std::string> message);
    bool isEditingMode() const { return m_isEditingMode; }
    void setEditingMode(bool editing);
    bool isEditorPresented() const { return m_isEditorPresented; }
    void setEditorPresented(bool presented);
    const std::optional<LoopPlaybackSession>& loopPlayback() const { return m_loopPlayback; }
    // The loop track sounding (or paused) now.
    const std::optional<Uuid>& activeLoopTrackID() const { return m_activeLoopTrackID; }

    // Fixed at start-up.
    const std::optional<CuePersistence>& persistence() const { return m_persistence; }
    AudioPlaybackController& playback() const { return *m_playback; }
    const std::shared_ptr<AudioPlaybackController>& playbackPointer() const { return m_playback; }
    // Media files are deleted only when this is true.
    bool didLoadCleanly() const { return m_didLoadCleanly; }

    // Saving (cue_store.cpp). True when "cues.json" holds the document, also
    // when flushing it failed after it was in place (persistenceError() then
    // warns). Does not notify: the command that calls it does, once it is complete.
    bool save();
    // Removes what interrupted work of an earlier run left in the library
    // (CuePersistence::removeStagingLeftovers), only after a clean start-up.
    // The application calls it once it holds the library's lock: another
    // running instance's work in progress looks the same.
    void cleanUpLeftovers();
    // The cue keys work: neither edit mode nor the editor is on.
    bool liveShortcutsEnabled() const { return !m_isEditingMode && !m_isEditorPresented; }

    // Where things are. The availability checks read a cache of which media
    // files exist: a name is looked up on disk once, then again only by
    // refreshMediaPresence() or after a command that removed or restored media.
    std::optional<path> audioURL(const CueSlot& slot) const;
    std::optional<path> audioURL(const LoopTrack& track) const;
    std::optional<path> imageURL(const CueSlot& slot) const;
    bool isAudioMissing(const CueSlot& slot) const;
    bool canPlay(const CueSlot& slot) const;
    bool canPlay(const LoopTrack& track) const;
    // "Media" may have changed behind the store's back (the window watches the
    // folder and calls this, and on activation): checks every known name again
    // and notifies when one came or went.
    void refreshMediaPresence();

    // Slot editing and media clean-up (cue_store_editing.cpp).
    // Copies a user's file into "Media"; throws CueStoreError or the copy's error.
    std::string importFile(const path& url, const std::string& kind);
    // Puts the slot at its id, saves, deletes what became unused. False (and
    // nothing changed) when the id is out of range or the save fails.
    bool replace(const CueSlot& slot, const std::set<std::string>& sessionImportedFilenames = {});
    // An edit was abandoned: deletes its copies that nothing uses.
    void discardSessionImports(const std::set<std::string>& filenames);

    // Cue transport (cue_store_transport.cpp).
    void play(const CueSlot& slot);
    void togglePause();
    void stopPlayback();
    // Fades over preferences().fadeSeconds, then stopped; ends a loop run as
    // stopPlayback() does. A second one during the fade cuts.
    void fadeOut();
    // Each of the four above as carried out, from any input (a backup machine
    // follows them). `slotID` is the played slot's; one listener.
    enum class TransportCommand { play, togglePause, stop, fade };
    void setTransportListener(std::function<void(TransportCommand, std::int64_t slotID)> listener) {
        m_transportListener = std::move(listener);
    }
    // Auditions (cue_store_audition.cpp): the editor's draft sounds as its cue
    // would, in place of whatever sounds, also while the cue keys are off. Not
    // a cue press: no transport listener hears of it. Gives the reason when it
    // could not sound, for the editor to show (the controller's error is left alone).
    std::optional<std::string> audition(const CueSlot& draft);
    // The last audition is still sounding.
    bool isAuditioning() const;
    // Stops the audition if it is still sounding; any other sound plays on.
    void stopAudition();

    // Memory only, on every move of a slider; persistMasterVolume() saves.
    void setMasterVolume(double volume);
    void persistMasterVolume();

    // Loop player (cue_store_loop.cpp). Empty minutes: until stopped.
    void startLoopPlayback(const std::set<Uuid>& trackIDs,
                           std::optional<std::int64_t> durationMinutes);

    // Sets (cue_store_sets.cpp). Export throws CueStoreError or storage's error.
    void exportBackup(const path& url);
    bool restoreBackup(const path& url);

    // This machine's preferences (cue_store_preferences.cpp). Until
    // usePreferences() they are the defaults and nothing is written.
    const Preferences& preferences() const { return m_preferences; }
    // Reads them once at start-up; a bad file is reported in persistenceError().
    void usePreferences(PreferencesStorage storage);
    // Saves and publishes; false (nothing changed, the error shown) when the write fails.
    bool setPreferences(const Preferences& preferences);

    // Loop list editing (cue_store_loop_list.cpp); refused while a loop run exists.
    bool addLoopTracks(const std::vector<path>& urls);
    void removeLoopTracks(const std::set<std::size_t>& positions);
    // `destination` counts positions before the move.
    void moveLoopTracks(const std::set<std::size_t>& positions, std::size_t destination);

private:
    CueStore(std::optional<CuePersistence> persistence,
             std::shared_ptr<AudioPlaybackController> playback, MainLoop& mainLoop,
             FileSystem& fileManager);
    void start(std::optional<CuePersistence> persistence);

    // The deletion rule: only after a clean start-up, never a name the document
    // or any saved set in "SavedSets" references, nothing when those cannot be read.
    void removeMediaDelta(const std::set<std::string>& candidates);

    // A sound ended by itself: the loop run, if any, moves on.
    void handleNaturalCompletion();
    void advanceLoopPlayback();
    bool refreshLoopPlaybackRemaining();
    void scheduleLoopPlaybackTimer();
    void stopLoopPlayback(bool stopAudio);
    void tellTransportListener(TransportCommand command, std::int64_t slotID = 0);
    bool mediaPresent(const std::optional<std::string>& filename) const;
    // A play that found its file gone before the cache did: the cache learns
    // it. True when `error` says so.
    bool learnMissingMedia(const std::exception& error, const std::optional<std::string>& filename);
    // Plays through the controller and ends a loop run it replaces; on failure
    // calls `failed` first, then tidies up. True when it sounds.
    bool startSound(const CueSlot& slot, const std::function<void(const std::exception&)>& failed);

    CueDocument m_document;
    std::optional<std::string> m_persistenceError;
    bool m_isEditingMode = false;
    bool m_isEditorPresented = false;
    std::optional<LoopPlaybackSession> m_loopPlayback;
    std::optional<Uuid> m_activeLoopTrackID;
    std::optional<CueSlot> m_audition;  // as last auditioned

    Preferences m_preferences;
    std::optional<PreferencesStorage> m_preferencesStorage;

    std::optional<CuePersistence> m_persistence;
    std::shared_ptr<AudioPlaybackController> m_playback;
    bool m_didLoadCleanly = false;
    // Media file name → exists; filled on first look.
    mutable std::map<std::string, bool> m_mediaPresence;
    std::unique_ptr<TimerHandle> m_loopPlaybackTimer;
    std::function<void(TransportCommand, std::int64_t)> m_transportListener;

    MainLoop& m_mainLoop;
    FileSystem& m_fileManager;
};

}  // namespace tavrel
