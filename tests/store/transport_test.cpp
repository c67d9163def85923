#include <gtest/gtest.h>

#include "support/store_fixture.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;

// A cue on slot 0 (gain −6 dB), a slot whose copy is gone, and loop tracks A, B, C
// whose ids sort C < B < A, so a set of ids walks them backwards.
class TransportTest : public test::StoreFixture {
protected:
    TransportTest() {
        CueDocument document = documentWithTracks({"A", "B", "C"});
        for (std::uint8_t i = 0; i < 3; ++i) {
            std::array<std::uint8_t, 16> bytes{};
            bytes[15] = static_cast<std::uint8_t>(3 - i);
            document.loopTracks[i].id = Uuid(bytes);
        }
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
    // Lets each track end by itself and records what sounds next.
    std::string nextTracks(int count) {
        std::string titles;
        for (int i = 0; i < count; ++i) {
            lastPlayer()->complete();
            EXPECT_EQ(controller->state(), PlaybackState::playing(-1));
            titles += controller->currentSlot() ? controller->currentSlot()->title : "-";
        }
        return titles;
    }
    void expectNoLoop() const {
        EXPECT_FALSE(store->loopPlayback());
        EXPECT_FALSE(store->activeLoopTrackID());
        EXPECT_EQ(mainLoop.activeTimerCount(), 0u);
    }
};

TEST_F(TransportTest, CueEndsTheLoopRunUnlessRefusedBeforeAnythingStopped) {
    for (const bool paused : {false, true}) {
        store->startLoopPlayback(allTracks(), std::nullopt);
        if (paused)
            store->togglePause();
        const auto session = store->loopPlayback();
        const auto loopPlayer = lastPlayer();
        probe->reset();
        store->play(slot(2));  // no audio
        EXPECT_EQ(controller->errorMessage(), "등록된 음원이 없습니다.");
        store->play(slot(1));  // copy missing
        EXPECT_EQ(controller->errorMessage(), "복사된 음원 파일을 찾을 수 없습니다.");
        EXPECT_EQ(store->loopPlayback(), session);
        EXPECT_EQ(probe->count(), 0);

        store->play(slot(0));
        expectNoLoop();
        EXPECT_EQ(controller->state(), PlaybackState::playing(0));
        EXPECT_EQ(loopPlayer->stopCount, 1);
        EXPECT_EQ(probe->count(), 1);
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
        EXPECT_TRUE(controller->state().isStopped());
        EXPECT_EQ(controller->errorMessage(),
                  opens ? std::string("오디오 재생을 시작하지 못했습니다.")
                        : test::FakePlayerError().what());
        factory->failingFilenames.clear();
    }
}

TEST_F(TransportTest, StopSilencesLoopAndCuePauseResumesACue) {
    store->stopPlayback();
    EXPECT_TRUE(factory->players.empty());
    store->startLoopPlayback(allTracks(), 10);
    const auto loopPlayer = lastPlayer();
    store->stopPlayback();
    expectNoLoop();
    EXPECT_EQ(loopPlayer->stopCount, 1);

    store->play(slot(0));
    store->togglePause();
    EXPECT_EQ(controller->state(), PlaybackState::paused(0));
    store->togglePause();
    EXPECT_EQ(controller->state(), PlaybackState::playing(0));
    store->stopPlayback();
    EXPECT_EQ(lastPlayer()->stopCount, 1);
    EXPECT_TRUE(controller->state().isStopped());
}

// The run's time runs on the monotonic clock only while it plays, and its
// end cuts the track within one tick.
TEST_F(TransportTest, PausedRunKeepsItsTimeAndTheDeadlineCutsTheTrack) {
    store->startLoopPlayback(allTracks(), 10);
    EXPECT_EQ(store->loopPlayback()->remainingText(), "10:00");
    probe->reset();
    mainLoop.advance(297);
    EXPECT_EQ(probe->count(), 297) << "the remaining time is republished when its second changes";
    store->togglePause();
    const auto paused = store->loopPlayback();
    EXPECT_TRUE(paused->isPaused);
    EXPECT_EQ(controller->state(), PlaybackState::paused(-1));
    mainLoop.advance(3600);
    EXPECT_EQ(store->loopPlayback(), paused);

    store->togglePause();
    EXPECT_EQ(store->loopPlayback()->deadline, mainLoop.now() + 303s);
    EXPECT_EQ(controller->state(), PlaybackState::playing(-1));
    mainLoop.advance(302.9);
    EXPECT_EQ(store->loopPlayback()->remainingText(), "00:01");
    mainLoop.advance(0.5);
    expectNoLoop();
    EXPECT_TRUE(controller->state().isStopped());
    mainLoop.advance(60);
    EXPECT_EQ(factory->players.size(), 1u);
}

TEST_F(TransportTest, PauseChangesNothingWhenTheLoopSoundCannotFollow) {
    store->startLoopPlayback(allTracks(), 10);
    store->togglePause();
    lastPlayer()->refusePlay = true;
    const auto paused = store->loopPlayback();
    store->togglePause();
    EXPECT_EQ(store->loopPlayback(), paused);
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

TEST_F(TransportTest, RunStartsItsFirstTrackOverACueOnlyWhenATrackCanPlay) {
    store->play(slot(0));
    const auto cuePlayer = lastPlayer();
    removeFile(1);
    store->startLoopPlayback({track(1).id}, 10);
    EXPECT_FALSE(store->loopPlayback());
    EXPECT_EQ(controller->state(), PlaybackState::playing(0));
    EXPECT_EQ(controller->errorMessage(), "등록된 음원이 없습니다.");

    store->startLoopPlayback({track(0).id}, 10);
    store->startLoopPlayback(allTracks(), 30);  // replaces the first run
    EXPECT_EQ(cuePlayer->stopCount, 1);
    EXPECT_EQ(factory->players[1]->stopCount, 1);
    const auto& session = *store->loopPlayback();
    EXPECT_EQ(session.tracks.size(), 2u) << "a track missing at the start is left out";
    EXPECT_EQ(session.deadline, mainLoop.now() + 1800s);
    EXPECT_EQ(mainLoop.activeTimerCount(), 1u);
    CueSlot expected = CueSlot::empty(-1);
    expected.title = "A";
    expected.usage = "반복 재생";
    expected.audioFilename = "loop-A.mp3";
    EXPECT_EQ(controller->currentSlot(), expected);
    EXPECT_EQ(store->activeLoopTrackID(), track(0).id);
    EXPECT_EQ(nextTracks(3), "CAC");

    for (const std::int64_t minutes : {0, -5}) {
        store->startLoopPlayback(allTracks(), minutes);
        EXPECT_EQ(store->loopPlayback()->deadline, mainLoop.now() + 60s);
    }
}

TEST_F(TransportTest, TracksPlayInListOrderSkippingOnesThatCannotPlay) {
    store->startLoopPlayback(allTracks(), std::nullopt);
    EXPECT_EQ(nextTracks(4), "BCAB");
    removeFile(2);
    EXPECT_EQ(nextTracks(2), "AB");
    EXPECT_FALSE(controller->errorMessage()) << "a gone file is skipped quietly";

    // The next track's start clears the message again; observers have seen it.
    std::vector<std::string> shown;
    const auto watching = controller->subscribe([&] {
        if (controller->errorMessage())
            shown.push_back(*controller->errorMessage());
    });
    factory->failingFilenames = {"loop-A.mp3"};
    EXPECT_EQ(nextTracks(1), "B");
    EXPECT_EQ(shown, std::vector<std::string>{test::FakePlayerError().what()});

    factory->refusingFilenames = {"loop-B.mp3"};
    lastPlayer()->complete();
    expectNoLoop();
    EXPECT_EQ(controller->errorMessage(), "오디오 재생을 시작하지 못했습니다.");
}

// A track that ends inside its pause's fade-out: the run stays paused;
// resuming moves on to the next track at once.
TEST_F(TransportTest, TrackEndingWhilePausedAdvancesWhenResumed) {
    store->startLoopPlayback(allTracks(), 10);
    store->togglePause();
    lastPlayer()->complete();
    EXPECT_EQ(controller->state(), PlaybackState::paused(-1));
    EXPECT_EQ(factory->players.size(), 1u);
    store->togglePause();
    EXPECT_EQ(controller->currentSlot()->title, "B");
    EXPECT_EQ(store->loopPlayback()->deadline, mainLoop.now() + 600s);
}

TEST_F(TransportTest, InfiniteRunNeverEndsByItselfAndGoesWithTheStore) {
    store->startLoopPlayback(allTracks(), std::nullopt);
    EXPECT_EQ(store->loopPlayback()->remainingText(), "무한 반복 · 수동 중지");
    probe->reset();
    mainLoop.advance(36000);
    EXPECT_TRUE(store->loopPlayback());
    EXPECT_EQ(probe->count(), 0);
    probe.reset();
    store.reset();
    lastPlayer()->complete();
    EXPECT_EQ(factory->players.size(), 1u) << "nothing is left to advance the run";
}

TEST_F(TransportTest, MasterVolumeIsClampedHeardAtOnceAndSavedOnlyWhenReleased) {
    store->play(slot(0));
    store->setMasterVolume(1.7);
    EXPECT_EQ(store->document().masterVolume, 1.0);
    store->setMasterVolume(-0.2);
    EXPECT_EQ(lastPlayer()->volume(), 0.0f);
    store->setMasterVolume(0.5);
    EXPECT_NEAR(lastPlayer()->volume(), 0.2506, 1e-4);
    EXPECT_EQ(diskDocument().masterVolume, 1.0);
    store->persistMasterVolume();
    restart();
    EXPECT_EQ(controller->masterVolume(), 0.5);
}

// Escape: over this machine's fade time; the run ends at once, the sound when its fade does.
TEST_F(TransportTest, FadeTakesThePreferredTimeEndsTheLoopRunAndItsEndIsAStop) {
    Preferences preferences = store->preferences();
    preferences.fadeSeconds = 4.5;
    ASSERT_TRUE(store->setPreferences(preferences));
    store->startLoopPlayback(allTracks(), 10);
    const auto fading = lastPlayer();
    store->fadeOut();
    expectNoLoop();
    EXPECT_EQ(fading->fadeSeconds, std::vector<double>{4.5});
    fading->complete();
    EXPECT_TRUE(controller->state().isStopped());
    EXPECT_EQ(factory->players.size(), 1u) << "the run went on";
}

}  // namespace
}  // namespace tavrel
