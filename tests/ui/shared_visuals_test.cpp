#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>

#include "ui/symbol_icon.h"
#include "ui_fixture.h"

namespace tavrel {
namespace {

// Opaque pixels of the tint's colour, ignoring antialiased edges.
int tintedPixels(const QImage& image, QColor tint) {
    return test::pixelsWhere(image, [&](const QColor& pixel) {
        return pixel.alpha() > 200 && std::abs(pixel.red() - tint.red()) < 8 &&
               std::abs(pixel.green() - tint.green()) < 8 &&
               std::abs(pixel.blue() - tint.blue()) < 8;
    });
}

TEST(SymbolIconTest, EverySymbolIsDrawnInItsTintWithOrWithoutAnIconTheme) {
    const QString theme = QIcon::themeName();
    const QColor tint(255, 159, 10);
    for (const QString& name : {theme, QStringLiteral("no-such-theme")}) {
        QIcon::setThemeName(name);
        for (int index = 0; index <= int(Symbol::waveformCircle); ++index) {
            const auto symbol = Symbol(index);
            const QImage image = renderSymbol(symbol, tint, 24, 2.0)
                                     .toImage()
                                     .convertToFormat(QImage::Format_ARGB32);
            EXPECT_EQ(image.size(), QSize(48, 48)) << index;
            EXPECT_GT(tintedPixels(image, tint), 40)
                << index << " with theme " << name.toStdString();
        }
    }
    QIcon::setThemeName(theme);
}

}  // namespace
}  // namespace tavrel
