#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <set>

#include "loop_editor_fixture.h"
#include "ui/content_view.h"
#include "ui/cue_board_view.h"
#include "ui/cue_card.h"
#include "ui/main_window.h"
#include "ui/sidebar_view.h"
#include "ui/tavrel_theme.h"

namespace tavrel {
namespace {

class MainWindowSmokeTest : public test::LoopEditorFixture {};

TEST_F(MainWindowSmokeTest, TheWholeWindowRendersWithItsTwelveKeyBadges) {
    seedSlots({0, 1, 2});
    store->play(store->document().slots[1]);
    MainWindow window(store, services());
    window.resize(980, 760);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QImage shot = window.grab().toImage();
    const CueBoardView& board = window.content().board();
    QString keys;
    for (std::size_t id = 0; id < 12; ++id) {
        const CueCard& card = board.card(id);
        EXPECT_TRUE(card.isVisible()) << id;
        const QRect place(card.mapTo(&window, QPoint(0, 0)), card.size());
        EXPECT_TRUE(window.rect().contains(place)) << id;
        // The card is drawn, not an empty patch of backdrop.
        const QImage cardPixels = shot.copy(place);
        std::set<QRgb> cardColours;
        for (int y = 0; y < cardPixels.height(); y += 3)
            cardColours.insert(cardPixels.pixel(cardPixels.width() / 10, y));
        EXPECT_GT(cardColours.size(), 3u) << id;
        keys += card.keyText();
    }
    EXPECT_EQ(keys, QStringLiteral("1234567890-="));
}

TEST_F(MainWindowSmokeTest, ClosingAsksFirstOnlyWhileASoundPlaysOrALoopRunExists) {
    seedSlots({0});
    MainWindow window(store, services());
    window.show();
    const auto box = [&] { return window.closeConfirmation().box(); };
    store->setMasterVolume(0.5);  // idle: nothing to ask
    EXPECT_TRUE(window.close());
    EXPECT_EQ(box(), nullptr);
    window.show();

    const auto askAndCancel = [&] {
        EXPECT_FALSE(window.close());
        EXPECT_TRUE(window.isVisible());
        ASSERT_NE(box(), nullptr);
        EXPECT_TRUE(box()->text().contains(QStringLiteral("종료할까요")));
        EXPECT_FALSE(window.close());  // a second attempt opens no second box
        EXPECT_EQ(window.findChildren<QMessageBox*>().size(), 1);
        box()->escapeButton()->click();
        ASSERT_TRUE(test::UiFixture::waitUntil([&] { return box() == nullptr; }));
        EXPECT_TRUE(window.isVisible());
    };
    store->play(store->document().slots[0]);
    askAndCancel();
    store->togglePause();
    askAndCancel();
    store->stopPlayback();

    addTracks({"Walk-in"});
    store->startLoopPlayback({store->document().loopTracks[0].id}, std::nullopt);
    store->togglePause();
    ASSERT_TRUE(store->loopPlayback());
    EXPECT_FALSE(window.close());
    ASSERT_NE(box(), nullptr);
    QPushButton* quit = nullptr;
    for (QAbstractButton* button : box()->buttons()) {
        if (box()->buttonRole(button) == QMessageBox::DestructiveRole)
            quit = qobject_cast<QPushButton*>(button);
    }
    ASSERT_NE(quit, nullptr);
    EXPECT_TRUE(isDestructiveButton(quit));
    quit->click();
    EXPECT_TRUE(test::UiFixture::waitUntil([&] { return !window.isVisible(); }));
}

}  // namespace
}  // namespace tavrel
