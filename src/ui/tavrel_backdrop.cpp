#include "ui/tavrel_backdrop.h"

#include <QPaintEvent>
#include <QPainter>

namespace tavrel {

TavrelBackdrop::TavrelBackdrop(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QLinearGradient TavrelBackdrop::gradient(const QSizeF& size) {
    QLinearGradient gradient(QPointF(0, 0), QPointF(size.width(), size.height()));
    gradient.setColorAt(0.0, QColor::fromRgbF(0.025f, 0.07f, 0.14f));
    gradient.setColorAt(0.5, QColor::fromRgbF(0.035f, 0.14f, 0.24f));
    gradient.setColorAt(1.0, QColor::fromRgbF(0.02f, 0.05f, 0.10f));
    return gradient;
}

void TavrelBackdrop::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), gradient(size()));
}

}  // namespace tavrel
