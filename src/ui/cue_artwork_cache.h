#pragma once

#include <QImage>
#include <QString>

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

    // The one cache of the process; never released, so thumbnails outlive every card.
    static CueArtworkCache& shared();

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

}  // namespace tavrel
