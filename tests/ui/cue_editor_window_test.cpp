#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include "loop_editor_fixture.h"
#include "ui/content_view.h"
#include "ui/loop_duration_picker.h"
#include "ui/loop_playback_view.h"
#include "ui/loop_track_list.h"
#include "ui/main_window.h"
#include "ui/sidebar_view.h"
#include "ui/transport_button.h"

namespace tavrel::test {
namespace {

using LoopPanelWindowTest = LoopEditorFixture;

// Every control of the loop panel shown whole inside it (rows inside the
// list's viewport), wide enough for its text, and none on top of another.
void expectFits(LoopPlaybackView& panel, const std::string& when) {
    QCoreApplication::processEvents();
    std::vector<QWidget*> controls = {
        panel.addButton(),       panel.durationPicker(), panel.statusLabel(),
        panel.startButton(),     panel.pauseButton(),    panel.stopButton(),
        panel.nowPlayingLabel(), panel.volumeLabel(),    panel.volumeSlider()};
    for (std::size_t i = 0; i < panel.trackList()->rowCount(); ++i) {
        LoopTrackRow* row = panel.trackList()->row(i);
        controls.insert(controls.end(),
                        {row->checkBox(), row->moveUpButton(), row->moveDownButton()});
    }
    const QWidget* viewport = panel.findChild<QListWidget*>("loopTrackList")->viewport();
    const auto place = [&](const QWidget* widget) {
        return QRect(widget->mapTo(&panel, QPoint(0, 0)), widget->size());
    };
    for (std::size_t a = 0; a < controls.size(); ++a) {
        QWidget* widget = controls[a];
        SCOPED_TRACE(when + ", control " + std::to_string(a));
        EXPECT_TRUE(widget->isVisible());
        EXPECT_TRUE((viewport->isAncestorOf(widget) ? place(viewport) : panel.rect())
                        .contains(place(widget)));
        const auto* text = qobject_cast<QLabel*>(widget);
        EXPECT_GE(widget->width(),
                  std::max(widget->minimumSizeHint().width(),
                           text ? text->fontMetrics().horizontalAdvance(text->text()) : 0));
        for (std::size_t b = a + 1; b < controls.size(); ++b)
            EXPECT_FALSE(place(widget).intersects(place(controls[b]))) << "overlaps " << b;
    }
}

TEST_F(LoopPanelWindowTest, TheLoopPanelFitsTheMinimumWindow) {
    addTracks({"A rather long walk-in track title that goes on and on", "B", "C"});
    MainWindow window(store, services());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.content().sidebar().selectSection(TavrelSection::loopPlayer);
    auto& panel = dynamic_cast<LoopPlaybackView&>(window.content().loopPanel());
    window.resize(MainWindow::minimumWindowWidth, MainWindow::minimumWindowHeight);
    expectFits(panel, "idle");
    panel.trackList()->row(0)->checkBox()->click();
    panel.startButton()->click();
    ASSERT_TRUE(store->loopPlayback());
    expectFits(panel, "running");
}

}  // namespace
}  // namespace tavrel::test
