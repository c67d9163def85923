#include "ui/loop_duration.h"

namespace tavrel {

QString loopDurationTitle(LoopDuration duration) {
    switch (duration) {
        case LoopDuration::tenMinutes:
            return QStringLiteral("10분");
        case LoopDuration::thirtyMinutes:
            return QStringLiteral("30분");
        case LoopDuration::infinite:
            return QStringLiteral("무한 반복");
    }
    return {};
}

std::optional<std::int64_t> loopDurationMinutes(LoopDuration duration) {
    switch (duration) {
        case LoopDuration::tenMinutes:
            return 10;
        case LoopDuration::thirtyMinutes:
            return 30;
        case LoopDuration::infinite:
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace tavrel
