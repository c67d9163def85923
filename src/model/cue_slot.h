#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavrel {

// One instant-play cue.
struct CueSlot {
    std::int64_t id = 0;  // 0 to 11, its position in the document
    std::string title;
    std::string usage;
    std::optional<std::string> audioFilename;  // media filename of the copied audio
    std::optional<std::string> imageFilename;  // media filename of the copied card image
    double startSeconds = 0.0;
    double gainDB = 0.0;  // -12 to 0

    static CueSlot empty(std::int64_t id);

    // The title, or "큐 " + (id + 1) when the title is empty.
    std::string displayTitle() const;

    bool operator==(const CueSlot&) const = default;
};

}  // namespace tavrel
