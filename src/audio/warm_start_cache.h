#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/audio_file_error.h"

namespace tavrel {

// An open decoder already positioned at a cue's start, with its first frames decoded.
struct WarmStart {
    std::filesystem::path url;      // as WarmStartCache::keyOf gives it
    double requestedSeconds = 0.0;  // the start offset it was warmed for
    double startSeconds = 0.0;      // that offset as the controller clamps it
    double durationSeconds = 0.0;
    std::unique_ptr<AudioDecoder> decoder;  // positioned right after `frames`
    std::vector<float> frames;              // interleaved stereo from startSeconds
};

// Warm starts by (file, start offset), and the files that failed to open.
// Filled on the warming thread, taken on the main thread; the oldest entries
// go beyond the capacity. A failed file is not tried again until its size or
// modification time changes, or the failures are forgotten. A key press still
// tries a file that only ran out of time, and a success clears its failure: a
// burst of load must not silence a good cue for the rest of the show.
class WarmStartCache {
public:
    explicit WarmStartCache(std::size_t capacity);

    // One key per file however it is spelled, one offset per start.
    static std::filesystem::path keyOf(const std::filesystem::path& url);
    static double offsetOf(double startSeconds);

    // False when the key is warm, being warmed, or failed and unchanged since;
    // else it is marked pending.
    bool reserve(const std::filesystem::path& url, double startSeconds);
    // Ends the reservation made for start.requestedSeconds with the entry.
    void put(WarmStart start);
    // Ends the reservation without an entry; the file is remembered as failed.
    void fail(const std::filesystem::path& url, double startSeconds, const AudioFileError& error);
    // Remembers a failure found elsewhere (a cold open).
    void noteFailure(const std::filesystem::path& url, const AudioFileError& error);
    // A cold open succeeded.
    void noteSuccess(const std::filesystem::path& url);
    // How the file failed, when it has not changed since.
    std::optional<AudioFileError> knownFailure(const std::filesystem::path& url) const;
    void forgetFailures();

    // The duration of any warm start of the file.
    std::optional<double> durationOf(const std::filesystem::path& url) const;
    // By the clamped start the player seeks to.
    std::optional<WarmStart> take(const std::filesystem::path& url, double startSeconds);
    void clear();
    std::size_t size() const;

private:
    using Key = std::pair<std::filesystem::path, double>;
    struct Stamp {
        std::uintmax_t size = 0;
        std::int64_t modifiedNanoseconds = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct Failure {
        std::optional<Stamp> stamp;  // none: the file was not there
        AudioFileError error;
    };
    static std::optional<Stamp> stampOf(const std::filesystem::path& key);
    // Caller holds m_mutex.
    bool failedUnchanged(const std::filesystem::path& key) const;

    mutable std::mutex m_mutex;
    std::size_t m_capacity = 0;
    std::list<WarmStart> m_entries;  // oldest first
    std::set<Key> m_pending;
    std::map<std::filesystem::path, Failure> m_failures;
};

}  // namespace tavrel
