#include "ui/master_volume_slider.h"

#include <QSignalBlocker>

#include <cmath>

#include "store/cue_store.h"
#include "ui/loop_panel_style.h"
#include "ui/now_playing.h"

namespace tavrel {

MasterVolumeSlider::MasterVolumeSlider(std::shared_ptr<CueStore> store, const QColor& tint,
                                       int width, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), m_store(std::move(store)) {
    setRange(0, steps);
    setPageStep(steps / 10);
    setFixedWidth(width);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(QStringLiteral("마스터 볼륨"));
    styleSlider(this, tint);
    connect(this, &QSlider::valueChanged, this, &MasterVolumeSlider::moved);
    connect(this, &QSlider::sliderReleased, this, [this] { m_store->persistMasterVolume(); });
    refresh();
}

void MasterVolumeSlider::refresh() {
    const double volume = m_store->document().masterVolume;
    setAccessibleDescription(masterVolumeText(volume));
    if (isSliderDown())
        return;
    const QSignalBlocker blocker(this);
    setValue(static_cast<int>(std::lround(volume * steps)));
}

void MasterVolumeSlider::moved(int value) {
    m_store->setMasterVolume(static_cast<double>(value) / steps);
    if (!isSliderDown())
        m_store->persistMasterVolume();
}

}  // namespace tavrel
