#include "ui/cue_card_artwork.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QThread>
#include <QThreadPool>

#include "ui/symbol_icon.h"
#include "ui/tavrel_theme.h"
#include "ui/thumbnail_decoder.h"

namespace tavrel {

namespace {

// Not the global pool: the raster paint engine spreads large fills over that
// one, so decodes queued there would hold up painting on the main thread.
QThreadPool* artworkThreadPool() {
    static auto* pool = [] {
        auto* created = new QThreadPool();
        created->setMaxThreadCount(std::max(1, QThread::idealThreadCount() - 1));
        // Decoding may wait; the main thread, which answers the cue keys, may not.
        created->setThreadPriority(QThread::IdlePriority);
        return created;
    }();
    return pool;
}

}  // namespace

CueCardArtwork::CueCardArtwork(QWidget* parent, Decoder decoder, QThreadPool* pool,
                               CueArtworkCache* cache)
    : QWidget(parent),
      m_decoder(decoder ? std::move(decoder) : Decoder(decodeThumbnail)),
      m_pool(pool ? pool : artworkThreadPool()),
      m_cache(cache ? cache : &CueArtworkCache::shared()) {
    setFixedHeight(areaHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CueCardArtwork::setContent(const std::optional<std::filesystem::path>& imageURL,
                                bool hasAudio) {
    if (hasAudio != m_hasAudio) {
        m_hasAudio = hasAudio;
        update();
    }
    if (m_hasContent && imageURL == m_imageURL)
        return;
    m_hasContent = true;
    m_imageURL = imageURL;
    loadImage();
}

QString CueCardArtwork::placeholderSymbol() const {
    return m_hasAudio ? QStringLiteral("waveform") : QStringLiteral("plus");
}

// main thread
void CueCardArtwork::loadImage() {
    m_requestedURL = m_imageURL;
    m_scaled = {};
    update();
    if (!m_imageURL) {
        m_image = {};
        return;
    }
    if (auto cached = m_cache->image(*m_imageURL)) {
        m_image = *cached;
        return;
    }
    m_image = {};
    m_pool->start([url = *m_imageURL, decoder = m_decoder, cache = m_cache,
                   view = QPointer<CueCardArtwork>(this)]() mutable {
        // Another card with the same file may have filled the entry meanwhile.
        std::optional<QImage> result = cache->image(url);
        if (!result) {
            result = decoder(url);
            if (!result->isNull())
                cache->insert(url, *result);
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [view = std::move(view), url, image = std::move(*result)] {
                if (view)
                    view->deliver(url, image);
            },
            Qt::QueuedConnection);
    });
}

// main thread
void CueCardArtwork::deliver(const std::filesystem::path& url, const QImage& image) {
    if (!m_requestedURL || *m_requestedURL != url)
        return;
    m_image = image;
    m_scaled = {};
    update();
}

void CueCardArtwork::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.45);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(clip, palette::quaternary());

    if (!m_image.isNull()) {
        const qreal ratio = devicePixelRatioF();
        const QSize target = size() * ratio;
        if (m_scaled.isNull() || m_scaled.size() != target) {
            // Aspect fill: scale to cover the area, then crop the centre.
            const QImage covering =
                m_image.scaled(target, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
            const QRect centre((covering.width() - target.width()) / 2,
                               (covering.height() - target.height()) / 2, target.width(),
                               target.height());
            m_scaled = QPixmap::fromImage(covering.copy(centre));
            m_scaled.setDevicePixelRatio(ratio);
        }
        painter.setClipPath(clip);
        painter.drawPixmap(0, 0, m_scaled);
        return;
    }
    constexpr int symbolSize = 30;
    const QPixmap symbol =
        symbolPixmap(placeholderSymbol(), palette::secondary(), symbolSize, devicePixelRatioF());
    painter.drawPixmap((width() - symbolSize) / 2, (height() - symbolSize) / 2, symbol);
}

}  // namespace tavrel
