#pragma once

#include <QAbstractButton>

#include <filesystem>
#include <functional>
#include <optional>

#include "model/cue_slot.h"
#include "playback/audio_playback_controller.h"
#include "playback/playback_state.h"
#include "ui/card_shadow.h"
#include "ui/cue_card_appearance.h"

class QLabel;

namespace tavrel {

class CueArtworkWorkers;

class CueCardArtwork;
class ElidedLabel;
class PlaybackTimeRow;

// One cue on the board: artwork, key badge, title, status, missing-audio
// warning, usage and, while its cue sounds, the time row; coloured by the
// playback state. A click runs the action
// the board gives it; the card decides nothing. Takes no keyboard focus.
class CueCard : public QAbstractButton {
    Q_OBJECT

public:
    struct Model {
        CueSlot slot;
        bool editing = false;
        bool missingAudio = false;
        PlaybackState playbackState = PlaybackState::stopped();
        std::optional<std::filesystem::path> imageURL;

        bool operator==(const Model&) const = default;
    };

    explicit CueCard(CueArtworkWorkers& artwork, QWidget* parent = nullptr);

    void setModel(const Model& model);
    void setAction(std::function<void()> action) { m_action = std::move(action); }
    // Shown while the card's cue plays or is paused.
    void setProgress(const PlaybackProgress& progress);

    const Model& model() const { return m_model; }
    const CueCardAppearance& appearance() const { return m_appearance; }
    CueCardArtwork& artwork() const { return *m_artwork; }
    QString keyText() const;
    QString titleText() const;
    QString statusText() const;
    QString usageText() const;
    // The warning symbol with its tooltip; null when the audio is there.
    const QLabel* missingAudioWarning() const;
    // Null while the cue is not the one sounding.
    const PlaybackTimeRow* timeRow() const;
    // The board paints it behind the card.
    CardShadow shadow() const;
    static constexpr qreal cornerRadius = 12;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyColours();

    bool m_hasModel = false;
    Model m_model;
    QString m_badgeStyle;
    QString m_statusStyle;
    CueCardAppearance m_appearance;
    std::function<void()> m_action;
    CueCardArtwork* m_artwork = nullptr;
    QLabel* m_keyBadge = nullptr;
    ElidedLabel* m_title = nullptr;
    QLabel* m_statusIcon = nullptr;
    QLabel* m_statusLabel = nullptr;
    QLabel* m_warning = nullptr;
    ElidedLabel* m_usage = nullptr;
    PlaybackTimeRow* m_time = nullptr;
};

}  // namespace tavrel
