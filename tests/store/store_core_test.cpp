#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "model/document_json.h"
#include "persistence/local_file_system.h"
#include "store/cue_store.h"
#include "support/fake_player.h"
#include "support/fault_injecting_file_system.h"
#include "support/manual_main_loop.h"
#include "support/scoped_environment_variable.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;
using Operation = test::FaultInjectingFileSystem::Operation;

const std::string unavailable = "Application Support 저장소를 사용할 수 없습니다.";

class StoreCoreTest : public ::testing::Test {
protected:
    fs::path root() const { return temp.path() / "data" / "Tavrel"; }

    // The application's way: no storage given, so the per-user data folder.
    std::shared_ptr<CueStore> startFromDataFolder() {
        test::ScopedEnvironmentVariable noOverride("TAVREL_LIBRARY_DIR", nullptr);
        return CueStore::create(std::nullopt, controller, mainLoop, faults);
    }
    std::shared_ptr<CueStore> startOnLibrary() {
        return CueStore::create(CuePersistence(root()), controller, mainLoop, faults);
    }
    long writes() const {
        return std::ranges::count_if(faults.log(), [](Operation operation) {
            return operation == Operation::writeAtomically || operation == Operation::copyFile ||
                   operation == Operation::move || operation == Operation::remove;
        });
    }
    static CueSlot slotWithAudio(std::optional<std::string> audio) {
        CueSlot slot = CueSlot::empty(0);
        slot.audioFilename = slot.imageFilename = std::move(audio);
        return slot;
    }

    test::TemporaryDirectory temp;
    test::FaultInjectingFileSystem faults{temp.path() / "data"};
    test::ManualMainLoop mainLoop;
    std::shared_ptr<test::FakePlayerFactory> factory = std::make_shared<test::FakePlayerFactory>();
    std::shared_ptr<AudioPlaybackController> controller =
        std::make_shared<AudioPlaybackController>(factory);
};

TEST_F(StoreCoreTest, StartUpTakesTheDocumentAndWritesNothing) {
    const auto empty = startFromDataFolder();
    EXPECT_EQ(empty->persistence()->rootURL(), root());
    EXPECT_TRUE(empty->didLoadCleanly());
    EXPECT_FALSE(fs::exists(root() / "cues.json"));
    EXPECT_EQ(writes(), 0);

    auto document = CueDocument::empty();
    document.masterVolume = 0.3;
    document.slots[2].title = "Opening";
    CuePersistence(root()).save(document, LocalFileSystem::shared());
    const auto store = startOnLibrary();
    EXPECT_EQ(store->document(), document);
    EXPECT_EQ(controller->masterVolume(), 0.3);
    EXPECT_FALSE(store->persistenceError());
}

// A file this version cannot use (broken, or from a newer one) is kept
// beside the library untouched; the show starts empty until the first save.
TEST_F(StoreCoreTest, StartUpOnAnUnusableFilePreservesItAndStartsEmpty) {
    for (const std::string bytes :
         {"{\"schemaVersion\":2", "{\"schemaVersion\":99,\"slots\":[]}"}) {
        SCOPED_TRACE(bytes);
        fs::remove_all(root());
        test::writeFile(root() / "cues.json", bytes);
        const auto store = startOnLibrary();
        EXPECT_EQ(store->document(), CueDocument::empty());
        EXPECT_FALSE(store->didLoadCleanly());
        ASSERT_TRUE(store->persistenceError());
        EXPECT_TRUE(store->persistenceError()->starts_with(
            "설정 파일을 읽지 못했습니다. 원본을 cues.invalid-"))
            << *store->persistenceError();
        EXPECT_EQ(test::readFile(root() / "cues.json"), bytes);
        std::vector<std::string> copies;
        std::ranges::copy_if(
            test::entryNames(root()), std::back_inserter(copies),
            [](const std::string& name) { return name.starts_with("cues.invalid-"); });
        ASSERT_EQ(copies.size(), 1u);

        EXPECT_TRUE(store->save());
        EXPECT_EQ(decodeDocument(test::readFile(root() / "cues.json")), CueDocument::empty());
        EXPECT_EQ(test::readFile(root() / copies[0]), bytes);
        EXPECT_FALSE(store->didLoadCleanly()) << "decided once, at start-up";
    }
}

TEST_F(StoreCoreTest, StartUpOnAnUnreadableFileReportsTheReadErrorAndPreservesNothing) {
    test::writeFile(root() / "cues.json", "{}");
    faults.failEvery(Operation::readFile);
    const auto store = startOnLibrary();
    EXPECT_FALSE(store->didLoadCleanly());
    EXPECT_NE(store->persistenceError().value_or("").find("injected failure"), std::string::npos);
    EXPECT_EQ(test::entryNames(root()), (std::set<std::string>{"Media", "SavedSets", "cues.json"}));
}

TEST_F(StoreCoreTest, WithoutStorageNothingResolvesAndEveryCommandSaysSo) {
    faults.failEvery(Operation::applicationDataDirectory);
    const auto store = startFromDataFolder();
    EXPECT_FALSE(store->persistence());
    EXPECT_NE(store->persistenceError().value_or("").find("injected failure"), std::string::npos);
    const std::pair<const char*, std::function<bool()>> commands[] = {
        {"save", [&] { return store->save(); }},
        {"replace", [&] { return store->replace(slotWithAudio(std::nullopt)); }},
        {"add", [&] { return store->addLoopTracks({temp.path() / "a.mp3"}); }},
        {"load", [&] { return store->restoreBackup(temp.path()); }},
        {"remove", [&] { return store->removeLoopTracks({0}), false; }},
    };
    for (const auto& [name, command] : commands) {
        SCOPED_TRACE(name);
        store->setPersistenceError(std::nullopt);
        EXPECT_FALSE(command());
        EXPECT_EQ(store->persistenceError(), unavailable);
    }
    EXPECT_THROW(store->importFile(temp.path() / "a.mp3", "audio"), CueStoreError);
    EXPECT_THROW(store->exportBackup(temp.path() / "set"), CueStoreError);
    EXPECT_EQ(CueStoreError().what(), unavailable);
    EXPECT_FALSE(fs::exists(root()));

    // A slot without audio is still not "missing".
    EXPECT_FALSE(store->audioURL(slotWithAudio("a.mp3")));
    EXPECT_TRUE(store->isAudioMissing(slotWithAudio("a.mp3")));
    EXPECT_FALSE(store->isAudioMissing(slotWithAudio(std::nullopt)));
    EXPECT_FALSE(store->canPlay(LoopTrack{Uuid::random(), "", "a.mp3"}));
}

TEST_F(StoreCoreTest, QueriesResolveSafeNamesInsideMediaAndCheckTheDisk) {
    const auto store = startOnLibrary();
    const auto media = root() / "Media";
    test::writeFile(media / "here.mp3", "a");
    test::writeFile(root() / "secret.mp3", "outside Media");
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
}

TEST_F(StoreCoreTest, LiveShortcutsOnlyWhenNeitherEditingNorTheEditorIsOn) {
    const auto store = startOnLibrary();
    int notifications = 0;
    const auto subscription = store->subscribe([&] { ++notifications; });
    for (const bool editing : {false, true}) {
        for (const bool presented : {false, true}) {
            store->setEditingMode(editing);
            store->setEditorPresented(presented);
            EXPECT_EQ(store->liveShortcutsEnabled(), !editing && !presented);
        }
    }
    store->setEditingMode(true);
    EXPECT_EQ(notifications, 4) << "a setter that changes nothing is silent";
}

TEST_F(StoreCoreTest, ControllerHoldsTheStoreOnlyWeakly) {
    auto store = startOnLibrary();
    const std::weak_ptr<CueStore> weak = store;
    store.reset();
    EXPECT_TRUE(weak.expired());
}

}  // namespace
}  // namespace tavrel
