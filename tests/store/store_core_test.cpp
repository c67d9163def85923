#include <gtest/gtest.h>

#include <algorithm>

#include "model/document_json.h"
#include "support/scoped_environment_variable.h"
#include "support/store_fixture.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;
using Operation = test::FaultInjectingFileSystem::Operation;

const std::string unavailable = "Application Support 저장소를 사용할 수 없습니다.";

class StoreCoreTest : public test::StoreFixture {
protected:
    // The application's way: no storage given, so the per-user data folder.
    std::shared_ptr<CueStore> startFromDataFolder() {
        test::ScopedEnvironmentVariable noOverride("TAVREL_LIBRARY_DIR", nullptr);
        return CueStore::create(std::nullopt, controller, mainLoop, fileSystem);
    }
    static CueSlot slotWithAudio(std::optional<std::string> audio) {
        CueSlot slot = CueSlot::empty(0);
        slot.audioFilename = slot.imageFilename = std::move(audio);
        return slot;
    }
};

TEST_F(StoreCoreTest, StartUpTakesTheDocumentAndWritesNothing) {
    const std::size_t logged = fileSystem.log().size();
    const auto empty = startFromDataFolder();
    EXPECT_EQ(empty->persistence()->rootURL(), temp.path() / "data" / "Tavrel");
    EXPECT_TRUE(empty->didLoadCleanly());
    const std::set<Operation> writing = {Operation::writeAtomically, Operation::copyFile,
                                         Operation::move, Operation::remove};
    EXPECT_TRUE(std::none_of(fileSystem.log().begin() + static_cast<long>(logged),
                             fileSystem.log().end(),
                             [&](Operation operation) { return writing.contains(operation); }));

    auto document = CueDocument::empty();
    document.masterVolume = 0.3;
    document.slots[2].title = "Opening";
    seed(document);
    EXPECT_EQ(store->document(), document);
    EXPECT_EQ(controller->masterVolume(), 0.3);
    EXPECT_FALSE(store->persistenceError());
}

// A file this version cannot use (broken, or from a newer one) is kept
// beside the library untouched; the show starts empty until the first save.
TEST_F(StoreCoreTest, StartUpOnAnUnusableFilePreservesItAndStartsEmpty) {
    CueDocument newer = CueDocument::empty();
    newer.schemaVersion = CueDocument::currentSchemaVersion + 1;
    for (const std::string& bytes : {std::string("{\"schemaVersion\":2"), encodeDocument(newer)}) {
        SCOPED_TRACE(bytes.substr(0, 40));
        const auto root = library().rootURL();
        fs::remove_all(root);
        test::writeFile(library().documentURL(), bytes);
        restart();
        EXPECT_EQ(store->document(), CueDocument::empty());
        EXPECT_FALSE(store->didLoadCleanly());
        EXPECT_TRUE(store->persistenceError().value_or("").starts_with(
            "설정 파일을 읽지 못했습니다. 원본을 cues.invalid-"));
        EXPECT_EQ(test::readFile(library().documentURL()), bytes);
        std::vector<std::string> copies;
        std::ranges::copy_if(
            test::entryNames(root), std::back_inserter(copies),
            [](const std::string& name) { return name.starts_with("cues.invalid-"); });
        ASSERT_EQ(copies.size(), 1u);

        EXPECT_TRUE(store->save());
        EXPECT_EQ(diskDocument(), CueDocument::empty());
        EXPECT_EQ(test::readFile(root / copies[0]), bytes);
        EXPECT_FALSE(store->didLoadCleanly()) << "decided once, at start-up";
    }
}

TEST_F(StoreCoreTest, StartUpOnAnUnreadableFileReportsTheReadErrorAndPreservesNothing) {
    test::writeFile(library().documentURL(), "{}");
    fileSystem.failEvery(Operation::readFile);
    restart();
    EXPECT_FALSE(store->didLoadCleanly());
    EXPECT_NE(store->persistenceError().value_or("").find("injected failure"), std::string::npos);
    EXPECT_EQ(test::entryNames(library().rootURL()),
              (std::set<std::string>{"Media", "SavedSets", "cues.json"}));
}

TEST_F(StoreCoreTest, WithoutStorageNothingResolvesAndEveryCommandSaysSo) {
    fileSystem.failEvery(Operation::applicationDataDirectory);
    probe.reset();
    store = startFromDataFolder();
    EXPECT_FALSE(store->persistence());
    EXPECT_NE(store->persistenceError().value_or("").find("injected failure"), std::string::npos);
    const std::pair<const char*, std::function<bool()>> commands[] = {
        {"save", [&] { return store->save(); }},
        {"replace", [&] { return store->replace(slotWithAudio(std::nullopt)); }},
        {"add", [&] { return store->addLoopTracks({sourceFile("a.mp3")}); }},
        {"load", [&] { return store->restoreBackup(temp.path()); }},
        {"remove", [&] { return store->removeLoopTracks({0}), false; }},
    };
    for (const auto& [name, command] : commands) {
        SCOPED_TRACE(name);
        store->setPersistenceError(std::nullopt);
        EXPECT_FALSE(command());
        EXPECT_EQ(store->persistenceError(), unavailable);
    }
    EXPECT_THROW(store->importFile(sourceFile("a.mp3"), "audio"), CueStoreError);
    EXPECT_THROW(store->exportBackup(temp.path() / "set"), CueStoreError);
    EXPECT_EQ(CueStoreError().what(), unavailable);
    EXPECT_FALSE(fs::exists(temp.path() / "data"));

    // A slot without audio is still not "missing".
    EXPECT_FALSE(store->audioURL(slotWithAudio("a.mp3")));
    EXPECT_TRUE(store->isAudioMissing(slotWithAudio("a.mp3")));
    EXPECT_FALSE(store->isAudioMissing(slotWithAudio(std::nullopt)));
    EXPECT_FALSE(store->canPlay(LoopTrack{Uuid::random(), "", "a.mp3"}));
}

TEST_F(StoreCoreTest, QueriesResolveSafeNamesInsideMediaAndCheckTheDisk) {
    const auto media = library().mediaURL();
    test::writeFile(media / "here.mp3", "a");
    test::writeFile(library().rootURL() / "secret.mp3", "outside Media");
    // name, its URL, playable, missing
    const std::tuple<std::optional<std::string>, std::optional<fs::path>, bool, bool> cases[] = {
        {"here.mp3", media / "here.mp3", true, false},
        {"gone.mp3", media / "gone.mp3", false, true},
        {std::nullopt, std::nullopt, false, false},
        {"../secret.mp3", std::nullopt, false, true},
    };
    for (const auto& [name, url, playable, missing] : cases) {
        SCOPED_TRACE(name.value_or("none"));
        const auto slot = slotWithAudio(name);
        EXPECT_EQ(std::tuple(store->audioURL(slot), store->imageURL(slot), store->canPlay(slot),
                             store->isAudioMissing(slot)),
                  std::tuple(url, url, playable, missing));
        const LoopTrack track{Uuid::random(), "", name.value_or("")};
        EXPECT_EQ(std::pair(store->audioURL(track), store->canPlay(track)),
                  std::pair(name ? url : std::nullopt, playable));
    }
    // The controller holds the store only weakly.
    probe.reset();
    const std::weak_ptr<CueStore> weak = store;
    store.reset();
    EXPECT_TRUE(weak.expired());
}

}  // namespace
}  // namespace tavrel
