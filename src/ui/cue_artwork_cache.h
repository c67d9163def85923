#pragma once

#include <QImage>
#include <QString>
#include <QThreadPool>

#include <cstdint>
#include <filesystem>
#include <list>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace tavrel {

// Card thumbnails by file location, bounded in count and in bytes of pixels;
// the least recently used entry goes first. Safe to use from any thread.
class CueArtworkCache {
public:
    static constexpr int defaultCountLimit = 24;
    static constexpr std::int64_t defaultCostLimit = 8 * 1024 * 1024;

    explicit CueArtworkCache(int countLimit = defaultCountLimit,
                             std::int64_t costLimit = defaultCostLimit);

    std::optional<QImage> image(const std::filesystem::path& url);
    // Cost: bytes per line × height. An image larger than the whole budget is not kept.
    void insert(const std::filesystem::path& url, const QImage& image);

    int count() const;
    std::int64_t totalCost() const;

    static std::int64_t cost(const QImage& image);

private:
    struct Entry {
        QString key;
        QImage image;
        std::int64_t cost = 0;
    };
    void evictBeyondLimits();

    const int m_countLimit;
    const std::int64_t m_costLimit;
    mutable std::mutex m_mutex;  // guards everything below
    std::list<Entry> m_entries;  // most recently used first
    std::unordered_map<QString, std::list<Entry>::iterator> m_index;
    std::int64_t m_totalCost = 0;
};

// The card images' decoding threads and their thumbnails: made once by the
// application (or a test) and outliving every card that uses them.
class CueArtworkWorkers {
public:
    CueArtworkWorkers();
    // Waits for the decodes in flight, which insert into the cache.
    ~CueArtworkWorkers() { m_pool.waitForDone(); }

    QThreadPool& pool() { return m_pool; }
    CueArtworkCache& cache() { return m_cache; }

private:
    CueArtworkCache m_cache;
    QThreadPool m_pool;
};

}  // namespace tavrel
