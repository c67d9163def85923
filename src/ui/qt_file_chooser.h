#pragma once

#include <QString>

#include <map>

#include "ui/file_chooser.h"

namespace tavrel {

// Window-modal QFileDialogs shown with open(). Each kind of file opens in the
// folder of the last file of that kind chosen this session (home at first).
class QtFileChooser final : public FileChooser {
public:
    void chooseToOpen(QWidget* parent, const OpenPanelOptions& options,
                      OpenCompletion completion) override;
    void chooseToSave(QWidget* parent, const SavePanelOptions& options,
                      SaveCompletion completion) override;

    // Where the next panel of `kind` opens.
    QString folderFor(FileKind kind) const;

private:
    void remember(FileKind kind, const std::filesystem::path& chosen);

    std::map<FileKind, QString> m_lastFolders;
};

}  // namespace tavrel
