#include "ui/tavrel_theme.h"

#include <QApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QMessageBox>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QStyleOption>

namespace tavrel {

namespace palette {

QColor accent() {
    return QColor(100, 210, 255);
}
QColor green() {
    return QColor(48, 209, 88);
}
QColor orange() {
    return QColor(255, 159, 10);
}
QColor red() {
    return QColor(255, 69, 58);
}
QColor blue() {
    return QColor(10, 132, 255);
}
QColor label() {
    return QColor(255, 255, 255);
}
QColor secondary() {
    return QColor(235, 235, 245, 153);
}
QColor tertiary() {
    return QColor(235, 235, 245, 77);
}
QColor quaternary() {
    return QColor(118, 118, 128, 46);
}
QColor separator() {
    return QColor(84, 84, 88, 153);
}
QColor cardBackground() {
    return QColor::fromRgbF(0.055f, 0.12f, 0.2f);
}
QColor sidebarBackground() {
    return QColor::fromRgbF(0.025f, 0.045f, 0.085f);
}

QColor dimmed() {
    return QColor(235, 235, 245, 115);
}
QColor purple() {
    return QColor(191, 90, 242);
}
QColor fill() {
    return QColor(255, 255, 255, 14);
}
QColor fillHover() {
    return QColor(255, 255, 255, 26);
}
QColor fillSelected() {
    return QColor(255, 255, 255, 58);
}
QColor stroke() {
    return QColor(255, 255, 255, 24);
}
QColor strokeStrong() {
    return QColor(255, 255, 255, 40);
}
QColor accentSoft() {
    return withOpacity(accent(), 0.23);
}
QColor accentStrong() {
    return withOpacity(accent(), 0.82);
}
QColor orangeSoft() {
    return withOpacity(orange(), 0.16);
}
QColor orangeStroke() {
    return withOpacity(orange(), 0.55);
}
QColor onAccent() {
    return QColor(0, 26, 38);
}
QColor onAccentDisabled() {
    return QColor(0, 26, 38, 140);
}
QColor divider() {
    return QColor(0, 0, 0, 153);
}
QColor menuBar() {
    return QColor(6, 11, 22);
}
QColor barBackground() {
    return QColor(16, 28, 46, 200);
}
QColor switchOff() {
    return QColor(120, 120, 128, 90);
}
QColor shadow() {
    return QColor(0, 0, 0, 14);
}

QString css(const QColor& colour) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(colour.alpha());
}

QString themed(QString sheet) {
    // Longer names first: "@fill" is the start of "@fillHover".
    static const std::pair<const char*, QColor (*)()> names[] = {
        {"@onAccentDisabled", onAccentDisabled},
        {"@accentStrong", accentStrong},
        {"@orangeStroke", orangeStroke},
        {"@fillSelected", fillSelected},
        {"@strokeStrong", strokeStrong},
        {"@accentSoft", accentSoft},
        {"@orangeSoft", orangeSoft},
        {"@secondary", secondary},
        {"@fillHover", fillHover},
        {"@onAccent", onAccent},
        {"@tertiary", tertiary},
        {"@divider", divider},
        {"@menuBar", menuBar},
        {"@dimmed", dimmed},
        {"@accent", accent},
        {"@orange", orange},
        {"@stroke", stroke},
        {"@fill", fill},
        {"@red", red},
    };
    for (const auto& [name, colour] : names)
        sheet.replace(QLatin1String(name), css(colour()));
    return sheet;
}

QColor withOpacity(const QColor& colour, double opacity) {
    QColor result = colour;
    result.setAlphaF(static_cast<float>(colour.alphaF() * opacity));
    return result;
}

}  // namespace palette

namespace fonts {

namespace {

QFont sized(int pixels, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

}  // namespace

QFont largeTitle() {
    return sized(26, QFont::Bold);
}
QFont title3() {
    return sized(17, QFont::DemiBold);
}
QFont headline() {
    return sized(13, QFont::Bold);
}
QFont subheadline() {
    return sized(12, QFont::Normal);
}
QFont body() {
    return sized(13, QFont::Normal);
}
QFont caption() {
    return sized(11, QFont::Normal);
}
QFont caption2() {
    return sized(10, QFont::Normal);
}

QFont monospacedCaption() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(11);
    font.setBold(true);
    return font;
}

}  // namespace fonts

bool isDestructiveButton(const QWidget* widget) {
    const auto* button = qobject_cast<const QPushButton*>(widget);
    if (!button)
        return false;
    for (const QWidget* above = button->parentWidget(); above; above = above->parentWidget()) {
        if (const auto* box = qobject_cast<const QMessageBox*>(above)) {
            return box->buttonRole(const_cast<QPushButton*>(button)) ==
                   QMessageBox::DestructiveRole;
        }
    }
    return false;
}

namespace {

// Fusion, with what it draws poorly on a dark window: a destructive answer
// that looks like any other, an unchecked check box that all but vanishes.
class TavrelStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        if ((element == CE_PushButtonBevel || element == CE_PushButtonLabel) &&
            isDestructiveButton(widget)) {
            QStyleOptionButton red = *qstyleoption_cast<const QStyleOptionButton*>(option);
            red.palette.setColor(QPalette::Button, QColor(120, 28, 28));
            red.palette.setColor(QPalette::ButtonText, QColor(255, 200, 196));
            QProxyStyle::drawControl(element, &red, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        if (element == PE_IndicatorCheckBox && (option->state & State_Off)) {
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setBrush(Qt::NoBrush);
            painter->setPen(QPen(palette::secondary(), 1.4));
            painter->drawRoundedRect(QRectF(option->rect).adjusted(1, 1, -1, -1), 2.5, 2.5);
            painter->restore();
        }
    }
};

}  // namespace

void applyTavrelTheme(QApplication& application) {
    application.setStyle(new TavrelStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
    // Platforms without a desktop (offscreen, minimal) name no icon theme and
    // look for icons nowhere but in resources.
    QStringList iconPaths = QIcon::themeSearchPaths();
    for (const QString& folder :
         QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                   QStandardPaths::LocateDirectory)) {
        if (!iconPaths.contains(folder))
            iconPaths.append(folder);
    }
    QIcon::setThemeSearchPaths(iconPaths);
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));

    QPalette dark;
    const QColor window = QColor::fromRgbF(0.035f, 0.09f, 0.16f);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, palette::label());
    dark.setColor(QPalette::Base, QColor(18, 30, 48));
    dark.setColor(QPalette::AlternateBase, QColor(24, 38, 58));
    dark.setColor(QPalette::Text, palette::label());
    dark.setColor(QPalette::Button, QColor(36, 52, 74));
    dark.setColor(QPalette::ButtonText, palette::label());
    dark.setColor(QPalette::BrightText, palette::red());
    dark.setColor(QPalette::Highlight, palette::accent());
    dark.setColor(QPalette::HighlightedText, QColor(0, 20, 30));
    dark.setColor(QPalette::Link, palette::accent());
    dark.setColor(QPalette::ToolTipBase, QColor(30, 42, 60));
    dark.setColor(QPalette::ToolTipText, palette::label());
    dark.setColor(QPalette::PlaceholderText, palette::tertiary());
    dark.setColor(QPalette::Mid, QColor(60, 72, 90));
    dark.setColor(QPalette::Dark, QColor(10, 16, 26));
    dark.setColor(QPalette::Light, QColor(70, 86, 110));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        dark.setColor(QPalette::Disabled, role, QColor(235, 235, 245, 90));
    }
    application.setPalette(dark);

    QFont font(QStringLiteral("Noto Sans CJK KR"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(13);
    application.setFont(font);
}

}  // namespace tavrel
