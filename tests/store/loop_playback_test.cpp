#include <gtest/gtest.h>

#include <type_traits>

#include "support/store_fixture.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;

Uuid uuidEndingIn(std::uint8_t last) {
    std::array<std::uint8_t, 16> bytes{};
    bytes[15] = last;
    return Uuid(bytes);
}

// Tracks A, B, C whose ids sort C < B < A, so a set of ids walks them backwards.
class LoopPlaybackTest : public test::StoreFixture {
protected:
    LoopPlaybackTest() {
        CueDocument document = documentWithTracks({"A", "B", "C"});
        for (std::uint8_t i = 0; i < 3; ++i)
            document.loopTracks[i].id = uuidEndingIn(static_cast<std::uint8_t>(3 - i));
        seed(document, trackFiles({"A", "B", "C"}));
    }

    std::set<Uuid> allTracks() const { return {track(0).id, track(1).id, track(2).id}; }
    void removeFile(std::size_t position) {
        std::filesystem::remove(library().mediaURL() / track(position).audioFilename);
    }
    // The title of the loop track that sounds now.
    std::string sounding() const {
        EXPECT_EQ(controller->state(), PlaybackState::playing(-1));
        return controller->currentSlot() ? controller->currentSlot()->title : "";
    }
    // Lets each track end by itself and records what comes next.
    std::vector<std::string> nextTracks(int count) {
        std::vector<std::string> titles;
        for (int i = 0; i < count; ++i) {
            lastPlayer()->complete();
            titles.push_back(sounding());
        }
        return titles;
    }
};

TEST_F(LoopPlaybackTest, TimedRunPublishesItsFullTimeAndStartsTheFirstTrack) {
    store->startLoopPlayback(allTracks(), 10);
    const auto& session = *store->loopPlayback();
    EXPECT_EQ(session.remainingSeconds, 600);
    EXPECT_EQ(session.remainingText(), "10:00");
    EXPECT_EQ(session.deadline, mainLoop.now() + 600s);
    EXPECT_EQ(mainLoop.activeTimerCount(), 1u);
    EXPECT_EQ(store->activeLoopTrackID(), track(0).id);

    CueSlot expected = CueSlot::empty(-1);
    expected.title = "A";
    expected.usage = "반복 재생";
    expected.audioFilename = "loop-A.mp3";
    EXPECT_EQ(controller->currentSlot(), expected);
    EXPECT_EQ(lastPlayer()->url, library().mediaURL() / "loop-A.mp3");
    EXPECT_EQ(probe->count(), 1);

    for (const std::int64_t minutes : {0, -5}) {
        store->startLoopPlayback(allTracks(), minutes);
        EXPECT_EQ(store->loopPlayback()->remainingSeconds, 60);
        EXPECT_EQ(store->loopPlayback()->deadline, mainLoop.now() + 60s);
    }
}

TEST_F(LoopPlaybackTest, TracksPlayInListOrderAndStartOver) {
    store->startLoopPlayback(allTracks(), 30);
    EXPECT_EQ(sounding(), "A");
    EXPECT_EQ(nextTracks(4), (std::vector<std::string>{"B", "C", "A", "B"}));
    EXPECT_EQ(store->activeLoopTrackID(), track(1).id);

    store->startLoopPlayback({track(1).id}, 30);
    EXPECT_EQ(nextTracks(2), (std::vector<std::string>{"B", "B"}));
}

TEST_F(LoopPlaybackTest, TrackMissingAtTheStartIsLeftOutOfTheRun) {
    removeFile(1);
    store->startLoopPlayback(allTracks(), std::nullopt);
    ASSERT_EQ(store->loopPlayback()->tracks.size(), 2u);
    EXPECT_EQ(sounding(), "A");
    EXPECT_EQ(nextTracks(3), (std::vector<std::string>{"C", "A", "C"}));
}

TEST_F(LoopPlaybackTest, UnplayableTrackIsSkippedAtOnceQuietlyOnlyWhenItsFileIsGone) {
    store->startLoopPlayback(allTracks(), std::nullopt);
    removeFile(1);
    EXPECT_EQ(nextTracks(2), (std::vector<std::string>{"C", "A"}));
    EXPECT_FALSE(controller->errorMessage());

    // The next track's start clears the message again; observers have seen it.
    std::vector<std::string> shown;
    const auto watching = controller->subscribe([&] {
        if (controller->errorMessage())
            shown.push_back(*controller->errorMessage());
    });
    factory->failingFilenames = {"loop-C.mp3"};
    EXPECT_EQ(nextTracks(1), (std::vector<std::string>{"A"}));
    EXPECT_EQ(shown, std::vector<std::string>{test::FakePlayerError().what()});
    EXPECT_EQ(store->loopPlayback()->nextIndex, 1u);
}

TEST_F(LoopPlaybackTest, RunEndsAndFallsSilentWhenNoTrackCanPlayAnyMore) {
    store->startLoopPlayback(allTracks(), 10);
    removeFile(1);
    removeFile(2);
    factory->refusingFilenames = {"loop-A.mp3"};
    probe->reset();
    lastPlayer()->complete();
    EXPECT_FALSE(store->loopPlayback());
    EXPECT_FALSE(store->activeLoopTrackID());
    EXPECT_EQ(mainLoop.activeTimerCount(), 0u);
    EXPECT_TRUE(controller->state().isStopped());
    EXPECT_EQ(controller->errorMessage(), "오디오 재생을 시작하지 못했습니다.");
    EXPECT_EQ(probe->count(), 1);
}

// A track that ends inside its pause's fade-out: the run stays paused and
// answers Space; resuming moves on to the next track at once.
TEST_F(LoopPlaybackTest, TrackEndingWhilePausedAdvancesWhenResumed) {
    store->startLoopPlayback(allTracks(), 10);
    store->togglePause();
    lastPlayer()->complete();
    EXPECT_TRUE(store->loopPlayback()->isPaused);
    EXPECT_EQ(controller->state(), PlaybackState::paused(-1));
    EXPECT_EQ(store->activeLoopTrackID(), track(0).id);
    EXPECT_EQ(factory->players.size(), 1u);

    store->togglePause();
    EXPECT_EQ(sounding(), "B");
    EXPECT_FALSE(store->loopPlayback()->isPaused);
    EXPECT_EQ(store->loopPlayback()->deadline, mainLoop.now() + 600s);
    EXPECT_EQ(mainLoop.activeTimerCount(), 1u);
    EXPECT_EQ(nextTracks(1), std::vector<std::string>{"C"});
}

// A cue refused before anything is torn down (no audio, no file) changes
// nothing else, also while the run's controller is silent.
TEST_F(LoopPlaybackTest, CueRefusedBeforeItsStartLeavesTheRunAlone) {
    store->startLoopPlayback(allTracks(), std::nullopt);
    for (const bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "silent run" : "sounding run");
        if (silent)
            controller->stop();
        const auto session = store->loopPlayback();
        CueSlot missing = CueSlot::empty(4);
        store->play(missing);
        missing.audioFilename = "audio-gone.mp3";
        store->play(missing);
        EXPECT_EQ(store->loopPlayback(), session);
        EXPECT_EQ(controller->errorMessage(), "복사된 음원 파일을 찾을 수 없습니다.");
    }
}

TEST_F(LoopPlaybackTest, DeadlineCutsTheTrackWithinOneTickAndNothingFollows) {
    store->startLoopPlayback(allTracks(), 30);
    probe->reset();
    mainLoop.advance(10);
    EXPECT_EQ(probe->count(), 10) << "the remaining time is republished when its second changes";
    EXPECT_EQ(store->loopPlayback()->remainingText(), "29:50");

    mainLoop.advance(1789.9);
    EXPECT_EQ(store->loopPlayback()->remainingSeconds, 1);
    const auto player = lastPlayer();
    mainLoop.advance(0.5);
    EXPECT_FALSE(store->loopPlayback());
    EXPECT_EQ(player->stopCount, 1);
    EXPECT_TRUE(controller->state().isStopped());
    EXPECT_EQ(mainLoop.activeTimerCount(), 0u);
    mainLoop.advance(60);
    EXPECT_EQ(factory->players.size(), 1u);
}

TEST_F(LoopPlaybackTest, InfiniteRunKeepsNoTimeAndNeverEndsByItself) {
    store->startLoopPlayback(allTracks(), std::nullopt);
    EXPECT_EQ(mainLoop.activeTimerCount(), 0u);
    EXPECT_TRUE(store->loopPlayback()->isInfinite);
    EXPECT_EQ(store->loopPlayback()->remainingText(), "무한 반복 · 수동 중지");
    probe->reset();
    mainLoop.advance(36000);
    EXPECT_TRUE(store->loopPlayback());
    EXPECT_EQ(probe->count(), 0);
}

TEST_F(LoopPlaybackTest, NewRunReplacesTheOldOne) {
    store->startLoopPlayback({track(0).id}, 10);
    const auto first = lastPlayer();
    store->startLoopPlayback({track(2).id}, 30);
    EXPECT_EQ(first->stopCount, 1);
    EXPECT_EQ(store->loopPlayback()->tracks, std::vector<LoopTrack>{track(2)});
    EXPECT_EQ(store->loopPlayback()->remainingSeconds, 1800);
    EXPECT_EQ(mainLoop.activeTimerCount(), 1u);
    EXPECT_EQ(sounding(), "C");
}

TEST_F(LoopPlaybackTest, TimerAndCompletionsGoWithTheStore) {
    store->startLoopPlayback(allTracks(), 10);
    probe.reset();
    store.reset();
    EXPECT_EQ(mainLoop.activeTimerCount(), 0u);
    mainLoop.advance(700);
    lastPlayer()->complete();
    EXPECT_EQ(factory->players.size(), 1u) << "nothing is left to advance the run";
}

}  // namespace
}  // namespace tavrel
