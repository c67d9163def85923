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

const char* const unavailable = "Application Support 저장소를 사용할 수 없습니다.";

class StoreCoreTest : public ::testing::Test {
protected:
    fs::path root() const { return temp.path() / "data" / "Tavrel"; }
    CuePersistence library() const { return CuePersistence(root()); }

    // The application's way: no storage given, so the per-user data folder.
    std::shared_ptr<CueStore> startFromDataFolder() {
        test::ScopedEnvironmentVariable noOverride("TAVREL_LIBRARY_DIR", nullptr);
        return CueStore::create(std::nullopt, controller, mainLoop, faults);
    }
    std::shared_ptr<CueStore> startOnLibrary() {
        return CueStore::create(library(), controller, mainLoop, faults);
    }

    bool wroteAnything() const {
        const auto& log = faults.log();
        return std::any_of(log.begin(), log.end(), [](Operation operation) {
            return operation == Operation::writeAtomically || operation == Operation::copyFile ||
                   operation == Operation::move || operation == Operation::remove;
        });
    }

    static CueSlot slotWithAudio(std::optional<std::string> audio) {
        CueSlot slot = CueSlot::empty(0);
        slot.audioFilename = std::move(audio);
        return slot;
    }

    test::TemporaryDirectory temp;
    test::FaultInjectingFileSystem faults{temp.path() / "data"};
    test::ManualMainLoop mainLoop;
    std::shared_ptr<test::FakePlayerFactory> factory = std::make_shared<test::FakePlayerFactory>();
    std::shared_ptr<AudioPlaybackController> controller =
        std::make_shared<AudioPlaybackController>(factory);
};

TEST_F(StoreCoreTest, StartUpOnAnEmptyMachineLoadsCleanlyAndWritesNoDocument) {
    const auto store = startFromDataFolder();
    ASSERT_TRUE(store->persistence());
    EXPECT_EQ(store->persistence()->rootURL(), root());
    EXPECT_EQ(store->document(), CueDocument::empty());
    EXPECT_FALSE(store->persistenceError());
    EXPECT_TRUE(store->didLoadCleanly());
    EXPECT_FALSE(fs::exists(root() / "cues.json"));
    EXPECT_FALSE(wroteAnything());
}

TEST_F(StoreCoreTest, StartUpOnAnUnusableFilePreservesItAndStartsEmptyUntilTheFirstSave) {
    test::writeFile(root() / "cues.json", "{\"schemaVersion\":2");
    const auto store = startOnLibrary();
    EXPECT_EQ(store->document(), CueDocument::empty());
    EXPECT_FALSE(store->didLoadCleanly());
    ASSERT_TRUE(store->persistenceError());
    EXPECT_EQ(
        store->persistenceError()->rfind("설정 파일을 읽지 못했습니다. 원본을 cues.invalid-", 0),
        0u)
        << *store->persistenceError();
    EXPECT_EQ(std::count(faults.log().begin(), faults.log().end(), Operation::writeAtomically), 0);
    EXPECT_EQ(test::readFile(root() / "cues.json"), "{\"schemaVersion\":2");
    std::vector<std::string> copies;
    for (const auto& name : test::entryNames(root()))
        if (name.rfind("cues.invalid-", 0) == 0)
            copies.push_back(name);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(test::readFile(root() / copies[0]), "{\"schemaVersion\":2");

    EXPECT_TRUE(store->save());
    EXPECT_FALSE(store->persistenceError());
    EXPECT_EQ(decodeDocument(test::readFile(root() / "cues.json")), CueDocument::empty());
    EXPECT_EQ(test::readFile(root() / copies[0]), "{\"schemaVersion\":2");
    EXPECT_FALSE(store->didLoadCleanly()) << "decided once, at start-up";
}

TEST_F(StoreCoreTest, StartUpOnAnUnreadableFileReportsTheReadErrorAndPreservesNothing) {
    test::writeFile(root() / "cues.json", "{}");
    faults.failEvery(Operation::readFile);
    const auto store = startOnLibrary();
    EXPECT_FALSE(store->didLoadCleanly());
    ASSERT_TRUE(store->persistenceError());
    EXPECT_NE(store->persistenceError()->find("injected failure"), std::string::npos);
    EXPECT_EQ(test::entryNames(root()), (std::set<std::string>{"Media", "SavedSets", "cues.json"}));
}

TEST_F(StoreCoreTest, StartUpWithoutALibraryRunsWithoutStorageAndRefusesToSave) {
    faults.failEvery(Operation::applicationDataDirectory);
    const auto store = startFromDataFolder();
    EXPECT_FALSE(store->persistence());
    EXPECT_EQ(store->document(), CueDocument::empty());
    EXPECT_FALSE(store->didLoadCleanly());
    ASSERT_TRUE(store->persistenceError());
    EXPECT_NE(store->persistenceError()->find("injected failure"), std::string::npos);

    EXPECT_FALSE(store->save());
    EXPECT_EQ(store->persistenceError(), unavailable);
    EXPECT_FALSE(fs::exists(root()));

    // Nothing resolves without storage; a slot without audio is still not "missing".
    const auto withAudio = slotWithAudio("a.mp3");
    EXPECT_FALSE(store->audioURL(withAudio));
    EXPECT_FALSE(store->imageURL(withAudio));
    EXPECT_FALSE(store->audioURL(LoopTrack{Uuid::random(), "", "a.mp3"}));
    EXPECT_TRUE(store->isAudioMissing(withAudio));
    EXPECT_FALSE(store->canPlay(withAudio));
    EXPECT_FALSE(store->isAudioMissing(slotWithAudio(std::nullopt)));
    EXPECT_FALSE(store->canPlay(slotWithAudio(std::nullopt)));
    EXPECT_FALSE(store->canPlay(LoopTrack{Uuid::random(), "", "a.mp3"}));
    EXPECT_EQ(CueStoreError().what(), std::string(unavailable));
}

TEST_F(StoreCoreTest, StartUpTakesTheDocumentAndGivesTheControllerItsMasterVolume) {
    auto document = CueDocument::empty();
    document.masterVolume = 0.3;
    document.slots[2].title = "Opening";
    library().save(document, LocalFileSystem::shared());
    const auto store = startOnLibrary();
    EXPECT_EQ(store->document(), document);
    EXPECT_TRUE(store->didLoadCleanly());
    EXPECT_EQ(controller->masterVolume(), 0.3);
}

TEST_F(StoreCoreTest, LiveShortcutsOnlyWhenNeitherEditingNorTheEditorIsOn) {
    const auto store = startOnLibrary();
    int notifications = 0;
    const auto subscription = store->subscribe([&] { ++notifications; });
    for (const bool editing : {false, true}) {
        for (const bool presented : {false, true}) {
            store->setEditingMode(editing);
            store->setEditorPresented(presented);
            EXPECT_EQ(store->liveShortcutsEnabled(), !editing && !presented)
                << editing << presented;
        }
    }
    // The walk changes a flag four times; a setter that changes nothing is silent.
    EXPECT_EQ(notifications, 4);
    store->setEditingMode(true);
    EXPECT_EQ(notifications, 4) << "no notification without a change";
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
        auto slot = slotWithAudio(name);
        slot.imageFilename = name;
        EXPECT_EQ(store->audioURL(slot), url);
        EXPECT_EQ(store->imageURL(slot), url);
        EXPECT_EQ(store->canPlay(slot), playable);
        EXPECT_EQ(store->isAudioMissing(slot), missing);
        if (name) {
            const LoopTrack track{Uuid::random(), "", *name};
            EXPECT_EQ(store->audioURL(track), url);
            EXPECT_EQ(store->canPlay(track), playable);
        }
    }
}

TEST_F(StoreCoreTest, ControllerHoldsTheStoreOnlyWeakly) {
    test::writeFile(root() / "Media" / "a.mp3", "a");
    auto store = startOnLibrary();
    const std::weak_ptr<CueStore> weak = store;
    store.reset();
    EXPECT_TRUE(weak.expired());
    // A sound that ends after the store is gone reaches nothing.
    controller->play(slotWithAudio("a.mp3"), root() / "Media" / "a.mp3");
    factory->lastPlayer()->complete();
    EXPECT_TRUE(controller->state().isStopped());
}

}  // namespace
}  // namespace tavrel
