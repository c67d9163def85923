#pragma once

#include <QColor>
#include <QFont>

class QApplication;
class QWidget;

namespace tavrel {

// The window's colours: a dark scheme with a cyan accent, system-like tints.
namespace palette {
QColor accent();  // cyan
QColor green();
QColor orange();
QColor red();
QColor blue();
QColor label();      // primary text
QColor secondary();  // secondary text and symbols
QColor tertiary();
QColor quaternary();  // fills behind badges and artwork
QColor separator();
QColor cardBackground();
QColor sidebarBackground();
QColor dimmed();  // between secondary and tertiary
QColor purple();  // the loop player's tint
// White washes over the dark background, weakest first.
QColor fill();
QColor fillHover();
QColor fillSelected();
QColor stroke();
QColor strokeStrong();
QColor accentSoft();
QColor accentStrong();
QColor orangeSoft();
QColor orangeStroke();
QColor onAccent();  // text on an accent-filled button
QColor onAccentDisabled();
QColor divider();
QColor menuBar();
QColor barBackground();
QColor switchOff();
QColor shadow();
// `colour` with its alpha multiplied by `opacity`.
QColor withOpacity(const QColor& colour, double opacity);
// A colour as a style sheet writes it.
QString css(const QColor& colour);
// `sheet` with each "@name" of a colour above (for example "@secondary",
// "@fillHover") replaced by that colour, so style sheets name theme colours.
QString themed(QString sheet);
}  // namespace palette

// Text styles, in logical pixels.
namespace fonts {
QFont largeTitle();
QFont title3();
QFont headline();
QFont subheadline();
QFont body();
QFont caption();
QFont caption2();
QFont monospacedCaption();
}  // namespace fonts

// A confirmation's destructive answer (QMessageBox::DestructiveRole), which
// the theme draws red.
bool isDestructiveButton(const QWidget* widget);

// Fusion with red destructive answers and visible unchecked boxes, the dark
// palette, the Korean font. Call once, before any widget exists.
void applyTavrelTheme(QApplication& application);

}  // namespace tavrel
