#include "ui/loop_panel_style.h"

#include <QPushButton>
#include <QSlider>

#include "ui/tavrel_theme.h"

namespace tavrel {

namespace {

QString rgba(const QColor& colour) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(colour.alpha());
}

}  // namespace

QColor loopPurple(double opacity) {
    return palette::withOpacity(QColor(191, 90, 242), opacity);
}

void setForeground(QWidget* widget, const QColor& colour) {
    QPalette colours = widget->palette();
    colours.setColor(QPalette::WindowText, colour);
    colours.setColor(QPalette::Text, colour);
    widget->setPalette(colours);
}

void styleProminentButton(QPushButton* button) {
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setFont(fonts::headline());
    const QColor fill = palette::accent();
    button->setStyleSheet(QStringLiteral(R"(
QPushButton { background: %1; color: rgb(0, 26, 38); border: none; border-radius: 8px;
              padding: 7px 16px; }
QPushButton:hover { background: %2; }
QPushButton:pressed { background: %3; }
QPushButton:disabled { background: %4; color: rgba(0, 26, 38, 140); }
)")
                              .arg(rgba(fill), rgba(fill.lighter(110)), rgba(fill.darker(120)),
                                   rgba(palette::withOpacity(fill, 0.35))));
}

void styleBorderedButton(QPushButton* button, const QColor& text) {
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral(R"(
QPushButton { background: rgba(255, 255, 255, 26); color: %1; border: 1px solid rgba(255, 255, 255, 24);
              border-radius: 7px; padding: 5px 14px; }
QPushButton:hover { background: rgba(255, 255, 255, 40); }
QPushButton:pressed { background: rgba(255, 255, 255, 18); }
QPushButton:disabled { color: rgba(235, 235, 245, 90); }
)")
                              .arg(rgba(text)));
}

void styleSlider(QSlider* slider, const QColor& tint) {
    slider->setStyleSheet(QStringLiteral(R"(
QSlider { min-height: 20px; }
QSlider::groove:horizontal { height: 4px; background: rgba(255, 255, 255, 40); border-radius: 2px; }
QSlider::sub-page:horizontal { background: %1; border-radius: 2px; }
QSlider::handle:horizontal { background: white; width: 16px; height: 16px; margin: -6px 0px;
                             border-radius: 8px; }
QSlider::sub-page:horizontal:disabled { background: rgba(255, 255, 255, 60); }
)")
                              .arg(rgba(tint)));
}

}  // namespace tavrel
