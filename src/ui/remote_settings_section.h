#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/preferences.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace tavrel {

// What the window needs from the remote control, which the UI does not link.
struct RemoteSettingsServices {
    struct Status {
        std::optional<std::string> problem;  // why the saved preferences are refused
        std::string osc;
        std::string midi;
        std::vector<std::string> midiInputs;
    };
    std::function<std::optional<std::string>(const Preferences&)> validate;
    std::function<Status()> status;
    // The next pad or controller is handed to `learned` instead of triggering.
    std::function<void(const std::string& target, std::function<void(const MidiMapping&)> learned)>
        startLearning;
    std::function<void()> cancelLearning;
    // The mapping list once `learned` is in it (one pad, one action).
    std::function<std::vector<MidiMapping>(const std::vector<MidiMapping>&, const MidiMapping&)>
        withLearned;
};

// OSC, MIDI and backup machines in the "설정" window. Edits a draft; the
// window saves it.
class RemoteSettingsSection : public QWidget {
    Q_OBJECT

public:
    RemoteSettingsSection(const Preferences& preferences, RemoteSettingsServices services,
                          QWidget* parent = nullptr);
    ~RemoteSettingsSection() override;

    // The draft with this section's fields written into it.
    void writeInto(Preferences& preferences) const;
    // Why the draft cannot be saved, shown in the section too; empty when it can.
    std::optional<std::string> check(const Preferences& preferences);

private:
    void setUpOsc(const Preferences& preferences);
    void setUpMidi(const Preferences& preferences, const RemoteSettingsServices::Status& status);
    void setUpMirrors(const Preferences& preferences);
    void layOut(const RemoteSettingsServices::Status& status);
    void learn();
    void showMappings();

    RemoteSettingsServices m_services;
    std::vector<MidiMapping> m_mappings;
    QCheckBox* m_oscEnabled = nullptr;
    QSpinBox* m_oscPort = nullptr;
    QCheckBox* m_fromNetwork = nullptr;
    QLineEdit* m_passcode = nullptr;
    QComboBox* m_midiInput = nullptr;
    QComboBox* m_learnTarget = nullptr;
    QPushButton* m_learnButton = nullptr;
    QLabel* m_mappingList = nullptr;
    QTableWidget* m_mirrors = nullptr;
    QLabel* m_problem = nullptr;
    QPushButton* m_addMirror = nullptr;
    QPushButton* m_removeMirror = nullptr;
};

}  // namespace tavrel
