#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace tavrel {

// Symbols by the names the views use ("play.fill", "waveform", …), taken from
// the system's symbolic icon theme and tinted; a drawn stand-in when the theme
// has no such icon, so a symbol is never blank.

// `logicalSize` in logical pixels; the pixmap carries `devicePixelRatio`.
// Main thread; remembered, so asking again is cheap.
QPixmap symbolPixmap(const QString& symbol, const QColor& tint, int logicalSize,
                     qreal devicePixelRatio = 1.0);
// The same, drawn afresh each time.
QPixmap renderSymbol(const QString& symbol, const QColor& tint, int logicalSize,
                     qreal devicePixelRatio = 1.0);
QIcon symbolIcon(const QString& symbol, const QColor& tint, int logicalSize = 16);

// A tinted symbol centred on a square `frame` filled with the tint at
// `fillOpacity`: rounded by `cornerRadius`, or a circle when it is negative.
QPixmap symbolBadge(const QString& symbol, const QColor& tint, int frame, int symbolSize,
                    qreal cornerRadius, qreal fillOpacity, qreal devicePixelRatio);

// The theme icon names tried for a symbol; empty when it is always drawn.
QStringList themeNamesForSymbol(const QString& symbol);

}  // namespace tavrel
