#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>

#include "audio/warming_thread.h"
#include "base/main_loop.h"
#include "playback/audio_overview.h"

namespace tavrel {

// The file's format and duration, without decoding. Throws AudioFileError.
AudioOverview readAudioFormat(const std::filesystem::path& url);
// Decodes the whole file into `peakCount` peaks (fewer for a very short
// file); stops early, with what it has, once `cancelled` says so. Throws
// AudioFileError when the file does not open.
std::vector<float> readAudioPeaks(const std::filesystem::path& url, int sampleRate,
                                  std::size_t peakCount, const std::function<bool()>& cancelled);

// Reads overviews one after another on its own low-priority thread, never
// the feeder's or the warm-ups'.
class AudioOverviewThread {
public:
    using Deliver = std::function<void(const AudioOverview&)>;

    // `mainLoop` must outlive this.
    explicit AudioOverviewThread(MainLoop& mainLoop);
    // Abandons the read under way.
    ~AudioOverviewThread();
    AudioOverviewThread(const AudioOverviewThread&) = delete;
    AudioOverviewThread& operator=(const AudioOverviewThread&) = delete;

    // `deliver` runs on the main thread: first with the format, then again
    // with the peaks as well; once, with no format, for a file that does not open. Dropping
    // the returned handle cancels the read and any delivery not yet made.
    // main thread
    std::shared_ptr<void> request(const std::filesystem::path& url, std::size_t peakCount,
                                  Deliver deliver);

private:
    struct Request;
    void read(const std::filesystem::path& url, std::size_t peakCount,
              const std::weak_ptr<Request>& request);
    void post(const std::weak_ptr<Request>& request, AudioOverview overview);

    MainLoop& m_mainLoop;
    std::atomic<bool> m_stopping{false};
    WarmingThread m_worker;  // last: stops first
};

}  // namespace tavrel
