#include "cue_start_harness.h"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>

namespace tavrel::bench {

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

Spread spreadOf(std::vector<double> samples) {
    if (samples.empty())
        return {};
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) {
        return samples[std::min(samples.size() - 1, static_cast<std::size_t>(q * samples.size()))];
    };
    return {at(0.5), at(0.99)};
}

OfflinePump::OfflinePump(OfflineOutput& output)
    : m_output(output), m_thread([this] {
          const auto period = std::chrono::nanoseconds(1'000'000'000LL * m_output.bufferFrames() /
                                                       m_output.sampleRate());
          auto next = Clock::now();
          while (m_running.load()) {
              m_output.pull(static_cast<std::size_t>(m_output.bufferFrames()));
              next += period;
              std::this_thread::sleep_until(next);
          }
      }) {}

OfflinePump::~OfflinePump() {
    m_running.store(false);
    m_thread.join();
}

NullSinkServer::NullSinkServer(const std::filesystem::path& runtime) : m_runtime(runtime) {
    const std::string command = std::string("sh ") + TAVREL_NULL_SINK_SCRIPT + " start " +
                                runtime.string() + " tavrel_bench 2>/dev/null";
    m_started = std::system(command.c_str()) == 0;
}

NullSinkServer::~NullSinkServer() {
    if (m_started) {
        const std::string command =
            std::string("sh ") + TAVREL_NULL_SINK_SCRIPT + " stop " + m_runtime.string();
        std::system(command.c_str());
    }
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

std::size_t heapBytesInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

double processCpuSeconds() {
    timespec time{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
    return double(time.tv_sec) + double(time.tv_nsec) * 1e-9;
}

}  // namespace tavrel::bench
