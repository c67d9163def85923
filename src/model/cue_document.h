#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/cue_slot.h"
#include "model/loop_track.h"

namespace tavrel {

// The whole persistent state: twelve cue slots and the loop list.
struct CueDocument {
    static constexpr std::int64_t currentSchemaVersion = 2;
    static constexpr std::int64_t slotCount = 12;

    std::int64_t schemaVersion = currentSchemaVersion;
    double masterVolume = 1.0;
    std::vector<CueSlot> slots;
    std::vector<LoopTrack> loopTracks;

    // Twelve empty slots, master volume 1, no loop tracks.
    static CueDocument empty();

    // Makes any decoded document valid: twelve slots in id order, numbers in
    // range and finite, unsafe names dropped, duplicate tracks dropped. Idempotent.
    void normalize();

    // A bare name inside "Media": not empty, not "." or "..", no "/" and no NUL.
    static bool isSafeMediaFilename(std::string_view name);

    // Every safe media filename a slot or loop track names.
    std::set<std::string> referencedMediaFilenames() const;

    bool operator==(const CueDocument&) const = default;
};

// The character that triggers slot `id` and is shown on its card: "1"…"9", "0", "-", "=".
std::string_view slotKeyCharacter(std::int64_t id);

}  // namespace tavrel
