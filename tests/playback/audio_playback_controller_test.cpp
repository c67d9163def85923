#include "playback/audio_playback_controller.h"

#include <gtest/gtest.h>

#include <cmath>

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
        for (const char* name : {"a.mp3", "b.mp3", "refuses.mp3", "broken.mp3"})
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

    // What the engine does: the completion comes later, as a main-loop task.
    void completeLater(const std::shared_ptr<FakePlayer>& player) {
        mainLoop.post([player] { player->complete(); });
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
    EXPECT_EQ(player->url, file("a.mp3"));
    EXPECT_EQ(player->currentTime(), 30.0);
    EXPECT_NEAR(player->volume(), 0.5 * std::pow(10.0, -0.3), 1e-6);
    EXPECT_EQ(player->prepareCount, 1);
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(controller->state(), PlaybackState::playing(4));
    EXPECT_EQ(controller->state().activeSlotID(), 4);
    EXPECT_EQ(controller->currentSlot(), slot(4, 45, -6));
    EXPECT_EQ(notifications, 1);
}

TEST_F(AudioPlaybackControllerTest, FailuresBeforeAPlayerIsMadeLeaveTheCurrentCueAlone) {
    controller->play(slot(1), file("a.mp3"));
    const auto playing = factory->lastPlayer();
    notifications = 0;

    CueSlot noAudio = CueSlot::empty(2);
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
    expectKind(noAudio, file("b.mp3"), PlaybackError::Kind::noAudio, "등록된 음원이 없습니다.");
    expectKind(slot(2), std::nullopt, PlaybackError::Kind::missingMedia,
               "복사된 음원 파일을 찾을 수 없습니다.");
    expectKind(slot(2), file("deleted.mp3"), PlaybackError::Kind::missingMedia,
               "복사된 음원 파일을 찾을 수 없습니다.");

    EXPECT_EQ(factory->players.size(), 1u);
    EXPECT_EQ(playing->stopCount, 0);
    EXPECT_EQ(controller->state(), PlaybackState::playing(1));
    EXPECT_EQ(notifications, 0);
}

TEST_F(AudioPlaybackControllerTest, FactoryFailureStopsThePreviousCueAndPassesTheErrorOn) {
    controller->play(slot(1), file("a.mp3"));
    const auto previous = factory->lastPlayer();
    notifications = 0;
    EXPECT_THROW(controller->play(slot(2), file("broken.mp3")), test::FakePlayerError);
    EXPECT_EQ(previous->stopCount, 1);
    EXPECT_EQ(controller->state(), PlaybackState::stopped());
    EXPECT_FALSE(controller->currentSlot());
    EXPECT_EQ(notifications, 1);
    // The torn-down run is gone: its late completion changes nothing.
    previous->complete();
    EXPECT_EQ(completions, 0);
}

TEST_F(AudioPlaybackControllerTest, PlayerThatRefusesToStartIsReleasedWithoutStop) {
    controller->play(slot(1), file("a.mp3"));
    const auto previous = factory->lastPlayer();
    try {
        controller->play(slot(2), file("refuses.mp3"));
        FAIL() << "started";
    } catch (const PlaybackError& error) {
        EXPECT_EQ(error.kind(), PlaybackError::Kind::couldNotStart);
        EXPECT_STREQ(error.what(), "오디오 재생을 시작하지 못했습니다.");
    }
    const auto refused = factory->lastPlayer();
    EXPECT_EQ(previous->stopCount, 1);
    EXPECT_EQ(refused->stopCount, 0);
    EXPECT_EQ(refused.use_count(), 2) << "the controller still holds the refused player";
    EXPECT_EQ(controller->state(), PlaybackState::stopped());
    refused->complete();
    EXPECT_EQ(completions, 0);
}

TEST_F(AudioPlaybackControllerTest, PauseAndResumeKeepThePlayerAndPosition) {
    EXPECT_FALSE(controller->togglePause());
    EXPECT_EQ(notifications, 0);

    controller->play(slot(3, 12), file("a.mp3"));
    const auto player = factory->lastPlayer();
    EXPECT_TRUE(controller->togglePause());
    EXPECT_EQ(controller->state(), PlaybackState::paused(3));
    EXPECT_EQ(controller->state().activeSlotID(), 3);
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

TEST_F(AudioPlaybackControllerTest, StopReleasesThePlayerAndNeverCallsTheCompletion) {
    controller->stop();
    EXPECT_EQ(notifications, 0);

    controller->play(slot(5), file("a.mp3"));
    const auto player = factory->lastPlayer();
    controller->report(std::runtime_error("earlier"));
    completeLater(player);
    notifications = 0;
    controller->stop();
    EXPECT_EQ(player->stopCount, 1);
    EXPECT_EQ(controller->state(), PlaybackState::stopped());
    EXPECT_FALSE(controller->currentSlot());
    EXPECT_EQ(controller->errorMessage(), "earlier");
    EXPECT_EQ(player.use_count(), 3) << "released: held by the test, the factory and the task";
    EXPECT_EQ(notifications, 1);
    mainLoop.runPending();
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(notifications, 1);
}

TEST_F(AudioPlaybackControllerTest,
       NaturalEndOrLostOutputOfTheCurrentRunStopsAndTellsTheOwnerOnce) {
    controller->play(slot(6), file("a.mp3"));
    const auto player = factory->lastPlayer();
    controller->report(std::runtime_error("kept"));
    notifications = 0;
    completeLater(player);
    EXPECT_EQ(completions, 0) << "not before the main loop runs it";
    mainLoop.runPending();
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(controller->state(), PlaybackState::stopped());
    EXPECT_FALSE(controller->currentSlot());
    EXPECT_EQ(player->stopCount, 0);
    // A decode error ends the same way and leaves the message as it was.
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
        completeLater(player);
        mainLoop.runPending();
        EXPECT_EQ(controller->state(), PlaybackState::paused(2));
        EXPECT_EQ(completions, 0);

        if (resume) {
            EXPECT_TRUE(controller->togglePause());
            EXPECT_EQ(player->playCount, 1) << "an ended player is not started again";
            EXPECT_EQ(completions, 1);
        } else {
            controller->stop();
            EXPECT_EQ(completions, 0);
        }
        EXPECT_EQ(controller->state(), PlaybackState::stopped());
        EXPECT_FALSE(controller->currentSlot());
    }
}

TEST_F(AudioPlaybackControllerTest, ReplayingRestartsWithANewRunAndIgnoresTheOldCompletion) {
    controller->play(slot(2, 7), file("a.mp3"));
    const auto first = factory->lastPlayer();
    first->setCurrentTime(50);
    completeLater(first);  // already on its way when the cue is played again
    notifications = 0;
    controller->play(slot(2, 7), file("a.mp3"));
    const auto second = factory->lastPlayer();
    EXPECT_NE(first, second);
    EXPECT_EQ(first->stopCount, 1);
    EXPECT_EQ(second->currentTime(), 7.0);
    EXPECT_EQ(notifications, 1);
    mainLoop.runPending();
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(controller->state(), PlaybackState::playing(2));
    second->complete();
    EXPECT_EQ(completions, 1);
}

TEST_F(AudioPlaybackControllerTest, CompletionAfterTheControllerIsGoneDoesNothing) {
    controller->play(slot(1), file("a.mp3"));
    const auto player = factory->lastPlayer();
    completeLater(player);
    subscription.reset();
    controller.reset();
    EXPECT_EQ(player->stopCount, 0) << "destroying the controller does not stop the player";
    mainLoop.runPending();
    EXPECT_EQ(completions, 0);
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
    controller->play(slot(2), file("b.mp3"));
    EXPECT_FLOAT_EQ(factory->lastPlayer()->volume(), 0.25f);
}

TEST_F(AudioPlaybackControllerTest, ErrorMessageIsSetByReportAndClearedByAStart) {
    controller->report(PlaybackError(PlaybackError::Kind::missingMedia));
    EXPECT_EQ(controller->errorMessage(), "복사된 음원 파일을 찾을 수 없습니다.");
    EXPECT_EQ(notifications, 1);
    controller->clearError();
    EXPECT_FALSE(controller->errorMessage());
    EXPECT_EQ(notifications, 2);

    controller->report(test::FakePlayerError());
    EXPECT_EQ(controller->errorMessage(), "fake: cannot open audio file");
    EXPECT_THROW(controller->play(CueSlot::empty(0), file("a.mp3")), PlaybackError);
    EXPECT_TRUE(controller->errorMessage()) << "a failing play does not touch the message";
    controller->play(slot(0), file("a.mp3"));
    EXPECT_FALSE(controller->errorMessage());
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

TEST(AudioPlaybackController, ClampedStartExamples) {
    EXPECT_EQ(AudioPlaybackController::clampedStart(5, 3), 3.0);
    EXPECT_EQ(AudioPlaybackController::clampedStart(-2, 3), 0.0);
    EXPECT_EQ(AudioPlaybackController::clampedStart(1.5, 3), 1.5);
    for (const double duration : {0.0, -1.0, std::nan(""), HUGE_VAL})
        EXPECT_EQ(AudioPlaybackController::clampedStart(5, duration), 0.0) << duration;
}

// Gain and master at their ends; in between, MasterVolumeReaches… hears them.
TEST(AudioPlaybackController, CombinedVolumeClampsGainAndMaster) {
    EXPECT_EQ(AudioPlaybackController::combinedVolume(1.0, 6.0), 1.0f);
    EXPECT_EQ(AudioPlaybackController::combinedVolume(-1.0, 0.0), 0.0f);
    EXPECT_FLOAT_EQ(AudioPlaybackController::combinedVolume(1.0, -40.0),
                    static_cast<float>(std::pow(10.0, -0.6)));
}

}  // namespace
}  // namespace tavrel
