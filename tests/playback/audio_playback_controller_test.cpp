#include "playback/audio_playback_controller.h"

#include <gtest/gtest.h>

#include <cmath>

#include "playback/clamped_start.h"
#include "support/fake_player.h"
#include "support/fault_injecting_file_system.h"
#include "support/manual_main_loop.h"

namespace tavrel {
namespace {

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
    std::filesystem::path file(const char* name) const { return temp.path() / name; }
    // Plays slot `id`; its completion is already posted, as the engine's would
    // be when the file ends just now.
    std::shared_ptr<test::FakePlayer> playEndingSoon(std::int64_t id) {
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

TEST_F(AudioPlaybackControllerTest, PlayStartsAtTheClampedStartAndGainAndFailuresKeepTheCue) {
    factory->duration = 30;
    controller->setMasterVolume(0.5);
    controller->play(slot(4, 45, -20), file("a.mp3"));
    const auto player = factory->lastPlayer();
    EXPECT_EQ(player->currentTime(), 30.0);
    EXPECT_FLOAT_EQ(player->volume(), 0.5f * std::pow(10.0f, -0.6f)) << "gain floor is -12 dB";
    for (const double duration : {std::nan(""), HUGE_VAL, 0.0})
        EXPECT_EQ(clampedStart(5, duration), 0.0) << duration;
    EXPECT_EQ(clampedStart(-2, 3), 0.0);

    notifications = 0;
    const std::tuple<CueSlot, std::optional<std::filesystem::path>, PlaybackError::Kind> refused[] =
        {{CueSlot::empty(2), file("a.mp3"), PlaybackError::Kind::noAudio},
         {slot(2), std::nullopt, PlaybackError::Kind::missingMedia},
         {slot(2), file("deleted.mp3"), PlaybackError::Kind::missingMedia}};
    for (const auto& [cue, url, kind] : refused) {
        try {
            controller->play(cue, url);
            ADD_FAILURE() << "played";
        } catch (const PlaybackError& error) {
            EXPECT_EQ(error.kind(), kind);
        }
    }
    EXPECT_TRUE(player->stopCount == 0 && notifications == 0 &&
                controller->state() == PlaybackState::playing(4));
}

// The run's end is already posted when the operator acts: it must count for
// nothing, whatever the act. A start that fails (a file that cannot be opened,
// a player that will not start) still stops the old cue and keeps the message.
TEST_F(AudioPlaybackControllerTest, AnEndAlreadyPostedCountsForNothingOnceTheRunIsOver) {
    const auto failingStart = [&](const char* name) {
        return [&, name] { EXPECT_ANY_THROW(controller->play(slot(2), file(name))); };
    };
    const std::pair<std::string, std::function<void()>> acts[] = {
        {"stop", [&] { controller->stop(); }},
        {"broken", failingStart("broken.mp3")},
        {"refused", failingStart("refuses.mp3")},
        {"replay", [&] { controller->play(slot(2, 7), file("a.mp3")); }},
        {"controller gone", [&] { subscription.reset(), controller.reset(); }},
    };
    for (const auto& [name, act] : acts) {
        SCOPED_TRACE(name);
        const auto player = playEndingSoon(1);
        controller->report(std::runtime_error("earlier"));
        act();
        mainLoop.runPending();
        EXPECT_EQ(completions, 0);
        if (!controller)
            break;
        EXPECT_EQ(player->stopCount, 1);
        EXPECT_EQ(player.use_count(), 2) << "released: held by the test and the factory";
        EXPECT_EQ(controller->state().isStopped(), name != "replay");
        EXPECT_EQ(controller->errorMessage() == "earlier", name != "replay") << "a start clears it";
        controller->stop();
    }
    EXPECT_EQ(factory->lastPlayer()->stopCount, 0) << "destroying the controller stops nothing";
}

// A natural end stops and tells once. The end can arrive during the pause's
// fade-out: the pause wins, and the end counts only once resumed.
TEST_F(AudioPlaybackControllerTest, AnEndStopsAndTellsOnceAndAPauseWinsOverIt) {
    enum { playing, resumed, stopped };
    for (const int how : {playing, resumed, stopped}) {
        SCOPED_TRACE(how);
        completions = 0;
        const auto player = playEndingSoon(2);
        ASSERT_TRUE(how == playing || controller->togglePause());
        notifications = 0;
        mainLoop.runPending();
        if (how == playing)
            player->complete();
        else if (how == resumed)
            EXPECT_TRUE(controller->togglePause());
        else
            controller->stop();
        EXPECT_EQ(player->playCount, 1) << "an ended player is not started again";
        EXPECT_EQ(completions, how == stopped ? 0 : 1);
        EXPECT_TRUE(notifications == 1 && controller->state() == PlaybackState::stopped());
    }
    // A run whose output was lost ends the same way, told as a start that failed.
    controller->play(slot(6), file("a.mp3"));
    factory->lastPlayer()->fail();
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(controller->errorMessage(), "오디오 재생을 시작하지 못했습니다.");
}

TEST_F(AudioPlaybackControllerTest, ProgressTicksOnlyWhilePlayingAndPauseResumeKeepThePlayer) {
    controller->setProgressClock(mainLoop);
    int ticks = 0;
    const Subscription tickSubscription = controller->subscribeProgress([&] { ++ticks; });
    factory->duration = 100;
    controller->play(slot(2, 10, -6), file("a.mp3"));
    const auto player = factory->lastPlayer();
    notifications = 0;
    player->setCurrentTime(40);
    mainLoop.advance(0.1);
    EXPECT_EQ(controller->progress(), (PlaybackProgress{30, 90}));
    mainLoop.advance(1);  // a position that does not move is not told again
    EXPECT_TRUE(ticks == 1 && notifications == 0);
    EXPECT_TRUE(controller->togglePause());
    EXPECT_EQ(mainLoop.activeTimerCount(), 0u) << "frozen: no timer while paused";
    controller->setMasterVolume(3);
    EXPECT_NEAR(player->volume(), std::pow(10.0, -0.3), 1e-6) << "clamped to 1, paused too";
    EXPECT_TRUE(controller->togglePause());
    EXPECT_EQ(mainLoop.activeTimerCount(), 1u);
    EXPECT_EQ(player->currentTime(), 40.0) << "a resume does not seek";
    // A resume the player refuses leaves the cue paused.
    EXPECT_TRUE(controller->togglePause());
    player->refusePlay = true;
    EXPECT_FALSE(controller->togglePause());
    EXPECT_EQ(controller->state(), PlaybackState::paused(2));
    controller->stop();
    EXPECT_TRUE(controller->progress() == PlaybackProgress{} && !mainLoop.activeTimerCount());
}

TEST_F(AudioPlaybackControllerTest, ASecondFadeOrOneWhilePausedCutsAndANewCueLeavesAFadeToAStop) {
    for (const bool paused : {false, true}) {
        controller->play(slot(1), file("a.mp3"));
        paused ? (void)controller->togglePause() : controller->fadeOut(2);
        controller->fadeOut(2);
        EXPECT_TRUE(factory->lastPlayer()->stopCount == 1 && controller->state().isStopped());
    }
    controller->play(slot(1), file("a.mp3"));
    const auto fading = factory->lastPlayer();
    controller->fadeOut(2);
    controller->play(slot(2), file("a.mp3"));
    EXPECT_EQ(fading->stopCount, 0);
    EXPECT_EQ(controller->state(), PlaybackState::playing(2));
    controller->stop();
    EXPECT_TRUE(fading->stopCount == 1 && completions == 0);
}

}  // namespace
}  // namespace tavrel
