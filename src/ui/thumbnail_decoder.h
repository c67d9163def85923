#pragma once

#include <QImage>

#include <filesystem>

namespace tavrel {

constexpr int thumbnailMaxPixelSize = 256;

// Reads an image file as a thumbnail whose longest side is at most 256 pixels,
// with the file's orientation applied and all pixels decoded now. Null when the
// file cannot be read as an image. Slow: runs on an artwork worker thread
// (CueArtworkWorkers::pool), no lock needed.
QImage decodeThumbnail(const std::filesystem::path& url);

// `thumbnail` scaled smoothly to cover `pixelSize` and cropped to its centre,
// premultiplied so that painting it is a plain copy. Null for an empty size.
// Slow: runs on an artwork worker thread, no lock needed.
QImage fitThumbnail(const QImage& thumbnail, const QSize& pixelSize);

}  // namespace tavrel
