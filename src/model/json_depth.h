#pragma once

#include <cstddef>
#include <string_view>

namespace tavrel {

// True when arrays and objects in `bytes` nest deeper than `limit`. One linear
// pass that skips strings, so a parser can refuse deep input before it
// recurses, without a per-value callback (which makes large arrays quadratic).
bool jsonNestsDeeperThan(std::string_view bytes, std::size_t limit);

}  // namespace tavrel
