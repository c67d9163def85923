#pragma once

#include <functional>
#include <memory>

#include "model/cue_slot.h"

class QWidget;

namespace tavrel {

class CueStore;

// Shows the editor for `slot` as a window-modal sheet over `parent` and returns
// at once; `onClosed` runs once when the sheet is gone. While the sheet is
// shown the store's isEditorPresented is true.
using CueEditorPresenter =
    std::function<void(QWidget* parent, const CueSlot& slot, std::function<void()> onClosed)>;

// An empty sheet with a close button, until the editor exists.
CueEditorPresenter placeholderEditorPresenter(std::shared_ptr<CueStore> store);

}  // namespace tavrel
