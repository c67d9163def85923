#include <gtest/gtest.h>

#include "support/store_fixture.h"

namespace tavrel {
namespace {

// Two cues and a loop track; a fake player's fade lasts until complete().
class FadeOutTest : public test::StoreFixture {
protected:
    FadeOutTest() {
        CueDocument document = documentWithTracks({"A"});
        document.slots[0].audioFilename = "audio-one.mp3";
        document.slots[1].audioFilename = "audio-two.mp3";
        auto media = trackFiles({"A"});
        media.insert(media.end(), {"audio-one.mp3", "audio-two.mp3"});
        seed(document, media);
    }

    void play(std::size_t id) { store->play(store->document().slots.at(id)); }
};

TEST_F(FadeOutTest, AFadeTakesThePreferredTimeEndsTheLoopRunAndItsEndIsAStop) {
    Preferences preferences = store->preferences();
    preferences.fadeSeconds = 4.5;
    ASSERT_TRUE(store->setPreferences(preferences));
    store->startLoopPlayback({track(0).id}, 10);
    const auto fading = lastPlayer();
    store->fadeOut();
    EXPECT_FALSE(store->loopPlayback());
    EXPECT_EQ(mainLoop.activeTimerCount(), 0u);
    EXPECT_EQ(fading->fadeSeconds, std::vector<double>{4.5});
    // Heard until the fade is over, then nothing follows it.
    EXPECT_EQ(controller->state(), PlaybackState::playing(-1));
    fading->complete();
    EXPECT_TRUE(controller->state().isStopped());
    EXPECT_EQ(factory->players.size(), 1u);
    EXPECT_EQ(fading->stopCount, 0);
}

TEST_F(FadeOutTest, ASecondFadeOrAFadeWhilePausedCutsAtOnce) {
    for (const bool paused : {false, true}) {
        play(0);
        paused ? store->togglePause() : store->fadeOut();
        store->fadeOut();
        EXPECT_EQ(lastPlayer()->stopCount, 1) << paused;
        EXPECT_EQ(lastPlayer()->fadeSeconds.size(), paused ? 0u : 1u);
        EXPECT_TRUE(controller->state().isStopped());
    }
}

TEST_F(FadeOutTest, ACueDuringAFadeStartsAtOnceAndAStopCutsEveryFade) {
    play(0);
    const auto first = lastPlayer();
    store->fadeOut();
    play(1);
    EXPECT_EQ(controller->state(), PlaybackState::playing(1));
    EXPECT_EQ(first->stopCount, 0);
    first->complete();  // its fade ends under the new cue
    EXPECT_EQ(controller->state(), PlaybackState::playing(1));

    const auto second = lastPlayer();
    store->fadeOut();
    play(0);
    store->stopPlayback();
    EXPECT_EQ(second->stopCount, 1);
    EXPECT_EQ(lastPlayer()->stopCount, 1);
    second->complete();  // a late end of a cut fade changes nothing
    EXPECT_TRUE(controller->state().isStopped());
}

}  // namespace
}  // namespace tavrel
