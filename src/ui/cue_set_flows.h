#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include <QMessageBox>
class QWidget;

namespace tavrel {

class CueStore;
class FileChooser;

// The set menu's two flows: save the current set to a folder the user names,
// and load a saved set after a confirmation. Panels and the confirmation are
// window-modal over `parent`.
class CueSetFlows : public QObject {
    Q_OBJECT

public:
    CueSetFlows(std::shared_ptr<CueStore> store, FileChooser& fileChooser, QWidget* parent,
                std::function<QDateTime()> now = {});

    void saveCurrentSet();
    void chooseSetToRestore();

    // The folder waiting for the confirmation.
    const std::optional<std::filesystem::path>& pendingRestoreURL() const {
        return m_pendingRestoreURL;
    }
    // The confirmation on screen, or null.
    QMessageBox* restoreConfirmation() const { return m_confirmation; }

    // "Tavrel-세트-yyyyMMdd-HHmm.tavrel" (24-hour clock).
    static QString defaultSetName(const QDateTime& time);
    // Appends ".tavrel" unless the extension already is that, in any letter case.
    static std::filesystem::path ensuringSetExtension(std::filesystem::path url);

private:
    void exportTo(const std::filesystem::path& url);
    void confirmRestore(const std::filesystem::path& url);

    std::shared_ptr<CueStore> m_store;
    FileChooser& m_fileChooser;
    QWidget* m_parent = nullptr;
    std::function<QDateTime()> m_now;
    std::optional<std::filesystem::path> m_pendingRestoreURL;
    QPointer<QMessageBox> m_confirmation;
};

}  // namespace tavrel
