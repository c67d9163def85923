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

// The set menu's flows: save the current set to a folder the user names or
// picks (replacing a set there only after a confirmation), and load a saved
// set after a confirmation. Panels and confirmations are window-modal over
// `parent`.
class CueSetFlows : public QObject {
    Q_OBJECT

public:
    CueSetFlows(std::shared_ptr<CueStore> store, FileChooser& fileChooser, QWidget* parent,
                std::function<QDateTime()> now = {});

    void saveCurrentSet();
    // Saves over a set folder chosen as such (a save panel only names one).
    void chooseSetToReplace();
    void chooseSetToRestore();

    // The set folder waiting for the confirmation to replace it.
    const std::optional<std::filesystem::path>& pendingReplaceURL() const {
        return m_pendingReplaceURL;
    }
    QMessageBox* replaceConfirmation() const { return m_replaceConfirmation; }

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
    // Asks first when something is already there.
    void saveTo(const std::filesystem::path& url);
    void exportTo(const std::filesystem::path& url);
    void confirmRestore(const std::filesystem::path& url);

    std::shared_ptr<CueStore> m_store;
    FileChooser& m_fileChooser;
    QWidget* m_parent = nullptr;
    std::function<QDateTime()> m_now;
    std::optional<std::filesystem::path> m_pendingRestoreURL;
    QPointer<QMessageBox> m_confirmation;
    std::optional<std::filesystem::path> m_pendingReplaceURL;
    QPointer<QMessageBox> m_replaceConfirmation;
};

}  // namespace tavrel
