#include <QMenu>
#include <QMessageBox>
#include <QTest>

#include "ui/cue_menu.h"
#include "ui/main_window.h"
#include "ui_fixture.h"

namespace tavrel {
namespace {

// The main window; slot 4 has no audio, every other slot can play.
class CueMenuTest : public test::UiFixture {
protected:
    void SetUp() override {
        seedSlots({0, 1, 2, 3, 5, 6, 7, 8, 9, 10, 11});
        window = std::make_unique<MainWindow>(store, services());
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    CueKeyboardCommands& commands() const { return window->commands(); }
    std::size_t plays() const { return factory->requestedURLs.size(); }
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(window.get(), key, modifiers);
    }

    std::unique_ptr<MainWindow> window;
};

TEST_F(CueMenuTest, EachKeyPlaysItsSlotAndKeypadKeysTheirCharacters) {
    const Qt::Key keys[] = {Qt::Key_1, Qt::Key_2, Qt::Key_3,     Qt::Key_4,
                            Qt::Key_5, Qt::Key_6, Qt::Key_7,     Qt::Key_8,
                            Qt::Key_9, Qt::Key_0, Qt::Key_Minus, Qt::Key_Equal};
    for (std::int64_t id = 0; id < 12; ++id) {
        press(keys[id], id % 2 ? Qt::NoModifier : Qt::KeypadModifier);
        EXPECT_TRUE(id == 4 || factory->requestedURLs.back().filename() ==
                                   "audio-" + std::to_string(id) + ".mp3")
            << id;
    }
    EXPECT_EQ(plays(), 11u);  // the slot without audio ignores its key
}

TEST_F(CueMenuTest, EditModeAndTheEditorSwitchOffAllFourteenItems) {
    press(Qt::Key_1);
    for (const bool editor : {false, true}) {
        editor ? store->setEditorPresented(true) : store->setEditingMode(true);
        for (QAction* item : commands().menu()->actions())
            EXPECT_TRUE(item->isSeparator() || !(item->isEnabled() || item->shortcut().count()));
        press(Qt::Key_2);
        press(Qt::Key_Space);
        EXPECT_EQ(controller->state(), PlaybackState::playing(0));
        editor ? store->setEditorPresented(false) : store->setEditingMode(false);
    }
    press(Qt::Key_2);
    EXPECT_EQ(controller->state(), PlaybackState::playing(1));
}

// Key events as the platform hands them to the window: a press goes through
// the shortcut map, a release straight to the window. `at` is the X time.
struct PlatformKeys {
    QWindow* window = nullptr;
    void press(Qt::Key key, unsigned long at, bool markedRepeat = false) const {
        qt_sendShortcutOverrideEvent(window, at, key, Qt::NoModifier, QString(), markedRepeat);
    }
    void release(Qt::Key key, unsigned long at, bool markedRepeat = false) const {
        QKeyEvent event(QEvent::KeyRelease, key, Qt::NoModifier, QString(), markedRepeat);
        event.setTimestamp(at);
        QApplication::sendEvent(window, &event);
    }
    // X's auto-repeat: release and press at one instant, marked by Qt or not.
    void repeat(Qt::Key key, unsigned long at, bool marked) const {
        release(key, at, marked);
        press(key, at, marked);
    }
};

TEST_F(CueMenuTest, AHeldKeyActsOnceAndItsReleaseReArmsIt) {
    const PlatformKeys keys{window->windowHandle()};
    keys.press(Qt::Key_4, 1000);
    for (unsigned long at = 1660; at < 2000; at += 40)
        keys.repeat(Qt::Key_4, at, at % 80 == 0);
    keys.press(Qt::Key_Space, 2010);
    for (unsigned long at = 2670; at < 3000; at += 40) {
        keys.repeat(Qt::Key_Space, at, false);
        keys.repeat(Qt::Key_4, at + 5, false);
    }
    EXPECT_EQ(controller->state(), PlaybackState::paused(3));
    EXPECT_EQ(plays(), 1u);
    keys.release(Qt::Key_Space, 3100);
    keys.press(Qt::Key_Space, 3101);
    EXPECT_EQ(controller->state(), PlaybackState::playing(3));
    keys.release(Qt::Key_4, 3200);
    keys.press(Qt::Key_4, 3300);
    EXPECT_EQ(plays(), 2u);
    // Held while the window lost the keyboard: its release went elsewhere.
    QFocusEvent focusOut(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(window->windowHandle(), &focusOut);
    keys.press(Qt::Key_4, 4000);
    EXPECT_EQ(plays(), 3u);
    // A second Escape would cut the fade off.
    keys.press(Qt::Key_Escape, 5000);
    for (unsigned long at = 5660; at < 6000; at += 40)
        keys.repeat(Qt::Key_Escape, at, false);
    EXPECT_TRUE(controller->isFadingOut() && lastPlayer()->fadeSeconds.size() == 1);
}

TEST_F(CueMenuTest, TheWindowAsksBeforeClosingOnASound) {
    const auto box = [&] { return window->closeConfirmation().box(); };
    EXPECT_TRUE(window->close());  // idle: nothing to ask
    window->show();
    store->play(store->document().slots[0]);
    EXPECT_FALSE(window->close() || window->close());  // the second opens no second box
    EXPECT_EQ(window->findChildren<QMessageBox*>().size(), 1);
    EXPECT_TRUE(box()->text().contains(QStringLiteral("종료할까요")));
    box()->escapeButton()->click();
    ASSERT_TRUE(waitUntil([&] { return box() == nullptr; }));
    EXPECT_FALSE(window->close());
    for (QAbstractButton* button : box()->buttons()) {
        if (box()->buttonRole(button) == QMessageBox::DestructiveRole)
            button->click();
    }
    EXPECT_TRUE(waitUntil([&] { return !window->isVisible(); }));
}

}  // namespace
}  // namespace tavrel
