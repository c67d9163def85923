#include "ui/transport_button.h"

#include <QPainter>
#include <QPainterPath>

#include "ui/symbol_icon.h"
#include "ui/tavrel_theme.h"

namespace tavrel {

namespace {

constexpr int symbolSize = 15;
constexpr int symbolGap = 7;
constexpr int horizontalPadding = 16;
constexpr int buttonHeight = 38;

}  // namespace

TransportButton::TransportButton(const QString& title, Symbol systemImage, const QColor& tint,
                                 QWidget* parent)
    : QAbstractButton(parent), m_systemImage(systemImage), m_tint(tint) {
    setText(title);
    setFont(fonts::headline());
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleName(title);
}

void TransportButton::setTitle(const QString& title) {
    if (title == text())
        return;
    setText(title);
    setAccessibleName(title);
    updateGeometry();
}

void TransportButton::setSystemImage(Symbol systemImage) {
    if (systemImage == m_systemImage)
        return;
    m_systemImage = systemImage;
    update();
}

QSize TransportButton::sizeHint() const {
    const int textWidth = fontMetrics().horizontalAdvance(text());
    const int width = horizontalPadding * 2 + symbolSize + symbolGap + textWidth;
    return {std::max(minimumButtonWidth, width), buttonHeight};
}

QSize TransportButton::minimumSizeHint() const {
    return sizeHint();
}

void TransportButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.42);

    QColor fill = m_tint;
    if (isDown())
        fill = fill.darker(125);
    else if (underMouse() && isEnabled())
        fill = fill.lighter(110);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(frame, 9, 9);

    const QColor foreground = Qt::white;
    const int textWidth = fontMetrics().horizontalAdvance(text());
    const int contentWidth = symbolSize + symbolGap + textWidth;
    const int left = (width() - contentWidth) / 2;
    const QPixmap symbol = symbolPixmap(m_systemImage, foreground, symbolSize, devicePixelRatioF());
    painter.drawPixmap(QPoint(left, (height() - symbolSize) / 2), symbol);
    painter.setPen(foreground);
    painter.setFont(font());
    painter.drawText(QRect(left + symbolSize + symbolGap, 0, textWidth + 2, height()),
                     Qt::AlignVCenter | Qt::AlignLeft, text());
}

}  // namespace tavrel
