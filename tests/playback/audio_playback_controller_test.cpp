#include "playback/audio_playback_controller.h"

#include <gtest/gtest.h>

#include <cmath>

#include "playback/clamped_start.h"
#include "support/fake_player.h"
#include "support/fault_injecting_file_system.h"
#include "support/manual_main_loop.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;
using test::FakePlayer;

class AudioPlaybackControllerTest : public ::testing::Test {
protected:
    AudioPlaybackControllerTest() {
        controller->setOnNaturalCompletion([this] { ++completions; });
        subscription = controller->subscribe([this] { ++notifications; });
        for (const char* name : {"a.mp3", "refuses.mp3", "broken.mp3"})
            test::writeFile(temp.path() / name, "audio");
        factory->refusingFilenames = {"refuses.mp3"};
        factory->failingFilenames = {"broken.mp3"};
    }

    static CueSlot slot(std::int64_t id, double startSeconds = 0, double gainDB = 0) {
        CueSlot result = CueSlot::empty(id);
        result.audioFilename = "x.mp3";
        result.startSeconds = startSeconds;
        result.gainDB = gainDB;
        return result;
    }
    fs::path file(const char* name) const { return temp.path() / name; }
    // Plays slot `id` from a.mp3; its completion is already posted, as the
    // engine's would be when the file ends just now.
    std::shared_ptr<FakePlayer> playEndingSoon(std::int64_t id) {
        controller->play(slot(id), file("a.mp3"));
        auto player = factory->lastPlayer();
        mainLoop.post([player] { player->complete(); });
        return player;
    }

    test::TemporaryDirectory temp;
    test::ManualMainLoop mainLoop;
    std::shared_ptr<test::FakePlayerFactory> factory = std::make_shared<test::FakePlayerFactory>();
    std::shared_ptr<AudioPlaybackController> controller =
        std::make_shared<AudioPlaybackController>(factory);
    Subscription subscription;
    int notifications = 0;
    int completions = 0;
};

TEST_F(AudioPlaybackControllerTest, PlayStartsAFreshPlayerAtTheClampedStartAndVolume) {
    factory->duration = 30;
    controller->setMasterVolume(0.5);
    controller->play(slot(4, 45, -6), file("a.mp3"));
    const auto player = factory->lastPlayer();
    ASSERT_TRUE(player);
    EXPECT_EQ(player->currentTime(), 30.0);
    EXPECT_NEAR(player->volume(), 0.5 * std::pow(10.0, -0.3), 1e-6);
    EXPECT_EQ(player->prepareCount, 1);
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(controller->state(), PlaybackState::playing(4));
    EXPECT_EQ(controller->currentSlot(), slot(4, 45, -6));
    EXPECT_EQ(notifications, 1);
}

TEST_F(AudioPlaybackControllerTest, AStartPastAnUnknownOrEmptyFileBeginsAtZero) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto& [start, duration, expected] :
         {std::tuple{5.0, nan, 0.0}, {5.0, inf, 0.0}, {5.0, 0.0, 0.0}, {-2.0, 3.0, 0.0}}) {
        EXPECT_EQ(clampedStart(start, duration), expected) << start << " in " << duration;
    }
}

TEST_F(AudioPlaybackControllerTest, FailuresBeforeAPlayerIsMadeLeaveTheCurrentCueAlone) {
    controller->play(slot(1), file("a.mp3"));
    const auto playing = factory->lastPlayer();
    notifications = 0;
    const auto expectKind = [&](const CueSlot& cue, const std::optional<fs::path>& url,
                                PlaybackError::Kind kind, const char* message) {
        try {
            controller->play(cue, url);
            ADD_FAILURE() << "played";
        } catch (const PlaybackError& error) {
            EXPECT_EQ(error.kind(), kind);
            EXPECT_STREQ(error.what(), message);
        }
    };
    expectKind(CueSlot::empty(2), file("a.mp3"), PlaybackError::Kind::noAudio,
               "등록된 음원이 없습니다.");
    expectKind(slot(2), std::nullopt, PlaybackError::Kind::missingMedia,
               "복사된 음원 파일을 찾을 수 없습니다.");
    expectKind(slot(2), file("deleted.mp3"), PlaybackError::Kind::missingMedia,
               "복사된 음원 파일을 찾을 수 없습니다.");
    EXPECT_EQ(factory->players.size(), 1u);
    EXPECT_EQ(playing->stopCount, 0);
    EXPECT_EQ(controller->state(), PlaybackState::playing(1));
    EXPECT_EQ(notifications, 0);
}

// A file that cannot be opened, or a player that will not start: the old cue
// is stopped, the controller ends stopped, and the late end of the old run
// counts for nothing.
TEST_F(AudioPlaybackControllerTest, AFailedStartStopsThePreviousCue) {
    for (const char* name : {"broken.mp3", "refuses.mp3"}) {
        SCOPED_TRACE(name);
        const auto previous = playEndingSoon(1);
        if (std::string(name) == "broken.mp3") {
            EXPECT_THROW(controller->play(slot(2), file(name)), test::FakePlayerError);
        } else {
            try {
                controller->play(slot(2), file(name));
                ADD_FAILURE() << "started";
            } catch (const PlaybackError& error) {
                EXPECT_EQ(error.kind(), PlaybackError::Kind::couldNotStart);
                EXPECT_STREQ(error.what(), "오디오 재생을 시작하지 못했습니다.");
            }
            EXPECT_EQ(factory->lastPlayer()->stopCount, 0) << "a refused player is not stopped";
        }
        EXPECT_EQ(previous->stopCount, 1);
        EXPECT_EQ(controller->state(), PlaybackState::stopped());
        EXPECT_FALSE(controller->currentSlot());
        mainLoop.runPending();
        factory->lastPlayer()->complete();
        EXPECT_EQ(completions, 0);
    }
}

TEST_F(AudioPlaybackControllerTest, PauseAndResumeKeepThePlayerAndPosition) {
    EXPECT_FALSE(controller->togglePause());
    controller->play(slot(3, 12), file("a.mp3"));
    const auto player = factory->lastPlayer();
    EXPECT_TRUE(controller->togglePause());
    EXPECT_EQ(controller->state(), PlaybackState::paused(3));
    EXPECT_EQ(player->pauseCount, 1);
    EXPECT_TRUE(controller->togglePause());
    EXPECT_EQ(controller->state(), PlaybackState::playing(3));
    EXPECT_EQ(player->playCount, 2);
    EXPECT_EQ(player->currentTime(), 12.0);
    EXPECT_EQ(factory->players.size(), 1u);
    EXPECT_EQ(notifications, 3);

    // A resume the player refuses leaves the cue paused.
    EXPECT_TRUE(controller->togglePause());
    player->refusePlay = true;
    EXPECT_FALSE(controller->togglePause());
    EXPECT_EQ(controller->state(), PlaybackState::paused(3));
}

// The run's end is already posted when the operator acts: it must count for
// nothing, whatever the act.
TEST_F(AudioPlaybackControllerTest, AnEndAlreadyPostedCountsForNothingOnceTheRunIsOver) {
    const std::pair<const char*, std::function<void()>> acts[] = {
        {"stop", [&] { controller->stop(); }},
        {"replay", [&] { controller->play(slot(2, 7), file("a.mp3")); }},
        {"controller gone",
         [&] {
             subscription.reset();
             controller.reset();
         }},
    };
    for (const auto& [name, act] : acts) {
        SCOPED_TRACE(name);
        const auto player = playEndingSoon(2);
        controller->report(std::runtime_error("earlier"));
        act();
        mainLoop.runPending();
        EXPECT_EQ(completions, 0);
        if (!controller)
            break;
        EXPECT_EQ(player->stopCount, 1);
        EXPECT_EQ(player.use_count(), 2) << "released: held by the test and the factory";
        if (std::string(name) == "stop") {
            EXPECT_EQ(controller->errorMessage(), "earlier") << "a stop keeps the message";
        }
        controller->stop();
    }
    EXPECT_EQ(factory->lastPlayer()->stopCount, 0) << "destroying the controller stops nothing";
}

TEST_F(AudioPlaybackControllerTest, NaturalEndOrLostOutputOfTheCurrentRunStopsAndTellsOnce) {
    const auto player = playEndingSoon(6);
    controller->report(std::runtime_error("kept"));
    notifications = 0;
    EXPECT_EQ(completions, 0) << "not before the main loop runs it";
    mainLoop.runPending();
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(controller->state(), PlaybackState::stopped());
    EXPECT_FALSE(controller->currentSlot());
    EXPECT_EQ(player->stopCount, 0);
    EXPECT_EQ(controller->errorMessage(), "kept");
    EXPECT_EQ(notifications, 1);
    player->complete();
    EXPECT_EQ(completions, 1);

    // A run whose output was lost ends the same way, told as a start that failed.
    controller->play(slot(6), file("a.mp3"));
    factory->lastPlayer()->fail();
    EXPECT_EQ(completions, 2);
    EXPECT_EQ(controller->state(), PlaybackState::stopped());
    EXPECT_EQ(controller->errorMessage(), "오디오 재생을 시작하지 못했습니다.");
}

// The end of the file can arrive during the pause's fade-out: the pause wins.
TEST_F(AudioPlaybackControllerTest, EndDuringAPauseCompletesOnlyWhenResumed) {
    for (const bool resume : {true, false}) {
        SCOPED_TRACE(resume ? "resumed" : "stopped");
        completions = 0;
        controller->play(slot(2), file("a.mp3"));
        const auto player = factory->lastPlayer();
        ASSERT_TRUE(controller->togglePause());
        mainLoop.post([player] { player->complete(); });
        mainLoop.runPending();
        EXPECT_EQ(controller->state(), PlaybackState::paused(2));
        EXPECT_EQ(completions, 0);
        if (resume) {
            EXPECT_TRUE(controller->togglePause());
            EXPECT_EQ(player->playCount, 1) << "an ended player is not started again";
        } else {
            controller->stop();
        }
        EXPECT_EQ(completions, resume ? 1 : 0);
        EXPECT_EQ(controller->state(), PlaybackState::stopped());
    }
}

TEST_F(AudioPlaybackControllerTest, MasterVolumeReachesASoundingOrPausedPlayerAtOnce) {
    controller->play(slot(1, 0, -6), file("a.mp3"));
    const auto player = factory->lastPlayer();
    controller->togglePause();
    controller->setMasterVolume(0.5);
    EXPECT_NEAR(player->volume(), 0.2506, 1e-4);
    controller->setMasterVolume(3);
    EXPECT_EQ(controller->masterVolume(), 3.0) << "stored as given";
    EXPECT_NEAR(player->volume(), std::pow(10.0, -0.3), 1e-6);
    controller->stop();
    controller->setMasterVolume(0.25);
    EXPECT_NEAR(player->volume(), std::pow(10.0, -0.3), 1e-6);
    // A slot's gain counts from -12 to 0 dB only.
    controller->play(slot(2, 0, 6), file("a.mp3"));
    EXPECT_FLOAT_EQ(factory->lastPlayer()->volume(), 0.25f);
    controller->play(slot(2, 0, -40), file("a.mp3"));
    EXPECT_FLOAT_EQ(factory->lastPlayer()->volume(), 0.25f * std::pow(10.0f, -0.6f));
}

TEST_F(AudioPlaybackControllerTest, ErrorMessageIsSetByReportAndClearedByAStart) {
    controller->report(PlaybackError(PlaybackError::Kind::missingMedia));
    EXPECT_EQ(controller->errorMessage(), "복사된 음원 파일을 찾을 수 없습니다.");
    controller->clearError();
    controller->clearError();
    EXPECT_FALSE(controller->errorMessage());
    EXPECT_EQ(notifications, 2);
    controller->report(test::FakePlayerError());
    EXPECT_THROW(controller->play(CueSlot::empty(0), file("a.mp3")), PlaybackError);
    EXPECT_EQ(controller->errorMessage(), "fake: cannot open audio file")
        << "a failing play does not touch the message";
    controller->play(slot(0), file("a.mp3"));
    EXPECT_FALSE(controller->errorMessage());
}

TEST_F(AudioPlaybackControllerTest, ProgressTicksOnItsOwnChannelAndOnlyWhileASoundPlays) {
    controller->setProgressClock(mainLoop);
    int ticks = 0;
    const Subscription tickSubscription = controller->subscribeProgress([&] { ++ticks; });
    factory->duration = 100;
    controller->play(slot(2, 10), file("a.mp3"));
    const auto player = factory->lastPlayer();
    // Counted from the cue's start offset.
    EXPECT_EQ(controller->progress(), (PlaybackProgress{0, 90}));
    notifications = 0;

    player->setCurrentTime(40);
    mainLoop.advance(0.1);
    EXPECT_EQ(controller->progress(), (PlaybackProgress{30, 90}));
    mainLoop.advance(1);  // a position that does not move is not told again
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(notifications, 0);

    controller->togglePause();
    player->setCurrentTime(50);
    EXPECT_EQ(mainLoop.activeTimerCount(), 0u);
    controller->togglePause();
    EXPECT_EQ(controller->progress().elapsed, 40);
    EXPECT_EQ(mainLoop.activeTimerCount(), 1u);
    controller->stop();
    EXPECT_EQ(controller->progress(), PlaybackProgress{});
    EXPECT_EQ(mainLoop.activeTimerCount(), 0u);
}

TEST_F(AudioPlaybackControllerTest, ASecondFadeOrOneWhilePausedCutsAndANewCueLeavesAFadeToAStop) {
    for (const bool paused : {false, true}) {
        controller->play(slot(1), file("a.mp3"));
        paused ? (void)controller->togglePause() : controller->fadeOut(2);
        controller->fadeOut(2);
        EXPECT_EQ(factory->lastPlayer()->stopCount, 1) << paused;
        EXPECT_TRUE(controller->state().isStopped());
    }
    controller->play(slot(1), file("a.mp3"));
    const auto fading = factory->lastPlayer();
    controller->fadeOut(2);
    controller->play(slot(2), file("b.mp3"));
    EXPECT_EQ(fading->stopCount, 0);
    EXPECT_EQ(controller->state(), PlaybackState::playing(2));
    controller->stop();
    EXPECT_EQ(fading->stopCount, 1);
    EXPECT_EQ(completions, 0);
}

}  // namespace
}  // namespace tavrel
