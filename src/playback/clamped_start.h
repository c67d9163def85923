#pragma once

namespace tavrel {

// Where a cue starting at `start` seconds begins in a file of `duration`
// seconds: 0 when the duration is not finite or not positive, else within
// [0, duration]. The controller seeks there and the engine warms there, so both
// must agree on it.
double clampedStart(double start, double duration);

}  // namespace tavrel
