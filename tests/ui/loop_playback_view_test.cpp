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

TEST_F(LoopPlaybackViewTest, EmptyListShowsTheEmptyStateAndNothingCanStart) {
    auto view = makeView();

    EXPECT_TRUE(view->trackList()->showsEmptyState());
    EXPECT_EQ(status(*view), "0곡 선택됨");
    EXPECT_EQ(view->startButton()->title(), "10분 시작");
    EXPECT_FALSE(view->startButton()->isEnabled());
    EXPECT_EQ(view->nowPlayingLabel()->text(), "재생 중인 곡 없음");
    EXPECT_FALSE(view->pauseButton()->isEnabled());
    EXPECT_FALSE(view->stopButton()->isEnabled());
    EXPECT_EQ(view->pauseButton()->title(), "일시정지");
    EXPECT_TRUE(view->addButton()->isEnabled());
}

TEST_F(LoopPlaybackViewTest, StatusAndStartTitleFollowTheChecksAndTheDuration) {
    addTracks({"Intro", "Walk-in", "Outro"});
    auto view = makeView();
    ASSERT_FALSE(view->trackList()->showsEmptyState());
    ASSERT_EQ(view->trackList()->rowCount(), 3u);

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
    EXPECT_EQ(store->loopPlayback()->tracks[0].title, "Outro");
    EXPECT_EQ(status(*view), "30:00");

    mainLoop.advance(3.0);
    EXPECT_EQ(status(*view), "29:57");

    view->stopButton()->click();
    ASSERT_FALSE(store->loopPlayback());
    pick(*view, LoopDuration::infinite);
    view->startButton()->click();
    ASSERT_TRUE(store->loopPlayback());
    EXPECT_TRUE(store->loopPlayback()->isInfinite);
    EXPECT_FALSE(store->loopPlayback()->remainingSeconds);
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
    const QImage row = view->trackList()->row(0)->grab().toImage();
    int green = 0;
    for (int y = 0; y < row.height(); ++y) {
        for (int x = 0; x < row.width(); ++x) {
            const QColor pixel = row.pixelColor(x, y);
            green += std::abs(pixel.red() - palette::green().red()) < 10 &&
                     std::abs(pixel.green() - palette::green().green()) < 10 &&
                     std::abs(pixel.blue() - palette::green().blue()) < 10;
        }
    }
    EXPECT_GT(green, 4);
    EXPECT_TRUE(view->trackList()->selectedPositions().empty());
    EXPECT_FALSE(view->addButton()->isEnabled());
    EXPECT_FALSE(view->durationPicker()->isEnabled());
    EXPECT_FALSE(view->startButton()->isEnabled());
    EXPECT_FALSE(view->trackList()->row(0)->checkBox()->isEnabled());
    EXPECT_FALSE(view->trackList()->row(1)->moveUpButton()->isEnabled());
    EXPECT_TRUE(view->pauseButton()->isEnabled());
    EXPECT_TRUE(view->stopButton()->isEnabled());
    EXPECT_EQ(view->nowPlayingLabel()->text(), "재생 중: Intro");
    EXPECT_TRUE(view->trackList()->row(0)->showsCurrentMark());
    EXPECT_FALSE(view->trackList()->row(1)->showsCurrentMark());
    EXPECT_EQ(view->statusLabel()->palette().color(QPalette::WindowText), palette::green());

    // Rows cannot be deleted and files cannot be dropped while the run holds its copy.
    view->trackList()->selectRows({0});
    view->trackList()->deleteSelectedRows();
    EXPECT_EQ(store->document().loopTracks.size(), 2u);
    const auto data = fileDrag({sourceFile("late.mp3")});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(view->trackList(), &enter);
    EXPECT_FALSE(enter.isAccepted());

    view->pauseButton()->click();
    EXPECT_EQ(view->pauseButton()->title(), "계속 재생");
    EXPECT_EQ(view->pauseButton()->systemImage(), "play.fill");
    EXPECT_EQ(view->nowPlayingLabel()->text(), "일시정지: Intro");
    EXPECT_EQ(view->statusLabel()->palette().color(QPalette::WindowText), palette::orange());
    EXPECT_TRUE(view->trackList()->row(0)->showsCurrentMark());

    view->stopButton()->click();
    EXPECT_FALSE(store->loopPlayback());
    EXPECT_TRUE(view->addButton()->isEnabled());
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

    EXPECT_FALSE(list.row(0)->moveUpButton()->isEnabled());
    EXPECT_TRUE(list.row(0)->moveDownButton()->isEnabled());
    EXPECT_FALSE(list.row(2)->moveDownButton()->isEnabled());

    // Down from position 1 is the move of {1} to 3.
    list.row(1)->moveDownButton()->click();
    EXPECT_EQ(trackTitles(), (std::vector<std::string>{"A", "C", "B"}));
    list.row(1)->moveUpButton()->click();
    EXPECT_EQ(trackTitles(), (std::vector<std::string>{"C", "A", "B"}));
    EXPECT_FALSE(list.row(0)->moveUpButton()->isEnabled());
    EXPECT_TRUE(list.row(1)->moveUpButton()->isEnabled());
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
    EXPECT_TRUE(view->trackList()->row(0)->checkBox()->isChecked());
    EXPECT_FALSE(view->trackList()->row(1)->checkBox()->isChecked());
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
    EXPECT_EQ(view->startButton()->title(), "10분 시작");
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

TEST_F(LoopPlaybackViewTest, TheAlertShowsTheStorageErrorFirstAndClearsBoth) {
    addTracks({"A"});
    std::filesystem::remove(media() / store->document().loopTracks[0].audioFilename);
    auto view = makeView();
    check(*view, 0);

    store->setPersistenceError("저장에 실패했습니다.");
    view->startButton()->click();
    ASSERT_EQ(store->playback().errorMessage(), "등록된 음원이 없습니다.");

    QMessageBox* alert = view->errorAlert()->box();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "저장에 실패했습니다.");
    ASSERT_EQ(alert->buttons().size(), 1);
    EXPECT_EQ(alert->buttons()[0]->text(), "확인");
    alert->buttons()[0]->click();
    EXPECT_FALSE(store->persistenceError());
    EXPECT_FALSE(store->playback().errorMessage());
    EXPECT_EQ(view->errorAlert()->box(), nullptr);
}

TEST_F(LoopPlaybackViewTest, VolumeChangesOnEveryMoveAndIsSavedOnRelease) {
    addTracks({"A"});
    auto view = makeView();
    EXPECT_EQ(view->volumeLabel()->text(), "마스터 볼륨 100%");
    QSlider& slider = *view->volumeSlider();

    slider.setSliderDown(true);
    slider.setValue(570);
    EXPECT_DOUBLE_EQ(store->document().masterVolume, 0.57);
    // 0.57 × 100 is a little below 57: the label shows the percent the value stands for.
    EXPECT_EQ(view->volumeLabel()->text(), "마스터 볼륨 57%");
    slider.setValue(0);
    EXPECT_EQ(view->volumeLabel()->text(), "마스터 볼륨 0%");
    EXPECT_DOUBLE_EQ(savedMasterVolume(), 1.0);

    slider.setValue(500);
    slider.setSliderDown(false);
    EXPECT_DOUBLE_EQ(savedMasterVolume(), 0.5);
    EXPECT_EQ(view->volumeLabel()->text(), "마스터 볼륨 50%");

    store->setMasterVolume(0.25);
    EXPECT_EQ(slider.value(), 250);
}

TEST_F(LoopPlaybackViewTest, TheAddButtonOffersEveryAudioFormatAndAddsWhatIsChosen) {
    auto view = makeView();
    view->addButton()->click();
    ASSERT_EQ(chooser.openRequests.size(), 1u);
    const OpenPanelOptions& options = chooser.openRequests[0].options;
    EXPECT_EQ(options.title, "반복 재생 MP3 추가");
    EXPECT_EQ(options.prompt, "추가");
    EXPECT_TRUE(options.allowsMultipleSelection);
    EXPECT_FALSE(options.canChooseDirectories);
    ASSERT_EQ(options.nameFilters.size(), 2);
    EXPECT_TRUE(options.nameFilters[0].startsWith("오디오 파일 ("));
    for (const char* pattern : {"*.mp3", "*.wav", "*.aiff", "*.flac", "*.ogg", "*.opus", "*.m4a"})
        EXPECT_TRUE(options.nameFilters[0].contains(pattern)) << pattern;
    EXPECT_EQ(options.nameFilters[1], "모든 파일 (*)");

    chooser.answerOpen({sourceFile("Second.wav"), sourceFile("First.flac")});
    EXPECT_EQ(trackTitles(), (std::vector<std::string>{"Second", "First"}));

    view->addButton()->click();
    chooser.answerOpen({});
    EXPECT_EQ(store->document().loopTracks.size(), 2u);
}

TEST_F(LoopPlaybackViewTest, DroppedAudioFilesAreAddedInOrderAndOthersIgnored) {
    auto view = makeView();
    LoopTrackList* list = view->trackList();
    const auto data =
        fileDrag({sourceFile("Rain.OGG"), sourceFile("notes.txt"), sourceFile("Wind.mp3")});

    QDragEnterEvent enter(QPoint(30, 30), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(list, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(30, 30), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(list, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(trackTitles(), (std::vector<std::string>{"Rain", "Wind"}));
    EXPECT_FALSE(list->showsEmptyState());

    const auto text = fileDrag({sourceFile("readme.txt")});
    QDragEnterEvent refused(QPoint(30, 30), Qt::CopyAction, text.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(list, &refused);
    EXPECT_FALSE(refused.isAccepted());
}

}  // namespace
}  // namespace tavrel::test
