#pragma once

#include <QColor>

class QPushButton;
class QSlider;
class QWidget;

namespace tavrel {

// Looks shared by the loop panel and the cue editor on top of the window's theme.

// The loop player's colour.
QColor loopPurple(double opacity = 1.0);
// Text colour of a label.
void setForeground(QWidget* widget, const QColor& colour);
// A filled, rounded button in the accent colour; no keyboard focus.
void styleProminentButton(QPushButton* button);
// A flat rounded button for secondary actions; no keyboard focus.
void styleBorderedButton(QPushButton* button, const QColor& text);
// A thin groove filled with `tint` up to a round white knob.
void styleSlider(QSlider* slider, const QColor& tint);

}  // namespace tavrel
