#include "cue_start_harness.h"

#include <malloc.h>
#include <pthread.h>
#include <pulse/pulseaudio.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>

extern char** environ;

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

NullSinkServer::NullSinkServer(const std::filesystem::path& runtime, const std::string& kind)
    : m_runtime(runtime) {
    const std::string command = std::string("sh ") + TAVREL_NULL_SINK_SCRIPT + " start " +
                                runtime.string() + " tavrel_bench " + kind + " 2>/dev/null";
    m_started = std::system(command.c_str()) == 0;
}

NullSinkServer::~NullSinkServer() {
    if (m_started) {
        const std::string command =
            std::string("sh ") + TAVREL_NULL_SINK_SCRIPT + " stop " + m_runtime.string();
        std::system(command.c_str());
    }
}

namespace {

std::int64_t nanosecondsOf(Clock::time_point time) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

}  // namespace

SinkMonitor::SinkMonitor(const std::string& sink) : m_sink(sink) {
    m_mainloop = pa_threaded_mainloop_new();
    pa_threaded_mainloop_start(m_mainloop);
    pa_threaded_mainloop_lock(m_mainloop);
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), "Tavrel bench monitor");
    pa_context_set_state_callback(
        m_context,
        [](pa_context* context, void* userdata) {
            auto& self = *static_cast<SinkMonitor*>(userdata);
            if (pa_context_get_state(context) != PA_CONTEXT_READY)
                return;
            const pa_sample_spec sampleSpec{PA_SAMPLE_FLOAT32LE, 48000, 2};
            self.m_stream = pa_stream_new(context, "monitor", &sampleSpec, nullptr);
            pa_stream_set_read_callback(
                self.m_stream,
                [](pa_stream*, std::size_t, void* data) {
                    static_cast<SinkMonitor*>(data)->read();
                },
                &self);
            pa_buffer_attr attributes{};
            attributes.maxlength = static_cast<std::uint32_t>(-1);
            attributes.fragsize = 48 * 8;  // 1 ms
            const std::string source = self.m_sink + ".monitor";
            pa_stream_connect_record(self.m_stream, source.c_str(), &attributes,
                                     PA_STREAM_ADJUST_LATENCY);
        },
        this);
    pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    pa_threaded_mainloop_unlock(m_mainloop);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!m_running.load() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

SinkMonitor::~SinkMonitor() {
    pa_threaded_mainloop_lock(m_mainloop);
    if (m_stream) {
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
    }
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    pa_threaded_mainloop_unlock(m_mainloop);
    pa_threaded_mainloop_stop(m_mainloop);
    pa_threaded_mainloop_free(m_mainloop);
}

void SinkMonitor::read() {
    // Stamps are taken at arrival: a reader the scheduler keeps waiting would
    // add its wait to every figure.
    static thread_local bool realtime = [] {
        sched_param parameters{};
        parameters.sched_priority = 5;
        return pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameters) == 0;
    }();
    (void)realtime;
    const void* data = nullptr;
    std::size_t bytes = 0;
    while (pa_stream_readable_size(m_stream) > 0 && pa_stream_peek(m_stream, &data, &bytes) == 0) {
        const auto now = Clock::now();
        m_running.store(true);
        if (data) {
            const auto* samples = static_cast<const float*>(data);
            const std::size_t frames = bytes / 8;
            for (std::size_t i = 0; i < frames; ++i) {
                if (std::abs(samples[i * 2]) < 0.05f)
                    continue;
                // The fragment arrives once its last frame has played.
                const auto played =
                    now - std::chrono::nanoseconds((frames - i) * 1'000'000'000LL / 48000);
                m_lastLoudNanoseconds.store(nanosecondsOf(now));
                std::int64_t unarmed = 0;
                m_onsetNanoseconds.compare_exchange_strong(unarmed, nanosecondsOf(played));
                break;
            }
        }
        pa_stream_drop(m_stream);
    }
}

std::optional<Clock::time_point> SinkMonitor::onset(std::chrono::milliseconds bound) const {
    const auto deadline = Clock::now() + bound;
    while (m_onsetNanoseconds.load() <= 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    const auto onset = m_onsetNanoseconds.load();
    if (onset <= 0)
        return std::nullopt;
    return Clock::time_point(std::chrono::nanoseconds(onset));
}

void SinkMonitor::waitForSilence(std::chrono::milliseconds quiet) const {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() -
                   Clock::time_point(std::chrono::nanoseconds(m_lastLoudNanoseconds.load())) <
               quiet &&
           Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

BusyLoad::BusyLoad() {
    for (auto& pid : m_pids) {
        const char* argv[] = {"sh", "-c", "while :; do :; done", nullptr};
        pid_t child = -1;
        posix_spawnp(&child, "sh", nullptr, nullptr, const_cast<char**>(argv), environ);
        pid = child;
    }
}

BusyLoad::~BusyLoad() {
    for (const int pid : m_pids) {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
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
