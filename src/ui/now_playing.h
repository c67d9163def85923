#pragma once

#include <QColor>
#include <QString>

#include <optional>

#include "model/cue_slot.h"
#include "playback/playback_state.h"

#include "ui/symbol_icon.h"

namespace tavrel {

// The controls bar's state-dependent parts for the controller's state.
struct NowPlaying {
    Symbol symbol = Symbol::musicNote;
    QColor symbolColor;
    QString line;
    QString pauseTitle;
    Symbol pauseSymbol = Symbol::pause;
    bool transportEnabled = false;

    static NowPlaying of(const PlaybackState& state, const std::optional<CueSlot>& currentSlot);
};

// "마스터 볼륨 N%": the whole percent the value stands for, so 0.57 reads 57
// although 0.57 × 100 is a hair below 57 in binary floating point.
QString masterVolumeText(double volume);
int masterVolumePercent(double volume);

}  // namespace tavrel
