#include "ui/cue_card_appearance.h"

#include "ui/tavrel_theme.h"

namespace tavrel {

QString CueCardAppearance::statusText() const {
    switch (status) {
        case Status::playing:
            return QStringLiteral("재생 중");
        case Status::paused:
            return QStringLiteral("일시정지");
        case Status::none:
            break;
    }
    return {};
}

Symbol CueCardAppearance::statusSymbol() const {
    return status == Status::paused ? Symbol::pause : Symbol::waveform;
}

QColor CueCardAppearance::statusColor() const {
    return status == Status::paused ? palette::orange() : palette::green();
}

CueCardAppearance CueCardAppearance::of(const PlaybackState& state, std::int64_t slotID,
                                        bool editing) {
    CueCardAppearance look;
    const bool active = state.activeSlotID() == slotID;
    if (active) {
        look.status = state.isPaused() ? Status::paused : Status::playing;
        const QColor tint = look.statusColor();
        look.background = palette::withOpacity(tint, 0.10);
        look.border = tint;
        look.outlineWidth = 3;
        look.shadowColor = palette::withOpacity(tint, 0.28);
        look.shadowRadius = 10;
        return look;
    }
    look.background = palette::cardBackground();
    look.border = editing ? palette::withOpacity(palette::accent(), 0.60) : palette::separator();
    look.outlineWidth = 1;
    look.shadowColor = palette::shadow();
    look.shadowRadius = 5;
    return look;
}

}  // namespace tavrel
