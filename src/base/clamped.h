#pragma once

#include <algorithm>

namespace tavrel {

// min(max(value, lower), upper), in that order: a NaN stays NaN.
template <typename T>
constexpr T clamped(T value, T lower, T upper) {
    return std::min(std::max(value, lower), upper);
}

}  // namespace tavrel
