#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QTest>

#include "ui/cue_menu.h"
#include "ui/main_window.h"
#include "ui_fixture.h"

namespace tavrel {
namespace {

// Slot 4 has no audio; every other slot can play.
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
    std::string lastPlayedFile() const {
        return factory->requestedURLs.empty() ? ""
                                              : factory->requestedURLs.back().filename().string();
    }
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(window.get(), key, modifiers);
    }
    void expectAllOff() const {
        for (std::size_t i = 0; i < 12; ++i) {
            EXPECT_FALSE(commands().cueAction(i)->isEnabled()) << i;
            EXPECT_TRUE(commands().cueAction(i)->shortcut().isEmpty()) << i;
            EXPECT_EQ(commands().cueAction(i)->text(), QStringLiteral("큐 %1 재생").arg(i + 1));
        }
        EXPECT_FALSE(commands().pauseAction()->isEnabled());
        EXPECT_TRUE(commands().pauseAction()->shortcut().isEmpty());
        EXPECT_FALSE(commands().fadeAction()->isEnabled());
        EXPECT_TRUE(commands().fadeAction()->shortcut().isEmpty());
    }

    std::unique_ptr<MainWindow> window;
};

TEST_F(CueMenuTest, EachKeyPlaysItsSlotAndTheMenuReadsInOrder) {
    const Qt::Key keys[] = {Qt::Key_1, Qt::Key_2, Qt::Key_3,     Qt::Key_4,
                            Qt::Key_5, Qt::Key_6, Qt::Key_7,     Qt::Key_8,
                            Qt::Key_9, Qt::Key_0, Qt::Key_Minus, Qt::Key_Equal};
    for (std::int64_t id = 0; id < 12; ++id) {
        if (id == 4)
            continue;
        press(keys[id]);
        EXPECT_EQ(controller->state(), PlaybackState::playing(id)) << id;
        EXPECT_EQ(lastPlayedFile(), "audio-" + std::to_string(id) + ".mp3");
    }
    EXPECT_EQ(plays(), 11u);
    const QList<QAction*> items = commands().menu()->actions();
    ASSERT_EQ(items.size(), 15);
    EXPECT_EQ(items[0]->text(), QStringLiteral("큐 1 재생"));
    EXPECT_EQ(items[11]->text(), QStringLiteral("큐 12 재생"));
    EXPECT_EQ(items[11]->shortcut(), QKeySequence(Qt::Key_Equal));
    EXPECT_TRUE(items[12]->isSeparator());
    EXPECT_EQ(items[13]->shortcut(), QKeySequence(Qt::Key_Space));
}

TEST_F(CueMenuTest, KeypadKeysBehaveAsTheirCharacters) {
    press(Qt::Key_1, Qt::KeypadModifier);
    EXPECT_EQ(controller->state(), PlaybackState::playing(0));
    press(Qt::Key_0, Qt::KeypadModifier);
    EXPECT_EQ(controller->state(), PlaybackState::playing(9));
    press(Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(controller->state(), PlaybackState::playing(10));
}

TEST_F(CueMenuTest, NothingPlaysWithACommandModifierHeld) {
    for (const auto modifier : {Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier}) {
        press(Qt::Key_1, modifier);
        press(Qt::Key_Minus, modifier);
    }
    EXPECT_EQ(plays(), 0u);
    EXPECT_TRUE(controller->state().isStopped());
}

TEST_F(CueMenuTest, ASlotWithoutAudioIgnoresItsKeyAndTheOthersStillWork) {
    EXPECT_FALSE(commands().cueAction(4)->isEnabled());
    press(Qt::Key_5);
    EXPECT_EQ(plays(), 0u);
    EXPECT_FALSE(controller->errorMessage());
    press(Qt::Key_6);
    EXPECT_EQ(controller->state(), PlaybackState::playing(5));
}

TEST_F(CueMenuTest, EditModeAndTheEditorSwitchOffAllFourteenItems) {
    press(Qt::Key_1);
    ASSERT_TRUE(controller->state().isPlaying());
    for (const bool editor : {false, true}) {
        if (editor)
            store->setEditorPresented(true);
        else
            store->setEditingMode(true);
        expectAllOff();
        press(Qt::Key_2);
        press(Qt::Key_Space);
        EXPECT_EQ(controller->state(), PlaybackState::playing(0));
        EXPECT_EQ(plays(), 1u);
        if (editor)
            store->setEditorPresented(false);
        else
            store->setEditingMode(false);
        EXPECT_TRUE(commands().cueAction(1)->isEnabled());
        EXPECT_EQ(commands().cueAction(1)->shortcut(), QKeySequence(Qt::Key_2));
    }
    press(Qt::Key_2);
    EXPECT_EQ(controller->state(), PlaybackState::playing(1));
    press(Qt::Key_Escape);
    EXPECT_TRUE(controller->isFadingOut());
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

TEST_F(CueMenuTest, AHeldKeyTriggersOnceHoweverItsRepeatsArriveAndItsReleaseReArmsIt) {
    const PlatformKeys keys{window->windowHandle()};
    keys.press(Qt::Key_4, 1000);
    EXPECT_EQ(plays(), 1u);
    for (unsigned long at = 1660; at < 2000; at += 40)
        keys.repeat(Qt::Key_4, at, at % 80 == 0);
    EXPECT_EQ(plays(), 1u);
    keys.press(Qt::Key_Space, 2010);
    for (unsigned long at = 2670; at < 3000; at += 40) {
        keys.repeat(Qt::Key_Space, at, false);
        keys.repeat(Qt::Key_4, at + 5, false);
    }
    EXPECT_EQ(controller->state(), PlaybackState::paused(3));
    EXPECT_EQ(lastPlayer()->pauseCount, 1);
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
}

TEST_F(CueMenuTest, SpacePausesAndResumesAndDoesNothingWhenStopped) {
    EXPECT_FALSE(commands().pauseAction()->isEnabled());
    press(Qt::Key_Space);
    EXPECT_TRUE(controller->state().isStopped());

    press(Qt::Key_3);
    EXPECT_TRUE(commands().pauseAction()->isEnabled());
    press(Qt::Key_Space);
    EXPECT_EQ(controller->state(), PlaybackState::paused(2));
    EXPECT_EQ(commands().pauseAction()->text(), QStringLiteral("계속 재생"));
    press(Qt::Key_Space);
    EXPECT_EQ(controller->state(), PlaybackState::playing(2));
    EXPECT_EQ(commands().pauseAction()->text(), QStringLiteral("일시정지"));
    EXPECT_EQ(lastPlayer()->pauseCount, 1);
}

TEST_F(CueMenuTest, ThePauseItemFollowsTheControllerAtOnce) {
    press(Qt::Key_1);
    // Straight to the controller: the store says nothing about it.
    controller->togglePause();
    EXPECT_EQ(commands().pauseAction()->text(), QStringLiteral("계속 재생"));
    controller->stop();
    EXPECT_EQ(commands().pauseAction()->text(), QStringLiteral("일시정지"));
    EXPECT_FALSE(commands().pauseAction()->isEnabled());
}

TEST_F(CueMenuTest, TheWindowCannotBeMadeSmallerThan980By760) {
    EXPECT_EQ(window->minimumSize(), QSize(980, 760));
    window->resize(600, 400);
    EXPECT_GE(window->width(), 980);
    EXPECT_GE(window->height(), 760);
}

}  // namespace
}  // namespace tavrel
