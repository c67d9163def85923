#include <cmath>

#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include "loop_editor_fixture.h"
#include "ui/cue_editor_media_row.h"
#include "ui/cue_editor_view.h"
#include "ui/loop_duration_picker.h"
#include "ui/loop_playback_view.h"
#include "ui/loop_track_list.h"
#include "ui/transport_button.h"

namespace tavrel::test {
namespace {

// Writes the pictures scripts/make-screenshots copies into the README.
void save(QWidget& widget, const std::string& name) {
    QCoreApplication::processEvents();
    const auto file = screenshotDirectory() / name;
    ASSERT_TRUE(widget.grab().save(QString::fromStdString(file.string()), "PNG"));
}

using LoopEditorScreenshotTest = LoopEditorFixture;

TEST_F(LoopEditorScreenshotTest, LoopPanel) {
    addTracks({"Lobby Ambience", "Preshow Jazz Medley", "Intermission Strings", "Rain Bed",
               "Curtain Call"});
    std::filesystem::remove(media() / store->document().loopTracks[3].audioFilename);
    LoopPlaybackView view(store, chooser);
    view.resize(900, 640);
    view.show();
    for (const std::size_t row : {0, 2, 4})
        view.trackList()->row(row)->checkBox()->click();
    view.trackList()->selectRows({2});
    save(view, "loop-tracks.png");

    QTest::mouseClick(view.durationPicker(), Qt::LeftButton, {},
                      view.durationPicker()->segmentRect(LoopDuration::thirtyMinutes).center());
    view.trackList()->selectRows({});
    store->setMasterVolume(0.72);
    view.startButton()->click();
    ASSERT_TRUE(store->loopPlayback());
    mainLoop.advance(83.0);
    save(view, "loop-running.png");
}

TEST_F(LoopEditorScreenshotTest, Editor) {
    CueSlot slot = store->document().slots[4];
    slot.title = "Opening Fanfare";
    slot.usage = "1막 시작, 조명 암전 후";
    slot.startSeconds = 2.5;
    slot.gainDB = -4.5;
    FakeOverviews overviews;
    CueEditorView editor(slot, store, chooser, overviews.reader());
    editor.show();
    editor.audioRow()->importButton()->click();
    chooser.answerOpen({sourceFile("fanfare.wav")});
    std::vector<float> swell;  // a swelling tone
    for (int i = 0; i < 600; ++i)
        swell.push_back(0.15f + 0.7f * std::abs(std::sin(i / 37.0)) * (i % 7 + 3) / 9.0f);
    overviews.requests.back().deliver({151.4, "WAV", 44100, 2, swell});
    save(editor, "editor.png");
}

}  // namespace
}  // namespace tavrel::test
