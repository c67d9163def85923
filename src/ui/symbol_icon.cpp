#include "ui/symbol_icon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <map>
#include <tuple>

namespace tavrel {

namespace {

void drawWaveform(QPainter& painter, bool circled) {
    if (!circled) {
        const double heights[] = {5, 11, 16, 9, 13, 6, 3};
        for (int i = 0; i < 7; ++i) {
            const double h = heights[i];
            painter.drawRoundedRect(QRectF(2.6 + i * 2.8, 12 - h / 2, 1.9, h), 0.95, 0.95);
        }
        return;
    }
    QPainterPath circle;
    circle.addEllipse(QRectF(1, 1, 22, 22));
    QPainterPath bars;
    const double heights[] = {4, 9, 13, 7, 10, 5};
    for (int i = 0; i < 6; ++i) {
        const double h = heights[i];
        bars.addRoundedRect(QRectF(5.6 + i * 2.3, 12 - h / 2, 1.5, h), 0.75, 0.75);
    }
    painter.drawPath(circle.subtracted(bars));
}

void drawRepeat(QPainter& painter, const QPen& stroke, const QColor& tint) {
    painter.setPen(stroke);
    painter.setBrush(Qt::NoBrush);
    painter.drawLine(QPointF(5, 11), QPointF(5, 9));
    painter.drawArc(QRectF(5, 6, 6, 6), 90 * 16, 90 * 16);
    painter.drawLine(QPointF(8, 6), QPointF(18, 6));
    painter.drawLine(QPointF(19, 13), QPointF(19, 15));
    painter.drawArc(QRectF(13, 12, 6, 6), 270 * 16, 90 * 16);
    painter.drawLine(QPointF(16, 18), QPointF(6, 18));
    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    painter.drawPolygon(QPolygonF({{16, 2.5}, {20.5, 6}, {16, 9.5}}));
    painter.drawPolygon(QPolygonF({{8, 14.5}, {3.5, 18}, {8, 21.5}}));
}

void drawWarning(QPainter& painter) {
    QPainterPath triangle;
    triangle.addPolygon(QPolygonF({{12, 3}, {22, 20.5}, {2, 20.5}, {12, 3}}));
    QPainterPath mark;
    mark.addRoundedRect(QRectF(10.9, 8.5, 2.2, 7), 1, 1);
    mark.addEllipse(QPointF(12, 17.8), 1.3, 1.3);
    painter.drawPath(triangle.subtracted(mark));
}

// Drawn on a 24 × 24 grid.
void drawFallback(QPainter& painter, Symbol symbol, const QColor& tint) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    const QPen stroke(tint, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (symbol) {
        case Symbol::play:
            return painter.drawPolygon(QPolygonF({{7, 4}, {20, 12}, {7, 20}}));
        case Symbol::pause:
            painter.drawRoundedRect(QRectF(6, 4, 4.5, 16), 1.2, 1.2);
            return painter.drawRoundedRect(QRectF(13.5, 4, 4.5, 16), 1.2, 1.2);
        case Symbol::stop:
            return painter.drawRoundedRect(QRectF(5, 5, 14, 14), 2.5, 2.5);
        case Symbol::speakerLow:
            painter.drawPolygon(
                QPolygonF({{3, 9}, {7, 9}, {12, 4.5}, {12, 19.5}, {7, 15}, {3, 15}}));
            painter.setPen(stroke);
            painter.setBrush(Qt::NoBrush);
            return painter.drawArc(QRectF(10, 8, 8, 8), -60 * 16, 120 * 16);
        case Symbol::plus:
            painter.setPen(stroke);
            painter.drawLine(QPointF(12, 5), QPointF(12, 19));
            return painter.drawLine(QPointF(5, 12), QPointF(19, 12));
        case Symbol::warning:
            return drawWarning(painter);
        case Symbol::musicNote:
            painter.drawEllipse(QPointF(8.5, 17.5), 3.5, 3);
            painter.drawRect(QRectF(10.4, 4, 2, 13.5));
            return painter.drawPolygon(QPolygonF({{10.4, 4}, {18, 2.5}, {18, 7}, {10.4, 8.5}}));
        case Symbol::grid:
            for (int cell = 0; cell < 9; ++cell)
                painter.drawRoundedRect(QRectF(3 + cell % 3 * 6.4, 3 + cell / 3 * 6.4, 5, 5), 1, 1);
            return;
        case Symbol::repeat:
            return drawRepeat(painter, stroke, tint);
        case Symbol::gear:
            painter.setPen(QPen(tint, 3.2, Qt::DotLine, Qt::FlatCap));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(QPointF(12, 12), 8.5, 8.5);
            painter.setPen(stroke);
            return painter.drawEllipse(QPointF(12, 12), 5, 5);
        case Symbol::internalDrive:
        case Symbol::externalDriveAdd:
            painter.setPen(stroke);
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(QRectF(3, 8, 18, 9), 2.5, 2.5);
            painter.setPen(Qt::NoPen);
            painter.setBrush(tint);
            return painter.drawEllipse(QPointF(17, 12.5), 1.3, 1.3);
        case Symbol::waveform:
        case Symbol::waveformCircle:
            return drawWaveform(painter, symbol == Symbol::waveformCircle);
    }
}

// A theme icon's pixels, recoloured to the tint; null when the theme has none.
QImage themeImage(Symbol symbol, const QColor& tint, int devicePixels) {
    for (const QString& name : themeNamesForSymbol(symbol)) {
        const QIcon icon = QIcon::fromTheme(name);
        if (icon.isNull())
            continue;
        QImage image = icon.pixmap(QSize(devicePixels, devicePixels))
                           .toImage()
                           .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (image.isNull())
            continue;
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), tint);
        return image;
    }
    return {};
}

}  // namespace

// The waveforms and the filled 3 × 3 grid have no faithful counterpart in the
// common themes: they are always drawn.
QStringList themeNamesForSymbol(Symbol symbol) {
    switch (symbol) {
        case Symbol::play:
            return {QStringLiteral("media-playback-start-symbolic")};
        case Symbol::pause:
            return {QStringLiteral("media-playback-pause-symbolic")};
        case Symbol::stop:
            return {QStringLiteral("media-playback-stop-symbolic")};
        case Symbol::speakerLow:
            return {QStringLiteral("audio-volume-low-symbolic")};
        case Symbol::plus:
            return {QStringLiteral("list-add-symbolic")};
        case Symbol::warning:
            return {QStringLiteral("dialog-warning-symbolic")};
        case Symbol::musicNote:
            return {QStringLiteral("emblem-music-symbolic"),
                    QStringLiteral("audio-x-generic-symbolic")};
        case Symbol::repeat:
            return {QStringLiteral("media-playlist-repeat-symbolic")};
        case Symbol::internalDrive:
            return {QStringLiteral("drive-harddisk-symbolic")};
        case Symbol::externalDriveAdd:
            return {QStringLiteral("drive-removable-media-symbolic")};
        case Symbol::gear:
            return {QStringLiteral("emblem-system-symbolic"),
                    QStringLiteral("preferences-system-symbolic")};
        case Symbol::grid:
        case Symbol::waveform:
        case Symbol::waveformCircle:
            break;
    }
    return {};
}

QPixmap symbolPixmap(Symbol symbol, const QColor& tint, int logicalSize, qreal devicePixelRatio) {
    // Views ask for the same few symbols on every state change and paint; the
    // views' tints and sizes make a few dozen, so a full cache starts afresh.
    using Key = std::tuple<Symbol, QRgb, int, qreal>;
    static std::map<Key, QPixmap> rendered;
    constexpr std::size_t limit = 256;
    const Key key{symbol, tint.rgba(), logicalSize, devicePixelRatio};
    if (const auto found = rendered.find(key); found != rendered.end())
        return found->second;
    if (rendered.size() >= limit)
        rendered.clear();
    QPixmap pixmap = renderSymbol(symbol, tint, logicalSize, devicePixelRatio);
    rendered.emplace(key, pixmap);
    return pixmap;
}

QPixmap renderSymbol(Symbol symbol, const QColor& tint, int logicalSize, qreal devicePixelRatio) {
    const int devicePixels = std::max(1, int(std::lround(logicalSize * devicePixelRatio)));
    QImage image = themeImage(symbol, tint, devicePixels);
    if (image.isNull()) {
        image = QImage(devicePixels, devicePixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(devicePixels / 24.0, devicePixels / 24.0);
        drawFallback(painter, symbol, tint);
    }
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon symbolIcon(Symbol symbol, const QColor& tint, int logicalSize) {
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0}) {
        icon.addPixmap(symbolPixmap(symbol, tint, logicalSize, ratio), QIcon::Normal);
        icon.addPixmap(symbolPixmap(symbol, tint, logicalSize, ratio), QIcon::Disabled);
    }
    return icon;
}

QPixmap symbolBadge(Symbol symbol, const QColor& tint, int frame, int symbolSize,
                    qreal cornerRadius, qreal fillOpacity, qreal devicePixelRatio) {
    QPixmap pixmap(QSize(frame, frame) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor fill = tint;
    fill.setAlphaF(static_cast<float>(fillOpacity));
    painter.setBrush(fill);
    const QRectF area(0, 0, frame, frame);
    if (cornerRadius < 0)
        painter.drawEllipse(area);
    else
        painter.drawRoundedRect(area, cornerRadius, cornerRadius);
    const int offset = (frame - symbolSize) / 2;
    painter.drawPixmap(offset, offset, symbolPixmap(symbol, tint, symbolSize, devicePixelRatio));
    return pixmap;
}

}  // namespace tavrel
