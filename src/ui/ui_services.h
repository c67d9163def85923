#pragma once

#include <QDateTime>

#include <functional>

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
};

}  // namespace tavrel
