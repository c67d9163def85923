#pragma once

#include <QWidget>

#include <functional>
#include <memory>

#include "base/observable.h"

class QMenu;
class QToolButton;

namespace tavrel {

class CueSetFlows;
class CueStore;
class ToggleSwitch;

// The title block, the set menu "세트" and the "편집 모드" switch.
class CueBoardHeader : public QWidget {
    Q_OBJECT

public:
    CueBoardHeader(std::shared_ptr<CueStore> store, CueSetFlows& setFlows,
                   std::function<void()> openSettings, QWidget* parent = nullptr);

    QToolButton& setMenuButton() const { return *m_setButton; }
    QMenu& setMenu() const { return *m_setMenu; }
    QToolButton& settingsButton() const { return *m_settingsButton; }
    ToggleSwitch& editModeSwitch() const { return *m_editSwitch; }

private:
    std::shared_ptr<CueStore> m_store;
    QToolButton* m_setButton = nullptr;
    QMenu* m_setMenu = nullptr;
    QToolButton* m_settingsButton = nullptr;
    ToggleSwitch* m_editSwitch = nullptr;
    Subscription m_subscription;
};

}  // namespace tavrel
