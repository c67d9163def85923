#pragma once

#include <QWidget>

#include <functional>
#include <memory>

#include "base/observable.h"

class QLabel;
class QMenu;
class QToolButton;

namespace tavrel {

class CueSetFlows;
class CueStore;
class OutputStatus;
class ToggleSwitch;

// The title block, the output status, the set menu "세트" and the "편집 모드" switch.
class CueBoardHeader : public QWidget {
    Q_OBJECT

public:
    // Without an output status, no status is shown.
    CueBoardHeader(std::shared_ptr<CueStore> store, CueSetFlows& setFlows,
                   std::function<void()> openSettings,
                   std::shared_ptr<OutputStatus> outputStatus = nullptr, QWidget* parent = nullptr);

    QToolButton& setMenuButton() const { return *m_setButton; }
    QMenu& setMenu() const { return *m_setMenu; }
    QToolButton& settingsButton() const { return *m_settingsButton; }
    ToggleSwitch& editModeSwitch() const { return *m_editSwitch; }
    // Shown while sound reaches no output.
    QLabel& outputMissingLabel() const { return *m_outputMissing; }

private:
    void setUpSetMenu(CueSetFlows& setFlows);
    void setUpOutputStatus();
    std::shared_ptr<CueStore> m_store;
    QToolButton* m_setButton = nullptr;
    QMenu* m_setMenu = nullptr;
    QToolButton* m_settingsButton = nullptr;
    ToggleSwitch* m_editSwitch = nullptr;
    QLabel* m_outputMissing = nullptr;
    std::shared_ptr<OutputStatus> m_outputStatus;
    Subscription m_subscription;
    Subscription m_outputSubscription;
};

}  // namespace tavrel
