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

CueCardArtwork::CueCardArtwork(QWidget* parent, Decoder decoder, QThreadPool* pool,
                               CueArtworkCache* cache)
    : QWidget(parent),
      m_decoder(decoder ? std::move(decoder) : Decoder(decodeThumbnail)),
      m_pool(pool),
      m_cache(cache) {
    setMinimumHeight(minimumAreaHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
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

Symbol CueCardArtwork::placeholderSymbol() const {
    return m_hasAudio ? Symbol::waveform : Symbol::plus;
}

QSize CueCardArtwork::pixelSize() const {
    return size() * devicePixelRatioF();
}

// main thread
void CueCardArtwork::loadImage() {
    m_requestedURL = m_imageURL;
    m_fitted = {};
    m_image = {};
    update();
    if (!m_imageURL) {
        ++m_request;
        return;
    }
    if (auto cached = m_cache->image(*m_imageURL))
        m_image = *cached;
    requestFit();
}

// main thread
void CueCardArtwork::requestFit() {
    const int request = ++m_request;
    m_pool->start([url = *m_imageURL, request, target = pixelSize(), decoder = m_decoder,
                   cache = m_cache, view = QPointer<CueCardArtwork>(this)]() mutable {
        // Another card with the same file may have filled the entry meanwhile.
        std::optional<QImage> image = cache->image(url);
        if (!image) {
            image = decoder(url);
            if (!image->isNull())
                cache->insert(url, *image);
        }
        QImage fitted = fitThumbnail(*image, target);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [view = std::move(view), url, request, image = std::move(*image),
             fitted = std::move(fitted)] {
                if (view)
                    view->deliver(url, request, image, fitted);
            },
            Qt::QueuedConnection);
    });
}

// main thread
void CueCardArtwork::deliver(const std::filesystem::path& url, int request, const QImage& image,
                             const QImage& fitted) {
    if (!m_requestedURL || *m_requestedURL != url)
        return;
    m_image = image;
    if (request == m_request) {
        m_fitted = fitted;
        m_fitted.setDevicePixelRatio(devicePixelRatioF());
    }
    update();
    // The area was resized while the first decode ran: fit again, from the cache.
    if (request == m_request && !m_image.isNull() && m_fitted.size() != pixelSize())
        requestFit();
}

void CueCardArtwork::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Before the first thumbnail arrives, its delivery fits it to the size of the day.
    if (m_imageURL && !m_image.isNull() && m_fitted.size() != pixelSize())
        requestFit();
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
        painter.setClipPath(clip);
        if (!m_fitted.isNull() && m_fitted.size() == pixelSize()) {
            painter.drawImage(QPointF(0, 0), m_fitted);
            return;
        }
        // Until the fitted copy for this size arrives: coarse but cheap.
        const QSize covering = m_image.size().scaled(size(), Qt::KeepAspectRatioByExpanding);
        const QRect target((width() - covering.width()) / 2, (height() - covering.height()) / 2,
                           covering.width(), covering.height());
        painter.drawImage(target, m_image);
        return;
    }
    constexpr int symbolSize = 30;
    const QPixmap symbol =
        symbolPixmap(placeholderSymbol(), palette::secondary(), symbolSize, devicePixelRatioF());
    painter.drawPixmap((width() - symbolSize) / 2, (height() - symbolSize) / 2, symbol);
}

}  // namespace tavrel
