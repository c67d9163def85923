#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/offline_output.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace tavrel::bench {

using Clock = std::chrono::steady_clock;

double milliseconds(Clock::duration duration);

// Median and 99th percentile of a set of samples (milliseconds).
struct Spread {
    double p50 = 0.0;
    double p99 = 0.0;
};
Spread spreadOf(std::vector<double> samples);

// Pulls an OfflineOutput at the pace a device would, on its own thread.
class OfflinePump {
public:
    explicit OfflinePump(OfflineOutput& output);
    ~OfflinePump();

private:
    OfflineOutput& m_output;
    std::atomic<bool> m_running{true};
    std::thread m_thread;
};

// A private sound server ("pulseaudio" or "pipewire") with a null sink named
// tavrel_bench, through tests/audio/null_sink.sh.
class NullSinkServer {
public:
    explicit NullSinkServer(const std::filesystem::path& runtime,
                            const std::string& kind = "pulseaudio");
    ~NullSinkServer();
    bool started() const { return m_started; }

private:
    std::filesystem::path m_runtime;
    bool m_started = false;
};

// Listens to a sink's monitor in this process with 1 ms fragments and stamps
// the moment the first sample above a threshold was played at the server.
class SinkMonitor {
public:
    explicit SinkMonitor(const std::string& sink);
    ~SinkMonitor();
    bool running() const { return m_running.load(); }
    // Forgets the last onset; the next loud sample is stamped.
    void arm() { m_onsetNanoseconds.store(0); }
    // When the first loud sample after arm() played; waits up to `bound`.
    std::optional<Clock::time_point> onset(std::chrono::milliseconds bound) const;
    // Waits until the sink has been silent for `quiet`.
    void waitForSilence(std::chrono::milliseconds quiet) const;

    void read();  // libpulse's thread

private:
    pa_threaded_mainloop* m_mainloop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    std::string m_sink;
    std::atomic<bool> m_running{false};
    std::atomic<std::int64_t> m_onsetNanoseconds{-1};  // -1: not armed
    std::atomic<std::int64_t> m_lastLoudNanoseconds{0};
};

// Four processes that never sleep, for as long as it lives.
class BusyLoad {
public:
    BusyLoad();
    ~BusyLoad();

private:
    int m_pids[4] = {};
};

// Resident set size of this process in bytes.
std::size_t residentBytes();
// Heap bytes in use (allocator's count): unlike the resident size, not
// hidden by pages freed earlier and reused.
std::size_t heapBytesInUse();
// CPU time this process used, all threads.
double processCpuSeconds();

}  // namespace tavrel::bench
