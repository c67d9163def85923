#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include "playback/output_status.h"
#include "ui/cue_board_header.h"
#include "ui/cue_board_view.h"
#include "ui/cue_card.h"
#include "ui/cue_card_artwork.h"
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
        document.slots[0].usage = "Opening";
        seedSlots({0, 1, 10}, {3}, document, {"loop-Walk-in.mp3"});
        UiServices withOutput = services();
        withOutput.outputStatus = output;
        board = std::make_unique<CueBoardView>(store, withOutput);
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

    std::shared_ptr<OutputStatus> output = std::make_shared<OutputStatus>();
    std::unique_ptr<CueBoardView> board;
};

// Playing is green, paused orange; a loop track leaves every card idle.
// Clicks play outside edit mode and open the editor inside it.
TEST_F(CueBoardTest, CardsAndTheBarFollowPlayingPausedLoopAndStopped) {
    EXPECT_FALSE(card(2).isEnabled() || card(3).isEnabled());  // no audio, copy gone
    QTest::mouseClick(&card(10), Qt::LeftButton);
    EXPECT_EQ(card(10).statusText(), QStringLiteral("재생 중"));
    EXPECT_EQ(card(10).appearance().statusSymbol(), Symbol::waveform);
    EXPECT_EQ(card(10).appearance().border, palette::green());
    expectIdle(10);
    EXPECT_EQ(bar().nowPlayingLine(), QStringLiteral("Cue 10"));

    store->play(store->document().slots[1]);
    QTest::mouseClick(&bar().pauseButton(), Qt::LeftButton);
    EXPECT_EQ(card(1).statusText(), QStringLiteral("일시정지"));
    EXPECT_EQ(card(1).appearance().border, palette::orange());
    expectIdle(1);
    EXPECT_EQ(bar().nowPlayingSymbol(), Symbol::pause);
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
    board->findChild<QDialog*>(QStringLiteral("cueEditorSheet"))->reject();
    EXPECT_FALSE(store->isEditorPresented() || board->editingSlot());
}

TEST_F(CueBoardTest, TheSoundingCardTheBarAndTheSidebarCountTimeAndFreezeWhilePaused) {
    factory->duration = 125;
    store->play(store->document().slots[1]);
    lastPlayer()->setCurrentTime(61.5);
    mainLoop.advance(0.1);
    store->togglePause();
    lastPlayer()->setCurrentTime(90);
    mainLoop.advance(1);
    EXPECT_EQ(card(0).timeRow(), nullptr);
    for (const PlaybackTimeRow* row : {card(1).timeRow(), bar().timeRow()}) {
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->elapsedText() + row->remainingText(), QStringLiteral("1:01-1:04"));
        EXPECT_DOUBLE_EQ(row->fraction(), 61.5 / 125);
    }
    store->stopPlayback();
    EXPECT_EQ(bar().timeRow(), nullptr);

    SidebarView sidebar(store);
    store->startLoopPlayback({track(0).id}, 10);
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
    MediaFolderWatcher watcher(store);
    std::filesystem::rename(aside, copy);
    EXPECT_TRUE(waitUntil([&] { return card(1).isEnabled(); }));
}

TEST_F(CueBoardTest, CardTextsTheOrangeMissingCopyWarningAndTheEditModeBanner) {
    EXPECT_EQ(card(0).usageText() + card(1).usageText(), QStringLiteral("Opening사용처 없음"));
    EXPECT_EQ(card(0).accessibleName(), QStringLiteral("키 1, Cue 0, 대기"));
    EXPECT_EQ(card(0).missingAudioWarning(), nullptr);
    // Orange on its dimmed card, not greyed with it.
    auto* warning = const_cast<QLabel*>(card(3).missingAudioWarning());
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(warning->toolTip(), QStringLiteral("복사된 음원 파일이 없습니다"));
    EXPECT_GT(test::pixelsLike(*warning, palette::orange()), 20);

    const QLabel& banner = board->editModeBanner();
    store->setEditingMode(true);
    EXPECT_TRUE(banner.isVisible());
    EXPECT_EQ(banner.text(), QStringLiteral("편집 모드 — 큐 키가 꺼져 있습니다"));
    // As wide as the rows of cards, between the header and the first row.
    const QRect first = card(0).geometry(), area = banner.geometry();
    EXPECT_TRUE(area.left() == first.left() && area.right() == card(3).geometry().right() &&
                area.bottom() < first.top() && area.top() > board->header().geometry().bottom());
    store->setEditingMode(false);
    EXPECT_FALSE(banner.isVisible());
}

TEST_F(CueBoardTest, CardsAndArtworkGrowWithTheWindowAndLeaveNoEmptyBand) {
    const auto measure = [&](QSize size) {
        board->resize(size);
        QCoreApplication::processEvents();
        // Whatever is left between the last row and the controls bar.
        EXPECT_LE(bar().geometry().top() - card(11).geometry().bottom(), 2 * CueBoardView::spacing);
        return std::pair(card(0).height(), card(0).artwork().height());
    };
    const auto [smallCard, smallArt] = measure({1000, 760});
    const auto [largeCard, largeArt] = measure({1600, 1200});
    EXPECT_GE(smallArt, CueCardArtwork::minimumAreaHeight);
    EXPECT_TRUE(largeCard > smallCard + 100 && largeArt > smallArt + 100);
}

// The set button is released once its menu closes, 출력 없음 shows only while
// sound reaches no output, and nothing takes the keyboard from the cue keys.
TEST_F(CueBoardTest, TheHeaderAndTheControlsNeverHoldOnToTheKeyboardOrAState) {
    QToolButton& button = board->header().setMenuButton();
    QCursor::setPos(board->mapToGlobal(QPoint(1, board->height() - 2)));
    button.setAttribute(Qt::WA_UnderMouse, true);
    button.setDown(true);
    board->header().setMenu().popup(button.mapToGlobal(QPoint(0, button.height())));
    ASSERT_TRUE(board->header().setMenu().isVisible());
    board->header().setMenu().hide();
    EXPECT_FALSE(button.isDown() || button.underMouse());

    QLabel& label = board->header().outputMissingLabel();
    output->update(false, false);
    EXPECT_TRUE(label.isVisible() && label.text() == QStringLiteral("출력 없음"));
    output->update(true, true);  // a chosen output gone still leaves the default one
    EXPECT_FALSE(label.isVisible());
    for (QWidget* child : board->findChildren<QWidget*>())
        EXPECT_TRUE(child->isWindow() || child->focusPolicy() == Qt::NoFocus)
            << child->metaObject()->className();
}

// Every move changes the volume; only the release saves it.
TEST_F(CueBoardTest, TheMasterVolumeSlider) {
    store->play(store->document().slots[0]);
    QSlider& slider = bar().volumeSlider();
    slider.setSliderDown(true);
    slider.setValue(300);
    EXPECT_FLOAT_EQ(lastPlayer()->volume(), 0.3f);
    EXPECT_EQ(bar().volumeText(), QStringLiteral("마스터 볼륨 30%"));
    EXPECT_DOUBLE_EQ(diskDocument().masterVolume, 1.0);
    slider.setSliderDown(false);
    EXPECT_DOUBLE_EQ(diskDocument().masterVolume, 0.3);
    store->setMasterVolume(0.57);
    EXPECT_EQ(slider.value(), 570);
}

}  // namespace
}  // namespace tavrel
