#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace tavrel {

// The symbols the views use, taken from the system's symbolic icon theme and
// tinted; a drawn stand-in when the theme has no such icon, so a symbol is
// never blank.
enum class Symbol {
    play,
    pause,
    stop,
    speakerLow,
    plus,
    warning,
    musicNote,
    grid,
    repeat,
    internalDrive,
    externalDriveAdd,
    gear,
    waveform,
    waveformCircle,
};

// `logicalSize` in logical pixels; the pixmap carries `devicePixelRatio`.
// Main thread; remembered (a bounded cache), so asking again is cheap.
QPixmap symbolPixmap(Symbol symbol, const QColor& tint, int logicalSize,
                     qreal devicePixelRatio = 1.0);
// The same, drawn afresh each time.
QPixmap renderSymbol(Symbol symbol, const QColor& tint, int logicalSize,
                     qreal devicePixelRatio = 1.0);
QIcon symbolIcon(Symbol symbol, const QColor& tint, int logicalSize = 16);

// A tinted symbol centred on a square `frame` filled with the tint at
// `fillOpacity`: rounded by `cornerRadius`, or a circle when it is negative.
QPixmap symbolBadge(Symbol symbol, const QColor& tint, int frame, int symbolSize,
                    qreal cornerRadius, qreal fillOpacity, qreal devicePixelRatio);

// The theme icon names tried for a symbol; empty when it is always drawn.
QStringList themeNamesForSymbol(Symbol symbol);

}  // namespace tavrel
