#pragma once

#include <QObject>

#include <array>
#include <memory>

#include "base/observable.h"

class QAction;
class QMenu;
class QWidget;

namespace tavrel {

class CueStore;

// The "큐" menu: twelve items playing the cues from the bare keys 1…9, 0, -, =,
// the pause item on Space and the fade-out item on Escape. All are off,
// without keys, while edit mode or the editor is on. Follows the store and the controller, so
// titles and enabled states change at once. A held key triggers once: auto-repeat is off here, and
// the window's HeldKeyFilter catches the repeats Qt misses.
class CueKeyboardCommands : public QObject {
    Q_OBJECT

public:
    // The shortcuts work while `window` is the active window.
    CueKeyboardCommands(std::shared_ptr<CueStore> store, QWidget* window);

    QMenu* menu() const { return m_menu; }
    QAction* cueAction(std::size_t index) const { return m_cueActions.at(index); }
    QAction* pauseAction() const { return m_pauseAction; }
    QAction* fadeAction() const { return m_fadeAction; }

private:
    void refresh();

    std::shared_ptr<CueStore> m_store;
    QMenu* m_menu = nullptr;
    std::array<QAction*, 12> m_cueActions{};
    QAction* m_pauseAction = nullptr;
    QAction* m_fadeAction = nullptr;
    Subscription m_storeSubscription;
    Subscription m_playbackSubscription;
};

}  // namespace tavrel
