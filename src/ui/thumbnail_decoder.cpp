#include "ui/thumbnail_decoder.h"

#include <QImageReader>
#include <QString>

#include <cmath>

namespace tavrel {

namespace {

QSize boundedSize(const QSize& size) {
    const int longest = std::max(size.width(), size.height());
    if (longest <= thumbnailMaxPixelSize)
        return size;
    const double scale = double(thumbnailMaxPixelSize) / longest;
    return {std::max(1, int(std::lround(size.width() * scale))),
            std::max(1, int(std::lround(size.height() * scale)))};
}

}  // namespace

QImage decodeThumbnail(const std::filesystem::path& url) {
    QImageReader reader(QString::fromStdU16String(url.u16string()));
    reader.setAutoTransform(true);
    // The scaled size applies before the orientation transform, so the raw
    // size is the one to bound; decoders like JPEG then scale while decoding.
    const QSize rawSize = reader.size();
    if (rawSize.isValid())
        reader.setScaledSize(boundedSize(rawSize));
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (std::max(image.width(), image.height()) > thumbnailMaxPixelSize) {
        image =
            image.scaled(boundedSize(image.size()), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                         : QImage::Format_RGB32);
}

QImage fitThumbnail(const QImage& thumbnail, const QSize& pixelSize) {
    if (thumbnail.isNull() || pixelSize.isEmpty())
        return {};
    const QImage covering =
        thumbnail.scaled(pixelSize, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const QRect centre((covering.width() - pixelSize.width()) / 2,
                       (covering.height() - pixelSize.height()) / 2, pixelSize.width(),
                       pixelSize.height());
    return covering.copy(centre).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace tavrel
