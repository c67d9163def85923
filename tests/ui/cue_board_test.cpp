#include <QLabel>
#include <QTest>

#include "playback/output_status.h"
#include "ui/cue_board_header.h"
#include "ui/cue_board_view.h"
#include "ui/cue_card.h"
#include "ui/cue_controls_bar.h"
#include "ui/media_folder_watcher.h"
#include "ui/playback_time_row.h"
#include "ui/sidebar_view.h"
#include "ui/tavrel_theme.h"
#include "ui/transport_button.h"
#include "ui_fixture.h"

namespace tavrel {
namespace {

// Slots 0, 1, 10 can play; slot 3 names a copy that is gone; the rest are empty.
class CueBoardTest : public test::UiFixture {
protected:
    void SetUp() override {
        CueDocument document = documentWithTracks({"Walk-in"});
        seedSlots({0, 1, 10}, {3}, document, {"loop-Walk-in.mp3"});
        board = std::make_unique<CueBoardView>(store, services());
        board->resize(1000, 760);
        board->show();
    }

    CueCard& card(std::size_t id) const { return board->card(id); }
    CueControlsBar& bar() const { return board->controls(); }
    void expectIdle(std::size_t except) const {
        for (std::size_t id = 0; id < 12; ++id)
            EXPECT_TRUE(id == except ||
                        (card(id).appearance().status == CueCardAppearance::Status::none &&
                         card(id).statusText().isEmpty()))
                << id;
    }

    std::unique_ptr<CueBoardView> board;
};

// A loop track leaves every card idle.
// Clicks play outside edit mode and open the editor inside it.
TEST_F(CueBoardTest, CardsAndTheBarFollowPlayingPausedLoopAndStopped) {
    EXPECT_FALSE(card(2).isEnabled() || card(3).isEnabled());  // no audio, copy gone
    QTest::mouseClick(&card(10), Qt::LeftButton);
    EXPECT_EQ(card(10).statusText(), QStringLiteral("재생 중"));
    expectIdle(10);
    EXPECT_EQ(bar().nowPlayingLine(), QStringLiteral("Cue 10"));

    store->play(store->document().slots[1]);
    QTest::mouseClick(&bar().pauseButton(), Qt::LeftButton);
    EXPECT_EQ(card(1).statusText(), QStringLiteral("일시정지"));
    expectIdle(1);
    EXPECT_EQ(bar().nowPlayingLine() + bar().pauseButton().title(),
              QStringLiteral("Cue 1 · 일시정지계속 재생"));

    store->startLoopPlayback({track(0).id}, std::nullopt);
    expectIdle(99);
    EXPECT_EQ(bar().nowPlayingLine(), QStringLiteral("Walk-in"));
    QTest::mouseClick(&bar().stopButton(), Qt::LeftButton);
    EXPECT_EQ(bar().nowPlayingLine(), QStringLiteral("재생 중인 큐 없음"));
    EXPECT_FALSE(bar().pauseButton().isEnabled() || bar().stopButton().isEnabled());

    store->setEditingMode(true);
    QTest::mouseClick(&card(2), Qt::LeftButton);
    EXPECT_EQ(board->editingSlot().value_or(CueSlot{}).id, 2);
    EXPECT_EQ(factory->requestedURLs.size(), 3u);  // cue 10, cue 1, the loop track
}

TEST_F(CueBoardTest, TheSoundingCardAndTheBarCountTimeAndFreezeWhilePaused) {
    factory->duration = 125;
    store->play(store->document().slots[1]);
    lastPlayer()->setCurrentTime(61.5);
    mainLoop.advance(0.1);
    store->togglePause();
    lastPlayer()->setCurrentTime(90);
    mainLoop.advance(1);
    for (const PlaybackTimeRow* row : {card(1).timeRow(), bar().timeRow()}) {
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->elapsedText() + row->remainingText(), QStringLiteral("1:01-1:04"));
        EXPECT_DOUBLE_EQ(row->fraction(), 61.5 / 125);
    }
    store->stopPlayback();
    EXPECT_EQ(bar().timeRow(), nullptr);
}

// Presence is read from disk once, not on every notification, and follows
// the folder through the refresh command and the window's watcher.
TEST_F(CueBoardTest, ACopyRemovedOrPutBackOnDiskReachesItsCard) {
    const std::filesystem::path copy = library().mediaURL() / "audio-1.mp3";
    const std::filesystem::path aside = temp.path() / "aside.mp3";
    std::filesystem::rename(copy, aside);
    store->setMasterVolume(0.3);
    EXPECT_TRUE(card(1).isEnabled());
    store->refreshMediaPresence();
    EXPECT_FALSE(card(1).isEnabled());
    MediaFolderWatcher watcher(store);
    std::filesystem::rename(aside, copy);
    EXPECT_TRUE(waitUntil([&] { return card(1).isEnabled(); }));
}

// The slider changes the volume on every move and saves it when let go; the
// sidebar counts a timed loop run down; a missing copy's warning stays orange
// on its dimmed card; the header says when no output takes the sound.
TEST_F(CueBoardTest, VolumeLoopCountdownMissingCopyAndOutputStatus) {
    QSlider& slider = bar().volumeSlider();
    slider.setSliderDown(true);
    slider.setValue(300);
    EXPECT_EQ(std::pair(controller->masterVolume(), diskDocument().masterVolume),
              std::pair(0.3, 1.0));
    slider.setSliderDown(false);
    EXPECT_DOUBLE_EQ(diskDocument().masterVolume, 0.3);

    SidebarView sidebar(store);
    store->startLoopPlayback({track(0).id}, 10);
    mainLoop.advance(61);
    EXPECT_EQ(sidebar.loopRemainingText(), QStringLiteral("-8:59"));

    auto* warning = const_cast<QLabel*>(card(3).missingAudioWarning());
    ASSERT_NE(warning, nullptr);
    EXPECT_GT(test::pixelsNear(warning->grab().toImage(), palette::orange(), 12), 20);

    auto status = std::make_shared<OutputStatus>();
    UiServices withStatus = services();
    withStatus.outputStatus = status;
    CueBoardView view(store, withStatus);
    view.show();
    status->update(false, false);
    EXPECT_TRUE(view.header().outputMissingLabel().isVisible());
    status->update(true, true);  // a chosen output gone still leaves the default
    EXPECT_FALSE(view.header().outputMissingLabel().isVisible());
}

TEST_F(CueBoardTest, TheEditModeBannerShowsOnlyInEditMode) {
    const QLabel& banner = board->editModeBanner();
    store->setEditingMode(true);
    EXPECT_TRUE(banner.isVisible());
    EXPECT_EQ(banner.text(), QStringLiteral("편집 모드 — 큐 키가 꺼져 있습니다"));
    store->setEditingMode(false);
    EXPECT_FALSE(banner.isVisible());
}

}  // namespace
}  // namespace tavrel
