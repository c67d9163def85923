#include "audio/warm_start_cache.h"

#include <algorithm>
#include <cmath>

#include <sys/stat.h>

#include "playback/clamped_start.h"

namespace tavrel {

WarmKey::WarmKey(const std::filesystem::path& url, double startSeconds)
    : m_file(url.lexically_normal()),
      m_offset(std::isfinite(startSeconds) ? std::max(startSeconds, 0.0) : 0.0) {}

WarmStartCache::WarmStartCache(std::size_t capacity) : m_capacity(capacity) {}

std::optional<WarmStartCache::Stamp> WarmStartCache::stampOf(const std::filesystem::path& file) {
    struct stat status = {};
    if (::stat(file.c_str(), &status) != 0)
        return std::nullopt;
    return Stamp{
        static_cast<std::uintmax_t>(status.st_size),
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

bool WarmStartCache::failedUnchanged(const std::filesystem::path& file) const {
    const auto found = m_failures.find(file);
    return found != m_failures.end() && found->second.stamp == stampOf(file);
}

bool WarmStartCache::reserve(const WarmKey& key) {
    std::lock_guard lock(m_mutex);
    // An offset past the end is the same start as the end itself.
    const bool warm = std::any_of(m_entries.begin(), m_entries.end(), [&](const auto& entry) {
        return entry.key.file() == key.file() &&
               (entry.key.offset() == key.offset() ||
                entry.startSeconds == clampedStart(key.offset(), entry.durationSeconds));
    });
    if (warm || failedUnchanged(key.file()))
        return false;
    return m_pending.insert(key).second;
}

void WarmStartCache::put(WarmStart start) {
    std::list<WarmStart> evicted;  // destroyed outside the lock
    std::lock_guard lock(m_mutex);
    m_pending.erase(start.key);
    m_failures.erase(start.key.file());
    std::erase_if(m_entries, [&](const auto& entry) {
        return entry.key.file() == start.key.file() && entry.startSeconds == start.startSeconds;
    });
    m_entries.push_back(std::move(start));
    while (m_entries.size() > m_capacity)
        evicted.splice(evicted.end(), m_entries, m_entries.begin());
}

void WarmStartCache::fail(const WarmKey& key, const AudioFileError& error) {
    auto stamp = stampOf(key.file());
    std::lock_guard lock(m_mutex);
    m_pending.erase(key);
    m_failures.insert_or_assign(key.file(), Failure{stamp, error});
}

void WarmStartCache::noteFailure(const WarmKey& key, const AudioFileError& error) {
    auto stamp = stampOf(key.file());
    std::lock_guard lock(m_mutex);
    m_failures.insert_or_assign(key.file(), Failure{stamp, error});
}

std::optional<AudioFileError> WarmStartCache::knownFailure(const WarmKey& key) const {
    std::lock_guard lock(m_mutex);
    if (!failedUnchanged(key.file()))
        return std::nullopt;
    return m_failures.at(key.file()).error;
}

void WarmStartCache::noteSuccess(const WarmKey& key) {
    std::lock_guard lock(m_mutex);
    m_failures.erase(key.file());
}

void WarmStartCache::forgetFailures() {
    std::lock_guard lock(m_mutex);
    m_failures.clear();
}

std::optional<double> WarmStartCache::durationOf(const WarmKey& key) const {
    std::lock_guard lock(m_mutex);
    for (const auto& entry : m_entries) {
        if (entry.key.file() == key.file())
            return entry.durationSeconds;
    }
    return std::nullopt;
}

std::optional<WarmStart> WarmStartCache::take(const WarmKey& key) {
    std::lock_guard lock(m_mutex);
    const auto found = std::find_if(m_entries.begin(), m_entries.end(), [&](const auto& entry) {
        return entry.key.file() == key.file() && entry.startSeconds == key.offset();
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
