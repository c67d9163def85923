#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "model/cue_slot.h"
#include "playback/audio_overview.h"

class QWidget;

namespace tavrel {

class CueStore;

// Shows the editor for `slot` as a window-modal sheet over `parent` and returns
// at once; `onClosed` runs once when the sheet is gone. While the sheet is
// shown the store's isEditorPresented is true.
using CueEditorPresenter =
    std::function<void(QWidget* parent, const CueSlot& slot, std::function<void()> onClosed)>;

// Reads a sound file's format, then its peaks, off the main thread (the
// engine's AudioOverviewThread). `deliver` runs on the main thread, at most
// twice (no format: the file cannot be read), and never once the returned
// handle is dropped.
using AudioOverviewReading = std::function<std::shared_ptr<void>(
    const std::filesystem::path& url, std::function<void(const AudioOverview&)> deliver)>;

}  // namespace tavrel
