#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>

#include "ui/symbol_icon.h"
#include "ui/tavrel_backdrop.h"

namespace tavrel {
namespace {

const char* const symbols[] = {"play.fill",
                               "pause.fill",
                               "stop.fill",
                               "waveform",
                               "waveform.circle.fill",
                               "music.note",
                               "plus",
                               "exclamationmark.triangle.fill",
                               "square.grid.3x3.fill",
                               "repeat",
                               "internaldrive",
                               "externaldrive.badge.plus"};

// Opaque pixels of the tint's colour, ignoring antialiased edges.
int tintedPixels(const QImage& image, QColor tint) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() > 200 && std::abs(pixel.red() - tint.red()) < 8 &&
                std::abs(pixel.green() - tint.green()) < 8 &&
                std::abs(pixel.blue() - tint.blue()) < 8)
                ++count;
        }
    }
    return count;
}

TEST(SymbolIconTest, EverySymbolIsDrawnInItsTintWithOrWithoutAnIconTheme) {
    const QString theme = QIcon::themeName();
    const QColor tint(255, 159, 10);
    for (const QString& name : {theme, QStringLiteral("no-such-theme")}) {
        QIcon::setThemeName(name);
        for (const char* symbol : symbols) {
            const QImage image = renderSymbol(QString::fromLatin1(symbol), tint, 24, 2.0)
                                     .toImage()
                                     .convertToFormat(QImage::Format_ARGB32);
            EXPECT_EQ(image.size(), QSize(48, 48)) << symbol;
            EXPECT_GT(tintedPixels(image, tint), 40)
                << symbol << " with theme " << name.toStdString();
        }
    }
    QIcon::setThemeName(theme);
}

TEST(TavrelBackdropTest, FillsEdgeToEdgeFromTheDarkCornerToTheDarkerOne) {
    TavrelBackdrop backdrop;
    backdrop.resize(400, 300);
    const QImage image = backdrop.grab().toImage();
    const QColor topLeading = image.pixelColor(0, 0);
    const QColor middle = image.pixelColor(200, 150);
    const QColor bottomTrailing = image.pixelColor(399, 299);
    EXPECT_NEAR(topLeading.blueF(), 0.14, 0.01);
    EXPECT_NEAR(middle.blueF(), 0.24, 0.01);
    EXPECT_NEAR(bottomTrailing.blueF(), 0.10, 0.01);
    EXPECT_EQ(topLeading.alpha(), 255);
    EXPECT_EQ(bottomTrailing.alpha(), 255);
}

}  // namespace
}  // namespace tavrel
