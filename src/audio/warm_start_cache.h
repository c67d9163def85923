#pragma once

#include <cstddef>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "audio/audio_decoder.h"

namespace tavrel {

// An open decoder already positioned at a cue's start, with its first frames decoded.
struct WarmStart {
    std::filesystem::path url;
    double startSeconds = 0.0;
    double durationSeconds = 0.0;
    std::unique_ptr<AudioDecoder> decoder;  // positioned right after `frames`
    std::vector<float> frames;              // interleaved stereo from startSeconds
};

// Warm starts by (file, start offset). Filled on the decoder thread, taken on
// the main thread; the oldest entries go beyond the capacity.
class WarmStartCache {
public:
    explicit WarmStartCache(std::size_t capacity);

    // False when the key is already warm or being warmed; else it is marked pending.
    bool reserve(const std::filesystem::path& url, double startSeconds);
    // Ends the reservation made for requestedSeconds, with the entry (keyed by
    // the start it was clamped to) or without it (the file did not open).
    void put(WarmStart start, double requestedSeconds);
    void abandon(const std::filesystem::path& url, double startSeconds);

    // The duration of any warm start of the file.
    std::optional<double> durationOf(const std::filesystem::path& url) const;
    std::optional<WarmStart> take(const std::filesystem::path& url, double startSeconds);
    void clear();
    std::size_t size() const;

private:
    using Key = std::pair<std::filesystem::path, double>;

    mutable std::mutex m_mutex;
    std::size_t m_capacity = 0;
    std::list<WarmStart> m_entries;  // oldest first
    std::set<Key> m_pending;
};

}  // namespace tavrel
