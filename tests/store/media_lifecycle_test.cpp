#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "persistence/local_file_system.h"
#include "support/store_fixture.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;
using Operation = test::FaultInjectingFileSystem::Operation;

// Slot 0 uses "audio-old.mp3" and "image-old.png"; "audio-shared.mp3" is the
// audio of slots 1 and 2; slot 3 plays the loop track's file.
class MediaLifecycleTest : public test::StoreFixture {
protected:
    MediaLifecycleTest() {
        CueDocument document = documentWithTracks({"kept"});
        document.slots[0].audioFilename = "audio-old.mp3";
        document.slots[0].imageFilename = "image-old.png";
        document.slots[1].audioFilename = document.slots[2].audioFilename = "audio-shared.mp3";
        document.slots[3].audioFilename = "loop-kept.mp3";
        document.masterVolume = 0.25;
        seed(document, {"audio-old.mp3", "image-old.png", "audio-shared.mp3", "loop-kept.mp3"});
    }

    CueSlot slot(std::size_t id) const { return store->document().slots.at(id); }
    std::string import(const std::string& name) {
        return store->importFile(sourceFile(name), "audio");
    }
    bool inMedia(const std::string& name) const { return mediaNames().contains(name); }
    long lists() const { return std::ranges::count(fileSystem.log(), Operation::list); }
};

TEST_F(MediaLifecycleTest, ReplaceRefusesIdsOffTheBoardAndCorrectsWhatItSaves) {
    const auto before = libraryContents();
    EXPECT_FALSE(store->replace(CueSlot::empty(12)));
    EXPECT_FALSE(store->replace(CueSlot::empty(-1)));
    EXPECT_EQ(libraryContents(), before);

    CueSlot edited = CueSlot::empty(5);
    edited.startSeconds = NAN;
    edited.gainDB = -30;
    ASSERT_TRUE(store->replace(edited));
    EXPECT_EQ(std::pair(slot(5).startSeconds, slot(5).gainDB), std::pair(0.0, -12.0));
    EXPECT_EQ(diskDocument().slots[5], slot(5));

    // The offset stops at the file's length when that can be read, silently.
    factory->duration = 120.5;
    edited = slot(0);
    edited.startSeconds = 500;
    ASSERT_TRUE(store->replace(edited));
    EXPECT_EQ(slot(0).startSeconds, 120.5);
    EXPECT_EQ(factory->lastPlayer()->playCount, 0);
    factory->failingFilenames = {"audio-old.mp3"};
    ASSERT_TRUE(store->replace(edited));
    EXPECT_EQ(slot(0).startSeconds, 500);
}

TEST_F(MediaLifecycleTest, CommitDeletesOnlyFilesNothingElseReferences) {
    library().exportBackup(CueDocument::empty(), library().savedSetsURL() / "empty",
                           LocalFileSystem::shared());
    CueSlot edited = slot(0);
    edited.title = "Opening";
    const auto listsBefore = lists();
    ASSERT_TRUE(store->replace(edited));
    EXPECT_EQ(lists(), listsBefore) << "an edit that frees no file reads no saved set";

    edited.audioFilename = import("new.mp3");
    edited.imageFilename.reset();
    ASSERT_TRUE(store->replace(edited, {*edited.audioFilename}));
    EXPECT_EQ(mediaNames(),
              (std::set<std::string>{*edited.audioFilename, "audio-shared.mp3", "loop-kept.mp3"}));

    ASSERT_TRUE(store->replace(CueSlot::empty(1)));  // slot 2 still plays it
    ASSERT_TRUE(store->replace(CueSlot::empty(3)));  // the loop list still plays it
    store->exportBackup(library().savedSetsURL() / "Friday");
    ASSERT_TRUE(store->replace(CueSlot::empty(2)));  // a saved set in the library needs it
    EXPECT_TRUE(inMedia("audio-shared.mp3"));
    EXPECT_TRUE(inMedia("loop-kept.mp3"));
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
    EXPECT_EQ(test::entryNames(outside).size(), 4u);
}

// Leftovers are removed only when the application asks (it holds the
// library's lock then), and only after a clean start.
TEST_F(MediaLifecycleTest, LeftoversGoOnlyWhenAskedAfterACleanStart) {
    const fs::path leftover = library().mediaURL() / (".Tavrel-import-" + Uuid::random().text());
    test::writeFile(leftover, "half a copy");
    for (const bool clean : {false, true}) {
        test::writeFile(library().documentURL(), "not a document");
        if (clean)
            fs::remove(library().documentURL());
        restart();
        EXPECT_TRUE(fs::exists(leftover)) << "a start removes nothing by itself";
        store->cleanUpLeftovers();
        EXPECT_EQ(fs::exists(leftover), !clean);
    }
}

// Without knowing every reference, deleting could take a file still in use.
TEST_F(MediaLifecycleTest, NothingIsDeletedWhileAnyReferenceCannotBeRead) {
    for (const bool documentBroken : {false, true}) {
        SCOPED_TRACE(documentBroken ? "unreadable document at start" : "unreadable saved set");
        seed(documentWithTracks({}), {"audio-old.mp3"});
        if (documentBroken) {
            test::writeFile(library().documentURL(), "not a document");
            restart();
        } else {
            test::writeFile(library().savedSetsURL() / "broken" / "cues.json", "{");
        }
        const auto imported = import("new.mp3");
        ASSERT_TRUE(store->replace(CueSlot::empty(0), {imported}));
        store->discardSessionImports({imported});
        store->exportBackup(temp.path() / "elsewhere");
        ASSERT_TRUE(store->restoreBackup(temp.path() / "elsewhere"));
        EXPECT_TRUE(inMedia(imported));
        EXPECT_TRUE(inMedia("audio-old.mp3"));
        fs::remove_all(library().rootURL());
        fs::remove_all(temp.path() / "elsewhere");
    }
}

TEST_F(MediaLifecycleTest, LoadingASetSilencesEverythingWhetherOrNotItLoads) {
    store->exportBackup(temp.path() / "set");
    for (const bool valid : {false, true}) {
        store->startLoopPlayback({track(0).id}, 10);
        const auto loopPlayer = lastPlayer();
        EXPECT_EQ(store->restoreBackup(temp.path() / (valid ? "set" : "missing")), valid);
        EXPECT_FALSE(store->loopPlayback());
        EXPECT_EQ(loopPlayer->stopCount, 1);
        EXPECT_TRUE(controller->state().isStopped());
        EXPECT_EQ(store->persistenceError().has_value(), !valid);
    }
}

TEST_F(MediaLifecycleTest, LoadedSetIsSavedHeardAtItsVolumeAndFreesTheOldFiles) {
    const auto original = mediaNames();
    store->exportBackup(library().savedSetsURL() / "kept");
    store->exportBackup(temp.path() / "outside");
    store->setMasterVolume(0.8);
    fileSystem.failEvery(Operation::writeAtomically);
    store->persistMasterVolume();
    fileSystem.clearFailures();
    ASSERT_TRUE(store->persistenceError());

    ASSERT_TRUE(store->restoreBackup(library().savedSetsURL() / "kept"));
    EXPECT_FALSE(store->persistenceError());
    EXPECT_EQ(controller->masterVolume(), 0.25) << "the set's volume is what the operator saved";
    auto expected = original;
    expected.merge(store->document().referencedMediaFilenames());
    EXPECT_EQ(mediaNames(), expected) << "the set in the library keeps the old files";

    ASSERT_TRUE(store->restoreBackup(temp.path() / "outside"));
    EXPECT_EQ(store->document(), diskDocument());
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
    EXPECT_EQ(test::entryNames(temp.path() / "set" / "Media"), mediaNames());
}

}  // namespace
}  // namespace tavrel
