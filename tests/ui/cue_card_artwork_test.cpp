#include <gtest/gtest.h>

#include <QImageWriter>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <atomic>

#include "support/fault_injecting_file_system.h"
#include "ui/cue_artwork_cache.h"
#include "ui/cue_card_artwork.h"
#include "ui/thumbnail_decoder.h"
#include "ui_fixture.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;
using test::UiFixture;

fs::path writeImage(
    const fs::path& file, QSize size, QColor colour,
    QImageIOHandler::Transformations transformation = QImageIOHandler::TransformationNone) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QImageWriter writer(QString::fromStdString(file.string()));
    writer.setTransformation(transformation);
    EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    return file;
}

// Each test gets its own pool and cache so that nothing else's work interferes.
class CueCardArtworkTest : public ::testing::Test {
protected:
    CueCardArtworkTest() { pool.setMaxThreadCount(2); }
    ~CueCardArtworkTest() override { pool.waitForDone(); }

    // The real decoder, counting its calls and noting whether one ran on the main thread.
    CueCardArtwork::Decoder countingDecoder() {
        return [this](const fs::path& url) {
            ++decodes;
            if (QThread::currentThread() == QCoreApplication::instance()->thread())
                decodedOnMainThread = true;
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
    std::atomic<int> decodes = 0;
    std::atomic<bool> decodedOnMainThread = false;
};

TEST_F(CueCardArtworkTest, APhotoBecomesA256PixelThumbnailDecodedOffTheMainThread) {
    const fs::path photo = writeImage(temp.path() / "photo.jpg", {4000, 3000}, Qt::darkCyan);
    CueCardArtwork artwork(nullptr, countingDecoder(), &pool, &cache);
    artwork.resize(200, 100);
    artwork.setContent(photo, true);
    // The call returns with the placeholder; the decode happens elsewhere.
    EXPECT_TRUE(artwork.image().isNull());
    EXPECT_EQ(artwork.placeholderSymbol(), Symbol::waveform);
    finishWork();
    EXPECT_EQ(artwork.image().size(), QSize(256, 192));
    // Delivered already cropped to the area, so painting only copies it.
    EXPECT_EQ(artwork.fitted().size(), QSize(200, 100) * artwork.devicePixelRatioF());
    EXPECT_EQ(artwork.fitted().format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(artwork.fitted().pixelColor(100, 50), artwork.image().pixelColor(128, 96));
    // A resized area gets a new fitted copy, from the cache.
    artwork.show();
    artwork.resize(300, 180);
    ASSERT_TRUE(UiFixture::waitUntil(
        [&] { return artwork.fitted().size() == QSize(300, 180) * artwork.devicePixelRatioF(); }));
    EXPECT_FALSE(decodedOnMainThread);
    EXPECT_EQ(cache.totalCost(), 256 * 4 * 192);
    // A second card with the same file has it at once, from the cache.
    CueCardArtwork second(nullptr, countingDecoder(), &pool, &cache);
    second.setContent(photo, true);
    EXPECT_EQ(second.image().size(), QSize(256, 192));
    finishWork();
    EXPECT_EQ(decodes, 1);
}

TEST_F(CueCardArtworkTest, TheFilesOrientationIsApplied) {
    if (!QImageWriter("x.jpg").supportsOption(QImageIOHandler::ImageTransformation))
        GTEST_SKIP() << "this JPEG writer cannot store an orientation";
    const fs::path photo = writeImage(temp.path() / "portrait.jpg", {800, 600}, Qt::gray,
                                      QImageIOHandler::TransformationRotate90);
    EXPECT_EQ(decodeThumbnail(photo).size(), QSize(192, 256));
}

TEST_F(CueCardArtworkTest, ALateResultForAnEarlierImageIsDropped) {
    const fs::path first = writeImage(temp.path() / "first.png", {40, 40}, Qt::red);
    const fs::path second = writeImage(temp.path() / "second.png", {20, 10}, Qt::blue);
    QSemaphore releaseFirst;
    CueCardArtwork artwork(
        nullptr,
        [&](const fs::path& url) {
            if (url == first)
                releaseFirst.acquire();
            return decodeThumbnail(url);
        },
        &pool, &cache);
    artwork.setContent(first, false);
    artwork.setContent(second, false);
    ASSERT_TRUE(UiFixture::waitUntil([&] { return !artwork.image().isNull(); }));
    EXPECT_EQ(artwork.image().size(), QSize(20, 10));
    releaseFirst.release();
    finishWork();
    EXPECT_EQ(artwork.image().size(), QSize(20, 10));
    EXPECT_EQ(artwork.requestedURL(), second);
    // The first decode still filled the cache for the next card that wants it.
    EXPECT_TRUE(cache.image(first));
}

TEST_F(CueCardArtworkTest, AnUndecodableFileLeavesThePlaceholderAndNoEntry) {
    const fs::path broken = temp.path() / "broken.jpg";
    test::writeFile(broken, "not an image at all");
    CueCardArtwork artwork(nullptr, countingDecoder(), &pool, &cache);
    artwork.setContent(broken, false);
    finishWork();
    EXPECT_TRUE(artwork.image().isNull());
    EXPECT_EQ(artwork.placeholderSymbol(), Symbol::plus);
    EXPECT_EQ(cache.count(), 0);
    // Failures are not remembered: asking again tries again.
    artwork.setContent(std::nullopt, false);
    artwork.setContent(broken, false);
    finishWork();
    EXPECT_EQ(decodes, 2);
}

TEST(CueArtworkCacheTest, KeepsWithinItsCountAndByteBudgetsAndLetsTheLeastRecentGo) {
    CueArtworkCache cache(24, 3 * 100 * 100 * 4);
    QImage tile(100, 100, QImage::Format_RGB32);
    for (int i = 0; i < 4; ++i)
        cache.insert("tile-" + std::to_string(i), tile);
    EXPECT_EQ(cache.count(), 3);
    EXPECT_FALSE(cache.image("tile-0"));
    // A lookup makes an entry recent.
    ASSERT_TRUE(cache.image("tile-1"));
    cache.insert("tile-4", tile);
    EXPECT_TRUE(cache.image("tile-1"));
    EXPECT_FALSE(cache.image("tile-2"));
    // Too big for the whole budget: not kept at all.
    cache.insert("huge", QImage(1000, 1000, QImage::Format_RGB32));
    EXPECT_FALSE(cache.image("huge"));
    EXPECT_EQ(cache.count(), 3);

    CueArtworkCache counted(24, CueArtworkCache::defaultCostLimit);
    for (int i = 0; i < 25; ++i)
        counted.insert("small-" + std::to_string(i), QImage(10, 10, QImage::Format_RGB32));
    EXPECT_EQ(counted.count(), 24);
    EXPECT_FALSE(counted.image("small-0"));
}

}  // namespace
}  // namespace tavrel
