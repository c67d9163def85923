#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/main_loop.h"
#include "model/loop_track.h"

namespace tavrel {

// A running loop run: the checked tracks in list order, played one after
// another, starting over after the last, until the time is up or the user stops.
struct LoopPlaybackSession {
    std::vector<LoopTrack> tracks;                 // captured at start
    std::size_t nextIndex = 0;                     // the next track to try
    std::optional<std::int64_t> remainingSeconds;  // empty for an infinite run
    // End of a timed run that is not paused, on the monotonic clock.
    std::optional<MainLoop::Clock::time_point> deadline;
    bool isInfinite = false;
    bool isPaused = false;

    // "무한 반복 · 수동 중지", or mm:ss ("%02d:%02d"; minutes may exceed two digits).
    std::string remainingText() const;

    bool operator==(const LoopPlaybackSession&) const = default;
};

}  // namespace tavrel
