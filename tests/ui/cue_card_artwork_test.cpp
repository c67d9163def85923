#include <QIcon>
#include <QSemaphore>
#include <QThread>

#include <atomic>

#include "ui/cue_card_artwork.h"
#include "ui/symbol_icon.h"
#include "ui/thumbnail_decoder.h"
#include "ui_fixture.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;

fs::path writeImage(const fs::path& file, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    EXPECT_TRUE(image.save(QString::fromStdString(file.string())));
    return file;
}

// Each test gets its own pool and cache so that nothing else's work interferes.
class CueCardArtworkTest : public ::testing::Test {
protected:
    CueCardArtworkTest() { pool.setMaxThreadCount(2); }
    ~CueCardArtworkTest() override { pool.waitForDone(); }

    // The real decoder, counting its calls and noting any on the main thread;
    // a decode of `held` waits until `release` is released.
    CueCardArtwork::Decoder countingDecoder(const fs::path& held = {}) {
        return [this, held](const fs::path& url) {
            ++decodes;
            onMainThread = onMainThread || QThread::currentThread() == qApp->thread();
            if (url == held)
                release.acquire();
            return decodeThumbnail(url);
        };
    }
    void finishWork() {
        pool.waitForDone();
        QCoreApplication::processEvents();
    }

    test::TemporaryDirectory temp;
    QThreadPool pool;
    CueArtworkCache cache;
    QSemaphore release;
    std::atomic<int> decodes = 0;
    std::atomic<bool> onMainThread = false;
};

// A photo becomes a 256-pixel thumbnail decoded once, off the main thread; a
// result that arrives after the card moved on is dropped but still cached.
TEST_F(CueCardArtworkTest, DecodesOffTheMainThreadOnceAndDropsALateResult) {
    const fs::path photo = writeImage(temp.path() / "photo.jpg", {4000, 3000});
    const fs::path small = writeImage(temp.path() / "small.png", {20, 10});
    CueCardArtwork artwork(nullptr, countingDecoder(photo), &pool, &cache);
    artwork.setContent(photo, true);
    EXPECT_EQ(artwork.placeholderSymbol(), Symbol::waveform);  // returns before the decode
    artwork.setContent(small, false);
    ASSERT_TRUE(test::UiFixture::waitUntil([&] { return !artwork.image().isNull(); }));
    release.release();
    finishWork();
    EXPECT_EQ(artwork.image().size(), QSize(20, 10));
    CueCardArtwork second(nullptr, countingDecoder(), &pool, &cache);
    second.setContent(photo, true);
    EXPECT_EQ(second.image().size(), QSize(256, 192));  // at once, from the cache
    finishWork();
    EXPECT_TRUE(decodes == 2 && !onMainThread);
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
            EXPECT_GT(test::pixelsNear(image, tint), 40)
                << index << " with theme " << name.toStdString();
        }
    }
    QIcon::setThemeName(theme);
}

}  // namespace
}  // namespace tavrel
