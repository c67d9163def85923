#include "model/cue_slot.h"

#include <cmath>

#include "base/clamped.h"
#include "model/cue_document.h"

namespace tavrel {

CueSlot CueSlot::empty(std::int64_t id) {
    CueSlot slot;
    slot.id = id;
    return slot;
}

double CueSlot::sanitizedGainDB(double gainDB) {
    return std::isnan(gainDB) ? 0.0 : clamped(gainDB, minimumGainDB, maximumGainDB);
}

double CueSlot::sanitizedStartSeconds(double seconds) {
    return seconds >= 0.0 && std::isfinite(seconds) ? seconds : 0.0;
}

void CueSlot::sanitize() {
    startSeconds = sanitizedStartSeconds(startSeconds);
    gainDB = sanitizedGainDB(gainDB);
    if (audioFilename && !CueDocument::isSafeMediaFilename(*audioFilename))
        audioFilename.reset();
    if (imageFilename && !CueDocument::isSafeMediaFilename(*imageFilename))
        imageFilename.reset();
}

std::string CueSlot::displayTitle() const {
    if (!title.empty()) {
        return title;
    }
    return "큐 " + std::to_string(id + 1);
}

}  // namespace tavrel
