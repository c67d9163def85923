#include "ui/card_shadow.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <map>
#include <tuple>
#include <vector>

namespace tavrel {

namespace {

// One running-sum box blur pass across rows, then one down columns (the
// columns all at once, row by row, to stay in cache), of an 8-bit mask.
void boxBlur(QImage& mask, int radius) {
    const int width = mask.width();
    const int height = mask.height();
    const int window = 2 * radius + 1;
    std::vector<uchar> line(std::size_t(width), 0);
    for (int y = 0; y < height; ++y) {
        uchar* row = mask.scanLine(y);
        std::copy(row, row + width, line.begin());
        int sum = 0;
        for (int x = 0; x <= radius && x < width; ++x)
            sum += line[std::size_t(x)];
        for (int x = 0; x < width; ++x) {
            row[x] = uchar(sum / window);
            if (x - radius >= 0)
                sum -= line[std::size_t(x - radius)];
            if (x + radius + 1 < width)
                sum += line[std::size_t(x + radius + 1)];
        }
    }
    std::vector<uchar> source(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y)
        std::copy(mask.constScanLine(y), mask.constScanLine(y) + width,
                  source.begin() + std::ptrdiff_t(y) * width);
    const auto sourceRow = [&](int y) { return source.data() + std::ptrdiff_t(y) * width; };
    std::vector<int> sums(std::size_t(width), 0);
    for (int y = 0; y <= radius && y < height; ++y) {
        for (int x = 0; x < width; ++x)
            sums[std::size_t(x)] += sourceRow(y)[x];
    }
    for (int y = 0; y < height; ++y) {
        uchar* row = mask.scanLine(y);
        const uchar* leaving = y - radius >= 0 ? sourceRow(y - radius) : nullptr;
        const uchar* entering = y + radius + 1 < height ? sourceRow(y + radius + 1) : nullptr;
        for (int x = 0; x < width; ++x) {
            int& sum = sums[std::size_t(x)];
            row[x] = uchar(sum / window);
            sum += (entering ? entering[x] : 0) - (leaving ? leaving[x] : 0);
        }
    }
}

}  // namespace

QRect CardShadow::area(const QRect& card) const {
    return card.adjusted(-blurRadius, -blurRadius + offsetY, blurRadius, blurRadius + offsetY);
}

// main thread
QPixmap CardShadow::pixmap(const QSize& size, qreal cornerRadius, qreal devicePixelRatio) const {
    using Key = std::tuple<int, int, QRgb, int, int, qreal, qreal>;
    static std::map<Key, QPixmap> cache;
    const Key key{size.width(), size.height(), colour.rgba(),   blurRadius,
                  offsetY,      cornerRadius,  devicePixelRatio};
    if (const auto found = cache.find(key); found != cache.end())
        return found->second;
    // Sizes change while a window is resized; keep only the recent few.
    if (cache.size() > 24)
        cache.clear();

    const QSize logical = area(QRect(QPoint(0, 0), size)).size();
    QImage mask(logical * devicePixelRatio, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(devicePixelRatio, devicePixelRatio);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawRoundedRect(QRectF(blurRadius, blurRadius, size.width(), size.height()),
                                cornerRadius, cornerRadius);
    }
    // Three box passes each way come close to a Gaussian.
    const int boxRadius = std::max(1, int(blurRadius * devicePixelRatio / 3));
    for (int pass = 0; pass < 3; ++pass)
        boxBlur(mask, boxRadius);
    QImage shadow(mask.size(), QImage::Format_ARGB32_Premultiplied);
    shadow.fill(colour);
    {
        QPainter painter(&shadow);
        painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        painter.drawImage(0, 0, mask);
    }
    QPixmap result = QPixmap::fromImage(shadow);
    result.setDevicePixelRatio(devicePixelRatio);
    cache.emplace(key, result);
    return result;
}

}  // namespace tavrel
