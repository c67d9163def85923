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
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/audio_file_error.h"

namespace tavrel {

// What the cache finds everything by: the file however its path was spelled,
// and a start offset made finite and non-negative. Entries, reservations and
// failures all go through it, so no lookup can disagree with another about
// what counts as the same file.
class WarmKey {
public:
    explicit WarmKey(const std::filesystem::path& url, double startSeconds = 0.0);
    const std::filesystem::path& file() const { return m_file; }
    double offset() const { return m_offset; }
    bool operator==(const WarmKey& other) const {
        return m_file == other.m_file && m_offset == other.m_offset;
    }
    bool operator<(const WarmKey& other) const {
        return m_file != other.m_file ? m_file < other.m_file : m_offset < other.m_offset;
    }

private:
    std::filesystem::path m_file;
    double m_offset = 0.0;
};

// An open decoder already positioned at a cue's start, with its first frames decoded.
struct WarmStart {
    WarmKey key{{}};            // the file and the start offset it was warmed for
    double startSeconds = 0.0;  // that offset as the controller clamps it
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

    // Every method may be called from any thread; each takes m_mutex itself.

    // False when the key is warm, being warmed, or its file failed and is
    // unchanged since; else it is marked pending.
    bool reserve(const WarmKey& key);
    // Ends the reservation made for start.key with the entry.
    void put(WarmStart start);
    // Ends the reservation without an entry; the file is remembered as failed.
    void fail(const WarmKey& key, const AudioFileError& error);
    // Remembers a failure found elsewhere (a cold open). Only the key's file counts.
    void noteFailure(const WarmKey& key, const AudioFileError& error);
    // A cold open of the key's file succeeded.
    void noteSuccess(const WarmKey& key);
    // How the key's file failed, when it has not changed since.
    std::optional<AudioFileError> knownFailure(const WarmKey& key) const;
    void forgetFailures();

    // The duration of any warm start of the key's file.
    std::optional<double> durationOf(const WarmKey& key) const;
    // The entry whose clamped start is the key's offset: what the player seeks to.
    std::optional<WarmStart> take(const WarmKey& key);
    void clear();
    std::size_t size() const;

private:
    struct Stamp {
        std::uintmax_t size = 0;
        std::int64_t modifiedNanoseconds = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct Failure {
        std::optional<Stamp> stamp;  // none: the file was not there
        AudioFileError error;
    };
    static std::optional<Stamp> stampOf(const std::filesystem::path& file);
    // Caller holds m_mutex.
    bool failedUnchanged(const std::filesystem::path& file) const;

    mutable std::mutex m_mutex;
    std::size_t m_capacity = 0;
    std::list<WarmStart> m_entries;  // oldest first
    std::set<WarmKey> m_pending;
    std::map<std::filesystem::path, Failure> m_failures;  // by WarmKey::file()
};

}  // namespace tavrel
