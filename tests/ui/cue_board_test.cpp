#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <cmath>
#include <tuple>

#include "playback/output_status.h"
#include "ui/cue_board_header.h"
#include "ui/cue_board_view.h"
#include "ui/cue_card.h"
#include "ui/cue_card_artwork.h"
#include "ui/cue_controls_bar.h"
#include "ui/media_folder_watcher.h"
#include "ui/now_playing.h"
#include "ui/playback_time_row.h"
#include "ui/sidebar_view.h"
#include "ui/tavrel_theme.h"
#include "ui/transport_button.h"
#include "ui_fixture.h"

namespace tavrel {
namespace {

using Status = CueCardAppearance::Status;

using test::pixelsLike;

// Slots 0, 1, 10 can play; slot 3 names a copy that is gone; the rest are empty.
class CueBoardTest : public test::UiFixture {
protected:
    void SetUp() override {
        CueDocument document = documentWithTracks({"Walk-in"});
        for (CueSlot& slot : document.slots)
            slot.title = "Cue " + std::to_string(slot.id);
        for (const int id : {0, 1, 3, 10})
            document.slots[id].audioFilename = "audio-" + std::to_string(id) + ".mp3";
        document.slots[0].usage = "Opening";
        seed(document, {"audio-0.mp3", "audio-1.mp3", "audio-10.mp3", "loop-Walk-in.mp3"});
        board = std::make_unique<CueBoardView>(store, services());
        board->resize(1000, 760);
        board->show();
    }

    CueCard& card(std::size_t id) const { return board->card(id); }
    CueControlsBar& bar() const { return board->controls(); }
    void expectIdle(std::size_t except) const {
        for (std::size_t id = 0; id < 12; ++id) {
            if (id == except)
                continue;
            EXPECT_EQ(card(id).appearance().status, Status::none) << id;
            EXPECT_EQ(card(id).statusText(), QString()) << id;
        }
    }

    std::unique_ptr<CueBoardView> board;
};

// Playing is green, paused orange; a loop track leaves every card idle; the
// bar follows all three and its buttons work.
TEST_F(CueBoardTest, CardsAndTheBarFollowPlayingPausedLoopAndStopped) {
    store->play(store->document().slots[10]);
    EXPECT_EQ(card(10).statusText(), QStringLiteral("재생 중"));
    EXPECT_EQ(card(10).appearance().statusSymbol(), Symbol::waveform);
    EXPECT_EQ(card(10).appearance().border, palette::green());
    EXPECT_TRUE(card(10).accessibleName().contains(QStringLiteral("재생 중")));
    expectIdle(10);
    EXPECT_EQ(bar().nowPlayingLine(), QStringLiteral("Cue 10"));
    EXPECT_TRUE(bar().stopButton().isEnabled());

    store->play(store->document().slots[1]);
    QTest::mouseClick(&bar().pauseButton(), Qt::LeftButton);
    ASSERT_EQ(controller->state(), PlaybackState::paused(1));
    EXPECT_EQ(card(1).statusText(), QStringLiteral("일시정지"));
    EXPECT_EQ(card(1).appearance().border, palette::orange());
    expectIdle(1);
    EXPECT_EQ(bar().nowPlayingSymbol(), Symbol::pause);
    EXPECT_EQ(bar().nowPlayingLine(), QStringLiteral("Cue 1 · 일시정지"));
    EXPECT_EQ(bar().pauseButton().title(), QStringLiteral("계속 재생"));

    store->startLoopPlayback({track(0).id}, std::nullopt);
    expectIdle(99);
    EXPECT_EQ(bar().nowPlayingLine(), QStringLiteral("Walk-in"));
    EXPECT_TRUE(bar().pauseButton().isEnabled());

    QTest::mouseClick(&bar().stopButton(), Qt::LeftButton);
    EXPECT_TRUE(controller->state().isStopped());
    EXPECT_EQ(bar().nowPlayingLine(), QStringLiteral("재생 중인 큐 없음"));
    EXPECT_EQ(bar().pauseButton().title(), QStringLiteral("일시정지"));
    EXPECT_FALSE(bar().pauseButton().isEnabled() || bar().stopButton().isEnabled());
    EXPECT_EQ(NowPlaying::of(PlaybackState::paused(-1), std::nullopt).line,
              QStringLiteral("재생 · 일시정지"));
}

TEST_F(CueBoardTest, TheSoundingCardAndTheBarCountTimeAndFreezeWhilePaused) {
    factory->duration = 125;
    store->play(store->document().slots[1]);
    const auto player = lastPlayer();
    EXPECT_EQ(card(0).timeRow(), nullptr);
    player->setCurrentTime(61.5);
    mainLoop.advance(0.1);
    for (const PlaybackTimeRow* row : {card(1).timeRow(), bar().timeRow()}) {
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->elapsedText(), QStringLiteral("1:01"));
        EXPECT_EQ(row->remainingText(), QStringLiteral("-1:04"));
        EXPECT_DOUBLE_EQ(row->fraction(), 61.5 / 125);
    }
    store->togglePause();
    player->setCurrentTime(90);
    mainLoop.advance(1);
    EXPECT_EQ(card(1).timeRow()->elapsedText(), QStringLiteral("1:01"));
    EXPECT_EQ(bar().timeRow()->remainingText(), QStringLiteral("-1:04"));
    store->stopPlayback();
    EXPECT_EQ(card(1).timeRow(), nullptr);
    EXPECT_EQ(bar().timeRow(), nullptr);

    const std::tuple<double, const char*, const char*> times[] = {{0, "0:00", "-0:00"},
                                                                  {59.2, "0:59", "-1:00"},
                                                                  {3600, "60:00", "-60:00"},
                                                                  {-3, "0:00", "-0:00"},
                                                                  {std::nan(""), "0:00", "-0:00"}};
    for (const auto& [seconds, elapsed, remaining] : times) {
        EXPECT_EQ(elapsedTimeText(seconds), QString::fromUtf8(elapsed)) << seconds;
        EXPECT_EQ(remainingTimeText(seconds), QString::fromUtf8(remaining)) << seconds;
    }
}

TEST_F(CueBoardTest, TheSidebarCountsDownATimedLoopRunOnly) {
    SidebarView sidebar(store);
    store->startLoopPlayback({track(0).id}, 10);
    EXPECT_EQ(sidebar.loopRemainingText(), QStringLiteral("-10:00"));
    mainLoop.advance(61);
    EXPECT_EQ(sidebar.loopRemainingText(), QStringLiteral("-8:59"));
    store->startLoopPlayback({track(0).id}, std::nullopt);
    EXPECT_EQ(sidebar.loopRemainingText(), QString());
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
    EXPECT_NE(card(1).missingAudioWarning(), nullptr);

    MediaFolderWatcher watcher(store);
    std::filesystem::rename(aside, copy);
    EXPECT_TRUE(waitUntil([&] { return card(1).isEnabled(); }));
    EXPECT_EQ(card(1).missingAudioWarning(), nullptr);
}

TEST_F(CueBoardTest, ClicksPlayOutsideEditModeAndOpenTheEditorInside) {
    EXPECT_FALSE(card(2).isEnabled());  // no audio
    EXPECT_FALSE(card(3).isEnabled());  // copy gone
    QTest::mouseClick(&card(2), Qt::LeftButton);
    EXPECT_TRUE(factory->requestedURLs.empty());
    QTest::mouseClick(&card(0), Qt::LeftButton);
    EXPECT_EQ(controller->state(), PlaybackState::playing(0));
    // A click on the sounding cue is the store's to decide, like any other.
    QTest::mouseClick(&card(0), Qt::LeftButton);
    EXPECT_EQ(factory->requestedURLs.size(), 2u);

    store->setEditingMode(true);
    for (std::size_t id = 0; id < 12; ++id)
        EXPECT_TRUE(card(id).isEnabled()) << id;
    QTest::mouseClick(&card(2), Qt::LeftButton);
    ASSERT_TRUE(board->editingSlot());
    EXPECT_EQ(board->editingSlot()->id, 2);
    EXPECT_TRUE(store->isEditorPresented());
    EXPECT_EQ(factory->requestedURLs.size(), 2u);

    auto* sheet = board->findChild<QDialog*>(QStringLiteral("cueEditorSheet"));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    sheet->reject();
    EXPECT_FALSE(store->isEditorPresented());
    EXPECT_FALSE(board->editingSlot());
}

TEST_F(CueBoardTest, CardsShowKeyUsageOrItsAbsenceAndAnOrangeWarningForAMissingCopy) {
    EXPECT_EQ(card(0).usageText(), QStringLiteral("Opening"));
    EXPECT_EQ(card(1).usageText(), QStringLiteral("사용처 없음"));
    EXPECT_EQ(card(0).missingAudioWarning(), nullptr);
    EXPECT_EQ(card(11).keyText(), QStringLiteral("="));
    EXPECT_EQ(card(0).accessibleName(), QStringLiteral("키 1, Cue 0, 대기"));
    EXPECT_TRUE(card(3).accessibleName().contains(QStringLiteral("음원 파일 없음")));
    // Orange on its dimmed card, not greyed with it.
    ASSERT_FALSE(card(3).isEnabled());
    auto* warning = const_cast<QLabel*>(card(3).missingAudioWarning());
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(warning->toolTip(), QStringLiteral("복사된 음원 파일이 없습니다"));
    EXPECT_GT(pixelsLike(*warning, palette::orange()), 20);
}

TEST_F(CueBoardTest, EditModeShowsABannerAcrossTheBoardThatCueKeysAreOff) {
    const QLabel& banner = board->editModeBanner();
    EXPECT_FALSE(banner.isVisible());
    store->setEditingMode(true);
    ASSERT_TRUE(banner.isVisible());
    EXPECT_EQ(banner.text(), QStringLiteral("편집 모드 — 큐 키가 꺼져 있습니다"));
    // As wide as the rows of cards, between the header and the first row.
    const QRect first = card(0).geometry();
    EXPECT_EQ(banner.geometry().left(), first.left());
    EXPECT_EQ(banner.geometry().right(), card(3).geometry().right());
    EXPECT_LT(banner.geometry().bottom(), first.top());
    EXPECT_GT(banner.geometry().top(), board->header().geometry().bottom());
    store->setEditingMode(false);
    EXPECT_FALSE(banner.isVisible());
}

TEST_F(CueBoardTest, CardsAndArtworkGrowWithTheWindowAndLeaveNoEmptyBand) {
    const auto measure = [&](QSize size) {
        board->resize(size);
        QCoreApplication::processEvents();
        // Whatever is left between the last row and the controls bar.
        const int gap = bar().geometry().top() - card(11).geometry().bottom();
        EXPECT_LE(gap, 2 * CueBoardView::spacing) << size.height();
        return std::pair(card(0).height(), card(0).artwork().height());
    };
    const auto [smallCard, smallArt] = measure({1000, 760});
    const auto [largeCard, largeArt] = measure({1600, 1200});
    EXPECT_GE(smallArt, CueCardArtwork::minimumAreaHeight);
    EXPECT_GT(largeCard, smallCard + 100);
    EXPECT_GT(largeArt, smallArt + 100);
}

TEST_F(CueBoardTest, TheSetButtonLooksReleasedOnceItsMenuCloses) {
    QToolButton& button = board->header().setMenuButton();
    QCursor::setPos(board->mapToGlobal(QPoint(1, board->height() - 2)));
    button.setAttribute(Qt::WA_UnderMouse, true);
    button.setDown(true);
    board->header().setMenu().popup(button.mapToGlobal(QPoint(0, button.height())));
    ASSERT_TRUE(board->header().setMenu().isVisible());
    board->header().setMenu().hide();
    EXPECT_FALSE(button.isDown());
    EXPECT_FALSE(button.underMouse());
}

// The label shows the whole percent the value stands for; the slider changes
// the volume on every move and saves on release.
TEST_F(CueBoardTest, TheMasterVolumeSliderAndItsLabel) {
    EXPECT_EQ(masterVolumePercent(0.999), 99);
    EXPECT_EQ(masterVolumePercent(0.57), 57);
    store->play(store->document().slots[0]);
    QSlider& slider = bar().volumeSlider();
    slider.setSliderDown(true);
    slider.setValue(400);
    slider.setValue(300);
    EXPECT_DOUBLE_EQ(controller->masterVolume(), 0.3);
    EXPECT_FLOAT_EQ(lastPlayer()->volume(), 0.3f);
    EXPECT_EQ(bar().volumeText(), QStringLiteral("마스터 볼륨 30%"));
    EXPECT_DOUBLE_EQ(diskDocument().masterVolume, 1.0);
    slider.setSliderDown(false);
    EXPECT_DOUBLE_EQ(diskDocument().masterVolume, 0.3);
    store->setMasterVolume(0.57);
    EXPECT_EQ(slider.value(), 570);
}

TEST_F(CueBoardTest, BoardControlsNeverTakeKeyboardFocus) {
    for (QWidget* child : board->findChildren<QWidget*>()) {
        if (child->isWindow())
            continue;
        EXPECT_EQ(child->focusPolicy(), Qt::NoFocus) << child->metaObject()->className();
    }
}

TEST_F(CueBoardTest, TheHeaderSaysNoOutputOnlyWhileSoundReachesNone) {
    auto status = std::make_shared<OutputStatus>();
    UiServices withStatus = services();
    withStatus.outputStatus = status;
    CueBoardView view(store, withStatus);
    view.show();
    QLabel& label = view.header().outputMissingLabel();
    EXPECT_FALSE(label.isVisible());
    status->update(false, false);
    EXPECT_TRUE(label.isVisible());
    EXPECT_EQ(label.text(), QStringLiteral("출력 없음"));
    // A chosen output that is gone still leaves sound on the default one.
    status->update(true, true);
    EXPECT_FALSE(label.isVisible());
    EXPECT_FALSE(board->header().outputMissingLabel().isVisible());
}

}  // namespace
}  // namespace tavrel
