#include "playback/clamped_start.h"

#include <cmath>

#include "base/clamped.h"

namespace tavrel {

double clampedStart(double start, double duration) {
    if (!std::isfinite(duration) || !(duration > 0))
        return 0;
    return clamped(start, 0.0, duration);
}

}  // namespace tavrel
