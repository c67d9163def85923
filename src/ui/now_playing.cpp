#include "ui/now_playing.h"

#include <cmath>

#include "ui/tavrel_theme.h"

namespace tavrel {

NowPlaying NowPlaying::of(const PlaybackState& state, const std::optional<CueSlot>& currentSlot) {
    const auto title = [&](const QString& fallback) {
        return currentSlot ? QString::fromStdString(currentSlot->displayTitle()) : fallback;
    };
    NowPlaying result;
    result.pauseTitle = QStringLiteral("일시정지");
    result.pauseSymbol = Symbol::pause;
    switch (state.kind()) {
        case PlaybackState::Kind::playing:
            result.symbol = Symbol::waveform;
            result.symbolColor = palette::green();
            result.line = title(QStringLiteral("재생 중"));
            result.transportEnabled = true;
            break;
        case PlaybackState::Kind::paused:
            result.symbol = Symbol::pause;
            result.symbolColor = palette::orange();
            result.line = title(QStringLiteral("재생")) + QStringLiteral(" · 일시정지");
            result.pauseTitle = QStringLiteral("계속 재생");
            result.pauseSymbol = Symbol::play;
            result.transportEnabled = true;
            break;
        case PlaybackState::Kind::stopped:
            result.symbol = Symbol::musicNote;
            result.symbolColor = palette::secondary();
            result.line = QStringLiteral("재생 중인 큐 없음");
            break;
    }
    return result;
}

int masterVolumePercent(double volume) {
    return static_cast<int>(std::trunc(volume * 100.0 + 1e-9));
}

QString masterVolumeText(double volume) {
    return QStringLiteral("마스터 볼륨 %1%").arg(masterVolumePercent(volume));
}

}  // namespace tavrel
