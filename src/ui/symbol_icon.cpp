#include "ui/symbol_icon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <map>
#include <tuple>

namespace tavrel {

namespace {

// Drawn on a 24 × 24 grid.
void drawFallback(QPainter& painter, const QString& symbol, const QColor& tint) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    QPen stroke(tint, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    if (symbol == QLatin1String("play.fill")) {
        painter.drawPolygon(QPolygonF({{7, 4}, {20, 12}, {7, 20}}));
    } else if (symbol == QLatin1String("pause.fill")) {
        painter.drawRoundedRect(QRectF(6, 4, 4.5, 16), 1.2, 1.2);
        painter.drawRoundedRect(QRectF(13.5, 4, 4.5, 16), 1.2, 1.2);
    } else if (symbol == QLatin1String("stop.fill")) {
        painter.drawRoundedRect(QRectF(5, 5, 14, 14), 2.5, 2.5);
    } else if (symbol == QLatin1String("speaker.wave.1")) {
        painter.drawPolygon(QPolygonF({{3, 9}, {7, 9}, {12, 4.5}, {12, 19.5}, {7, 15}, {3, 15}}));
        painter.setPen(stroke);
        painter.setBrush(Qt::NoBrush);
        painter.drawArc(QRectF(10, 8, 8, 8), -60 * 16, 120 * 16);
    } else if (symbol == QLatin1String("plus")) {
        painter.setPen(stroke);
        painter.drawLine(QPointF(12, 5), QPointF(12, 19));
        painter.drawLine(QPointF(5, 12), QPointF(19, 12));
    } else if (symbol == QLatin1String("exclamationmark.triangle.fill")) {
        QPainterPath triangle;
        triangle.addPolygon(QPolygonF({{12, 3}, {22, 20.5}, {2, 20.5}, {12, 3}}));
        QPainterPath mark;
        mark.addRoundedRect(QRectF(10.9, 8.5, 2.2, 7), 1, 1);
        mark.addEllipse(QPointF(12, 17.8), 1.3, 1.3);
        painter.drawPath(triangle.subtracted(mark));
    } else if (symbol == QLatin1String("music.note")) {
        painter.drawEllipse(QPointF(8.5, 17.5), 3.5, 3);
        painter.drawRect(QRectF(10.4, 4, 2, 13.5));
        painter.drawPolygon(QPolygonF({{10.4, 4}, {18, 2.5}, {18, 7}, {10.4, 8.5}}));
    } else if (symbol == QLatin1String("square.grid.3x3.fill")) {
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column)
                painter.drawRoundedRect(QRectF(3 + column * 6.4, 3 + row * 6.4, 5, 5), 1, 1);
        }
    } else if (symbol == QLatin1String("repeat")) {
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
    } else if (symbol == QLatin1String("internaldrive") ||
               symbol == QLatin1String("externaldrive.badge.plus")) {
        painter.setPen(stroke);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(3, 8, 18, 9), 2.5, 2.5);
        painter.setPen(Qt::NoPen);
        painter.setBrush(tint);
        painter.drawEllipse(QPointF(17, 12.5), 1.3, 1.3);
    } else if (symbol == QLatin1String("waveform.circle.fill")) {
        QPainterPath circle;
        circle.addEllipse(QRectF(1, 1, 22, 22));
        QPainterPath bars;
        const double heights[] = {4, 9, 13, 7, 10, 5};
        for (int i = 0; i < 6; ++i) {
            const double h = heights[i];
            bars.addRoundedRect(QRectF(5.6 + i * 2.3, 12 - h / 2, 1.5, h), 0.75, 0.75);
        }
        painter.drawPath(circle.subtracted(bars));
    } else {
        // "waveform", and anything unknown.
        const double heights[] = {5, 11, 16, 9, 13, 6, 3};
        for (int i = 0; i < 7; ++i) {
            const double h = heights[i];
            painter.drawRoundedRect(QRectF(2.6 + i * 2.8, 12 - h / 2, 1.9, h), 0.95, 0.95);
        }
    }
}

// A theme icon's pixels, recoloured to the tint; null when the theme has none.
QImage themeImage(const QString& symbol, const QColor& tint, int devicePixels) {
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

// "waveform", its circled form and the filled 3 × 3 grid have no faithful
// counterpart in the common themes: they are always drawn.
QStringList themeNamesForSymbol(const QString& symbol) {
    static const std::map<QString, QStringList> names = {
        {QStringLiteral("play.fill"), {QStringLiteral("media-playback-start-symbolic")}},
        {QStringLiteral("pause.fill"), {QStringLiteral("media-playback-pause-symbolic")}},
        {QStringLiteral("stop.fill"), {QStringLiteral("media-playback-stop-symbolic")}},
        {QStringLiteral("speaker.wave.1"), {QStringLiteral("audio-volume-low-symbolic")}},
        {QStringLiteral("plus"), {QStringLiteral("list-add-symbolic")}},
        {QStringLiteral("exclamationmark.triangle.fill"),
         {QStringLiteral("dialog-warning-symbolic")}},
        {QStringLiteral("music.note"),
         {QStringLiteral("emblem-music-symbolic"), QStringLiteral("audio-x-generic-symbolic")}},
        {QStringLiteral("repeat"), {QStringLiteral("media-playlist-repeat-symbolic")}},
        {QStringLiteral("internaldrive"), {QStringLiteral("drive-harddisk-symbolic")}},
        {QStringLiteral("gearshape"),
         {QStringLiteral("emblem-system-symbolic"), QStringLiteral("preferences-system-symbolic")}},
        {QStringLiteral("externaldrive.badge.plus"),
         {QStringLiteral("drive-removable-media-symbolic")}},
    };
    const auto found = names.find(symbol);
    return found == names.end() ? QStringList() : found->second;
}

QPixmap symbolPixmap(const QString& symbol, const QColor& tint, int logicalSize,
                     qreal devicePixelRatio) {
    // Views ask for the same few symbols on every state change and paint.
    using Key = std::tuple<QString, QRgb, int, qreal>;
    static std::map<Key, QPixmap> rendered;
    const Key key{symbol, tint.rgba(), logicalSize, devicePixelRatio};
    if (const auto found = rendered.find(key); found != rendered.end())
        return found->second;
    QPixmap pixmap = renderSymbol(symbol, tint, logicalSize, devicePixelRatio);
    rendered.emplace(key, pixmap);
    return pixmap;
}

QPixmap renderSymbol(const QString& symbol, const QColor& tint, int logicalSize,
                     qreal devicePixelRatio) {
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

QIcon symbolIcon(const QString& symbol, const QColor& tint, int logicalSize) {
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0}) {
        icon.addPixmap(symbolPixmap(symbol, tint, logicalSize, ratio), QIcon::Normal);
        icon.addPixmap(symbolPixmap(symbol, tint, logicalSize, ratio), QIcon::Disabled);
    }
    return icon;
}

QPixmap symbolBadge(const QString& symbol, const QColor& tint, int frame, int symbolSize,
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
