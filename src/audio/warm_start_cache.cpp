#include "audio/warm_start_cache.h"

#include <algorithm>
#include <cmath>

#include <sys/stat.h>

#include "playback/audio_playback_controller.h"

namespace tavrel {

WarmStartCache::WarmStartCache(std::size_t capacity) : m_capacity(capacity) {}

std::filesystem::path WarmStartCache::keyOf(const std::filesystem::path& url) {
    return url.lexically_normal();
}

double WarmStartCache::offsetOf(double startSeconds) {
    return std::isfinite(startSeconds) ? std::max(startSeconds, 0.0) : 0.0;
}

std::optional<WarmStartCache::Stamp> WarmStartCache::stampOf(const std::filesystem::path& key) {
    struct stat status = {};
    if (::stat(key.c_str(), &status) != 0)
        return std::nullopt;
    return Stamp{
        static_cast<std::uintmax_t>(status.st_size),
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

bool WarmStartCache::failedUnchanged(const std::filesystem::path& key) const {
    const auto found = m_failures.find(key);
    return found != m_failures.end() && found->second.stamp == stampOf(key);
}

bool WarmStartCache::reserve(const std::filesystem::path& url, double startSeconds) {
    const auto key = keyOf(url);
    const double offset = offsetOf(startSeconds);
    std::lock_guard lock(m_mutex);
    // An offset past the end is the same start as the end itself.
    const bool warm = std::any_of(m_entries.begin(), m_entries.end(), [&](const auto& entry) {
        return entry.url == key && (entry.requestedSeconds == offset ||
                                    entry.startSeconds == AudioPlaybackController::clampedStart(
                                                              offset, entry.durationSeconds));
    });
    if (warm || failedUnchanged(key))
        return false;
    return m_pending.emplace(key, offset).second;
}

void WarmStartCache::put(WarmStart start) {
    std::list<WarmStart> evicted;  // destroyed outside the lock
    std::lock_guard lock(m_mutex);
    m_pending.erase({start.url, start.requestedSeconds});
    m_failures.erase(start.url);
    std::erase_if(m_entries, [&](const auto& entry) {
        return entry.url == start.url && entry.startSeconds == start.startSeconds;
    });
    m_entries.push_back(std::move(start));
    while (m_entries.size() > m_capacity)
        evicted.splice(evicted.end(), m_entries, m_entries.begin());
}

void WarmStartCache::fail(const std::filesystem::path& url, double startSeconds,
                          const AudioFileError& error) {
    const auto key = keyOf(url);
    auto stamp = stampOf(key);
    std::lock_guard lock(m_mutex);
    m_pending.erase({key, offsetOf(startSeconds)});
    m_failures.insert_or_assign(key, Failure{stamp, error});
}

void WarmStartCache::noteFailure(const std::filesystem::path& url, const AudioFileError& error) {
    const auto key = keyOf(url);
    auto stamp = stampOf(key);
    std::lock_guard lock(m_mutex);
    m_failures.insert_or_assign(key, Failure{stamp, error});
}

std::optional<AudioFileError> WarmStartCache::knownFailure(const std::filesystem::path& url) const {
    const auto key = keyOf(url);
    std::lock_guard lock(m_mutex);
    if (!failedUnchanged(key))
        return std::nullopt;
    return m_failures.at(key).error;
}

void WarmStartCache::noteSuccess(const std::filesystem::path& url) {
    const auto key = keyOf(url);
    std::lock_guard lock(m_mutex);
    m_failures.erase(key);
}

void WarmStartCache::forgetFailures() {
    std::lock_guard lock(m_mutex);
    m_failures.clear();
}

std::optional<double> WarmStartCache::durationOf(const std::filesystem::path& url) const {
    const auto key = keyOf(url);
    std::lock_guard lock(m_mutex);
    for (const auto& entry : m_entries) {
        if (entry.url == key)
            return entry.durationSeconds;
    }
    return std::nullopt;
}

std::optional<WarmStart> WarmStartCache::take(const std::filesystem::path& url,
                                              double startSeconds) {
    const auto key = keyOf(url);
    std::lock_guard lock(m_mutex);
    const auto found = std::find_if(m_entries.begin(), m_entries.end(), [&](const auto& entry) {
        return entry.url == key && entry.startSeconds == startSeconds;
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
