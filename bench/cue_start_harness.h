#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "audio/offline_output.h"

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

// A private sound server with a null sink, through tests/audio/null_sink.sh.
class NullSinkServer {
public:
    explicit NullSinkServer(const std::filesystem::path& runtime);
    ~NullSinkServer();
    bool started() const { return m_started; }

private:
    std::filesystem::path m_runtime;
    bool m_started = false;
};

// Resident set size of this process in bytes.
std::size_t residentBytes();
// Heap bytes in use (allocator's count): unlike the resident size, not
// hidden by pages freed earlier and reused.
std::size_t heapBytesInUse();
// CPU time this process used, all threads.
double processCpuSeconds();

}  // namespace tavrel::bench
