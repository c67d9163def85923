#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include "loop_editor_fixture.h"
#include "ui/error_alert.h"
#include "ui/loop_duration.h"
#include "ui/loop_duration_picker.h"
#include "ui/loop_playback_view.h"
#include "ui/loop_track_list.h"
#include "ui/tavrel_theme.h"
#include "ui/transport_button.h"

namespace tavrel::test {
namespace {

class LoopPlaybackViewTest : public LoopEditorFixture {
protected:
    std::unique_ptr<LoopPlaybackView> makeView() {
        auto view = std::make_unique<LoopPlaybackView>(store, chooser);
        view->resize(960, 640);
        view->show();
        return view;
    }

    static void check(LoopPlaybackView& view, std::size_t position) {
        view.trackList()->row(position)->checkBox()->click();
    }
    static void pick(LoopPlaybackView& view, LoopDuration duration) {
        QTest::mouseClick(view.durationPicker(), Qt::LeftButton, {},
                          view.durationPicker()->segmentRect(duration).center());
    }
    static QString status(const LoopPlaybackView& view) { return view.statusLabel()->text(); }
    double savedMasterVolume() const { return diskDocument().masterVolume; }
};

TEST_F(LoopPlaybackViewTest, StatusAndStartTitleFollowTheChecksAndTheDuration) {
    auto empty = makeView();
    EXPECT_TRUE(empty->trackList()->showsEmptyState());
    EXPECT_EQ(empty->nowPlayingLabel()->text(), "재생 중인 곡 없음");
    EXPECT_FALSE(empty->startButton()->isEnabled() || empty->pauseButton()->isEnabled() ||
                 empty->stopButton()->isEnabled());
    empty.reset();

    addTracks({"Intro", "Walk-in", "Outro"});
    auto view = makeView();
    check(*view, 0);
    check(*view, 2);
    EXPECT_EQ(status(*view), "2곡 선택됨");
    EXPECT_EQ(view->startButton()->title(), "10분 시작");
    EXPECT_TRUE(view->startButton()->isEnabled());
    pick(*view, LoopDuration::infinite);
    EXPECT_EQ(view->startButton()->title(), "무한 반복 시작");
    pick(*view, LoopDuration::thirtyMinutes);
    EXPECT_EQ(view->startButton()->title(), "30분 시작");
    check(*view, 0);
    check(*view, 2);
    EXPECT_EQ(status(*view), "0곡 선택됨");
    EXPECT_FALSE(view->startButton()->isEnabled());
}

TEST_F(LoopPlaybackViewTest, StartPassesTheMinutesOfTheChosenDuration) {
    addTracks({"Intro", "Outro"});
    auto view = makeView();
    check(*view, 1);

    pick(*view, LoopDuration::thirtyMinutes);
    view->startButton()->click();
    ASSERT_TRUE(store->loopPlayback());
    EXPECT_EQ(store->loopPlayback()->remainingSeconds, 1800);
    EXPECT_EQ(store->loopPlayback()->tracks.size(), 1u);

    mainLoop.advance(3.0);
    EXPECT_EQ(status(*view), "29:57");

    view->stopButton()->click();
    ASSERT_FALSE(store->loopPlayback());
    pick(*view, LoopDuration::infinite);
    view->startButton()->click();
    ASSERT_TRUE(store->loopPlayback());
    EXPECT_TRUE(store->loopPlayback()->isInfinite);
    EXPECT_EQ(status(*view), "무한 반복 · 수동 중지");
}

TEST_F(LoopPlaybackViewTest, ARunDisablesEditingAndShowsWhatPlays) {
    addTracks({"Intro", "Walk-in"});
    auto view = makeView();
    check(*view, 0);
    check(*view, 1);
    view->trackList()->selectRows({1});
    view->startButton()->click();
    ASSERT_TRUE(store->loopPlayback());

    // The current track's mark is drawn green, and no row stays highlighted.
    EXPECT_GT(pixelsLike(*view->trackList()->row(0), palette::green()), 4);
    EXPECT_TRUE(view->trackList()->selectedPositions().empty());
    EXPECT_FALSE(view->addButton()->isEnabled() || view->durationPicker()->isEnabled() ||
                 view->startButton()->isEnabled() ||
                 view->trackList()->row(0)->checkBox()->isEnabled() ||
                 view->trackList()->row(1)->moveUpButton()->isEnabled());
    EXPECT_TRUE(view->stopButton()->isEnabled());
    EXPECT_EQ(view->nowPlayingLabel()->text(), "재생 중: Intro");
    EXPECT_FALSE(view->trackList()->row(1)->showsCurrentMark());

    // Rows cannot be deleted and files cannot be dropped while the run holds its copy.
    view->trackList()->selectRows({0});
    view->trackList()->deleteSelectedRows();
    EXPECT_EQ(store->document().loopTracks.size(), 2u);
    EXPECT_FALSE(drop(view->trackList(), fileDrag({sourceFile("late.mp3")}).get()));

    view->pauseButton()->click();
    EXPECT_EQ(view->pauseButton()->title(), "계속 재생");
    EXPECT_EQ(view->nowPlayingLabel()->text(), "일시정지: Intro");
    EXPECT_TRUE(view->trackList()->row(0)->showsCurrentMark());

    view->stopButton()->click();
    EXPECT_FALSE(store->loopPlayback());
    EXPECT_TRUE(view->trackList()->row(0)->checkBox()->isEnabled());
    EXPECT_FALSE(view->trackList()->row(0)->showsCurrentMark());
    // The checks survive the run.
    EXPECT_EQ(status(*view), "2곡 선택됨");
    EXPECT_TRUE(view->startButton()->isEnabled());
}

TEST_F(LoopPlaybackViewTest, MoveButtonsMovePastTheNeighbour) {
    addTracks({"A", "B", "C"});
    auto view = makeView();
    LoopTrackList& list = *view->trackList();

    EXPECT_FALSE(list.row(0)->moveUpButton()->isEnabled() ||
                 list.row(2)->moveDownButton()->isEnabled());

    // Down from position 1 is the move of {1} to 3.
    list.row(1)->moveDownButton()->click();
    EXPECT_EQ(trackTitles(), (std::vector<std::string>{"A", "C", "B"}));
    list.row(1)->moveUpButton()->click();
    EXPECT_EQ(trackTitles(), (std::vector<std::string>{"C", "A", "B"}));
}

TEST_F(LoopPlaybackViewTest, DeletingACheckedRowDropsItFromTheCount) {
    addTracks({"A", "B", "C"});
    auto view = makeView();
    check(*view, 0);
    check(*view, 1);
    const std::string removedFile = store->document().loopTracks[0].audioFilename;

    view->trackList()->selectRows({0});
    view->trackList()->deleteSelectedRows();

    EXPECT_EQ(trackTitles(), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(status(*view), "1곡 선택됨");
    EXPECT_EQ(view->selectedTrackIDs(), (std::set<Uuid>{store->document().loopTracks[0].id}));
    EXPECT_FALSE(entryNames(media()).contains(removedFile));

    // Positions outside the list are skipped.
    view->deleteRows({1, 7});
    EXPECT_EQ(trackTitles(), (std::vector<std::string>{"B"}));
    EXPECT_EQ(status(*view), "1곡 선택됨");
}

TEST_F(LoopPlaybackViewTest, DeleteKeysAndTheContextMenuDeleteTheSelectedRows) {
    addTracks({"A", "B", "C", "D"});
    auto view = makeView();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));

    view->trackList()->selectRows({1, 2});
    QTest::keyClick(view.get(), Qt::Key_Backspace);
    EXPECT_EQ(trackTitles(), (std::vector<std::string>{"A", "D"}));

    view->trackList()->selectRows({0});
    QTest::keyClick(view.get(), Qt::Key_Delete);
    EXPECT_EQ(trackTitles(), (std::vector<std::string>{"D"}));

    auto* list = view->trackList()->findChild<QListWidget*>("loopTrackList");
    ASSERT_NE(list, nullptr);
    const QPoint onRow = list->visualItemRect(list->item(0)).center();
    Q_EMIT list->customContextMenuRequested(onRow);
    auto* menu = view->trackList()->findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), "삭제");
    menu->actions()[0]->trigger();
    EXPECT_TRUE(store->document().loopTracks.empty());
    EXPECT_TRUE(view->trackList()->showsEmptyState());
}

TEST_F(LoopPlaybackViewTest, TracksThatLeaveBySetLoadStayCountedUntilShownAfresh) {
    const auto set = temp.path() / "empty.tavrel";
    store->exportBackup(set);
    addTracks({"A", "B"});
    auto view = makeView();
    check(*view, 0);
    check(*view, 1);
    pick(*view, LoopDuration::infinite);

    ASSERT_TRUE(store->restoreBackup(set));
    ASSERT_TRUE(store->document().loopTracks.empty());
    EXPECT_EQ(status(*view), "2곡 선택됨");
    // The store ignores ids that name no track: nothing starts.
    view->startButton()->click();
    EXPECT_FALSE(store->loopPlayback());
    EXPECT_EQ(store->playback().errorMessage(), "등록된 음원이 없습니다.");
    store->playback().clearError();

    // Back from the cue pad.
    view->hide();
    view->show();
    EXPECT_EQ(status(*view), "0곡 선택됨");
    EXPECT_EQ(view->duration(), LoopDuration::tenMinutes);
}

TEST_F(LoopPlaybackViewTest, AMissingFileIsMarkedAndCanStillBeChecked) {
    addTracks({"A", "B"});
    std::filesystem::remove(media() / store->document().loopTracks[1].audioFilename);
    auto view = makeView();

    EXPECT_FALSE(view->trackList()->row(0)->missingLabel()->isVisibleTo(view.get()));
    EXPECT_TRUE(view->trackList()->row(1)->missingLabel()->isVisibleTo(view.get()));
    check(*view, 1);
    EXPECT_EQ(status(*view), "1곡 선택됨");
    EXPECT_TRUE(view->startButton()->isEnabled());
}

// The board's own slider is tested with the board; this one follows the store.
TEST_F(LoopPlaybackViewTest, TheVolumeSliderChangesOnEveryMoveAndSavesOnRelease) {
    auto view = makeView();
    QSlider& slider = *view->volumeSlider();
    slider.setSliderDown(true);
    slider.setValue(570);
    EXPECT_DOUBLE_EQ(store->document().masterVolume, 0.57);
    EXPECT_EQ(view->volumeLabel()->text(), "마스터 볼륨 57%");
    EXPECT_DOUBLE_EQ(savedMasterVolume(), 1.0);
    slider.setSliderDown(false);
    EXPECT_DOUBLE_EQ(savedMasterVolume(), 0.57);
    store->setMasterVolume(0.25);
    EXPECT_EQ(slider.value(), 250);
}

TEST_F(LoopPlaybackViewTest, TheAddButtonOffersEveryAudioFormatAndAddsWhatIsChosen) {
    auto view = makeView();
    view->addButton()->click();
    ASSERT_EQ(chooser.openRequests.size(), 1u);
    const OpenPanelOptions& options = chooser.openRequests[0].options;
    EXPECT_EQ(options.title, "반복 재생 MP3 추가");
    EXPECT_TRUE(options.allowsMultipleSelection && !options.canChooseDirectories);
    ASSERT_EQ(options.nameFilters.size(), 2);
    for (const char* pattern : {"*.mp3", "*.wav", "*.aiff", "*.flac", "*.ogg", "*.opus", "*.m4a"})
        EXPECT_TRUE(options.nameFilters[0].contains(pattern)) << pattern;

    chooser.answerOpen({sourceFile("Second.wav"), sourceFile("First.flac")});
    EXPECT_EQ(trackTitles(), (std::vector<std::string>{"Second", "First"}));

    view->addButton()->click();
    chooser.answerOpen({});
    EXPECT_EQ(store->document().loopTracks.size(), 2u);
}

TEST_F(LoopPlaybackViewTest, DroppedAudioFilesAreAddedInOrderAndOthersIgnored) {
    auto view = makeView();
    EXPECT_TRUE(drop(
        view->trackList(),
        fileDrag({sourceFile("Rain.OGG"), sourceFile("notes.txt"), sourceFile("Wind.mp3")}).get()));
    EXPECT_EQ(trackTitles(), (std::vector<std::string>{"Rain", "Wind"}));
    EXPECT_FALSE(view->trackList()->showsEmptyState());
    EXPECT_FALSE(drop(view->trackList(), fileDrag({sourceFile("readme.txt")}).get()));
}

}  // namespace
}  // namespace tavrel::test
