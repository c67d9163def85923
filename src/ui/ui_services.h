#pragma once

#include <stdexcept>

#include <QDateTime>

#include <functional>
#include <memory>

#include "playback/output_status.h"
#include "ui/cue_editor_presenter.h"
#include "ui/settings_window.h"

class QWidget;

namespace tavrel {

class CueArtworkWorkers;
class FileChooser;

// What the views get from outside besides the store; the first four are
// required (the views refuse to be made without them), the rest have defaults.
struct UiServices {
    FileChooser* fileChooser = nullptr;    // required
    CueEditorPresenter presentEditor;      // required
    CueArtworkWorkers* artwork = nullptr;  // required
    // The loop player section's panel; required.
    std::function<QWidget*(QWidget* parent)> makeLoopPanel;
    std::function<QDateTime()> now;  // default: the current local time
    // For the "설정" window; empty members: nothing listed, nothing refused.
    SettingsServices settings;
    // The audio engine's; the header says "출력 없음" while it is unavailable. Default: none.
    std::shared_ptr<OutputStatus> outputStatus;
};

// The services themselves; throws std::invalid_argument when a required one is missing.
inline const UiServices& checkedServices(const UiServices& services) {
    if (!services.fileChooser || !services.presentEditor || !services.makeLoopPanel ||
        !services.artwork)
        throw std::invalid_argument(
            "the views need a file chooser, an editor, a loop panel "
            "and the artwork workers");
    return services;
}

}  // namespace tavrel
