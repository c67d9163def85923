#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <optional>

#include "ui/cue_artwork_cache.h"

class QThreadPool;

namespace tavrel {

// A card's artwork area: the slot's image as a thumbnail filling the area, or
// a placeholder symbol ("waveform" with audio, else "plus"). Shows the
// placeholder at once and decodes on a thread pool; a result is used only if
// it answers the latest request. Main thread only.
class CueCardArtwork : public QWidget {
    Q_OBJECT

public:
    using Decoder = std::function<QImage(const std::filesystem::path&)>;

    // `decoder` runs on `pool`; the defaults are the real decoder, a pool of
    // its own and the shared cache.
    explicit CueCardArtwork(QWidget* parent = nullptr, Decoder decoder = {},
                            QThreadPool* pool = nullptr, CueArtworkCache* cache = nullptr);

    // Loads when the location differs from the one last asked for (or on the first call).
    void setContent(const std::optional<std::filesystem::path>& imageURL, bool hasAudio);

    const std::optional<std::filesystem::path>& requestedURL() const { return m_requestedURL; }
    // Null while the placeholder shows.
    const QImage& image() const { return m_image; }
    bool hasAudio() const { return m_hasAudio; }
    // The placeholder's symbol name.
    QString placeholderSymbol() const;

    static constexpr int areaHeight = 96;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void loadImage();
    void deliver(const std::filesystem::path& url, const QImage& image);

    Decoder m_decoder;
    QThreadPool* m_pool = nullptr;
    CueArtworkCache* m_cache = nullptr;
    bool m_hasContent = false;
    bool m_hasAudio = false;
    std::optional<std::filesystem::path> m_imageURL;
    std::optional<std::filesystem::path> m_requestedURL;
    QImage m_image;
    QPixmap m_scaled;  // m_image filled into the current size
};

}  // namespace tavrel
