#pragma once

#include <gtest/gtest.h>

#include <map>

#include "persistence/local_file_system.h"
#include "store/cue_store.h"
#include "support/fake_player.h"
#include "support/fault_injecting_file_system.h"
#include "support/manual_main_loop.h"

namespace tavrel::test {

// Everything a view can read from the store.
struct PublishedState {
    CueDocument document;
    std::optional<std::string> persistenceError;
    bool isEditingMode = false;
    bool isEditorPresented = false;
    std::optional<LoopPlaybackSession> loopPlayback;
    std::optional<Uuid> activeLoopTrackID;

    static PublishedState of(const CueStore& store);
    bool operator==(const PublishedState&) const = default;
};

class ConsistencyProbe;

// A store on a real temporary library, with a fake player factory, a manual
// main loop and a file system that fails on command.
class StoreFixture : public ::testing::Test {
public:
    StoreFixture() : fileSystem(temp.path() / "data") { restart(); }

    // Writes a library as an earlier run would have left it, then restarts on it.
    void seed(const CueDocument& document, const std::vector<std::string>& mediaNames = {});
    // A fresh controller and store on the same library, as after a restart.
    void restart();

    CuePersistence library() const { return CuePersistence(temp.path() / "Tavrel"); }
    // A user's file outside the library.
    std::filesystem::path sourceFile(const std::string& name);
    std::set<std::string> mediaNames() const { return entryNames(library().mediaURL()); }
    CueDocument diskDocument() const { return library().load(LocalFileSystem::shared()); }
    // Every file under the library root: relative path → bytes.
    std::map<std::string, std::string> libraryContents() const;
    const LoopTrack& track(std::size_t position) const {
        return store->document().loopTracks.at(position);
    }
    std::shared_ptr<FakePlayer> lastPlayer() const { return factory->lastPlayer(); }

    // Loop tracks with these titles, each on its own "loop-<title>.mp3".
    static CueDocument documentWithTracks(const std::vector<std::string>& titles);
    // The media names documentWithTracks uses.
    static std::vector<std::string> trackFiles(const std::vector<std::string>& titles);

    test::TemporaryDirectory temp{test::TemporaryDirectory::Place::memoryWherePossible};
    FaultInjectingFileSystem fileSystem;
    ManualMainLoop mainLoop;
    std::shared_ptr<FakePlayerFactory> factory;
    std::shared_ptr<AudioPlaybackController> controller;
    std::shared_ptr<CueStore> store;
    // Watches `store` from its start.
    std::unique_ptr<ConsistencyProbe> probe;
};

// Checks, inside every notification of the store, that what it publishes is
// complete and consistent, and counts the notifications.
class ConsistencyProbe {
public:
    explicit ConsistencyProbe(CueStore& store);
    int count() const { return m_count; }
    void reset() { m_count = 0; }

private:
    int m_count = 0;
    // The last document compared with the disk, and the file's bytes then.
    std::optional<CueDocument> m_checkedDocument;
    std::string m_checkedBytes;
    Subscription m_subscription;
};

}  // namespace tavrel::test
