#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include "loop_editor_fixture.h"
#include "ui/content_view.h"
#include "ui/cue_board_view.h"
#include "ui/cue_editor_media_row.h"
#include "ui/cue_editor_view.h"
#include "ui/cue_menu.h"
#include "ui/loop_playback_view.h"
#include "ui/loop_track_list.h"
#include "ui/main_window.h"
#include "ui/sidebar_view.h"

namespace tavrel::test {
namespace {

// The panel and the editor plugged into the real window, as the application does.
class CueEditorWindowTest : public LoopEditorFixture {
protected:
    UiServices wiredServices() {
        UiServices result = services();
        result.presentEditor = cueEditorPresenter(store, chooser);
        result.makeLoopPanel = [this](QWidget* parent) -> QWidget* {
            return new LoopPlaybackView(store, chooser, parent);
        };
        return result;
    }

    static CueEditorView* shownEditor() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* editor = qobject_cast<CueEditorView*>(widget); editor && editor->isVisible())
                return editor;
        }
        return nullptr;
    }
};

TEST_F(CueEditorWindowTest, CueKeysStayOffWhileTheEditorsOpenPanelIsUp) {
    seedSlots({0});
    MainWindow window(store, wiredServices());
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QAction* firstCue = window.commands().cueAction(0);
    ASSERT_TRUE(firstCue->isEnabled());

    store->setEditingMode(true);
    wiredServices().presentEditor(&window.content().board(), store->document().slots[0], {});
    store->setEditingMode(false);
    CueEditorView* editor = shownEditor();
    ASSERT_NE(editor, nullptr);
    editor->audioRow()->importButton()->click();
    ASSERT_EQ(chooser.openRequests.size(), 1u);

    // Edit mode is off again, yet the sheet under the panel keeps the keys off.
    EXPECT_TRUE(store->isEditorPresented());
    EXPECT_FALSE(firstCue->isEnabled());
    firstCue->trigger();
    QTest::keyClick(&window, Qt::Key_1);
    EXPECT_TRUE(store->playback().state().isStopped());

    chooser.answerOpen({});
    EXPECT_FALSE(firstCue->isEnabled());
    editor->cancelButton()->click();
    EXPECT_FALSE(store->isEditorPresented());
    EXPECT_TRUE(firstCue->isEnabled());
    // The same key plays once the sheet is gone: the check above could fail.
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_1);
    EXPECT_TRUE(store->playback().state().isPlaying());
}

TEST_F(CueEditorWindowTest, TheLoopSectionStartsAfreshAfterTheCuePad) {
    addTracks({"A", "B"});
    MainWindow window(store, wiredServices());
    window.show();
    auto* panel = qobject_cast<LoopPlaybackView*>(&window.content().loopPanel());
    ASSERT_NE(panel, nullptr);

    window.content().sidebar().selectSection(TavrelSection::loopPlayer);
    ASSERT_TRUE(panel->isVisible());
    panel->trackList()->row(0)->checkBox()->click();
    EXPECT_EQ(panel->selectedTrackIDs().size(), 1u);

    window.content().sidebar().selectSection(TavrelSection::cuePad);
    window.content().sidebar().selectSection(TavrelSection::loopPlayer);
    EXPECT_TRUE(panel->selectedTrackIDs().empty());
    EXPECT_FALSE(panel->trackList()->row(0)->checkBox()->isChecked());
}

}  // namespace
}  // namespace tavrel::test
