#include <gtest/gtest.h>

#include "support/store_fixture.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;

// A show with a cue on slot 0 (gain −6 dB), a slot whose copy is gone, and two loop tracks.
class CueTransportTest : public test::StoreFixture {
protected:
    CueTransportTest() {
        CueDocument document = documentWithTracks({"A", "B"});
        document.slots[0].audioFilename = "audio-cue.mp3";
        document.slots[0].gainDB = -6;
        document.slots[1].audioFilename = "audio-gone.mp3";
        auto media = trackFiles({"A", "B"});
        media.push_back("audio-cue.mp3");
        seed(document, media);
    }

    const CueSlot& slot(std::size_t id) const { return store->document().slots.at(id); }
    void startLoop(std::optional<std::int64_t> minutes = 10) {
        store->startLoopPlayback({track(0).id, track(1).id}, minutes);
        if (!store->loopPlayback())
            throw std::logic_error("the loop run did not start");
    }
    void expectNoLoop() const {
        EXPECT_FALSE(store->loopPlayback());
        EXPECT_FALSE(store->activeLoopTrackID());
        EXPECT_EQ(mainLoop.activeTimerCount(), 0u);
    }
};

TEST_F(CueTransportTest, SuccessfulCueEndsARunningOrPausedLoopAndPlays) {
    for (const bool paused : {false, true}) {
        startLoop();
        if (paused)
            store->togglePause();
        const auto loopPlayer = lastPlayer();
        probe->reset();
        store->play(slot(0));
        expectNoLoop();
        EXPECT_EQ(controller->state(), PlaybackState::playing(0));
        EXPECT_EQ(loopPlayer->stopCount, 1);
        EXPECT_EQ(probe->count(), 1);
    }
}

TEST_F(CueTransportTest, CueFailingBeforeAnythingStoppedLeavesTheLoopAlone) {
    startLoop();
    const auto session = store->loopPlayback();
    probe->reset();
    store->play(slot(2));  // no audio
    EXPECT_EQ(controller->errorMessage(), "등록된 음원이 없습니다.");
    store->play(slot(1));  // copy missing
    EXPECT_EQ(controller->errorMessage(), "복사된 음원 파일을 찾을 수 없습니다.");
    EXPECT_EQ(store->loopPlayback(), session);
    EXPECT_EQ(store->activeLoopTrackID(), track(0).id);
    EXPECT_EQ(controller->state(), PlaybackState::playing(-1));
    EXPECT_EQ(lastPlayer()->stopCount, 0);
    EXPECT_EQ(probe->count(), 0);
}

// The controller has already stopped the loop's track: a run left published
// would show a loop with nothing sounding, forever when it is infinite.
TEST_F(CueTransportTest, CueFailingAfterTheLoopWasSilencedEndsTheRunAndKeepsTheMessage) {
    factory->failingFilenames = {"audio-cue.mp3"};
    startLoop(10);
    store->play(slot(0));
    expectNoLoop();
    EXPECT_TRUE(controller->state().isStopped());
    EXPECT_EQ(controller->errorMessage(), test::FakePlayerError().what());

    factory->failingFilenames.clear();
    factory->refusingFilenames = {"audio-cue.mp3"};
    startLoop(std::nullopt);
    store->togglePause();
    probe->reset();
    store->play(slot(0));
    expectNoLoop();
    EXPECT_EQ(controller->errorMessage(), "오디오 재생을 시작하지 못했습니다.");
    EXPECT_EQ(probe->count(), 1);
}

TEST_F(CueTransportTest, StopPlaybackSilencesLoopAndCueAndIsHarmlessWhenIdle) {
    probe->reset();
    store->stopPlayback();
    EXPECT_EQ(probe->count(), 0);
    EXPECT_TRUE(factory->players.empty());

    startLoop();
    const auto loopPlayer = lastPlayer();
    store->stopPlayback();
    expectNoLoop();
    EXPECT_EQ(loopPlayer->stopCount, 1);
    EXPECT_TRUE(controller->state().isStopped());

    store->play(slot(0));
    store->stopPlayback();
    EXPECT_EQ(lastPlayer()->stopCount, 1);
    EXPECT_TRUE(controller->state().isStopped());
}

TEST_F(CueTransportTest, TogglePauseWithoutALoopPausesAndResumesTheCue) {
    store->play(slot(0));
    probe->reset();
    store->togglePause();
    EXPECT_EQ(controller->state(), PlaybackState::paused(0));
    store->togglePause();
    EXPECT_EQ(controller->state(), PlaybackState::playing(0));
    EXPECT_EQ(lastPlayer()->pauseCount, 1);
    EXPECT_EQ(lastPlayer()->playCount, 2);
    EXPECT_EQ(probe->count(), 0);
}

TEST_F(CueTransportTest, PausedLoopKeepsItsTimeAndResumesWithADeadlineFromNow) {
    startLoop(10);
    mainLoop.advance(297);
    ASSERT_EQ(store->loopPlayback()->remainingSeconds, 303);

    store->togglePause();
    const auto paused = store->loopPlayback();
    EXPECT_TRUE(paused->isPaused);
    EXPECT_FALSE(paused->deadline);
    EXPECT_EQ(mainLoop.activeTimerCount(), 0u);
    EXPECT_EQ(controller->state(), PlaybackState::paused(-1));
    probe->reset();
    mainLoop.advance(3600);
    EXPECT_EQ(store->loopPlayback(), paused);
    EXPECT_EQ(probe->count(), 0);

    store->togglePause();
    EXPECT_FALSE(store->loopPlayback()->isPaused);
    EXPECT_EQ(store->loopPlayback()->deadline, mainLoop.now() + 303s);
    EXPECT_EQ(mainLoop.activeTimerCount(), 1u);
    EXPECT_EQ(controller->state(), PlaybackState::playing(-1));
    mainLoop.advance(302.9);
    EXPECT_EQ(store->loopPlayback()->remainingSeconds, 1);
    mainLoop.advance(0.5);
    expectNoLoop();
    EXPECT_EQ(lastPlayer()->stopCount, 1);
}

TEST_F(CueTransportTest, TogglePauseChangesNothingWhenTheLoopSoundCannotFollow) {
    startLoop(10);
    store->togglePause();
    lastPlayer()->refusePlay = true;
    const auto paused = store->loopPlayback();
    store->togglePause();
    EXPECT_EQ(store->loopPlayback(), paused);
    EXPECT_EQ(mainLoop.activeTimerCount(), 0u);
    EXPECT_EQ(controller->state(), PlaybackState::paused(-1));

    // Views may drive the shared controller directly.
    lastPlayer()->refusePlay = false;
    store->togglePause();
    controller->stop();
    const auto orphaned = store->loopPlayback();
    store->togglePause();
    EXPECT_EQ(store->loopPlayback(), orphaned);
    EXPECT_TRUE(controller->state().isStopped());
}

TEST_F(CueTransportTest, StartingALoopStopsTheCueOnlyWhenATrackCanPlay) {
    store->play(slot(0));
    const auto cuePlayer = lastPlayer();
    std::filesystem::remove(library().mediaURL() / track(1).audioFilename);
    store->startLoopPlayback({track(1).id}, 10);
    EXPECT_FALSE(store->loopPlayback());
    EXPECT_EQ(controller->state(), PlaybackState::playing(0));
    EXPECT_EQ(controller->errorMessage(), "등록된 음원이 없습니다.");

    store->startLoopPlayback({track(0).id, track(1).id}, 10);
    EXPECT_EQ(cuePlayer->stopCount, 1);
    EXPECT_EQ(store->activeLoopTrackID(), track(0).id);
    EXPECT_EQ(controller->state(), PlaybackState::playing(-1));
}

TEST_F(CueTransportTest, MasterVolumeIsClampedHeardAtOnceAndSavedOnlyWhenReleased) {
    store->play(slot(0));
    store->setMasterVolume(1.7);
    EXPECT_EQ(store->document().masterVolume, 1.0);
    store->setMasterVolume(-0.2);
    EXPECT_EQ(store->document().masterVolume, 0.0);
    EXPECT_EQ(lastPlayer()->volume(), 0.0f);
    store->setMasterVolume(0.5);
    EXPECT_EQ(controller->masterVolume(), 0.5);
    EXPECT_NEAR(lastPlayer()->volume(), 0.2506, 1e-4);
    EXPECT_EQ(diskDocument().masterVolume, 1.0);

    store->persistMasterVolume();
    EXPECT_EQ(diskDocument().masterVolume, 0.5);
    restart();
    EXPECT_EQ(controller->masterVolume(), 0.5);
}

// Escape: over this machine's fade time; the run ends at once, the sound when its fade does.
TEST_F(CueTransportTest, FadeTakesThePreferredTimeEndsTheLoopRunAndItsEndIsAStop) {
    Preferences preferences = store->preferences();
    preferences.fadeSeconds = 4.5;
    ASSERT_TRUE(store->setPreferences(preferences));
    startLoop();
    const auto fading = lastPlayer();
    store->fadeOut();
    expectNoLoop();
    EXPECT_EQ(fading->fadeSeconds, std::vector<double>{4.5});
    EXPECT_EQ(controller->state(), PlaybackState::playing(-1));
    fading->complete();
    EXPECT_TRUE(controller->state().isStopped());
    EXPECT_EQ(factory->players.size(), 1u) << "the run went on";
}

}  // namespace
}  // namespace tavrel
