#pragma once

#include <string>

#include "base/uuid.h"

namespace tavrel {

// One entry of the loop player's list.
struct LoopTrack {
    Uuid id = Uuid::random();
    std::string title;
    std::string audioFilename;

    bool operator==(const LoopTrack&) const = default;
};

}  // namespace tavrel
