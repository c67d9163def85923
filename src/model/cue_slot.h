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
    double gainDB = 0.0;  // minimumGainDB to maximumGainDB

    static constexpr double minimumGainDB = -12.0;
    static constexpr double maximumGainDB = 0.0;

    static CueSlot empty(std::int64_t id);

    // NaN gives 0 dB; anything else is clamped to the gain range.
    static double sanitizedGainDB(double gainDB);
    // Negative, NaN or infinite gives 0: a non-finite value would be written
    // as null and fail the next load.
    static double sanitizedStartSeconds(double seconds);
    // Both of the above, and drops a media name that could reach outside "Media".
    void sanitize();

    // The title, or "큐 " + (id + 1) when the title is empty.
    std::string displayTitle() const;

    bool operator==(const CueSlot&) const = default;
};

}  // namespace tavrel
