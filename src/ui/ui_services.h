#pragma once

#include <QDateTime>

#include <functional>
#include <memory>

#include "playback/output_status.h"
#include "ui/cue_editor_presenter.h"
#include "ui/settings_window.h"

class QWidget;

namespace tavrel {

class FileChooser;

// What the views get from outside besides the store; empty members take defaults.
struct UiServices {
    FileChooser* fileChooser = nullptr;  // required
    CueEditorPresenter presentEditor;    // default: the placeholder sheet
    // The loop player section's panel; default: a placeholder.
    std::function<QWidget*(QWidget* parent)> makeLoopPanel;
    std::function<QDateTime()> now;  // default: the current local time
    // For the "설정" window; empty members: nothing listed, nothing refused.
    SettingsServices settings;
    // The audio engine's; the header says "출력 없음" while it is unavailable. Default: none.
    std::shared_ptr<OutputStatus> outputStatus;
};

}  // namespace tavrel
