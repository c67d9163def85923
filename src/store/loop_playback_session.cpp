#include "store/loop_playback_session.h"

#include <cstdio>

namespace tavrel {

std::string LoopPlaybackSession::remainingText() const {
    if (!remainingSeconds)
        return "무한 반복 · 수동 중지";
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld",
                  static_cast<long long>(*remainingSeconds / 60),
                  static_cast<long long>(*remainingSeconds % 60));
    return text;
}

}  // namespace tavrel
