#include "model/cue_slot.h"

namespace tavrel {

CueSlot CueSlot::empty(std::int64_t id) {
    CueSlot slot;
    slot.id = id;
    return slot;
}

std::string CueSlot::displayTitle() const {
    if (!title.empty()) {
        return title;
    }
    return "큐 " + std::to_string(id + 1);
}

}  // namespace tavrel
