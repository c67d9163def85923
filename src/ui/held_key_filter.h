#pragma once

#include <QObject>

#include <cstdint>
#include <unordered_map>

class QKeyEvent;
class QWidget;

namespace tavrel {

// One press, one action: a held key triggers a shortcut of `window` once,
// whatever the key (cue keys, Space, any added later). X11 sends a held key as
// release + press pairs sharing one timestamp, and Qt marks a pair as a repeat
// only if the press has already arrived when it reads the release; under load
// some pairs arrive apart and look like new presses. So this keeps which keys
// are down, lets shortcuts see only a key's first press, and re-arms the key
// on a release that no press of the same instant follows. Leaving the window
// re-arms every key, since their releases go elsewhere.
class HeldKeyFilter : public QObject {
    Q_OBJECT

public:
    // Watches the window's own platform window; owned by `window`.
    explicit HeldKeyFilter(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct KeyState {
        bool down = false;
        std::uint64_t releaseTimestamp = 0;
    };

    KeyState& stateOf(const QKeyEvent& event);
    bool isRepeat(const QKeyEvent& press);

    QWidget* m_window = nullptr;
    std::unordered_map<std::uint64_t, KeyState> m_keys;
};

}  // namespace tavrel
