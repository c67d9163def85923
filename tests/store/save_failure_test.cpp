#include <gtest/gtest.h>

#include <functional>

#include "support/store_fixture.h"

namespace tavrel {
namespace {

using Step = std::function<void(test::StoreFixture&, std::string&)>;

// A saving command, after what the user did before it (`prepare`, not checked).
struct Command {
    const char* name;
    Step prepare;
    Step run;
};

const Command commands[] = {
    {"replace",
     [](auto& t, auto& imported) {
         imported = t.store->importFile(t.sourceFile("n.mp3"), "audio");
     },
     [](auto& t, auto& imported) {
         CueSlot edited = t.store->document().slots[0];
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
};

// Every disk call a command makes is failed once, one run per call, first
// before its work and then after it (a rename whose folder flush fails): the
// store either changes nothing and says why, or shows what is on disk with
// every file that names there and no stray copy.
TEST_F(SaveFailureTest, CommandTakesFullEffectOrNoneWhicheverDiskCallFails) {
    for (const bool afterItsWork : {false, true}) {
        for (const auto& command : commands) {
            for (int call = 1;; ++call) {
                SCOPED_TRACE(std::string(command.name) + (afterItsWork ? ", after" : ", at") +
                             " disk call " + std::to_string(call));
                ASSERT_LT(call, 1000);
                resetShow();
                std::string imported;
                if (command.prepare)
                    command.prepare(*this, imported);
                const auto before = test::PublishedState::of(*store);
                const auto contents = libraryContents();
                probe->reset();
                afterItsWork ? fileSystem.failCallAfterDoing(call) : fileSystem.failCall(call);
                command.run(*this, imported);
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

}  // namespace
}  // namespace tavrel
