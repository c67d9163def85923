#pragma once

#include <QImage>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <optional>

#include "ui/cue_artwork_cache.h"

#include "ui/symbol_icon.h"

class QThreadPool;

namespace tavrel {

// A card's artwork area: the slot's image as a thumbnail filling the area, or
// a placeholder symbol (a waveform with audio, else a plus). Shows the
// placeholder at once; decoding, smooth scaling and cropping to the area's
// pixel size all happen on a thread pool, so painting is a plain copy. After a
// resize it paints a fast-scaled copy until the fitted one arrives. A result
// is used only if it answers the latest request. Main thread only.
class CueCardArtwork : public QWidget {
    Q_OBJECT

public:
    using Decoder = std::function<QImage(const std::filesystem::path&)>;

    // `decoder` (empty: the real one) runs on `pool`; both `pool` and `cache`
    // outlive the widget (CueArtworkWorkers).
    CueCardArtwork(QWidget* parent, Decoder decoder, QThreadPool* pool, CueArtworkCache* cache);

    // Loads when the location differs from the one last asked for (or on the first call).
    void setContent(const std::optional<std::filesystem::path>& imageURL, bool hasAudio);

    const std::optional<std::filesystem::path>& requestedURL() const { return m_requestedURL; }
    // The decoded thumbnail; null while the placeholder shows.
    const QImage& image() const { return m_image; }
    // The thumbnail as painted: covering the area at the device pixel ratio.
    // Null until the pool delivers it for the current size.
    const QImage& fitted() const { return m_fitted; }
    bool hasAudio() const { return m_hasAudio; }
    // The placeholder's symbol name.
    Symbol placeholderSymbol() const;

    static constexpr int minimumAreaHeight = 96;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void loadImage();
    // Asks the pool for the thumbnail fitted to the current pixel size.
    void requestFit();
    void deliver(const std::filesystem::path& url, int request, const QImage& image,
                 const QImage& fitted);
    QSize pixelSize() const;

    Decoder m_decoder;
    QThreadPool* m_pool = nullptr;
    CueArtworkCache* m_cache = nullptr;
    bool m_hasContent = false;
    bool m_hasAudio = false;
    std::optional<std::filesystem::path> m_imageURL;
    std::optional<std::filesystem::path> m_requestedURL;
    int m_request = 0;  // the latest request to the pool; older answers are stale
    QImage m_image;
    QImage m_fitted;
};

}  // namespace tavrel
