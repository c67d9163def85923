#include <gtest/gtest.h>

#include "model/document_json.h"
#include "support/store_fixture.h"

namespace tavrel {
namespace {

class LoopListTest : public test::StoreFixture {
protected:
    LoopListTest() {
        seed(documentWithTracks({"A", "B", "C", "D"}), trackFiles({"A", "B", "C", "D"}));
    }

    std::string titles() const {
        std::string text;
        for (const auto& track : store->document().loopTracks)
            text += track.title;
        return text;
    }
};

TEST_F(LoopListTest, MovedRowsLandBeforeTheRowAtTheDestination) {
    const std::tuple<std::set<std::size_t>, std::size_t, std::string> cases[] = {
        {{2}, 1, "ACBD"},    {{0}, 3, "BCAD"}, {{1}, 4, "ACDB"},
        {{0, 2}, 4, "BDAC"}, {{0}, 9, "BCDA"}, {{3, 7}, 0, "DABC"},
    };
    for (const auto& [positions, destination, expected] : cases) {
        seed(documentWithTracks({"A", "B", "C", "D"}), trackFiles({"A", "B", "C", "D"}));
        store->moveLoopTracks(positions, destination);
        EXPECT_EQ(titles(), expected) << destination;
        EXPECT_EQ(diskDocument(), store->document());
    }
}

TEST_F(LoopListTest, AddedFilesAreCopiedAndTitledByTheirNamesOrNoneIs) {
    const auto media = mediaNames();
    EXPECT_FALSE(store->addLoopTracks(
        {sourceFile("one.mp3"), temp.path() / "no-such.mp3", sourceFile("three.mp3")}));
    EXPECT_EQ(titles(), "ABCD");
    EXPECT_EQ(mediaNames(), media) << "the first file's copy is gone again";
    EXPECT_TRUE(store->persistenceError());

    const auto walkIn = sourceFile("Walk in.mp3");
    const auto bare = sourceFile(".mp3");
    ASSERT_TRUE(store->addLoopTracks({walkIn, bare}));
    EXPECT_EQ(titles(), "ABCDWalk in반복 곡");
    EXPECT_TRUE(track(4).audioFilename.starts_with("loop-") &&
                track(4).audioFilename.ends_with(".mp3"));
    EXPECT_EQ(track(5).audioFilename.find('.'), std::string::npos);
    EXPECT_EQ(test::readFile(library().mediaURL() / track(4).audioFilename),
              test::readFile(walkIn));
    EXPECT_EQ(test::readFile(library().mediaURL() / track(5).audioFilename), test::readFile(bare));
    EXPECT_EQ(diskDocument(), store->document());
}

TEST_F(LoopListTest, RemovedRowsTakeOnlyFilesNothingElseUses) {
    CueDocument document = documentWithTracks({"A", "B", "C", "D"});
    document.loopTracks.push_back(document.loopTracks[2]);
    document.loopTracks.back().id = Uuid::random();  // a second row on C's file
    document.slots[0].audioFilename = "loop-B.mp3";
    document.slots[1].audioFilename = "audio-cue.mp3";
    auto media = trackFiles({"A", "B", "C", "D"});
    media.push_back("audio-cue.mp3");
    seed(document, media);
    test::writeFile(library().savedSetsURL() / "set" / "cues.json",
                    encodeDocument(documentWithTracks({"D"})));
    store->play(store->document().slots[1]);

    store->removeLoopTracks({0, 1, 2, 3, 99});
    EXPECT_EQ(titles(), "C");
    media.erase(media.begin());
    EXPECT_EQ(mediaNames(), std::set<std::string>(media.begin(), media.end()));
    EXPECT_TRUE(controller->state().isStopped()) << "removing rows silences a cue";
    EXPECT_EQ(diskDocument(), store->document());
}

TEST_F(LoopListTest, ListCannotChangeWhileALoopRunExists) {
    for (const bool paused : {false, true}) {
        store->startLoopPlayback({track(0).id}, std::nullopt);
        if (paused)
            store->togglePause();
        const auto before = libraryContents();
        probe->reset();
        EXPECT_FALSE(store->addLoopTracks({sourceFile("new.mp3")}));
        store->removeLoopTracks({0});
        store->moveLoopTracks({0}, 3);
        EXPECT_EQ(libraryContents(), before);
        EXPECT_EQ(probe->count(), 0);
    }
}

}  // namespace
}  // namespace tavrel
