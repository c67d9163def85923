#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <atomic>

#include "ui/cue_artwork_cache.h"
#include "ui/cue_card_artwork.h"
#include "ui/thumbnail_decoder.h"
#include "ui_fixture.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;
using test::UiFixture;

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

TEST_F(CueCardArtworkTest, APhotoBecomesA256PixelThumbnailDecodedOffTheMainThreadOnce) {
    const fs::path photo = writeImage(temp.path() / "photo.jpg", {4000, 3000});
    CueCardArtwork artwork(nullptr, countingDecoder(), &pool, &cache);
    artwork.resize(200, 100);
    artwork.setContent(photo, true);
    // The call returns with the placeholder; the decode happens elsewhere.
    EXPECT_EQ(artwork.placeholderSymbol(), Symbol::waveform);
    finishWork();
    EXPECT_EQ(artwork.image().size(), QSize(256, 192));
    // Delivered already cropped to the area, so painting only copies it.
    EXPECT_EQ(artwork.fitted().size(), QSize(200, 100) * artwork.devicePixelRatioF());
    EXPECT_EQ(cache.totalCost(), 256 * 4 * 192);
    CueCardArtwork second(nullptr, countingDecoder(), &pool, &cache);
    second.setContent(photo, true);
    EXPECT_EQ(second.image().size(), QSize(256, 192));  // at once, from the cache
    finishWork();
    EXPECT_TRUE(decodes == 1 && !onMainThread);
}

TEST_F(CueCardArtworkTest, ALateResultIsDroppedAndAnUndecodableFileLeavesThePlaceholder) {
    const fs::path first = writeImage(temp.path() / "first.png", {40, 40});
    const fs::path second = writeImage(temp.path() / "second.png", {20, 10});
    CueCardArtwork artwork(nullptr, countingDecoder(first), &pool, &cache);
    artwork.setContent(first, false);
    artwork.setContent(second, false);
    ASSERT_TRUE(UiFixture::waitUntil([&] { return !artwork.image().isNull(); }));
    release.release();
    finishWork();
    EXPECT_EQ(artwork.image().size(), QSize(20, 10));
    // The first decode still filled the cache for the next card that wants it.
    EXPECT_TRUE(cache.image(first));

    const fs::path broken = temp.path() / "broken.jpg";
    test::writeFile(broken, "not an image at all");
    for (int attempt = 0; attempt < 2; ++attempt) {
        artwork.setContent(std::nullopt, false);
        artwork.setContent(broken, false);
        finishWork();
    }
    EXPECT_TRUE(artwork.image().isNull());
    EXPECT_EQ(artwork.placeholderSymbol(), Symbol::plus);
    // Failures are not remembered: asking again tries again.
    EXPECT_EQ(std::pair(cache.count(), int(decodes)), std::pair(2, 4));
}

TEST(CueArtworkCacheTest, KeepsWithinItsCountAndByteBudgetsAndLetsTheLeastRecentGo) {
    // Two tiles and two small images fill the bytes; three entries the count.
    CueArtworkCache cache(3, 2 * 100 * 100 * 4 + 2 * 10 * 10 * 4);
    for (const char* key : {"a", "b", "c"})  // "a" goes for the bytes
        cache.insert(key, QImage(100, 100, QImage::Format_RGB32));
    ASSERT_TRUE(cache.image("b"));      // a lookup makes an entry recent
    for (const char* key : {"d", "e"})  // "c" goes for the count
        cache.insert(key, QImage(10, 10, QImage::Format_RGB32));
    cache.insert("huge", QImage(1000, 1000, QImage::Format_RGB32));  // over the whole budget
    EXPECT_TRUE(!cache.image("a") && cache.image("b") && !cache.image("c") && cache.image("e") &&
                !cache.image("huge"));
}

}  // namespace
}  // namespace tavrel
