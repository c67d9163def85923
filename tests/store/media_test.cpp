#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "persistence/local_file_system.h"
#include "support/store_fixture.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;
using Operation = test::FaultInjectingFileSystem::Operation;

// Slot 0 uses "audio-old.mp3" and "image-old.png"; "audio-shared.mp3" is the
// audio of slots 1 and 2; slot 3 plays loop track A's file. "set" outside the
// library holds a copy of it all.
class MediaTest : public test::StoreFixture {
public:
    MediaTest() { resetShow(); }
    void resetShow() {
        fs::remove_all(library().rootURL());
        fs::remove_all(temp.path() / "set");
        CueDocument document = documentWithTracks({"A", "B", "C"});
        document.slots[0].audioFilename = "audio-old.mp3";
        document.slots[0].imageFilename = "image-old.png";
        document.slots[1].audioFilename = document.slots[2].audioFilename = "audio-shared.mp3";
        document.slots[3].audioFilename = "loop-A.mp3";
        document.masterVolume = 0.25;
        auto media = trackFiles({"A", "B", "C"});
        media.insert(media.end(), {"audio-old.mp3", "image-old.png", "audio-shared.mp3"});
        seed(document, media);
        store->exportBackup(temp.path() / "set");
    }

    CueSlot slot(std::size_t id) const { return store->document().slots.at(id); }
    std::string import(const std::string& name) {
        return store->importFile(sourceFile(name), "audio");
    }
    bool inMedia(const std::string& name) const { return mediaNames().contains(name); }
};

using Step = std::function<void(MediaTest&, std::string&)>;
// A saving command, after what the user did before it (`prepare`, not checked).
const std::tuple<const char*, Step, Step> savingCommands[] = {
    {"replace", [](auto& t, auto& imported) { imported = t.import("n.mp3"); },
     [](auto& t, auto& imported) {
         CueSlot edited = t.slot(0);
         edited.audioFilename = imported;
         t.store->replace(edited, {imported});
     }},
    {"clear slot", nullptr, [](auto& t, auto&) { t.store->replace(CueSlot::empty(0)); }},
    {"persist master volume", [](auto& t, auto&) { t.store->setMasterVolume(0.3); },
     [](auto& t, auto&) { t.store->persistMasterVolume(); }},
    {"add loop tracks", nullptr,
     [](auto& t, auto&) {
         t.store->addLoopTracks({t.sourceFile("x.mp3"), t.sourceFile("y.mp3")});
     }},
    {"add no loop tracks", nullptr, [](auto& t, auto&) { t.store->addLoopTracks({}); }},
    {"remove loop tracks", nullptr,
     [](auto& t, auto&) {
         t.store->removeLoopTracks({0, 2});
     }},
    {"move loop tracks", nullptr, [](auto& t, auto&) { t.store->moveLoopTracks({0}, 3); }},
    {"load a set", nullptr, [](auto& t, auto&) { t.store->restoreBackup(t.temp.path() / "set"); }},
};

// Every disk call a command makes is failed once, one run per call, first
// before its work and then after it (a rename whose folder flush fails): the
// store either changes nothing and says why, or shows what is on disk with
// every file that names there and no stray copy.
TEST_F(MediaTest, SavingCommandTakesFullEffectOrNoneWhicheverDiskCallFails) {
    for (const bool afterItsWork : {false, true}) {
        for (const auto& [name, prepare, run] : savingCommands) {
            for (int call = 1;; ++call) {
                SCOPED_TRACE(std::string(name) + (afterItsWork ? ", after" : ", at") +
                             " disk call " + std::to_string(call));
                ASSERT_LT(call, 1000);
                resetShow();
                std::string imported;
                if (prepare)
                    prepare(*this, imported);
                const auto before = test::PublishedState::of(*store);
                const auto contents = libraryContents();
                probe->reset();
                afterItsWork ? fileSystem.failCallAfterDoing(call) : fileSystem.failCall(call);
                run(*this, imported);
                const bool failed = fileSystem.didFail();
                fileSystem.clearFailures();
                EXPECT_EQ(probe->count(), 1);
                if (!failed)
                    break;
                if (store->persistenceError() && libraryContents() == contents) {
                    auto after = test::PublishedState::of(*store);
                    after.persistenceError = before.persistenceError;
                    EXPECT_EQ(after, before);
                    continue;
                }
                CueDocument memory = store->document();
                memory.normalize();
                EXPECT_EQ(diskDocument(), memory);
                const auto media = mediaNames();
                for (const auto& name : memory.referencedMediaFilenames())
                    EXPECT_TRUE(media.contains(name)) << name;
                // A restore's staging folder that could not be removed goes
                // with the next start's clean-up.
                for (const auto& name : media)
                    EXPECT_TRUE(name.front() != '.' || name.starts_with(".Tavrel-restore-"))
                        << name;
            }
        }
    }
}

TEST_F(MediaTest, ReplaceRefusesIdsOffTheBoardAndCorrectsWhatItSaves) {
    const auto before = libraryContents();
    EXPECT_FALSE(store->replace(CueSlot::empty(12)) || store->replace(CueSlot::empty(-1)));
    EXPECT_EQ(libraryContents(), before);

    CueSlot edited = CueSlot::empty(5);
    edited.startSeconds = NAN;
    edited.gainDB = -30;
    ASSERT_TRUE(store->replace(edited));
    EXPECT_EQ(std::pair(slot(5).startSeconds, slot(5).gainDB), std::pair(0.0, -12.0));

    // The offset stops at the file's length when that can be read, silently.
    factory->duration = 120.5;
    edited = slot(0);
    edited.startSeconds = 500;
    ASSERT_TRUE(store->replace(edited));
    EXPECT_EQ(slot(0).startSeconds, 120.5);
    EXPECT_EQ(factory->lastPlayer()->playCount, 0);
}

TEST_F(MediaTest, CommitDeletesOnlyFilesNothingElseReferences) {
    CueSlot edited = slot(0);
    edited.audioFilename = import("new.mp3");
    edited.imageFilename.reset();
    ASSERT_TRUE(store->replace(edited, {*edited.audioFilename}));
    EXPECT_FALSE(inMedia("audio-old.mp3") || inMedia("image-old.png") ||
                 !inMedia(*edited.audioFilename));

    ASSERT_TRUE(store->replace(CueSlot::empty(1)));  // slot 2 still plays it
    ASSERT_TRUE(store->replace(CueSlot::empty(3)));  // the loop list still plays it
    store->exportBackup(library().savedSetsURL() / "Friday");
    ASSERT_TRUE(store->replace(CueSlot::empty(2)));  // a saved set in the library needs it
    EXPECT_TRUE(inMedia("audio-shared.mp3") && inMedia("loop-A.mp3"));
}

// "Media" turned into a link while the window is open: clearing the slot
// deletes nothing through it.
TEST_F(MediaTest, ClearingASlotDeletesNothingThroughALinkedMediaFolder) {
    const fs::path outside = temp.path() / "outside";
    const auto media = mediaNames();
    fs::rename(library().mediaURL(), outside);
    fs::create_directory_symlink(outside, library().mediaURL());
    probe.reset();  // it reads the library, which is now refused
    EXPECT_FALSE(store->replace(CueSlot::empty(0)));
    EXPECT_EQ(store->persistenceError(),
              "라이브러리의 Media 폴더가 링크이거나 폴더가 아니어서 사용하지 않습니다. 링크를 실제 "
              "폴더로 바꾼 뒤 다시 시작하세요.");
    EXPECT_EQ(test::entryNames(outside), media);
}

// Leftovers are removed only when the application asks (it holds the
// library's lock then), and only after a clean start.
TEST_F(MediaTest, LeftoversGoOnlyWhenAskedAfterACleanStart) {
    const fs::path leftover = library().mediaURL() / (".Tavrel-import-" + Uuid::random().text());
    test::writeFile(leftover, "half a copy");
    for (const bool clean : {false, true}) {
        const auto document = test::readFile(library().documentURL());
        if (!clean)
            test::writeFile(library().documentURL(), "not a document");
        restart();
        EXPECT_TRUE(fs::exists(leftover)) << "a start removes nothing by itself";
        store->cleanUpLeftovers();
        EXPECT_EQ(fs::exists(leftover), !clean);
        test::writeFile(library().documentURL(), document);
    }
}

// Without knowing every reference, deleting could take a file still in use.
TEST_F(MediaTest, NothingIsDeletedWhileAnyReferenceCannotBeRead) {
    for (const bool documentBroken : {false, true}) {
        SCOPED_TRACE(documentBroken ? "unreadable document at start" : "unreadable saved set");
        resetShow();
        const auto media = mediaNames();
        if (documentBroken) {
            test::writeFile(library().documentURL(), "not a document");
            restart();
        } else {
            test::writeFile(library().savedSetsURL() / "broken" / "cues.json", "{");
        }
        const auto imported = import("new.mp3");
        ASSERT_TRUE(store->replace(CueSlot::empty(0), {imported}));
        store->discardSessionImports({imported});
        ASSERT_TRUE(store->restoreBackup(temp.path() / "set"));
        EXPECT_TRUE(inMedia(imported));
        EXPECT_TRUE(std::ranges::includes(mediaNames(), media));
    }
}

// Loading silences everything whether or not it loads; a loaded set is shown
// as saved, heard at its own volume, and frees the old copies unless a set in
// the library names them. Exporting changes nothing.
TEST_F(MediaTest, LoadingASetReplacesTheShowAndExportLeavesItAlone) {
    const auto original = mediaNames();
    store->exportBackup(library().savedSetsURL() / "kept");
    store->setMasterVolume(0.8);
    for (const bool valid : {false, true}) {
        store->startLoopPlayback({track(0).id}, 10);
        EXPECT_EQ(store->restoreBackup(library().savedSetsURL() / (valid ? "kept" : "missing")),
                  valid);
        EXPECT_FALSE(store->loopPlayback());
        EXPECT_TRUE(controller->state().isStopped());
        EXPECT_EQ(store->persistenceError().has_value(), !valid);
    }
    EXPECT_EQ(controller->masterVolume(), 0.25) << "the set's volume is what the operator saved";
    auto expected = original;
    expected.merge(store->document().referencedMediaFilenames());
    EXPECT_EQ(mediaNames(), expected) << "the set in the library keeps the old files";

    store->play(slot(0));
    store->setPersistenceError("earlier");
    const auto before = libraryContents();
    store->exportBackup(temp.path() / "elsewhere");
    EXPECT_EQ(controller->state(), PlaybackState::playing(0));
    EXPECT_EQ(std::pair(libraryContents(), store->persistenceError()),
              std::pair(before, std::optional<std::string>("earlier")));
    EXPECT_EQ(test::entryNames(temp.path() / "elsewhere" / "Media"),
              store->document().referencedMediaFilenames());

    ASSERT_TRUE(store->restoreBackup(temp.path() / "set"));
    EXPECT_EQ(store->document(), diskDocument());
    expected = original;
    expected.merge(store->document().referencedMediaFilenames());
    EXPECT_EQ(mediaNames(), expected) << "the copies of the first load are gone";
}

}  // namespace
}  // namespace tavrel
