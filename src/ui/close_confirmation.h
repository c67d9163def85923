#pragma once

#include <QMessageBox>
#include <QPointer>

class QCloseEvent;
class QWidget;

namespace tavrel {

class CueStore;

// Closing the window in the middle of a show asks first.
// True while a sound plays or is paused, or a loop run exists.
bool closeNeedsConfirmation(const CueStore& store);

// The window's close guard: lets an idle close through; otherwise refuses it
// and asks with a window-modal box, and closes `window` again when confirmed.
class CloseConfirmation {
public:
    // True when the event may proceed; false when it was ignored and the box is up.
    bool allowClose(QWidget& window, const CueStore& store, QCloseEvent& event);
    // The box while it is up.
    QMessageBox* box() const { return m_box; }

private:
    bool m_confirmed = false;
    QPointer<QMessageBox> m_box;
};

}  // namespace tavrel
