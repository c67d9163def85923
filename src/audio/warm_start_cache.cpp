#include "audio/warm_start_cache.h"

#include <algorithm>

namespace tavrel {

namespace {
bool matches(const WarmStart& start, const std::filesystem::path& url, double startSeconds) {
    return start.url == url && start.startSeconds == startSeconds;
}
}  // namespace

WarmStartCache::WarmStartCache(std::size_t capacity) : m_capacity(capacity) {}

bool WarmStartCache::reserve(const std::filesystem::path& url, double startSeconds) {
    std::lock_guard lock(m_mutex);
    const bool warm = std::any_of(m_entries.begin(), m_entries.end(), [&](const auto& entry) {
        return matches(entry, url, startSeconds);
    });
    if (warm)
        return false;
    return m_pending.emplace(url, startSeconds).second;
}

void WarmStartCache::put(WarmStart start, double requestedSeconds) {
    std::list<WarmStart> evicted;  // destroyed outside the lock
    std::lock_guard lock(m_mutex);
    m_pending.erase({start.url, requestedSeconds});
    std::erase_if(m_entries,
                  [&](const auto& entry) { return matches(entry, start.url, start.startSeconds); });
    m_entries.push_back(std::move(start));
    while (m_entries.size() > m_capacity)
        evicted.splice(evicted.end(), m_entries, m_entries.begin());
}

void WarmStartCache::abandon(const std::filesystem::path& url, double startSeconds) {
    std::lock_guard lock(m_mutex);
    m_pending.erase({url, startSeconds});
}

std::optional<double> WarmStartCache::durationOf(const std::filesystem::path& url) const {
    std::lock_guard lock(m_mutex);
    for (const auto& entry : m_entries) {
        if (entry.url == url)
            return entry.durationSeconds;
    }
    return std::nullopt;
}

std::optional<WarmStart> WarmStartCache::take(const std::filesystem::path& url,
                                              double startSeconds) {
    std::lock_guard lock(m_mutex);
    const auto found = std::find_if(m_entries.begin(), m_entries.end(), [&](const auto& entry) {
        return matches(entry, url, startSeconds);
    });
    if (found == m_entries.end())
        return std::nullopt;
    WarmStart start = std::move(*found);
    m_entries.erase(found);
    return start;
}

void WarmStartCache::clear() {
    std::list<WarmStart> entries;
    std::lock_guard lock(m_mutex);
    entries.swap(m_entries);
}

std::size_t WarmStartCache::size() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

}  // namespace tavrel
