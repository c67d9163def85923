#include <gtest/gtest.h>

#include "support/store_fixture.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;

// A cue on slot 0 (gain −6 dB), a slot whose copy is gone, and loop tracks A, B, C
// whose ids sort C < B < A, so a set of ids walks them backwards. The probe
// checks in every notification that a published run has a sounding track.
class TransportTest : public test::StoreFixture {
protected:
    TransportTest() { reset(); }
    void reset() {
        CueDocument document = documentWithTracks({"A", "B", "C"});
        for (std::uint8_t i = 0; i < 3; ++i)
            document.loopTracks[i].id = Uuid(std::array<std::uint8_t, 16>{
                0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(3 - i)});
        document.slots[0].audioFilename = "audio-cue.mp3";
        document.slots[0].gainDB = -6;
        document.slots[1].audioFilename = "audio-gone.mp3";
        auto media = trackFiles({"A", "B", "C"});
        media.push_back("audio-cue.mp3");
        seed(document, media);
    }

    const CueSlot& slot(std::size_t id) const { return store->document().slots.at(id); }
    std::set<Uuid> allTracks() const { return {track(0).id, track(1).id, track(2).id}; }
    void removeFile(std::size_t position) {
        std::filesystem::remove(library().mediaURL() / track(position).audioFilename);
    }
    std::string titles() const {
        std::string text;
        for (const auto& track : store->document().loopTracks)
            text += track.title;
        return text;
    }
    // Lets each track end by itself and records what sounds next.
    std::string nextTracks(int count) {
        std::string titles;
        for (int i = 0; i < count; ++i) {
            lastPlayer()->complete();
            titles += controller->currentSlot() ? controller->currentSlot()->title : "-";
        }
        return titles;
    }
    void expectNoLoop() const {
        EXPECT_FALSE(store->loopPlayback());
        EXPECT_EQ(mainLoop.activeTimerCount(), 0u);
    }
};

TEST_F(TransportTest, CueEndsTheLoopRunUnlessRefusedBeforeAnythingStopped) {
    for (const bool paused : {false, true}) {
        store->startLoopPlayback(allTracks(), std::nullopt);
        if (paused)
            store->togglePause();
        const auto session = store->loopPlayback();
        mainLoop.advance(36000);  // an endless run ends only when stopped
        store->play(slot(2));     // no audio
        EXPECT_EQ(controller->errorMessage(), "등록된 음원이 없습니다.");
        store->play(slot(1));  // copy missing
        EXPECT_EQ(controller->errorMessage(), "복사된 음원 파일을 찾을 수 없습니다.");
        EXPECT_EQ(store->loopPlayback(), session);

        store->play(slot(0));
        expectNoLoop();
        EXPECT_EQ(controller->state(), PlaybackState::playing(0));
        EXPECT_EQ(factory->players.end()[-2]->stopCount, 1);
    }
}

// The controller has already stopped the loop's track: a run left published
// would show a loop with nothing sounding, forever when it is infinite.
TEST_F(TransportTest, CueFailingAfterTheLoopWasSilencedEndsTheRunAndKeepsTheMessage) {
    for (const bool opens : {false, true}) {
        (opens ? factory->refusingFilenames : factory->failingFilenames) = {"audio-cue.mp3"};
        store->startLoopPlayback(allTracks(), std::nullopt);
        store->play(slot(0));
        expectNoLoop();
        EXPECT_EQ(controller->errorMessage(),
                  opens ? std::string("오디오 재생을 시작하지 못했습니다.")
                        : test::FakePlayerError().what());
        factory->failingFilenames.clear();
    }
}

TEST_F(TransportTest, StopSilencesLoopAndCuePauseResumesACue) {
    store->startLoopPlayback(allTracks(), 10);
    store->stopPlayback();
    expectNoLoop();
    EXPECT_EQ(lastPlayer()->stopCount, 1);
    store->play(slot(0));
    store->togglePause();
    EXPECT_EQ(controller->state(), PlaybackState::paused(0));
    store->togglePause();
    EXPECT_EQ(controller->state(), PlaybackState::playing(0));
    store->stopPlayback();
    EXPECT_TRUE(controller->state().isStopped());
}

// The run's time runs on the monotonic clock only while it plays, and its
// end cuts the track within one tick.
TEST_F(TransportTest, PausedRunKeepsItsTimeAndTheDeadlineCutsTheTrack) {
    store->startLoopPlayback(allTracks(), 10);
    probe->reset();
    mainLoop.advance(297);
    EXPECT_EQ(probe->count(), 297) << "the remaining time is republished when its second changes";
    store->togglePause();
    const auto paused = store->loopPlayback();
    lastPlayer()->refusePlay = true;
    store->togglePause();  // a player that refuses to resume changes nothing
    lastPlayer()->refusePlay = false;
    // A track that ends inside its pause's fade-out leaves the run paused.
    lastPlayer()->complete();
    mainLoop.advance(3600);
    EXPECT_EQ(store->loopPlayback(), paused);

    store->togglePause();
    EXPECT_EQ(controller->currentSlot()->title, "B") << "resuming moves on at once";
    EXPECT_EQ(store->loopPlayback()->deadline, mainLoop.now() + 303s);
    mainLoop.advance(302.9);
    EXPECT_EQ(store->loopPlayback()->remainingText(), "00:01");
    mainLoop.advance(0.5);
    expectNoLoop();
    EXPECT_TRUE(controller->state().isStopped());
    mainLoop.advance(60);
    EXPECT_EQ(factory->players.size(), 2u);
}

TEST_F(TransportTest, RunStartsItsFirstTrackOverACueOnlyWhenATrackCanPlay) {
    store->play(slot(0));
    removeFile(1);
    store->startLoopPlayback({track(1).id}, 10);
    EXPECT_FALSE(store->loopPlayback());
    EXPECT_EQ(controller->state(), PlaybackState::playing(0));
    EXPECT_EQ(controller->errorMessage(), "등록된 음원이 없습니다.");

    store->startLoopPlayback({track(0).id}, 10);
    store->startLoopPlayback(allTracks(), 30);  // replaces the first run
    EXPECT_EQ(factory->players[0]->stopCount + factory->players[1]->stopCount, 2);
    EXPECT_EQ(store->loopPlayback()->tracks.size(), 2u)
        << "a track missing at the start is left out";
    EXPECT_EQ(store->loopPlayback()->remainingText(), "30:00");
    EXPECT_EQ(controller->currentSlot()->usage, "반복 재생");
    EXPECT_EQ(nextTracks(3), "CAC");

    store->startLoopPlayback(allTracks(), -5);
    EXPECT_EQ(store->loopPlayback()->deadline, mainLoop.now() + 60s) << "at least a minute";
}

TEST_F(TransportTest, TracksPlayInListOrderSkippingOnesThatCannotPlay) {
    store->startLoopPlayback(allTracks(), std::nullopt);
    EXPECT_EQ(nextTracks(4), "BCAB");
    removeFile(2);
    EXPECT_EQ(nextTracks(2), "AB");
    EXPECT_FALSE(controller->errorMessage()) << "a gone file is skipped quietly";
    factory->failingFilenames = {"loop-A.mp3"};
    EXPECT_EQ(nextTracks(1), "B") << "a track that cannot open is skipped at once";

    factory->refusingFilenames = {"loop-B.mp3"};
    lastPlayer()->complete();
    expectNoLoop();
    EXPECT_EQ(controller->errorMessage(), "오디오 재생을 시작하지 못했습니다.");
}

// Escape: over this machine's fade time; the run ends at once, the sound when its fade does.
TEST_F(TransportTest, FadeTakesThePreferredTimeAndEndsTheLoopRun) {
    Preferences preferences = store->preferences();
    preferences.fadeSeconds = 4.5;
    ASSERT_TRUE(store->setPreferences(preferences));
    store->startLoopPlayback(allTracks(), 10);
    store->fadeOut();
    expectNoLoop();
    EXPECT_EQ(lastPlayer()->fadeSeconds, std::vector<double>{4.5});
    lastPlayer()->complete();
    EXPECT_TRUE(controller->state().isStopped());
    EXPECT_EQ(factory->players.size(), 1u) << "the run went on";
}

TEST_F(TransportTest, MovedRowsLandBeforeTheRowAtTheDestination) {
    const std::tuple<std::set<std::size_t>, std::size_t, std::string> cases[] = {
        {{2}, 1, "ACB"}, {{0}, 2, "BAC"}, {{1, 2}, 0, "BCA"}, {{0}, 9, "BCA"}, {{2, 7}, 0, "CAB"},
    };
    for (const auto& [positions, destination, expected] : cases) {
        store->moveLoopTracks(positions, destination);
        EXPECT_EQ(titles(), expected) << destination;
        EXPECT_EQ(diskDocument(), store->document());
        reset();
    }
}

TEST_F(TransportTest, AddedFilesAreCopiedAndTitledByTheirNamesOrNoneIs) {
    const auto media = mediaNames();
    EXPECT_FALSE(store->addLoopTracks(
        {sourceFile("one.mp3"), temp.path() / "no-such.mp3", sourceFile("three.mp3")}));
    EXPECT_EQ(titles(), "ABC");
    EXPECT_EQ(mediaNames(), media) << "the first file's copy is gone again";
    EXPECT_TRUE(store->persistenceError());

    const auto walkIn = sourceFile("Walk in.mp3");
    const auto bare = sourceFile(".mp3");
    ASSERT_TRUE(store->addLoopTracks({walkIn, bare}));
    EXPECT_EQ(titles(), "ABCWalk in반복 곡");
    EXPECT_TRUE(track(3).audioFilename.starts_with("loop-") &&
                track(3).audioFilename.ends_with(".mp3"));
    EXPECT_EQ(track(4).audioFilename.find('.'), std::string::npos);
    const auto copy = [&](std::size_t row) {
        return test::readFile(library().mediaURL() / track(row).audioFilename);
    };
    EXPECT_EQ(copy(3) + copy(4), test::readFile(walkIn) + test::readFile(bare));
}

TEST_F(TransportTest, RemovedRowsTakeOnlyFilesNothingElseUses) {
    CueDocument document = documentWithTracks({"A", "B", "C"});
    document.loopTracks.push_back(document.loopTracks[2]);
    document.loopTracks.back().id = Uuid::random();  // a second row on C's file
    document.slots[0].audioFilename = "loop-B.mp3";
    seed(document, trackFiles({"A", "B", "C"}));
    store->play(slot(0));
    store->removeLoopTracks({0, 1, 2, 99});
    EXPECT_EQ(titles(), "C");
    EXPECT_EQ(mediaNames(), (std::set<std::string>{"audio-cue.mp3", "loop-B.mp3", "loop-C.mp3"}));
    EXPECT_TRUE(controller->state().isStopped()) << "removing rows silences a cue";
}

TEST_F(TransportTest, ListCannotChangeWhileALoopRunExists) {
    store->startLoopPlayback({track(0).id}, std::nullopt);
    store->togglePause();  // even with nothing sounding
    const auto before = libraryContents();
    EXPECT_FALSE(store->addLoopTracks({sourceFile("new.mp3")}));
    store->removeLoopTracks({0});
    store->moveLoopTracks({0}, 3);
    EXPECT_EQ(libraryContents(), before);
}

}  // namespace
}  // namespace tavrel
