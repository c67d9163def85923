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

using Titles = std::vector<std::string>;

class LoopPlaybackViewTest : public LoopEditorFixture {
protected:
    void makeView(const Titles& tracks = {}) {
        if (!tracks.empty())
            addTracks(tracks);
        view = std::make_unique<LoopPlaybackView>(store, chooser);
        view->resize(960, 640);
        view->show();
    }
    LoopTrackList& list() const { return *view->trackList(); }
    void check(std::initializer_list<std::size_t> positions) const {
        for (const std::size_t position : positions)
            list().row(position)->checkBox()->click();
    }
    void start(LoopDuration duration) const {
        QTest::mouseClick(view->durationPicker(), Qt::LeftButton, {},
                          view->durationPicker()->segmentRect(duration).center());
        view->startButton()->click();
    }
    QString status() const { return view->statusLabel()->text(); }

    std::unique_ptr<LoopPlaybackView> view;
};

TEST_F(LoopPlaybackViewTest, StatusAndStartFollowTheChecksAndTheDuration) {
    makeView({"Intro", "Walk-in", "Outro"});
    check({0, 2});
    EXPECT_EQ(status() + view->startButton()->title(), "2곡 선택됨10분 시작");
    start(LoopDuration::thirtyMinutes);
    EXPECT_EQ(store->loopPlayback()->tracks.size(), 2u);
    mainLoop.advance(3.0);
    EXPECT_EQ(status(), "29:57");
    view->stopButton()->click();
    EXPECT_EQ(view->startButton()->title(), "30분 시작");
    check({0, 2});
    EXPECT_EQ(status(), "0곡 선택됨");
    EXPECT_FALSE(view->startButton()->isEnabled());
}

TEST_F(LoopPlaybackViewTest, ARunDisablesEditingAndShowsWhatPlays) {
    makeView({"Intro", "Walk-in"});
    check({0, 1});
    list().selectRows({1});
    start(LoopDuration::tenMinutes);
    // The current track is marked, and no row stays highlighted.
    EXPECT_TRUE(list().row(0)->showsCurrentMark());
    EXPECT_TRUE(list().selectedPositions().empty());
    EXPECT_FALSE(view->addButton()->isEnabled() || view->durationPicker()->isEnabled() ||
                 view->startButton()->isEnabled() || list().row(0)->checkBox()->isEnabled() ||
                 list().row(1)->moveUpButton()->isEnabled());
    EXPECT_EQ(view->nowPlayingLabel()->text(), "재생 중: Intro");
    // Rows cannot be deleted and files cannot be dropped while the run holds its copy.
    list().selectRows({0});
    list().deleteSelectedRows();
    EXPECT_FALSE(drop(&list(), fileDrag({sourceFile("late.mp3")}).get()));
    EXPECT_EQ(store->document().loopTracks.size(), 2u);

    view->pauseButton()->click();
    EXPECT_EQ(view->nowPlayingLabel()->text(), "일시정지: Intro");
    view->stopButton()->click();
    EXPECT_TRUE(list().row(0)->checkBox()->isEnabled() && !list().row(0)->showsCurrentMark());
    EXPECT_EQ(status(), "2곡 선택됨");  // the checks survive the run
}

// Down from position 1 is the move of {1} to 3; deleting a checked row drops
// it from the count and its copy from the library.
TEST_F(LoopPlaybackViewTest, MoveButtonsAndDeletingRows) {
    makeView({"A", "B", "C", "D"});
    list().row(1)->moveDownButton()->click();
    list().row(1)->moveUpButton()->click();
    EXPECT_EQ(trackTitles(), (Titles{"C", "A", "B", "D"}));

    check({0, 1});
    const std::string removedFile = store->document().loopTracks[0].audioFilename;
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    list().selectRows({0, 2});
    QTest::keyClick(view.get(), Qt::Key_Backspace);
    EXPECT_EQ(trackTitles(), (Titles{"A", "D"}));
    EXPECT_EQ(status(), "1곡 선택됨");
    EXPECT_FALSE(entryNames(media()).contains(removedFile));
    list().selectRows({0, 1});
    QTest::keyClick(view.get(), Qt::Key_Delete);
    EXPECT_TRUE(store->document().loopTracks.empty());
}

TEST_F(LoopPlaybackViewTest, AddingByTheButtonOrByDroppingKeepsAudioFilesInOrder) {
    makeView();
    view->addButton()->click();
    const OpenPanelOptions& options = chooser.openRequests.at(0).options;
    EXPECT_TRUE(options.allowsMultipleSelection && !options.canChooseDirectories);
    chooser.answerOpen({sourceFile("Second.wav"), sourceFile("First.flac")});
    EXPECT_TRUE(drop(
        &list(),
        fileDrag({sourceFile("Rain.OGG"), sourceFile("notes.txt"), sourceFile("Wind.mp3")}).get()));
    EXPECT_EQ(trackTitles(), (Titles{"Second", "First", "Rain", "Wind"}));
    EXPECT_FALSE(drop(&list(), fileDrag({sourceFile("readme.txt")}).get()));
}

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

TEST_F(LoopPlaybackViewTest, TheLoopPanelFitsTheMinimumWindow) {
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
