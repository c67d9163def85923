#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include "loop_editor_fixture.h"
#include "ui/content_view.h"
#include "ui/cue_board_view.h"
#include "ui/cue_editor_media_row.h"
#include "ui/cue_editor_view.h"
#include "ui/cue_menu.h"
#include "ui/loop_duration_picker.h"
#include "ui/loop_playback_view.h"
#include "ui/loop_track_list.h"
#include "ui/main_window.h"
#include "ui/sidebar_view.h"
#include "ui/transport_button.h"

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
    EXPECT_FALSE(window.content().board().isVisible());
    panel->trackList()->row(0)->checkBox()->click();
    EXPECT_EQ(panel->selectedTrackIDs().size(), 1u);

    window.content().sidebar().selectSection(TavrelSection::cuePad);
    EXPECT_TRUE(window.content().board().isVisible());
    window.content().sidebar().selectSection(TavrelSection::loopPlayer);
    EXPECT_TRUE(panel->selectedTrackIDs().empty());
    EXPECT_FALSE(panel->trackList()->row(0)->checkBox()->isChecked());
}

// Every control of the loop panel once the window shrinks to its minimum,
// idle and in a run: shown whole inside the panel (rows inside the list's
// viewport), and no two on top of each other.
TEST_F(CueEditorWindowTest, TheLoopPanelFitsTheMinimumWindow) {
    addTracks({"A rather long walk-in track title that goes on and on", "B", "C"});
    MainWindow window(store, wiredServices());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.content().sidebar().selectSection(TavrelSection::loopPlayer);
    auto& panel = dynamic_cast<LoopPlaybackView&>(window.content().loopPanel());
    QCoreApplication::processEvents();
    window.resize(MainWindow::minimumWindowWidth, MainWindow::minimumWindowHeight);
    const QWidget* viewport = panel.findChild<QListWidget*>("loopTrackList")->viewport();

    const auto checkLayout = [&](const char* when) {
        QCoreApplication::processEvents();
        std::vector<std::pair<QString, QWidget*>> controls = {
            {"add", panel.addButton()},           {"picker", panel.durationPicker()},
            {"status", panel.statusLabel()},      {"start", panel.startButton()},
            {"pause", panel.pauseButton()},       {"stop", panel.stopButton()},
            {"playing", panel.nowPlayingLabel()}, {"volume", panel.volumeLabel()},
            {"slider", panel.volumeSlider()}};
        for (std::size_t i = 0; i < panel.trackList()->rowCount(); ++i) {
            LoopTrackRow* row = panel.trackList()->row(i);
            const QString n = QString::number(i);
            controls.push_back({"check " + n, row->checkBox()});
            controls.push_back({"up " + n, row->moveUpButton()});
            controls.push_back({"down " + n, row->moveDownButton()});
        }
        const QRect shownRows(viewport->mapTo(&panel, QPoint(0, 0)), viewport->size());
        std::vector<QRect> places;
        for (const auto& [label, widget] : controls) {
            const QRect place(widget->mapTo(&panel, QPoint(0, 0)), widget->size());
            places.push_back(place);
            EXPECT_TRUE(widget->isVisible()) << when << " " << label.toStdString();
            const bool inRow = label.contains(' ');
            EXPECT_TRUE((inRow ? shownRows : panel.rect()).contains(place))
                << when << " " << label.toStdString();
            EXPECT_GE(widget->width(), widget->minimumSizeHint().width())
                << when << " " << label.toStdString();
            if (auto* text = qobject_cast<QLabel*>(widget)) {
                EXPECT_GE(widget->width(), text->fontMetrics().horizontalAdvance(text->text()))
                    << when << " " << label.toStdString();
            }
        }
        for (std::size_t a = 0; a < places.size(); ++a) {
            for (std::size_t b = a + 1; b < places.size(); ++b) {
                EXPECT_FALSE(places[a].intersects(places[b]))
                    << when << " " << controls[a].first.toStdString() << " overlaps "
                    << controls[b].first.toStdString();
            }
        }
    };
    checkLayout("idle");
    panel.trackList()->row(0)->checkBox()->click();
    panel.startButton()->click();
    ASSERT_TRUE(store->loopPlayback());
    checkLayout("running");
}

}  // namespace
}  // namespace tavrel::test
