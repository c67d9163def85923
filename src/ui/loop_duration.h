#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include <QString>

namespace tavrel {

// How long a loop run lasts, as the operator picks it on the loop panel.
enum class LoopDuration { tenMinutes, thirtyMinutes, infinite };

inline constexpr std::array<LoopDuration, 3> allLoopDurations = {
    LoopDuration::tenMinutes, LoopDuration::thirtyMinutes, LoopDuration::infinite};

// Picker segment and start button caption.
QString loopDurationTitle(LoopDuration duration);
// What the store's startLoopPlayback takes: empty means until stopped.
std::optional<std::int64_t> loopDurationMinutes(LoopDuration duration);

}  // namespace tavrel
