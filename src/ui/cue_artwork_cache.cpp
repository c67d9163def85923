#include "ui/cue_artwork_cache.h"

#include <QThread>

#include <algorithm>

namespace tavrel {

namespace {

QString keyFor(const std::filesystem::path& url) {
    return QString::fromStdString(url.lexically_normal().generic_string());
}

}  // namespace

CueArtworkCache::CueArtworkCache(int countLimit, std::int64_t costLimit)
    : m_countLimit(countLimit), m_costLimit(costLimit) {}

// Not the global pool: the raster paint engine spreads large fills over that
// one, so decodes queued there would hold up painting on the main thread.
CueArtworkWorkers::CueArtworkWorkers() {
    m_pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount() - 1));
    // Decoding may wait; the main thread, which answers the cue keys, may not.
    m_pool.setThreadPriority(QThread::IdlePriority);
}

std::int64_t CueArtworkCache::cost(const QImage& image) {
    return static_cast<std::int64_t>(image.bytesPerLine()) * image.height();
}

std::optional<QImage> CueArtworkCache::image(const std::filesystem::path& url) {
    const QString key = keyFor(url);
    std::lock_guard lock(m_mutex);
    const auto found = m_index.find(key);
    if (found == m_index.end())
        return std::nullopt;
    m_entries.splice(m_entries.begin(), m_entries, found->second);
    return found->second->image;
}

void CueArtworkCache::insert(const std::filesystem::path& url, const QImage& image) {
    const QString key = keyFor(url);
    const std::int64_t imageCost = cost(image);
    std::lock_guard lock(m_mutex);
    if (const auto found = m_index.find(key); found != m_index.end()) {
        m_totalCost -= found->second->cost;
        m_entries.erase(found->second);
        m_index.erase(found);
    }
    if (imageCost > m_costLimit)
        return;
    m_entries.push_front(Entry{key, image, imageCost});
    m_index[key] = m_entries.begin();
    m_totalCost += imageCost;
    evictBeyondLimits();
}

void CueArtworkCache::evictBeyondLimits() {
    while (!m_entries.empty() &&
           (static_cast<int>(m_entries.size()) > m_countLimit || m_totalCost > m_costLimit)) {
        m_totalCost -= m_entries.back().cost;
        m_index.erase(m_entries.back().key);
        m_entries.pop_back();
    }
}

int CueArtworkCache::count() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_entries.size());
}

std::int64_t CueArtworkCache::totalCost() const {
    std::lock_guard lock(m_mutex);
    return m_totalCost;
}

}  // namespace tavrel
