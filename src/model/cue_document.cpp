#include "model/cue_document.h"

#include <cmath>
#include <map>
#include <unordered_set>

namespace tavrel {

CueDocument CueDocument::empty() {
    CueDocument document;
    document.slots.reserve(slotCount);
    for (std::int64_t id = 0; id < slotCount; ++id) {
        document.slots.push_back(CueSlot::empty(id));
    }
    return document;
}

void CueDocument::normalize() {
    schemaVersion = currentSchemaVersion;

    // NaN never comes from JSON, but a document written with one could not be
    // read back: fall back to the defaults.
    if (std::isnan(masterVolume))
        masterVolume = 1.0;
    if (masterVolume <= 0.0)
        masterVolume = 0.0;
    if (masterVolume > 1.0)
        masterVolume = 1.0;

    std::map<std::int64_t, const CueSlot*> byID;
    for (const auto& slot : slots) {
        if (slot.id >= 0 && slot.id < slotCount) {
            byID.try_emplace(slot.id, &slot);
        }
    }
    std::vector<CueSlot> normalized;
    normalized.reserve(slotCount);
    for (std::int64_t id = 0; id < slotCount; ++id) {
        auto found = byID.find(id);
        CueSlot slot = found == byID.end() ? CueSlot::empty(id) : *found->second;
        slot.sanitize();
        normalized.push_back(std::move(slot));
    }
    slots = std::move(normalized);

    std::unordered_set<Uuid> seen;
    std::vector<LoopTrack> kept;
    for (auto& track : loopTracks) {
        if (track.audioFilename.empty())
            continue;
        if (!seen.insert(track.id).second)
            continue;
        if (isSafeMediaFilename(track.audioFilename))
            kept.push_back(std::move(track));
    }
    loopTracks = std::move(kept);
}

bool CueDocument::isSafeMediaFilename(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    if (name.find('/') != std::string_view::npos)
        return false;
    // The OS would end the path at a NUL and reach another file.
    if (name.find('\0') != std::string_view::npos)
        return false;
#ifdef _WIN32
    if (name.find_first_of("\\:") != std::string_view::npos)
        return false;
#endif
    return true;
}

std::set<std::string> CueDocument::referencedMediaFilenames() const {
    std::set<std::string> names;
    auto add = [&names](const std::string& name) {
        if (isSafeMediaFilename(name))
            names.insert(name);
    };
    for (const auto& slot : slots) {
        if (slot.audioFilename)
            add(*slot.audioFilename);
        if (slot.imageFilename)
            add(*slot.imageFilename);
    }
    for (const auto& track : loopTracks)
        add(track.audioFilename);
    return names;
}

std::string_view slotKeyCharacter(std::int64_t id) {
    static constexpr std::string_view keys[] = {"1", "2", "3", "4", "5", "6",
                                                "7", "8", "9", "0", "-", "="};
    if (id < 0 || id >= CueDocument::slotCount)
        return {};
    return keys[id];
}

}  // namespace tavrel
