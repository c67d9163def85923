#include "ui/loop_duration_picker.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/tavrel_theme.h"

namespace tavrel {

namespace {

constexpr int pickerWidth = 250;
constexpr int pickerHeight = 28;
constexpr int inset = 2;

std::size_t indexOf(LoopDuration duration) {
    for (std::size_t i = 0; i < allLoopDurations.size(); ++i) {
        if (allLoopDurations[i] == duration)
            return i;
    }
    return 0;
}

}  // namespace

LoopDurationPicker::LoopDurationPicker(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(pickerWidth, pickerHeight);
    setFont(fonts::body());
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(QStringLiteral("반복 시간"));
    setToolTip(QStringLiteral("반복 시간"));
}

void LoopDurationPicker::setDuration(LoopDuration duration) {
    if (duration == m_duration)
        return;
    m_duration = duration;
    update();
}

QRect LoopDurationPicker::segmentRect(LoopDuration duration) const {
    const int count = static_cast<int>(allLoopDurations.size());
    const int index = static_cast<int>(indexOf(duration));
    const int inner = width() - 2 * inset;
    const int left = inset + inner * index / count;
    const int right = inset + inner * (index + 1) / count;
    return QRect(left, inset, right - left, height() - 2 * inset);
}

QSize LoopDurationPicker::sizeHint() const {
    return {pickerWidth, pickerHeight};
}

void LoopDurationPicker::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.45);

    painter.setPen(Qt::NoPen);
    painter.setBrush(palette::fillHover());
    painter.drawRoundedRect(QRectF(rect()), 7, 7);

    const QRectF selected = QRectF(segmentRect(m_duration));
    painter.setBrush(palette::fillSelected());
    painter.drawRoundedRect(selected, 5.5, 5.5);

    // Separators between unselected neighbours only, as segmented controls do.
    const std::size_t selectedIndex = indexOf(m_duration);
    painter.setPen(QPen(palette::strokeStrong(), 1));
    for (std::size_t i = 1; i < allLoopDurations.size(); ++i) {
        if (i == selectedIndex || i == selectedIndex + 1)
            continue;
        const double x = segmentRect(allLoopDurations[i]).left();
        painter.drawLine(QPointF(x, 7), QPointF(x, height() - 7));
    }

    for (const LoopDuration duration : allLoopDurations) {
        QFont font = this->font();
        font.setWeight(duration == m_duration ? QFont::DemiBold : QFont::Normal);
        painter.setFont(font);
        painter.setPen(duration == m_duration ? palette::label() : palette::secondary());
        painter.drawText(segmentRect(duration), Qt::AlignCenter, loopDurationTitle(duration));
    }
}

void LoopDurationPicker::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    for (const LoopDuration duration : allLoopDurations) {
        if (!segmentRect(duration).contains(event->position().toPoint()))
            continue;
        if (duration != m_duration) {
            setDuration(duration);
            if (m_onPicked)
                m_onPicked(duration);
        }
        return;
    }
}

}  // namespace tavrel
