#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "model/cue_document.h"

namespace tavrel::fuzz {

// Stops the fuzzer with a reason: libFuzzer keeps the input that got here.
[[noreturn]] inline void violated(const char* what) {
    std::fprintf(stderr, "invariant violated: %s\n", what);
    std::abort();
}

inline void require(bool condition, const char* what) {
    if (!condition)
        violated(what);
}

// What every normalised document promises the rest of the program.
inline void requireValid(const CueDocument& document) {
    require(document.schemaVersion == CueDocument::currentSchemaVersion, "schema version");
    require(std::isfinite(document.masterVolume) && document.masterVolume >= 0.0 &&
                document.masterVolume <= 1.0,
            "master volume in 0...1");
    require(document.slots.size() == static_cast<std::size_t>(CueDocument::slotCount),
            "twelve slots");
    for (std::size_t i = 0; i < document.slots.size(); ++i) {
        const auto& slot = document.slots[i];
        require(slot.id == static_cast<std::int64_t>(i), "slot ids 0...11 in order");
        require(std::isfinite(slot.startSeconds) && slot.startSeconds >= 0.0,
                "start offset finite and not negative");
        require(std::isfinite(slot.gainDB) && slot.gainDB >= -12.0 && slot.gainDB <= 0.0,
                "gain in -12...0 dB");
        require(!slot.audioFilename || CueDocument::isSafeMediaFilename(*slot.audioFilename),
                "safe audio name");
        require(!slot.imageFilename || CueDocument::isSafeMediaFilename(*slot.imageFilename),
                "safe image name");
    }
    std::set<Uuid> ids;
    for (const auto& track : document.loopTracks) {
        require(CueDocument::isSafeMediaFilename(track.audioFilename), "safe loop track name");
        require(ids.insert(track.id).second, "loop track ids unique");
    }
    for (const auto& name : document.referencedMediaFilenames())
        require(CueDocument::isSafeMediaFilename(name), "referenced names safe");
}

}  // namespace tavrel::fuzz
