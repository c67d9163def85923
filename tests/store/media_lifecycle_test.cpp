#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "persistence/local_file_system.h"
#include "support/store_fixture.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;

// Slot 0 uses "audio-old.mp3" and "image-old.png"; "audio-shared.mp3" is the
// audio of slots 1 and 2; slot 3 plays the loop track's file.
class MediaLifecycleTest : public test::StoreFixture {
protected:
    MediaLifecycleTest() {
        CueDocument document = documentWithTracks({"kept"});
        document.slots[0].audioFilename = "audio-old.mp3";
        document.slots[0].imageFilename = "image-old.png";
        document.slots[1].audioFilename = "audio-shared.mp3";
        document.slots[2].audioFilename = "audio-shared.mp3";
        document.slots[3].audioFilename = "loop-kept.mp3";
        document.masterVolume = 0.25;
        seed(document, {"audio-old.mp3", "image-old.png", "audio-shared.mp3", "loop-kept.mp3"});
    }

    CueSlot slot(std::size_t id) const { return store->document().slots.at(id); }
    std::string import(const std::string& name, const std::string& kind) {
        return store->importFile(sourceFile(name), kind);
    }
    bool inMedia(const std::string& name) const { return mediaNames().contains(name); }
};

TEST_F(MediaLifecycleTest, ReplaceRefusesIdsOffTheBoard) {
    const auto before = libraryContents();
    for (const std::int64_t id : {12, -1}) {
        CueSlot outside = CueSlot::empty(id);
        EXPECT_FALSE(store->replace(outside));
    }
    EXPECT_EQ(libraryContents(), before);
    EXPECT_EQ(probe->count(), 0);
}

TEST_F(MediaLifecycleTest, ReplaceCorrectsOffsetAndGainAndSavesWhatItShows) {
    CueSlot edited = CueSlot::empty(5);
    edited.startSeconds = NAN;
    edited.gainDB = -30;
    ASSERT_TRUE(store->replace(edited));
    EXPECT_EQ(std::pair(slot(5).startSeconds, slot(5).gainDB), std::pair(0.0, -12.0));
    EXPECT_EQ(diskDocument().slots[5], slot(5));
}

TEST_F(MediaLifecycleTest, ReplaceLimitsTheOffsetToTheFilesLengthWhenItCanBeRead) {
    factory->duration = 120.5;
    CueSlot edited = slot(0);
    edited.startSeconds = 500;
    ASSERT_TRUE(store->replace(edited));
    EXPECT_EQ(slot(0).startSeconds, 120.5);
    EXPECT_EQ(factory->requestedURLs.back(), library().mediaURL() / "audio-old.mp3");
    EXPECT_EQ(factory->lastPlayer()->playCount, 0) << "reading the length must not sound";

    factory->failingFilenames = {"audio-old.mp3"};
    ASSERT_TRUE(store->replace(edited));
    EXPECT_EQ(slot(0).startSeconds, 500);
}

TEST_F(MediaLifecycleTest, CommitDeletesOnlyFilesNothingElseReferences) {
    CueSlot edited = slot(0);
    edited.audioFilename = import("new.mp3", "audio");
    edited.imageFilename.reset();
    ASSERT_TRUE(store->replace(edited, {*edited.audioFilename}));
    EXPECT_TRUE(inMedia(*edited.audioFilename));
    EXPECT_FALSE(inMedia("audio-old.mp3"));
    EXPECT_FALSE(inMedia("image-old.png"));

    ASSERT_TRUE(store->replace(CueSlot::empty(1)));  // slot 2 still plays it
    ASSERT_TRUE(store->replace(CueSlot::empty(3)));  // the loop list still plays it
    EXPECT_TRUE(inMedia("audio-shared.mp3"));
    EXPECT_TRUE(inMedia("loop-kept.mp3"));

    store->exportBackup(library().savedSetsURL() / "Friday");
    ASSERT_TRUE(store->replace(CueSlot::empty(2)));
    EXPECT_TRUE(inMedia("audio-shared.mp3")) << "a saved set in the library needs it";
}

// Reading every saved set takes seconds with a large one: an edit that frees
// no file (a new title) reads none.
TEST_F(MediaLifecycleTest, EditThatFreesNoFileReadsNoSavedSet) {
    library().exportBackup(CueDocument::empty(), library().savedSetsURL() / "Friday",
                           LocalFileSystem::shared());
    const auto readsSoFar = [&] {
        return std::ranges::count(fileSystem.log(),
                                  test::FaultInjectingFileSystem::Operation::list);
    };
    const auto before = readsSoFar();
    CueSlot edited = slot(0);
    edited.title = "Opening";
    ASSERT_TRUE(store->replace(edited, {*edited.audioFilename}));
    EXPECT_EQ(readsSoFar(), before);
    ASSERT_TRUE(store->replace(CueSlot::empty(0)));
    EXPECT_GT(readsSoFar(), before) << "a file freed: the sets are read";
    EXPECT_FALSE(inMedia("audio-old.mp3"));
}

// "Media" turned into a link while the window is open: clearing the slot
// deletes nothing through it.
TEST_F(MediaLifecycleTest, ClearingASlotDeletesNothingThroughALinkedMediaFolder) {
    const fs::path outside = temp.path() / "outside";
    fs::rename(library().mediaURL(), outside);
    fs::create_directory_symlink(outside, library().mediaURL());
    probe.reset();  // it reads the library, which is now refused
    EXPECT_FALSE(store->replace(CueSlot::empty(0)));
    EXPECT_EQ(store->persistenceError(),
              "라이브러리의 Media 폴더가 링크이거나 폴더가 아니어서 사용하지 않습니다. 링크를 실제 "
              "폴더로 바꾼 뒤 다시 시작하세요.");
    EXPECT_TRUE(fs::exists(outside / "audio-old.mp3"));
    EXPECT_TRUE(fs::exists(outside / "image-old.png"));
}

// Leftovers are removed only when the application asks (it holds the
// library's lock then), and only after a clean start.
TEST_F(MediaLifecycleTest, LeftoversGoOnlyWhenAskedAfterACleanStart) {
    const fs::path leftover = library().mediaURL() / (".Tavrel-import-" + Uuid::random().text());
    test::writeFile(leftover, "half a copy");
    restart();
    EXPECT_TRUE(fs::exists(leftover)) << "a start removes nothing by itself";
    test::writeFile(library().documentURL(), "not a document");
    restart();
    store->cleanUpLeftovers();
    EXPECT_TRUE(fs::exists(leftover));
    fs::remove(library().documentURL());
    restart();
    store->cleanUpLeftovers();
    EXPECT_FALSE(fs::exists(leftover));
}

TEST_F(MediaLifecycleTest, NothingIsDeletedWhileASavedSetCannotBeRead) {
    test::writeFile(library().savedSetsURL() / "broken" / "cues.json", "{");
    const auto imported = import("new.mp3", "audio");
    ASSERT_TRUE(store->replace(CueSlot::empty(0), {imported}));
    store->discardSessionImports({imported});
    EXPECT_TRUE(inMedia(imported));
    EXPECT_TRUE(inMedia("audio-old.mp3"));
    EXPECT_TRUE(inMedia("image-old.png"));
}

TEST_F(MediaLifecycleTest, NothingIsDeletedInARunThatStartedOnAnUnreadableDocument) {
    test::writeFile(library().documentURL(), "not a document");
    restart();
    ASSERT_FALSE(store->didLoadCleanly());
    const auto imported = import("new.mp3", "audio");
    CueSlot edited = slot(0);
    edited.audioFilename = import("kept.mp3", "audio");
    ASSERT_TRUE(store->replace(edited, {imported, *edited.audioFilename}));
    store->discardSessionImports({imported});
    store->exportBackup(temp.path() / "elsewhere");
    ASSERT_TRUE(store->restoreBackup(temp.path() / "elsewhere"));
    EXPECT_TRUE(inMedia(imported));
    EXPECT_TRUE(inMedia(*edited.audioFilename));
    EXPECT_TRUE(inMedia("audio-old.mp3"));
}

TEST_F(MediaLifecycleTest, LoadingASetSilencesEverythingWhetherOrNotItLoads) {
    store->exportBackup(temp.path() / "set");
    for (const bool valid : {false, true}) {
        store->startLoopPlayback({track(0).id}, 10);
        const auto loopPlayer = lastPlayer();
        EXPECT_EQ(store->restoreBackup(temp.path() / (valid ? "set" : "missing")), valid);
        EXPECT_FALSE(store->loopPlayback());
        EXPECT_EQ(mainLoop.activeTimerCount(), 0u);
        EXPECT_EQ(loopPlayer->stopCount, 1);
        EXPECT_TRUE(controller->state().isStopped());
        EXPECT_EQ(store->persistenceError().has_value(), !valid);
    }
}

TEST_F(MediaLifecycleTest, LoadedSetIsShownSavedHeardAtItsVolumeAndClearsTheMessage) {
    store->exportBackup(temp.path() / "set");
    store->setMasterVolume(0.8);
    fileSystem.failEvery(test::FaultInjectingFileSystem::Operation::writeAtomically);
    store->persistMasterVolume();
    fileSystem.clearFailures();
    ASSERT_TRUE(store->persistenceError());

    probe->reset();
    ASSERT_TRUE(store->restoreBackup(temp.path() / "set"));
    EXPECT_FALSE(store->persistenceError());
    EXPECT_EQ(store->document(), diskDocument());
    EXPECT_EQ(store->document().masterVolume, 0.25);
    EXPECT_EQ(controller->masterVolume(), 0.25) << "the set's volume is what the operator saved";
    EXPECT_EQ(probe->count(), 1);
}

TEST_F(MediaLifecycleTest, LoadDeletesTheOldFilesUnlessASetInTheLibraryNamesThem) {
    const auto original = mediaNames();
    store->exportBackup(library().savedSetsURL() / "kept");
    ASSERT_TRUE(store->restoreBackup(library().savedSetsURL() / "kept"));
    auto expected = original;
    expected.merge(store->document().referencedMediaFilenames());
    EXPECT_EQ(mediaNames(), expected);

    store->exportBackup(temp.path() / "outside");
    ASSERT_TRUE(store->restoreBackup(temp.path() / "outside"));
    expected = original;
    expected.merge(store->document().referencedMediaFilenames());
    EXPECT_EQ(mediaNames(), expected) << "the copies of the first load are gone";
}

TEST_F(MediaLifecycleTest, ExportLeavesPlaybackTheDocumentAndTheLibraryAlone) {
    store->play(slot(0));
    store->setPersistenceError("earlier");
    const auto before = libraryContents();
    probe->reset();
    store->exportBackup(temp.path() / "set");
    EXPECT_EQ(controller->state(), PlaybackState::playing(0));
    EXPECT_EQ(libraryContents(), before);
    EXPECT_EQ(store->persistenceError(), "earlier");
    EXPECT_EQ(probe->count(), 0);
    EXPECT_TRUE(fs::exists(temp.path() / "set" / "Media" / "audio-shared.mp3"));
}

TEST_F(MediaLifecycleTest, WithoutStorageEveryCommandSaysSo) {
    fileSystem.failEvery(test::FaultInjectingFileSystem::Operation::applicationDataDirectory);
    store = CueStore::create(std::nullopt, controller, mainLoop, fileSystem);
    ASSERT_FALSE(store->persistence());
    const std::string unavailable = "Application Support 저장소를 사용할 수 없습니다.";
    EXPECT_THROW(store->importFile(sourceFile("a.mp3"), "audio"), CueStoreError);
    EXPECT_THROW(store->exportBackup(temp.path() / "set"), CueStoreError);

    CueSlot edited = CueSlot::empty(0);
    edited.title = "intro";
    EXPECT_FALSE(store->replace(edited));
    EXPECT_EQ(store->document(), CueDocument::empty());
    EXPECT_EQ(store->persistenceError(), unavailable);
    store->setPersistenceError(std::nullopt);
    EXPECT_FALSE(store->addLoopTracks({sourceFile("a.mp3")}));
    EXPECT_EQ(store->persistenceError(), unavailable);
    store->setPersistenceError(std::nullopt);
    EXPECT_FALSE(store->restoreBackup(temp.path() / "set"));
    EXPECT_EQ(store->persistenceError(), unavailable);
    store->setPersistenceError(std::nullopt);
    store->removeLoopTracks({0});
    EXPECT_EQ(store->persistenceError(), unavailable);
}

}  // namespace
}  // namespace tavrel
