#include "ui/loop_panel_style.h"

#include <QPushButton>
#include <QSlider>

#include "ui/tavrel_theme.h"

namespace tavrel {

QColor loopPurple(double opacity) {
    return palette::withOpacity(palette::purple(), opacity);
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
    button->setStyleSheet(palette::themed(
        QStringLiteral(R"(
QPushButton { background: %1; color: @onAccent; border: none; border-radius: 8px;
              padding: 7px 16px; }
QPushButton:hover { background: %2; }
QPushButton:pressed { background: %3; }
QPushButton:disabled { background: %4; color: @onAccentDisabled; }
)")
            .arg(palette::css(fill), palette::css(fill.lighter(110)),
                 palette::css(fill.darker(120)), palette::css(palette::withOpacity(fill, 0.35)))));
}

void styleBorderedButton(QPushButton* button, const QColor& text) {
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(palette::themed(QStringLiteral(R"(
QPushButton { background: @fillHover; color: %1; border: 1px solid @stroke;
              border-radius: 7px; padding: 5px 14px; }
QPushButton:hover { background: @strokeStrong; }
QPushButton:pressed { background: @fill; }
QPushButton:disabled { color: @tertiary; }
)")
                                              .arg(palette::css(text))));
}

void styleSlider(QSlider* slider, const QColor& tint) {
    slider->setStyleSheet(palette::themed(QStringLiteral(R"(
QSlider { min-height: 20px; }
QSlider::groove:horizontal { height: 4px; background: @strokeStrong; border-radius: 2px; }
QSlider::sub-page:horizontal { background: %1; border-radius: 2px; }
QSlider::handle:horizontal { background: white; width: 16px; height: 16px; margin: -6px 0px;
                             border-radius: 8px; }
QSlider::sub-page:horizontal:disabled { background: @fillSelected; }
)")
                                              .arg(palette::css(tint))));
}

}  // namespace tavrel
