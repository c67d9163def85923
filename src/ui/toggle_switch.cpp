#include "ui/toggle_switch.h"

#include <QPainter>

#include "ui/tavrel_theme.h"

namespace tavrel {

namespace {

constexpr int trackWidth = 38;
constexpr int trackHeight = 22;
constexpr int gap = 9;

}  // namespace

ToggleSwitch::ToggleSwitch(const QString& label, QWidget* parent) : QAbstractButton(parent) {
    setText(label);
    setCheckable(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(label);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ToggleSwitch::sizeHint() const {
    return {fontMetrics().horizontalAdvance(text()) + gap + trackWidth, trackHeight + 4};
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int labelWidth = fontMetrics().horizontalAdvance(text());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(0, 0, labelWidth + 1, height()), Qt::AlignVCenter, text());

    const QRectF track(labelWidth + gap, (height() - trackHeight) / 2.0, trackWidth, trackHeight);
    painter.setPen(Qt::NoPen);
    painter.setBrush(isChecked() ? palette::accent() : palette::switchOff());
    painter.drawRoundedRect(track, trackHeight / 2.0, trackHeight / 2.0);
    const double knob = trackHeight - 4;
    const double x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

}  // namespace tavrel
