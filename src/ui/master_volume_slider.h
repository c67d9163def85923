#pragma once

#include <QSlider>

#include <memory>

namespace tavrel {

class CueStore;

// The master volume as the board and the loop panel both show it: every move
// changes the volume at once; letting go (or a click on the groove, a whole
// edit) saves it. Never takes keyboard focus, which belongs to the cue keys.
class MasterVolumeSlider : public QSlider {
    Q_OBJECT
public:
    static constexpr int steps = 1000;

    MasterVolumeSlider(std::shared_ptr<CueStore> store, const QColor& tint, int width,
                       QWidget* parent = nullptr);

    // Follows the store, except while the operator holds the handle.
    void refresh();

private:
    void moved(int value);

    std::shared_ptr<CueStore> m_store;
};

}  // namespace tavrel
