#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "loop_editor_fixture.h"
#include "ui/cue_editor_media_row.h"
#include "ui/cue_editor_seconds_format.h"
#include "ui/cue_editor_view.h"
#include "ui/cue_editor_waveform.h"

namespace tavrel::test {
namespace {

using Operation = FaultInjectingFileSystem::Operation;

class CueEditorViewTest : public LoopEditorFixture {
protected:
    CueEditorViewTest() {
        CueSlot slot = store->document().slots[11];
        slot.title = "Fanfare";
        slot.startSeconds = 1.25;
        EXPECT_TRUE(store->replace(slot));
    }

    // Presented as the board does, deleted when closed; the overview is answered by hand.
    CueEditorView* present() {
        cueEditorPresenter(store, chooser, overviews.reader())(&host, store->document().slots[11],
                                                               [this] { ++closedCount; });
        watched = host.findChild<CueEditorView*>();
        return watched;
    }

    std::string importAudio(CueEditorView& editor, const std::string& name) {
        editor.audioRow()->importButton()->click();
        chooser.answerOpen({sourceFile(name)});
        return editor.draft().audioFilename.value_or("");
    }

    static void type(QLineEdit* field, const char* text) {
        field->selectAll();
        QTest::keyClicks(field, text);
    }

    bool editorIsGone() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return watched.isNull();
    }

    void answerOverview() {
        ASSERT_FALSE(overviews.requests.back().handle.expired());
        overviews.requests.back().deliver({10.0, "MP3", 44100, 2, std::vector<float>(200, 0.5f)});
    }

    FakeOverviews overviews;
    QWidget host;
    int closedCount = 0;
    QPointer<CueEditorView> watched;
};

TEST_F(CueEditorViewTest, ImportsByButtonOrDropAndASaveKeepsOnlyWhatTheDraftUses) {
    CueEditorView* editor = present();
    editor->audioRow()->importButton()->click();
    // Still presented under its open panel: the cue keys stay off.
    EXPECT_FALSE(store->liveShortcutsEnabled());
    chooser.answerOpen({sourceFile("first.wav")});
    const auto image = fileDrag({sourceImage("poster.PNG")});
    EXPECT_TRUE(drop(editor->imageRow(), image.get()));
    const auto audio = fileDrag({sourceFile("notes.txt"), sourceFile("hit.aiff")});
    EXPECT_TRUE(drop(editor->audioRow(), audio.get()));
    type(editor->titleField(), "Drumroll");
    const CueSlot draft = editor->draft();
    ASSERT_TRUE(draft.audioFilename.value_or("").ends_with(".aiff") && draft.imageFilename);
    EXPECT_EQ(entryNames(media()).size(), 3u);

    editor->saveButton()->click();
    EXPECT_EQ(store->document().slots[11], draft);
    EXPECT_EQ(draft.title, "Drumroll");
    EXPECT_EQ(entryNames(media()), (std::set{*draft.audioFilename, *draft.imageFilename}));
    EXPECT_TRUE(editorIsGone() && closedCount == 1 && !store->isEditorPresented());
}

TEST_F(CueEditorViewTest, EveryWayOutWithoutACommitDiscardsTheImportsOnce) {
    const std::pair<const char*, std::function<void(CueEditorView&)>> ways[] = {
        {"cancel", [](CueEditorView& editor) { editor.cancelButton()->click(); }},
        {"close", [](CueEditorView& editor) { editor.close(); }},
        {"quit",
         [](CueEditorView&) {
             QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection);
         }},
        {"destroyed", [](CueEditorView& editor) { delete &editor; }}};
    for (const auto& [way, leave] : ways) {
        SCOPED_TRACE(way);
        const CueDocument before = store->document();
        const std::string name = importAudio(*present(), "take.wav");
        const auto logged = static_cast<std::ptrdiff_t>(fileSystem.log().size());
        leave(*watched);
        EXPECT_TRUE(!entryNames(media()).contains(name) && !store->isEditorPresented());
        EXPECT_EQ(store->document(), before);
        // Closing the sheet after the quit, or deleting it, must not discard again:
        // each clean-up reads the saved sets once.
        if (!watched.isNull())
            watched->close();
        delete watched.data();
        const auto& log = fileSystem.log();
        EXPECT_EQ(std::count(log.begin() + logged, log.end(), Operation::list), 1);
    }
    // A file confirmed once the editor is gone is not imported.
    present()->audioRow()->importButton()->click();
    watched->reject();
    chooser.answerOpen({sourceFile("late.wav")});
    EXPECT_TRUE(entryNames(media()).empty());
}

TEST_F(CueEditorViewTest, TheOffsetTakesEitherDecimalMarkAndReturnSavesOnlyAValidOne) {
    CueEditorView* editor = present();
    QLineEdit* seconds = editor->startSecondsField();
    const std::pair<const char*, bool> texts[] = {{"1,5", true},   {"1.2.3", false},
                                                  {" 1.5 ", true}, {"1,000.5", false},
                                                  {"1.5", true},   {"abc", false}};
    for (const auto& [text, valid] : texts) {
        type(seconds, text);
        EXPECT_EQ(editor->startSecondsHint()->isVisibleTo(editor), !valid) << text;
        EXPECT_EQ(editor->saveButton()->isEnabled(), valid) << text;
        EXPECT_TRUE(!valid || editor->draft().startSeconds == 1.5) << text;
    }
    Q_EMIT seconds->editingFinished();
    EXPECT_EQ(seconds->text(), "abc");  // left to be corrected, not silently replaced
    QTest::keyClick(editor->titleField(), Qt::Key_Return);
    EXPECT_EQ(store->document().slots[11].startSeconds, 1.25);
    type(seconds, "1,5");
    QTest::keyClick(editor->titleField(), Qt::Key_Return);
    EXPECT_TRUE(store->document().slots[11].startSeconds == 1.5 && editorIsGone());
}

TEST_F(CueEditorViewTest, AuditionReplacesWhatSoundsAtTheDraftsOffsetUntilStopped) {
    seedSlots({2});
    store->play(store->document().slots[2]);
    const auto cue = lastPlayer();
    CueEditorView* editor = present();
    QPushButton* button = editor->auditionButton();
    const std::string audio = importAudio(*editor, "take.mp3");
    answerOverview();

    const std::pair<const char*, std::function<void()>> stops[] = {
        {"pressed again", [&] { button->click(); }},
        {"offset typed", [&] { QTest::keyClicks(editor->startSecondsField(), "5"); }},
        {"offset picked", [&] { QTest::mouseClick(editor->waveform(), Qt::LeftButton); }},
        {"sheet closed", [&] { editor->reject(); }}};
    for (const auto& [way, stop] : stops) {
        SCOPED_TRACE(way);
        type(editor->startSecondsField(), "2,5");
        EXPECT_EQ(button->text(), "미리 듣기");
        button->click();
        const auto audition = lastPlayer();
        EXPECT_FALSE(cue->isPlaying());
        EXPECT_EQ(std::pair(audition->url, audition->currentTime()),
                  std::pair(media() / audio, 2.5));
        EXPECT_EQ(controller->state(), PlaybackState::playing(11));
        EXPECT_EQ(button->text(), "미리 듣기 중지");
        stop();
        EXPECT_EQ(audition->stopCount, 1);
        EXPECT_TRUE(controller->state().isStopped());
    }
    EXPECT_TRUE(editorIsGone());
}

TEST_F(CueEditorViewTest, ClickingTheWaveformPicksTheOffsetInStepWithTheField) {
    CueEditorView* editor = present();
    CueEditorWaveform* waveform = editor->waveform();
    const std::string audio = importAudio(*editor, "take.mp3");
    EXPECT_EQ(overviews.requests[0].url, media() / audio);
    answerOverview();
    QTest::mouseClick(waveform, Qt::LeftButton, {},
                      QPoint(waveform->width() / 4, waveform->height() / 2));
    // Within the few pixels of the frame around the plot.
    EXPECT_NEAR(editor->draft().startSeconds, 2.5, 10.0 * 8 / waveform->width());
    EXPECT_EQ(editor->startSecondsField()->text(),
              formatStartSeconds(editor->draft().startSeconds));
    type(editor->startSecondsField(), "7,5");
    EXPECT_EQ(waveform->startSeconds(), 7.5);
    editor->reject();
    EXPECT_TRUE(overviews.requests[0].handle.expired());
}

}  // namespace
}  // namespace tavrel::test
