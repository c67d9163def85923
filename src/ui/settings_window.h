#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/preferences.h"
#include "ui/remote_settings_section.h"

class QButtonGroup;
class QComboBox;
class QDoubleSpinBox;
class QLabel;

namespace tavrel {

class CueStore;

// A sound-server output as the operator chooses it.
struct OutputEntry {
    std::string name;  // the server's name, stored in the preferences
    std::string description;
};

// What the "설정" window asks of the rest of the application.
struct SettingsServices {
    // The sound server's outputs; empty: none listed.
    std::function<std::vector<OutputEntry>()> listOutputs;
    RemoteSettingsServices remote;
};

// The "설정" window: this machine's preferences. "저장" hands the edited copy to
// the store, which writes and publishes it; "취소" changes nothing.
class SettingsWindow : public QDialog {
    Q_OBJECT

public:
    SettingsWindow(std::shared_ptr<CueStore> store, SettingsServices services,
                   QWidget* parent = nullptr);

    // Opens window-modal over `parent`; deletes itself when closed.
    static void present(std::shared_ptr<CueStore> store, SettingsServices services,
                        QWidget* parent);

    // What "저장" would save.
    Preferences editedPreferences() const;

private:
    void fillOutputs();
    void accept() override;

    std::shared_ptr<CueStore> m_store;
    SettingsServices m_services;
    Preferences m_draft;
    QComboBox* m_outputBox = nullptr;
    QLabel* m_outputNote = nullptr;
    QButtonGroup* m_latencyGroup = nullptr;
    QDoubleSpinBox* m_fadeBox = nullptr;
    RemoteSettingsSection* m_remote = nullptr;
};

}  // namespace tavrel
