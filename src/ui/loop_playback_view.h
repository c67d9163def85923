#pragma once

#include <cstddef>
#include <set>

#include <memory>

#include "base/observable.h"
#include "base/uuid.h"
#include "model/loop_track.h"
#include "ui/loop_duration.h"
#include "ui/tavrel_backdrop.h"

class QLabel;
class QPushButton;

#include "ui/master_volume_slider.h"

namespace tavrel {

class CueStore;
class ErrorAlert;
class FileChooser;
class LoopDurationPicker;
class LoopTrackList;
class TransportButton;

// The loop player section: add, check, reorder and delete loop tracks, pick
// how long the run lasts, start, pause, stop or fade it out, set the master volume.
// Everything is done by the store; the panel holds only the checked ids and
// the chosen duration.
class LoopPlaybackView : public TavrelBackdrop {
    Q_OBJECT

public:
    // `fileChooser` must outlive the panel.
    LoopPlaybackView(std::shared_ptr<CueStore> store, FileChooser& fileChooser,
                     QWidget* parent = nullptr);
    ~LoopPlaybackView() override;

    // The section was selected again after another one: the checked tracks
    // and the duration start afresh. Showing the panel after it was hidden
    // does this by itself.
    void sectionShown();

    const std::set<Uuid>& selectedTrackIDs() const { return m_selectedTrackIDs; }
    LoopDuration duration() const { return m_duration; }
    // The track sounds, or is paused, in the current run.
    bool isCurrentTrack(const LoopTrack& track) const;

    // The add button: an open panel for audio files, added when confirmed.
    void chooseLoopTracks();
    // The list's delete command: the ids leave the selection, then the rows the list.
    void deleteRows(const std::set<std::size_t>& positions);

    // Parts, for tests and screenshots.
    QPushButton* addButton() const { return m_addButton; }
    LoopDurationPicker* durationPicker() const { return m_picker; }
    QLabel* statusLabel() const { return m_status; }
    TransportButton* startButton() const { return m_startButton; }
    TransportButton* pauseButton() const { return m_pauseButton; }
    TransportButton* stopButton() const { return m_stopButton; }
    TransportButton* fadeButton() const { return m_fadeButton; }
    LoopTrackList* trackList() const { return m_trackList; }
    QLabel* nowPlayingLabel() const { return m_nowPlaying; }
    QLabel* volumeLabel() const { return m_volumeLabel; }
    MasterVolumeSlider* volumeSlider() const { return m_volumeSlider; }
    // Storage and playback errors, shown while the panel is visible.
    ErrorAlert* errorAlert() const { return m_errorAlert; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeControlBox();
    QWidget* makeTrackList();
    QWidget* makeFooter();

    void refresh();
    void refreshControls();
    void refreshFooter();

    void setTrackSelected(const Uuid& id, bool selected);
    void start();

    std::shared_ptr<CueStore> m_store;
    FileChooser& m_fileChooser;
    std::set<Uuid> m_selectedTrackIDs;
    LoopDuration m_duration = LoopDuration::tenMinutes;

    QPushButton* m_addButton = nullptr;
    LoopDurationPicker* m_picker = nullptr;
    QLabel* m_status = nullptr;
    TransportButton* m_startButton = nullptr;
    TransportButton* m_pauseButton = nullptr;
    TransportButton* m_stopButton = nullptr;
    TransportButton* m_fadeButton = nullptr;
    LoopTrackList* m_trackList = nullptr;
    QLabel* m_nowPlaying = nullptr;
    QLabel* m_volumeLabel = nullptr;
    MasterVolumeSlider* m_volumeSlider = nullptr;
    ErrorAlert* m_errorAlert = nullptr;

    Subscription m_storeSubscription;
    Subscription m_playbackSubscription;
};

}  // namespace tavrel
