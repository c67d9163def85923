#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "loop_editor_fixture.h"
#include "ui/cue_editor_media_row.h"
#include "ui/cue_editor_seconds_format.h"
#include "ui/cue_editor_view.h"
#include "ui/cue_editor_waveform.h"
#include "ui/tavrel_theme.h"

namespace tavrel::test {
namespace {

using Operation = FaultInjectingFileSystem::Operation;

class CueEditorViewTest : public LoopEditorFixture {
protected:
    CueEditorViewTest() {
        CueSlot slot = store->document().slots[11];
        slot.title = "Fanfare";
        slot.usage = "오프닝";
        slot.gainDB = -3.5;
        slot.startSeconds = 1.25;
        EXPECT_TRUE(store->replace(slot));
    }

    // Presented as the board does, deleted when closed.
    CueEditorView* present(std::int64_t id = 11) {
        const AudioOverviewReading readOverview =
            [this](const std::filesystem::path& url,
                   std::function<void(const AudioOverview&)> deliver) {
                auto handle = std::make_shared<int>(0);
                overviewRequests.push_back({url, std::move(deliver), handle});
                return handle;
            };
        cueEditorPresenter(store, chooser, readOverview)(nullptr, store->document().slots[id],
                                                         [this] { ++closedCount; });
        auto* editor = qobject_cast<CueEditorView*>(QApplication::activeModalWidget());
        if (!editor) {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* found = qobject_cast<CueEditorView*>(widget); found && found->isVisible())
                    editor = found;
            }
        }
        EXPECT_NE(editor, nullptr);
        watched = editor;
        return editor;
    }

    std::string importAudio(CueEditorView& editor, const std::string& name) {
        editor.audioRow()->importButton()->click();
        EXPECT_FALSE(chooser.openRequests.empty());
        chooser.answerOpen({sourceFile(name)});
        return editor.draft().audioFilename.value_or("");
    }

    // How often the clean-up rule ran since `from`: each run reads the saved sets once.
    int cleanUpsSince(std::size_t from) const {
        int count = 0;
        const auto& log = fileSystem.log();
        for (std::size_t i = from; i < log.size(); ++i)
            count += log[i] == Operation::list ? 1 : 0;
        return count;
    }

    bool editorIsGone() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return watched.isNull();
    }

    // Answers the latest overview request, as the engine's thread would.
    void answerOverview(std::vector<float> peaks = std::vector<float>(200, 0.5f)) {
        ASSERT_FALSE(overviewRequests.empty());
        ASSERT_FALSE(overviewRequests.back().handle.expired());
        overviewRequests.back().deliver({10.0, "MP3", 44100, 2, std::move(peaks)});
    }

    // `held`: the buttons down after the event.
    static void mouse(QWidget* widget, QEvent::Type type, int x,
                      Qt::MouseButtons held = Qt::LeftButton) {
        const QPointF at(x, widget->height() / 2);
        QMouseEvent event(type, at, widget->mapToGlobal(at),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }

    struct OverviewRequest {
        std::filesystem::path url;
        std::function<void(const AudioOverview&)> deliver;
        std::weak_ptr<void> handle;
    };
    std::vector<OverviewRequest> overviewRequests;
    int closedCount = 0;
    QPointer<CueEditorView> watched;
};

TEST_F(CueEditorViewTest, ShowsTheSlotNumberedFromOneAndADraftEqualToIt) {
    CueEditorView* editor = present(11);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->heading()->text(), "큐 12 편집");
    EXPECT_EQ(editor->draft(), store->document().slots[11]);
    EXPECT_EQ(editor->width(), 560);
    EXPECT_TRUE(editor->isModal() || editor->windowModality() == Qt::WindowModal);
    EXPECT_EQ(editor->titleField()->text(), "Fanfare");
    EXPECT_EQ(editor->usageField()->text(), "오프닝");
    EXPECT_EQ(editor->audioRow()->shownText(), "등록 안 됨");
    EXPECT_EQ(editor->imageRow()->shownText(), "등록 안 됨");
    EXPECT_EQ(editor->gainLabel()->text(), "큐 게인 -3.5 dB");
    EXPECT_FALSE(editor->errorLabel()->isVisibleTo(editor));
    EXPECT_TRUE(editor->saveButton()->isDefault());
    EXPECT_TRUE(store->isEditorPresented());
    EXPECT_FALSE(store->liveShortcutsEnabled());
    editor->reject();
}

TEST_F(CueEditorViewTest, TwoImportsThenSaveKeepTheSecondAndDeleteTheFirst) {
    CueEditorView* editor = present();
    editor->audioRow()->importButton()->click();
    ASSERT_EQ(chooser.openRequests.size(), 1u);
    EXPECT_EQ(chooser.openRequests[0].options.title, "음원 선택");
    EXPECT_EQ(chooser.openRequests[0].options.prompt, "가져오기");
    EXPECT_FALSE(chooser.openRequests[0].options.allowsMultipleSelection);
    EXPECT_TRUE(chooser.openRequests[0].options.nameFilters[0].contains("*.flac"));
    // The sheet stays presented under its open panel: the cue keys stay off.
    EXPECT_TRUE(store->isEditorPresented());
    EXPECT_FALSE(store->liveShortcutsEnabled());
    chooser.answerOpen({sourceFile("first.wav")});
    const std::string first = editor->draft().audioFilename.value_or("");
    const std::string second = importAudio(*editor, "second.mp3");

    ASSERT_FALSE(first.empty());
    ASSERT_NE(first, second);
    EXPECT_EQ(editor->audioRow()->shownText(), QString::fromStdString(second));
    EXPECT_EQ(editor->sessionImportedFilenames(), (std::set<std::string>{first, second}));
    EXPECT_EQ(entryNames(media()), (std::set<std::string>{first, second}));
    EXPECT_EQ(store->document().slots[11].audioFilename, std::nullopt);

    editor->titleField()->clear();
    QTest::keyClicks(editor->titleField(), "Drumroll");
    editor->saveButton()->click();

    EXPECT_EQ(store->document().slots[11].audioFilename, second);
    EXPECT_EQ(store->document().slots[11].title, "Drumroll");
    EXPECT_EQ(entryNames(media()), (std::set<std::string>{second}));
    EXPECT_TRUE(editorIsGone());
    EXPECT_EQ(closedCount, 1);
    EXPECT_FALSE(store->isEditorPresented());
}

TEST_F(CueEditorViewTest, EveryWayOutWithoutACommitDiscardsTheImportsOnce) {
    const std::vector<std::pair<const char*, std::function<void(CueEditorView&)>>> ways = {
        {"cancel", [](CueEditorView& editor) { editor.cancelButton()->click(); }},
        {"escape", [](CueEditorView& editor) { QTest::keyClick(&editor, Qt::Key_Escape); }},
        {"close", [](CueEditorView& editor) { editor.close(); }},
        {"quit",
         [](CueEditorView&) {
             QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit",
                                       Qt::DirectConnection);
         }},
        {"destroyed", [](CueEditorView& editor) { delete &editor; }},
    };
    for (const auto& [way, leave] : ways) {
        SCOPED_TRACE(way);
        const CueDocument before = store->document();
        CueEditorView* editor = present();
        ASSERT_NE(editor, nullptr);
        const std::string name = importAudio(*editor, "take.wav");
        ASSERT_TRUE(entryNames(media()).contains(name));
        const std::size_t logged = fileSystem.log().size();

        leave(*editor);
        EXPECT_FALSE(entryNames(media()).contains(name));
        EXPECT_FALSE(store->isEditorPresented());
        EXPECT_EQ(store->document(), before);
        // Closing the sheet after the quit, or deleting it, must not discard again.
        if (!watched.isNull())
            watched->close();
        delete watched.data();
        EXPECT_EQ(cleanUpsSince(logged), 1);
    }
}

TEST_F(CueEditorViewTest, TheOffsetTakesEitherDecimalMarkAndVisiblyRefusesOtherText) {
    CueEditorView* editor = present();
    QLineEdit* seconds = editor->startSecondsField();
    EXPECT_EQ(seconds->text(), formatStartSeconds(1.25));
    const auto type = [&](const char* text) {
        seconds->selectAll();
        QTest::keyClicks(seconds, text);
    };
    const auto expectValid = [&](bool valid) {
        EXPECT_EQ(editor->startSecondsValid(), valid) << seconds->text().toStdString();
        EXPECT_EQ(editor->startSecondsHint()->isVisibleTo(editor), !valid);
        EXPECT_EQ(editor->saveButton()->isEnabled(), valid);
        EXPECT_EQ(seconds->property("invalid").toBool(), !valid);
    };

    type("abc");
    expectValid(false);
    Q_EMIT seconds->editingFinished();
    EXPECT_EQ(seconds->text(), "abc");  // left to be corrected, not silently replaced
    QTest::keyClick(editor->titleField(), Qt::Key_Return);
    editor->save();
    EXPECT_EQ(store->document().slots[11].startSeconds, 1.25);
    ASSERT_FALSE(editorIsGone());

    for (const char* text : {"1,5", "1.5", " 1.5 "}) {
        type(text);
        expectValid(true);
        EXPECT_EQ(editor->draft().startSeconds, 1.5) << text;
    }
    type("-5");
    expectValid(true);
    editor->saveButton()->click();
    EXPECT_EQ(store->document().slots[11].startSeconds, 0.0);
    EXPECT_TRUE(editorIsGone());
}

TEST_F(CueEditorViewTest, ReturnSavesAndTheGainSliderStaysWithinRange) {
    CueEditorView* editor = present();
    QSlider* gain = editor->gainSlider();
    gain->setValue(gain->minimum());
    EXPECT_EQ(editor->gainLabel()->text(), "큐 게인 -12.0 dB");
    EXPECT_EQ(editor->draft().gainDB, -12.0);
    gain->setValue(gain->maximum() + 10);
    EXPECT_EQ(editor->draft().gainDB, 0.0);
    gain->setValue(gain->minimum() + 3);
    EXPECT_EQ(editor->gainLabel()->text(), "큐 게인 -10.5 dB");
    // The keyboard moves it in half decibels.
    EXPECT_EQ(gain->focusPolicy(), Qt::StrongFocus);
    QTest::keyClick(gain, Qt::Key_Right);
    EXPECT_EQ(editor->draft().gainDB, -10.0);
    QTest::keyClick(gain, Qt::Key_Left);
    QTest::keyClick(gain, Qt::Key_Left);
    EXPECT_EQ(editor->gainLabel()->text(), "큐 게인 -11.0 dB");
    QTest::keyClick(gain, Qt::Key_Right);

    QTest::keyClick(editor->titleField(), Qt::Key_Return);
    EXPECT_EQ(store->document().slots[11].gainDB, -10.5);
    EXPECT_TRUE(editorIsGone());
}

TEST_F(CueEditorViewTest, AFailedImportShowsItsErrorInRedAndLeavesTheDraft) {
    CueEditorView* editor = present();
    const CueSlot before = editor->draft();
    editor->imageRow()->importButton()->click();
    ASSERT_EQ(chooser.openRequests.size(), 1u);
    EXPECT_EQ(chooser.openRequests[0].options.title, "이미지 선택");
    EXPECT_EQ(chooser.openRequests[0].options.kind, FileKind::image);
    EXPECT_TRUE(chooser.openRequests[0].options.nameFilters[0].startsWith("이미지 파일 ("));
    chooser.answerOpen({temp.path() / "picked" / "gone.png"});

    ASSERT_TRUE(editor->localError());
    EXPECT_FALSE(editor->localError()->isEmpty());
    EXPECT_TRUE(editor->errorLabel()->isVisibleTo(editor));
    EXPECT_EQ(editor->errorLabel()->text(), *editor->localError());
    EXPECT_EQ(editor->errorLabel()->palette().color(QPalette::WindowText), palette::red());
    EXPECT_EQ(editor->draft(), before);
    EXPECT_TRUE(editor->sessionImportedFilenames().empty());

    editor->imageRow()->importButton()->click();
    chooser.answerOpen({sourceImage("poster.png")});
    EXPECT_FALSE(editor->localError());
    EXPECT_FALSE(editor->errorLabel()->isVisibleTo(editor));
    EXPECT_TRUE(editor->draft().imageFilename);
    EXPECT_EQ(editor->imageRow()->detailText(), "8 × 8 픽셀");
    EXPECT_EQ(editor->audioRow()->detailText(), "");
    editor->reject();
}

TEST_F(CueEditorViewTest, AFailedSaveKeepsTheEditorOpenAndALaterCancelDiscards) {
    CueEditorView* editor = present();
    const std::string name = importAudio(*editor, "take.wav");
    fileSystem.failEvery(Operation::writeAtomically);
    editor->saveButton()->click();

    EXPECT_FALSE(editorIsGone());
    EXPECT_TRUE(editor->isVisible());
    EXPECT_FALSE(editor->didCommit());
    EXPECT_TRUE(store->persistenceError());
    EXPECT_EQ(store->document().slots[11].audioFilename, std::nullopt);
    EXPECT_TRUE(entryNames(media()).contains(name));

    fileSystem.clearFailures();
    editor->cancelButton()->click();
    EXPECT_FALSE(entryNames(media()).contains(name));
    EXPECT_TRUE(editorIsGone());
}

TEST_F(CueEditorViewTest, ClearingAsksFirstAndEmptiesTheSlot) {
    CueEditorView* editor = present();
    editor->clearButton()->click();
    QMessageBox* confirmation = editor->clearConfirmation();
    ASSERT_NE(confirmation, nullptr);
    EXPECT_EQ(confirmation->text(), "이 슬롯을 비울까요?");
    EXPECT_EQ(confirmation->informativeText(),
              "다른 슬롯에서 사용하지 않는 음원·이미지 복사본도 정리됩니다.");
    QAbstractButton* cancel = nullptr;
    QAbstractButton* clear = nullptr;
    for (QAbstractButton* button : confirmation->buttons()) {
        if (button->text() == "취소")
            cancel = button;
        if (button->text() == "슬롯 비우기")
            clear = button;
    }
    ASSERT_TRUE(cancel && clear);
    cancel->click();
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(store->document().slots[11].title, "Fanfare");

    editor->clearButton()->click();
    ASSERT_NE(editor->clearConfirmation(), nullptr);
    for (QAbstractButton* button : editor->clearConfirmation()->buttons()) {
        if (button->text() == "슬롯 비우기")
            button->click();
    }
    EXPECT_EQ(store->document().slots[11], CueSlot::empty(11));
    EXPECT_TRUE(editorIsGone());
}

TEST_F(CueEditorViewTest, FilesDroppedOnARowAreImportedAsTheButtonWould) {
    CueEditorView* editor = present();

    const auto image = fileDrag({sourceImage("poster.PNG")});
    EXPECT_FALSE(drop(editor->audioRow(), image.get()));
    EXPECT_TRUE(drop(editor->imageRow(), image.get()));
    const auto audio = fileDrag({sourceFile("notes.txt"), sourceFile("hit.aiff")});
    EXPECT_TRUE(drop(editor->audioRow(), audio.get()));

    ASSERT_TRUE(editor->draft().imageFilename);
    ASSERT_TRUE(editor->draft().audioFilename);
    EXPECT_TRUE(editor->draft().imageFilename->starts_with("image-"));
    EXPECT_TRUE(editor->draft().audioFilename->ends_with(".aiff"));
    EXPECT_EQ(editor->sessionImportedFilenames().size(), 2u);
    EXPECT_TRUE(chooser.openRequests.empty());
    editor->saveButton()->click();
    EXPECT_EQ(store->document().slots[11].imageFilename, editor->draft().imageFilename);
}

TEST_F(CueEditorViewTest, AFileConfirmedAfterTheEditorWentAwayIsNotImported) {
    CueEditorView* editor = present();
    editor->audioRow()->importButton()->click();
    editor->reject();
    chooser.answerOpen({sourceFile("late.wav")});
    EXPECT_TRUE(entryNames(media()).empty());
}

TEST(CueEditorSecondsFormat, UsesZeroToThreeFractionDigitsOfTheLocale) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(formatStartSeconds(0.0, english), "0");
    EXPECT_EQ(formatStartSeconds(1.5, english), "1.5");
    EXPECT_EQ(formatStartSeconds(2.12349, english), "2.123");
    EXPECT_EQ(formatStartSeconds(1.5, german), "1,5");
    EXPECT_EQ(parseStartSeconds("1,25", german), 1.25);
    EXPECT_EQ(parseStartSeconds("2.0004", english), 2.0);
    EXPECT_EQ(parseStartSeconds("abc", english), std::nullopt);
    EXPECT_EQ(parseStartSeconds("", english), std::nullopt);
    EXPECT_EQ(parseStartSeconds("-5", english), -5.0);
    for (const QLocale& locale : {english, german}) {
        EXPECT_EQ(parseStartSeconds("1,5", locale), 1.5);
        EXPECT_EQ(parseStartSeconds("1.5", locale), 1.5);
        for (const char* refused : {"1.2.3", "1,000.5", "1.5s", "nan", "inf", "--1"})
            EXPECT_EQ(parseStartSeconds(refused, locale), std::nullopt) << refused;
    }
}

TEST_F(CueEditorViewTest, AuditionReplacesWhatSoundsAtTheDraftsOffsetAndGainUntilStopped) {
    const std::string other = store->importFile(sourceFile("other.mp3"), "audio");
    CueSlot otherSlot = store->document().slots[2];
    otherSlot.audioFilename = other;
    ASSERT_TRUE(store->replace(otherSlot));

    // A backup machine follows cue commands, never an audition.
    int transportCommands = 0;
    store->setTransportListener(
        [&](CueStore::TransportCommand, std::int64_t) { ++transportCommands; });

    enum class Stop { pressedAgain, offsetTyped, offsetPicked, sheetClosed };
    for (const Stop stop :
         {Stop::pressedAgain, Stop::offsetTyped, Stop::offsetPicked, Stop::sheetClosed}) {
        SCOPED_TRACE(static_cast<int>(stop));
        store->play(store->document().slots[2]);
        transportCommands = 0;
        const auto cue = lastPlayer();
        CueEditorView* editor = present();
        QPushButton* button = editor->auditionButton();
        EXPECT_FALSE(button->isEnabled());  // nothing to hear yet
        const std::string audio = importAudio(*editor, "take.mp3");
        answerOverview();
        editor->gainSlider()->setValue(-12);
        editor->startSecondsField()->selectAll();
        QTest::keyClicks(editor->startSecondsField(), "2,5");
        EXPECT_EQ(button->text(), "미리 듣기");

        button->click();
        const auto audition = lastPlayer();
        ASSERT_NE(audition, cue);
        EXPECT_FALSE(cue->isPlaying());
        EXPECT_TRUE(audition->isPlaying());
        EXPECT_EQ(audition->url, media() / audio);
        EXPECT_EQ(audition->currentTime(), 2.5);
        EXPECT_FLOAT_EQ(audition->volume(), AudioPlaybackController::combinedVolume(
                                                store->document().masterVolume, -6.0));
        EXPECT_EQ(controller->state(), PlaybackState::playing(11));
        EXPECT_EQ(button->text(), "미리 듣기 중지");

        switch (stop) {
            case Stop::pressedAgain:
                button->click();
                break;
            case Stop::offsetTyped:
                QTest::keyClicks(editor->startSecondsField(), "5");  // "2,55"
                break;
            case Stop::offsetPicked:
                mouse(editor->waveform(), QEvent::MouseButtonPress, 20);
                break;
            case Stop::sheetClosed:
                editor->reject();
                break;
        }
        EXPECT_FALSE(audition->isPlaying());
        EXPECT_EQ(audition->stopCount, 1);
        EXPECT_TRUE(controller->state().isStopped());
        EXPECT_EQ(transportCommands, 0);
        if (stop == Stop::sheetClosed) {
            EXPECT_TRUE(editorIsGone());
            continue;
        }
        EXPECT_EQ(button->text(), "미리 듣기");
        editor->reject();
        EXPECT_TRUE(editorIsGone());
    }
}

TEST_F(CueEditorViewTest, TheWaveformShowsTheFileAndPicksTheOffsetInStepWithTheField) {
    CueEditorView* editor = present();
    CueEditorWaveform* waveform = editor->waveform();
    const std::string audio = importAudio(*editor, "take.mp3");
    ASSERT_EQ(overviewRequests.size(), 1u);
    EXPECT_EQ(overviewRequests[0].url, media() / audio);
    answerOverview({});  // the format comes first
    EXPECT_EQ(editor->audioRow()->detailText(), "0:10 · MP3 44.1 kHz 스테레오");
    EXPECT_EQ(waveform->startSeconds(), 1.25);
    mouse(waveform, QEvent::MouseButtonPress, waveform->width() / 2);
    EXPECT_EQ(editor->draft().startSeconds, 1.25);  // no peaks, nothing to pick on
    answerOverview();

    const auto expectOffset = [&](double seconds, double tolerance) {
        EXPECT_NEAR(editor->draft().startSeconds, seconds, tolerance);
        EXPECT_EQ(waveform->startSeconds(), editor->draft().startSeconds);
        EXPECT_EQ(editor->startSecondsField()->text(),
                  formatStartSeconds(editor->draft().startSeconds));
        EXPECT_TRUE(editor->startSecondsValid());
    };
    // Within the few pixels of the frame around the plot.
    const double near = 10.0 * 8 / waveform->width();
    mouse(waveform, QEvent::MouseButtonPress, waveform->width() / 2);
    expectOffset(5.0, near);
    mouse(waveform, QEvent::MouseMove, waveform->width() / 4);
    expectOffset(2.5, near);
    mouse(waveform, QEvent::MouseMove, waveform->width() + 40);  // past the end: the end
    expectOffset(10.0, 0.0);
    mouse(waveform, QEvent::MouseButtonRelease, waveform->width() / 2, Qt::NoButton);
    mouse(waveform, QEvent::MouseMove, 0, Qt::NoButton);  // hovering picks nothing
    expectOffset(10.0, 0.0);
    editor->startSecondsField()->selectAll();
    QTest::keyClicks(editor->startSecondsField(), "7,5");
    EXPECT_EQ(waveform->startSeconds(), 7.5);

    // Another file: the old request is dropped and the detail waits for the new one.
    importAudio(*editor, "other.wav");
    ASSERT_EQ(overviewRequests.size(), 2u);
    EXPECT_TRUE(overviewRequests[0].handle.expired());
    EXPECT_EQ(editor->audioRow()->detailText(), "");
    editor->reject();
    EXPECT_TRUE(overviewRequests[1].handle.expired());
}

TEST(CueEditorAudioDetail, NamesDurationRateAndChannels) {
    EXPECT_EQ(audioDetailText({151.4, "MP3", 44100, 2, {}}), "2:31 · MP3 44.1 kHz 스테레오");
    EXPECT_EQ(audioDetailText({3725.0, "WAV", 48000, 1, {}}), "1:02:05 · WAV 48 kHz 모노");
    EXPECT_EQ(audioDetailText({59.6, "FLAC", 96000, 6, {}}), "1:00 · FLAC 96 kHz 5.1채널");
    EXPECT_EQ(audioDetailText({5.0, "Opus", 48000, 3, {}}), "0:05 · Opus 48 kHz 3채널");
    EXPECT_EQ(audioDetailText({}), "");
}

}  // namespace
}  // namespace tavrel::test
