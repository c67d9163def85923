#include "ui/held_key_filter.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

namespace tavrel {

HeldKeyFilter::HeldKeyFilter(QWidget* window) : QObject(window), m_window(window) {
    // On the application: the platform window behind `window` comes and goes.
    QCoreApplication::instance()->installEventFilter(this);
}

HeldKeyFilter::KeyState& HeldKeyFilter::stateOf(const QKeyEvent& event) {
    // The scan code names the physical key whatever the modifiers do to its
    // character ("4" released as "$" while Shift went down); events made up
    // without one fall back to the key.
    const std::uint64_t scanCode = event.nativeScanCode();
    const std::uint64_t id = scanCode != 0 ? (std::uint64_t{1} << 32) | scanCode
                                           : static_cast<std::uint32_t>(event.key());
    return m_keys[id];
}

bool HeldKeyFilter::isRepeat(const QKeyEvent& press) {
    KeyState& state = stateOf(press);
    // A press at the very instant of the key's last release is the second half
    // of a repeat pair; an event without a time says nothing about pairs.
    const bool pairedWithRelease =
        press.timestamp() != 0 && press.timestamp() == state.releaseTimestamp;
    const bool repeat = press.isAutoRepeat() || state.down || pairedWithRelease;
    state.down = true;
    return repeat;
}

bool HeldKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    // Every key event of the window passes its platform window exactly once;
    // the copies forwarded to widgets are not counted again.
    if (watched != m_window->windowHandle())
        return false;
    switch (event->type()) {
        case QEvent::ShortcutOverride:
            // An accepted override keeps the shortcut map away from this press;
            // the press still reaches the focused widget as usual.
            if (isRepeat(*static_cast<QKeyEvent*>(event))) {
                event->accept();
                return true;
            }
            return false;
        case QEvent::KeyRelease: {
            auto* release = static_cast<QKeyEvent*>(event);
            KeyState& state = stateOf(*release);
            state.down = false;
            state.releaseTimestamp = release->timestamp();
            return false;
        }
        case QEvent::FocusOut:
            m_keys.clear();
            return false;
        default:
            return false;
    }
}

}  // namespace tavrel
