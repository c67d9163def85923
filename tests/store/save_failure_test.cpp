#include <gtest/gtest.h>

#include <functional>

#include "support/store_fixture.h"

namespace tavrel {
namespace {

using Operation = test::FaultInjectingFileSystem::Operation;

class SaveFailureTest;

// A saving command: `prepare` is what the user did before it (not checked).
struct Command {
    const char* name;
    std::function<void(SaveFailureTest&)> prepare;
    std::function<void(SaveFailureTest&)> run;
};

class SaveFailureTest : public test::StoreFixture {
public:
    // A show with media in slots and the loop list, and a set of it outside the library.
    void resetShow() {
        std::filesystem::remove_all(library().rootURL());
        std::filesystem::remove_all(temp.path() / "set");
        CueDocument document = documentWithTracks({"A", "B", "C"});
        document.slots[0].audioFilename = "audio-old.mp3";
        document.slots[0].imageFilename = "image-old.png";
        document.masterVolume = 0.5;
        auto media = trackFiles({"A", "B", "C"});
        media.insert(media.end(), {"audio-old.mp3", "image-old.png"});
        seed(document, media);
        store->exportBackup(temp.path() / "set");
    }

    void expectUnchanged(const test::PublishedState& before,
                         const std::map<std::string, std::string>& contents) {
        test::PublishedState after = test::PublishedState::of(*store);
        after.persistenceError = before.persistenceError;
        EXPECT_EQ(after, before);
        EXPECT_EQ(libraryContents(), contents);
    }

    std::string imported;
};

const Command commands[] = {
    {"replace",
     [](SaveFailureTest& t) { t.imported = t.store->importFile(t.sourceFile("new.mp3"), "audio"); },
     [](SaveFailureTest& t) {
         CueSlot edited = t.store->document().slots[0];
         edited.audioFilename = t.imported;
         t.store->replace(edited, {t.imported});
     }},
    {"clear slot", nullptr, [](SaveFailureTest& t) { t.store->replace(CueSlot::empty(0)); }},
    {"persist master volume", [](SaveFailureTest& t) { t.store->setMasterVolume(0.3); },
     [](SaveFailureTest& t) { t.store->persistMasterVolume(); }},
    {"add loop tracks", nullptr,
     [](SaveFailureTest& t) {
         t.store->addLoopTracks({t.sourceFile("x.mp3"), t.sourceFile("y.mp3")});
     }},
    {"add no loop tracks", nullptr, [](SaveFailureTest& t) { t.store->addLoopTracks({}); }},
    {"remove loop tracks", nullptr,
     [](SaveFailureTest& t) {
         t.store->removeLoopTracks({0, 2});
     }},
    {"move loop tracks", nullptr, [](SaveFailureTest& t) { t.store->moveLoopTracks({0}, 3); }},
    {"load a set", nullptr,
     [](SaveFailureTest& t) { t.store->restoreBackup(t.temp.path() / "set"); }},
};

// Every disk call a command makes is failed once, one run per call, first
// before its work and then after it (a rename whose folder flush fails): the
// store always shows what is on disk, and every file that names is there.
TEST_F(SaveFailureTest, CommandTakesFullEffectOrNoneWhicheverDiskCallFails) {
    for (const bool afterItsWork : {false, true}) {
        for (const auto& command : commands) {
            SCOPED_TRACE(command.name);
            for (int call = 1;; ++call) {
                SCOPED_TRACE((afterItsWork ? "failing after disk call " : "failing disk call ") +
                             std::to_string(call));
                ASSERT_LT(call, 1000);
                resetShow();
                if (command.prepare)
                    command.prepare(*this);
                const auto before = test::PublishedState::of(*store);
                const auto contents = libraryContents();
                probe->reset();
                if (afterItsWork)
                    fileSystem.failCallAfterDoing(call);
                else
                    fileSystem.failCall(call);
                command.run(*this);
                const bool failed = fileSystem.didFail();
                fileSystem.clearFailures();
                EXPECT_EQ(probe->count(), 1);
                if (!failed)
                    break;
                if (store->persistenceError() && libraryContents() == contents) {
                    expectUnchanged(before, contents);
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
                for (const auto& name : media) {
                    if (!name.starts_with(".Tavrel-restore-")) {
                        EXPECT_NE(name.front(), '.') << "left behind: " << name;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace tavrel
