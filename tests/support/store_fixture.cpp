#include "support/store_fixture.h"

#include <algorithm>

namespace tavrel::test {

namespace fs = std::filesystem;

PublishedState PublishedState::of(const CueStore& store) {
    return {store.document(),          store.persistenceError(), store.isEditingMode(),
            store.isEditorPresented(), store.loopPlayback(),     store.activeLoopTrackID()};
}

void StoreFixture::seed(const CueDocument& document, const std::vector<std::string>& mediaNames) {
    library().save(document, LocalFileSystem::shared());
    for (const auto& name : mediaNames)
        writeFile(library().mediaURL() / name, "media " + name);
    restart();
}

void StoreFixture::restart() {
    probe.reset();
    store.reset();
    factory = std::make_shared<FakePlayerFactory>();
    controller = std::make_shared<AudioPlaybackController>(factory);
    store = CueStore::create(library(), controller, mainLoop, fileSystem);
    probe = std::make_unique<ConsistencyProbe>(*store);
}

fs::path StoreFixture::sourceFile(const std::string& name) {
    writeFile(temp.path() / "picked" / name, "picked " + name);
    return temp.path() / "picked" / name;
}

std::map<std::string, std::string> StoreFixture::libraryContents() const {
    std::map<std::string, std::string> contents;
    const auto root = library().rootURL();
    for (const auto& entry : fs::recursive_directory_iterator(root))
        contents[fs::relative(entry.path(), root).string()] =
            entry.is_regular_file() ? readFile(entry.path()) : "<folder>";
    return contents;
}

CueDocument StoreFixture::documentWithTracks(const std::vector<std::string>& titles) {
    CueDocument document = CueDocument::empty();
    for (const auto& title : titles)
        document.loopTracks.emplace_back().title = title;
    const auto files = trackFiles(titles);
    for (std::size_t i = 0; i < files.size(); ++i)
        document.loopTracks[i].audioFilename = files[i];
    return document;
}

std::vector<std::string> StoreFixture::trackFiles(const std::vector<std::string>& titles) {
    std::vector<std::string> names;
    for (const auto& title : titles)
        names.push_back("loop-" + title + ".mp3");
    return names;
}

ConsistencyProbe::ConsistencyProbe(CueStore& store) {
    m_subscription = store.subscribe([this, &store] {
        ++m_count;
        const auto& session = store.loopPlayback();
        if (const auto& active = store.activeLoopTrackID()) {
            ASSERT_TRUE(session) << "a sounding loop track without a run";
            EXPECT_TRUE(std::ranges::count(session->tracks, *active, &LoopTrack::id));
        }
        if (session) {
            const PlaybackState state = store.playback().state();
            EXPECT_LT(session->nextIndex, session->tracks.size());  // also: not empty
            EXPECT_FALSE(state.isStopped()) << "a loop run is shown with nothing sounding";
            EXPECT_EQ(session->isPaused, state.isPaused());
            EXPECT_EQ(session->deadline.has_value(), !session->isInfinite && !session->isPaused);
        }
        const auto& persistence = store.persistence();
        if (!persistence || !store.didLoadCleanly())
            return;
        // Decoding on every tick would dominate the timed tests: only when either side moved.
        const std::string bytes = readFile(persistence->documentURL());
        if (m_checkedDocument == store.document() && bytes == m_checkedBytes)
            return;
        // The master volume alone lives in memory until the slider is released.
        CueDocument memory = store.document();
        const CueDocument disk = persistence->load(LocalFileSystem::shared());
        memory.masterVolume = disk.masterVolume;
        memory.normalize();
        EXPECT_EQ(memory, disk) << "observers see a document that is not on disk";
        m_checkedDocument = store.document();
        m_checkedBytes = bytes;
    });
}

}  // namespace tavrel::test
