#pragma once

#include "ui/file_chooser.h"

namespace tavrel {

// Window-modal QFileDialogs shown with open().
class QtFileChooser final : public FileChooser {
public:
    void chooseToOpen(QWidget* parent, const OpenPanelOptions& options,
                      OpenCompletion completion) override;
    void chooseToSave(QWidget* parent, const SavePanelOptions& options,
                      SaveCompletion completion) override;
};

}  // namespace tavrel
