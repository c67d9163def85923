#pragma once

#include <QColor>
#include <QString>

#include <cstdint>

#include "playback/playback_state.h"

#include "ui/symbol_icon.h"

namespace tavrel {

// How a card looks for the controller's state: active (playing or paused)
// exactly when the state names this card's slot.
struct CueCardAppearance {
    enum class Status { none, playing, paused };

    Status status = Status::none;
    QColor background;
    QColor border;
    int outlineWidth = 1;
    QColor shadowColor;
    int shadowRadius = 5;

    // "재생 중", "일시정지" or empty.
    QString statusText() const;
    // Shown only with a status.
    Symbol statusSymbol() const;
    QColor statusColor() const;

    static CueCardAppearance of(const PlaybackState& state, std::int64_t slotID, bool editing);
};

}  // namespace tavrel
