#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include <QDialog>
#include <QMessageBox>
#include <QPointer>

#include "base/observable.h"
#include "model/cue_slot.h"
#include "ui/cue_editor_presenter.h"
#include "ui/file_chooser.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace tavrel {

class CueEditorMediaRow;
class CueEditorWaveform;
class CueStore;
class FileChooser;

// Edits one cue slot in a window-modal sheet, on a private draft. Files chosen
// here are copied into the library at once and remembered as this editor's
// imports: a commit hands them to the store with the slot, any other way out
// (cancel, Escape, closing, quitting) discards them, exactly once.
class CueEditorView : public QDialog {
    Q_OBJECT

public:
    // `fileChooser` must outlive the editor. Without `readOverview` the audio
    // row shows no format and the waveform stays empty.
    CueEditorView(const CueSlot& slot, std::shared_ptr<CueStore> store, FileChooser& fileChooser,
                  AudioOverviewReading readOverview = {}, QWidget* parent = nullptr);
    ~CueEditorView() override;

    const CueSlot& draft() const { return m_draft; }
    const std::optional<QString>& localError() const { return m_localError; }
    const std::set<std::string>& sessionImportedFilenames() const {
        return m_sessionImportedFilenames;
    }
    bool didCommit() const { return m_didCommit; }

    // "저장": corrects the start offset and gain, replaces the slot; closes on success.
    void save();
    // "슬롯 비우기": asks first; clear() runs when confirmed.
    void confirmClear();
    void clear();
    // "미리 듣기": the draft's audio from its start offset at its gain, or, while
    // that sounds, stop. Leaving the editor or moving the offset stops it too.
    void toggleAudition();
    void chooseAudioFile();
    void chooseImageFile();
    // Copies the file into the library and puts its name into the draft.
    void importFile(const std::filesystem::path& url, const std::string& kind,
                    const std::function<void(const std::string&)>& assign);

    void done(int result) override;

    // Parts, for tests and screenshots.
    QLabel* heading() const { return m_heading; }
    QLineEdit* titleField() const { return m_title; }
    QLineEdit* usageField() const { return m_usage; }
    CueEditorMediaRow* audioRow() const { return m_audioRow; }
    CueEditorMediaRow* imageRow() const { return m_imageRow; }
    QLineEdit* startSecondsField() const { return m_startSeconds; }
    // Shown, in red, while the field holds text that is not a number.
    QLabel* startSecondsHint() const { return m_startSecondsHint; }
    bool startSecondsValid() const { return m_startSecondsValid; }
    QLabel* gainLabel() const { return m_gainLabel; }
    QSlider* gainSlider() const { return m_gainSlider; }
    QPushButton* auditionButton() const { return m_auditionButton; }
    CueEditorWaveform* waveform() const { return m_waveform; }
    QLabel* errorLabel() const { return m_errorLabel; }
    QPushButton* clearButton() const { return m_clearButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    QPushButton* saveButton() const { return m_saveButton; }
    // The clear confirmation while it is up.
    QMessageBox* clearConfirmation() const { return m_clearConfirmation; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeForm();
    QWidget* makeStartSecondsRow(QWidget* form);
    QWidget* makeGainColumn(QWidget* form);
    QWidget* makeButtons();
    void chooseFile(const QString& title, const QStringList& filters, FileKind kind,
                    std::function<void(const std::filesystem::path&)> completion);
    // Takes the field's text into the draft when it is a number; otherwise
    // marks the field and holds "저장" back until it is one. A new offset
    // moves the waveform's marker and stops the audition.
    void takeStartSecondsText();
    void refreshImageDetail();
    // Asks for the format and peaks of a new audio file; drops the old request.
    void refreshAudioOverview();
    // The button says whether the audition sounds; it needs audio and a valid offset.
    void refreshAudition();
    void refresh();
    void fitHeight();
    // The editor goes away: discards the imports unless committed. Runs once.
    void leave();

    CueSlot m_draft;
    std::optional<QString> m_localError;
    std::set<std::string> m_sessionImportedFilenames;
    bool m_didCommit = false;
    bool m_didLeave = false;
    bool m_startSecondsValid = true;
    std::optional<std::string> m_detailedImage;  // the image the detail line describes
    std::optional<std::string> m_overviewAudio;  // the audio the overview describes
    std::shared_ptr<void> m_overviewRequest;
    std::shared_ptr<CueStore> m_store;
    FileChooser& m_fileChooser;
    AudioOverviewReading m_readOverview;
    Subscription m_playbackSubscription;

    QLabel* m_heading = nullptr;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_usage = nullptr;
    CueEditorMediaRow* m_audioRow = nullptr;
    CueEditorMediaRow* m_imageRow = nullptr;
    QLineEdit* m_startSeconds = nullptr;
    QLabel* m_startSecondsHint = nullptr;
    QLabel* m_gainLabel = nullptr;
    QSlider* m_gainSlider = nullptr;
    QPushButton* m_auditionButton = nullptr;
    CueEditorWaveform* m_waveform = nullptr;
    QLabel* m_errorLabel = nullptr;
    QPushButton* m_clearButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPointer<QMessageBox> m_clearConfirmation;
};

// Presents a CueEditorView for the board; the editor deletes itself when closed.
CueEditorPresenter cueEditorPresenter(std::shared_ptr<CueStore> store, FileChooser& fileChooser,
                                      AudioOverviewReading readOverview = {});

}  // namespace tavrel
