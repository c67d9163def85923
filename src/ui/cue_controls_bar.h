#pragma once

#include <QWidget>

#include <memory>

#include "base/observable.h"

#include "ui/master_volume_slider.h"
#include "ui/symbol_icon.h"

class QLabel;

namespace tavrel {

class CueStore;
class ElidedLabel;
class PlaybackTimeRow;
class TransportButton;

// Below the board: what is playing and how far, pause/resume, stop, fade-out,
// master volume. The slider changes the volume on every move and saves it when let go.
class CueControlsBar : public QWidget {
    Q_OBJECT

public:
    explicit CueControlsBar(std::shared_ptr<CueStore> store, QWidget* parent = nullptr);

    TransportButton& pauseButton() const { return *m_pauseButton; }
    TransportButton& stopButton() const { return *m_stopButton; }
    TransportButton& fadeButton() const { return *m_fadeButton; }
    MasterVolumeSlider& volumeSlider() const { return *m_volumeSlider; }
    QString nowPlayingLine() const;
    Symbol nowPlayingSymbol() const { return m_symbol; }
    QString volumeText() const;
    // Null while nothing sounds.
    const PlaybackTimeRow* timeRow() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    std::shared_ptr<CueStore> m_store;
    QLabel* m_icon = nullptr;
    ElidedLabel* m_line = nullptr;
    PlaybackTimeRow* m_time = nullptr;
    TransportButton* m_pauseButton = nullptr;
    TransportButton* m_stopButton = nullptr;
    TransportButton* m_fadeButton = nullptr;
    QLabel* m_volumeLabel = nullptr;
    MasterVolumeSlider* m_volumeSlider = nullptr;
    Symbol m_symbol = Symbol::musicNote;
    Subscription m_storeSubscription;
    Subscription m_playbackSubscription;
    Subscription m_progressSubscription;
};

}  // namespace tavrel
