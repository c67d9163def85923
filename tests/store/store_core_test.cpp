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
    fs::path folder() const { return temp.path() / "config"; }
    fs::path file() const { return folder() / "preferences.json"; }
    void startWith(const std::optional<std::string>& bytes) {
        fs::remove_all(folder());
        store->setPersistenceError(std::nullopt);
        if (bytes)
            test::writeFile(file(), *bytes);
        store->usePreferences(PreferencesStorage(folder()));
    }
};

TEST_F(StoreCoreTest, StartUpTakesTheDocumentAndWritesNothing) {
    const auto empty = startFromDataFolder();
    EXPECT_TRUE(empty->didLoadCleanly());
    EXPECT_EQ(test::entryNames(temp.path() / "data" / "Tavrel"),
              (std::set<std::string>{"Media", "SavedSets"}));

    auto document = CueDocument::empty();
    document.masterVolume = 0.3;
    seed(document);
    EXPECT_EQ(store->document(), document);
    EXPECT_EQ(controller->masterVolume(), 0.3);
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
        const auto names = test::entryNames(root);
        const auto copy = std::ranges::find_if(
            names, [](auto& name) { return name.starts_with("cues.invalid-"); });
        ASSERT_NE(copy, names.end());

        EXPECT_TRUE(store->save());
        EXPECT_EQ(diskDocument(), CueDocument::empty());
        EXPECT_EQ(test::readFile(root / *copy), bytes);
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
    EXPECT_EQ(std::pair(store->isAudioMissing(slotWithAudio("a.mp3")),
                        store->isAudioMissing(slotWithAudio(std::nullopt))),
              std::pair(true, false));
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
    }
    // The controller holds the store only weakly.
    probe.reset();
    const std::weak_ptr<CueStore> weak = store;
    store.reset();
    EXPECT_TRUE(weak.expired());
}

TEST_F(StoreCoreTest, PreferencesChangesAreSavedWithKeysThisVersionDoesNotKnowUnlessTheSaveFails) {
    startWith(R"({"futureKey": {"nested": [1, 2]}, "latencyPreset": "low", "fadeSeconds": 60})");
    EXPECT_EQ(store->preferences().latencyPreset, LatencyPreset::low);
    EXPECT_EQ(store->preferences().fadeSeconds, Preferences::maximumFadeSeconds);
    Preferences changed = store->preferences();
    changed.mirrorTargets = {{"10.0.0.2:53535", "비밀"}};
    changed.midiMappings = {{"fade", MidiMapping::Kind::controller, 64, 10}};
    ASSERT_TRUE(store->setPreferences(changed));
    const Preferences reread = decodePreferences(test::readFile(file()));
    EXPECT_EQ(reread, changed);
    EXPECT_EQ(reread.otherKeys.at("futureKey"), R"({"nested":[1,2]})");

    fileSystem.failEvery(Operation::writeAtomically);
    changed.fadeSeconds = 4.0;
    EXPECT_FALSE(store->setPreferences(changed));
    EXPECT_EQ(store->preferences(), reread);
    EXPECT_TRUE(store->persistenceError());
}

TEST_F(StoreCoreTest, PreferencesAnUnusableFileGivesTheDefaultsIsPreservedAndTheUserIsTold) {
    for (const std::string bytes : {"{not json", "[]", R"({"latencyPreset": "fastest"})"}) {
        SCOPED_TRACE(bytes);
        startWith(bytes);
        EXPECT_EQ(store->preferences(), Preferences{});
        EXPECT_NE(store->persistenceError().value_or("").find(
                      "환경설정 파일을 읽지 못해 기본값을 사용합니다."),
                  std::string::npos);
        // The original is kept beside it, untouched, until the user changes a setting.
        EXPECT_EQ(test::readFile(file()), bytes);
        EXPECT_EQ(test::entryNames(folder()).size(), 2u);
    }
}

}  // namespace
}  // namespace tavrel
