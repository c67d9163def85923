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
// `colour` with its alpha multiplied by `opacity`.
QColor withOpacity(const QColor& colour, double opacity);
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
