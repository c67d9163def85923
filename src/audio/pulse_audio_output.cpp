#include "audio/pulse_audio_output.h"

#include <pthread.h>
#include <pulse/pulseaudio.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <string_view>
#include <thread>

namespace tavrel {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t frameBytes = 2 * sizeof(float);
constexpr pa_usec_t tickMicroseconds = 100 * PA_USEC_PER_MSEC;
// A running stream asks for data every few milliseconds; this long without a
// request means the server is gone or hung. Short enough to tell within 1 s.
constexpr auto stalledAfter = 600ms;
// A new stream gets its first fill at once, but a server may take a few hundred
// milliseconds more before it starts to consume: not a stall.
constexpr auto firstConsumptionWithin = 3000ms;
constexpr auto retryInterval = 250ms;
// Nothing sounding and no start this long: the stream rests (corked), so an
// idle show costs no wake-ups.
constexpr auto restAfter = 1000ms;
// A server that accepts the socket but never answers.
constexpr auto connectTimeout = 1000ms;

void release(pa_operation* operation) {
    if (operation)
        pa_operation_unref(operation);
}

PulseAudioOutput& self(void* userdata) {
    return *static_cast<PulseAudioOutput*>(userdata);
}

// Target latency tlength; the server asks again once a quarter of it has been
// played (half on PipeWire, whose graph then runs in larger steps: measured
// under load, quarters left gaps there and halves left gaps on PulseAudio);
// prebuf 0: an underrun never stops the stream, so a late callback costs what
// was missing and nothing more. PipeWire adds a graph cycle to what it is
// asked for and never asks for less than 256 frames, so it is asked for half:
// "stable" then holds 16 ms rather than 30 and sounds 20 ms after the key
// rather than 31 (measured), the same as "low", which it cannot go below.
pa_buffer_attr bufferAttributes(LatencyPreset preset, int sampleRate, bool pipeWire) {
    const int milliseconds = (preset == LatencyPreset::low ? 10 : 20) / (pipeWire ? 2 : 1);
    const auto frames = static_cast<std::uint32_t>(sampleRate * milliseconds / 1000);
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(frames * frameBytes);
    attributes.minreq = static_cast<std::uint32_t>(frames / (pipeWire ? 2 : 4) * frameBytes);
    attributes.prebuf = 0;
    attributes.fragsize = static_cast<std::uint32_t>(-1);
    return attributes;
}

bool failedState(pa_context_state_t state) {
    return state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED;
}

}  // namespace

std::optional<std::vector<OutputDevice>> listOutputDevices(std::chrono::milliseconds timeout) {
    struct Query {
        std::vector<OutputDevice> devices;
        bool done = false;
    } query;
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Tavrel");
    pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    const auto deadline = Clock::now() + timeout;
    bool requested = false;
    while (!query.done && Clock::now() < deadline) {
        const pa_context_state_t state = pa_context_get_state(context);
        if (failedState(state))
            break;
        if (state == PA_CONTEXT_READY && !requested) {
            requested = true;
            release(pa_context_get_sink_info_list(
                context,
                [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
                    auto& q = *static_cast<Query*>(userdata);
                    if (info)
                        q.devices.push_back(
                            {info->name, info->description ? info->description : ""});
                    if (eol)
                        q.done = true;
                },
                &query));
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        pa_mainloop_prepare(loop, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        pa_mainloop_poll(loop);
        pa_mainloop_dispatch(loop);
    }
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_mainloop_free(loop);
    if (!query.done)
        return std::nullopt;
    return std::move(query.devices);
}

PulseAudioOutput::PulseAudioOutput() = default;

std::unique_ptr<PulseAudioOutput> PulseAudioOutput::connect(const OutputChoice& choice,
                                                            std::chrono::milliseconds timeout) {
    std::unique_ptr<PulseAudioOutput> output(new PulseAudioOutput);
    output->m_choice = choice;
    output->m_mainloop = pa_threaded_mainloop_new();
    if (!output->m_mainloop)
        return nullptr;
    pa_threaded_mainloop_set_name(output->m_mainloop, "tavrel-audio");
    if (pa_threaded_mainloop_start(output->m_mainloop) < 0)
        return nullptr;
    pa_threaded_mainloop_lock(output->m_mainloop);
    output->beginConnect();
    pa_threaded_mainloop_unlock(output->m_mainloop);
    // Ready once the output's rate is known: the engine's voices are made for it.
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        pa_threaded_mainloop_lock(output->m_mainloop);
        const bool known = output->m_rateKnown;
        const bool failed =
            !output->m_context || failedState(pa_context_get_state(output->m_context));
        pa_threaded_mainloop_unlock(output->m_mainloop);
        if (known)
            break;
        if (failed || Clock::now() > deadline)
            return nullptr;
        std::this_thread::sleep_for(2ms);
    }
    return output;
}

PulseAudioOutput::~PulseAudioOutput() {
    if (!m_mainloop)
        return;
    pa_threaded_mainloop_lock(m_mainloop);
    if (m_timer)
        pa_threaded_mainloop_get_api(m_mainloop)->time_free(m_timer);
    if (m_sooner)
        pa_threaded_mainloop_get_api(m_mainloop)->defer_free(m_sooner);
    dropConnection();
    if (m_clock)
        pa_context_unref(m_clock);
    pa_threaded_mainloop_unlock(m_mainloop);
    pa_threaded_mainloop_stop(m_mainloop);
    pa_threaded_mainloop_free(m_mainloop);
}

double PulseAudioOutput::latencySeconds() const {
    return m_latencySeconds.load(std::memory_order_relaxed);
}

OutputHealth PulseAudioOutput::health() const {
    return {m_running.load(std::memory_order_acquire),
            m_chosenMissing.load(std::memory_order_acquire)};
}

void PulseAudioOutput::setHealthHandler(std::function<void()> handler) {  // main thread
    pa_threaded_mainloop_lock(m_mainloop);
    m_healthHandler = std::move(handler);
    pa_threaded_mainloop_unlock(m_mainloop);
}

void PulseAudioOutput::start(AudioRenderer& renderer) {  // main thread
    pa_threaded_mainloop_lock(m_mainloop);
    m_renderer = &renderer;
    if (m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY && !m_stream)
        openStream();
    // Monotonic time events are made through a context; this one never connects.
    m_clock = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), "Tavrel clock");
    m_timer = pa_context_rttime_new(
        m_clock, pa_rtclock_now() + tickMicroseconds,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* userdata) {
            self(userdata).tick();
        },
        this);
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_mainloop);
    m_sooner = api->defer_new(
        api,
        [](pa_mainloop_api*, pa_defer_event*, void* userdata) { self(userdata).startSooner(); },
        this);
    api->defer_enable(m_sooner, 0);
    pa_threaded_mainloop_unlock(m_mainloop);
    // The stream is opened at start-up so that a cue never waits for it.
    const auto deadline = Clock::now() + connectTimeout;
    while (!m_running.load(std::memory_order_acquire) && Clock::now() < deadline)
        std::this_thread::sleep_for(2ms);
}

bool PulseAudioOutput::ensureRunning() {  // main thread
    pa_threaded_mainloop_lock(m_mainloop);
    m_lastStart = Clock::now();
    // Uncorked only: its buffer still holds the silence it had, so the server
    // neither underruns nor drops the start's first samples (a flush did both).
    if (m_corked && m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY) {
        m_corked = false;
        m_lastProgress = m_lastStart;
        m_seenWrites = m_writes;
        m_quietSince = m_lastStart;
        release(pa_stream_cork(m_stream, 0, nullptr, nullptr));
    }
    pa_threaded_mainloop_unlock(m_mainloop);
    return health().running;
}

void PulseAudioOutput::voiceStarted() {  // main thread
    pa_threaded_mainloop_lock(m_mainloop);
    if (m_sooner)
        pa_threaded_mainloop_get_api(m_mainloop)->defer_enable(m_sooner, 1);
    pa_threaded_mainloop_unlock(m_mainloop);
}

void PulseAudioOutput::choose(const OutputChoice& choice) {  // main thread
    pa_threaded_mainloop_lock(m_mainloop);
    const OutputChoice old = m_choice;
    m_choice = choice;
    if (m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY) {
        if (choice.preset != old.preset) {
            // Not every server applies new buffer sizes to a running stream.
            dropStream();
            openStream();
        }
        if (choice.device != old.device)
            checkChosenSink();
    }
    pa_threaded_mainloop_unlock(m_mainloop);
}

void PulseAudioOutput::beginConnect() {
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), "Tavrel");
    m_connectStarted = Clock::now();
    if (!m_context)
        return;
    pa_context_set_state_callback(
        m_context, [](pa_context*, void* userdata) { self(userdata).contextChanged(); }, this);
    pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
}

void PulseAudioOutput::dropConnection() {
    dropStream();
    if (!m_context)
        return;
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    m_context = nullptr;
}

void PulseAudioOutput::contextChanged() {
    const pa_context_state_t state = pa_context_get_state(m_context);
    if (failedState(state)) {
        // Torn down at the next tick, outside libpulse's own callback.
        setHealth(false, m_chosenMissing.load());
        return;
    }
    if (state != PA_CONTEXT_READY)
        return;
    pa_context_set_subscribe_callback(
        m_context,
        [](pa_context*, pa_subscription_event_type_t type, std::uint32_t, void* userdata) {
            const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
            if (kind == PA_SUBSCRIPTION_EVENT_NEW || kind == PA_SUBSCRIPTION_EVENT_REMOVE)
                self(userdata).sinkEvent();
        },
        this);
    release(pa_context_subscribe(m_context, PA_SUBSCRIPTION_MASK_SINK, nullptr, nullptr));
    release(pa_context_get_server_info(
        m_context,
        [](pa_context*, const pa_server_info* info, void* userdata) {
            auto& output = self(userdata);
            output.m_pipeWire =
                info && info->server_name &&
                std::string_view(info->server_name).find("PipeWire") != std::string_view::npos;
            output.checkChosenSink();
        },
        this));
}

void PulseAudioOutput::sinkEvent() {
    if (!m_choice.device.empty())
        checkChosenSink();
}

// Looks the chosen output (or, for the default, the server's default output)
// up; chosenSinkSeen opens or moves the stream from what it finds.
void PulseAudioOutput::checkChosenSink() {
    if (m_choice.device.empty()) {
        release(pa_context_get_server_info(
            m_context,
            [](pa_context*, const pa_server_info* info, void* userdata) {
                self(userdata).defaultSinkNamed(info ? info->default_sink_name : nullptr);
            },
            this));
        return;
    }
    m_sinkFound = false;
    release(pa_context_get_sink_info_by_name(
        m_context, m_choice.device.c_str(),
        [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
            auto& output = self(userdata);
            if (info) {
                output.m_sinkFound = true;
                output.m_sinkRate = static_cast<int>(info->sample_spec.rate);
            }
            if (eol)
                output.chosenSinkSeen(output.m_sinkFound);
        },
        this));
}

void PulseAudioOutput::defaultSinkNamed(const char* name) {
    if (!name || !*name) {
        chosenSinkSeen(false);
        return;
    }
    m_sinkFound = false;
    release(pa_context_get_sink_info_by_name(
        m_context, name,
        [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
            auto& output = self(userdata);
            if (info) {
                output.m_sinkFound = true;
                output.m_sinkRate = static_cast<int>(info->sample_spec.rate);
                if (output.m_stream)
                    output.moveStreamTo(info->name);
            }
            if (eol)
                output.chosenSinkSeen(output.m_sinkFound);
        },
        this));
}

void PulseAudioOutput::chosenSinkSeen(bool exists) {
    if (!m_rateKnown) {
        if (exists && m_sinkRate > 0)
            m_sampleRate = m_sinkRate;
        m_rateKnown = true;
    }
    const bool named = !m_choice.device.empty();
    setHealth(m_running.load(), named && !exists);
    if (!m_stream) {
        if (m_renderer)
            openStream();
    } else if (named && exists) {
        moveStreamTo(m_choice.device);
    } else if (named) {
        moveToDefault();
    }
}

// The server keeps a stream whose output went away on the default one; this
// also leaves an output that is no longer chosen.
void PulseAudioOutput::moveToDefault() {
    release(pa_context_get_server_info(
        m_context,
        [](pa_context*, const pa_server_info* info, void* userdata) {
            auto& output = self(userdata);
            if (info && info->default_sink_name && output.m_stream)
                output.moveStreamTo(info->default_sink_name);
        },
        this));
}

void PulseAudioOutput::moveStreamTo(const std::string& sink) {
    const char* current = pa_stream_get_device_name(m_stream);
    if (current && sink == current)
        return;
    release(pa_context_move_sink_input_by_name(m_context, pa_stream_get_index(m_stream),
                                               sink.c_str(), nullptr, nullptr));
}

void PulseAudioOutput::openStream() {
    const pa_sample_spec sampleSpec{PA_SAMPLE_FLOAT32LE, static_cast<std::uint32_t>(m_sampleRate),
                                    2};
    m_stream = pa_stream_new(m_context, "Tavrel", &sampleSpec, nullptr);
    if (!m_stream)
        return;
    m_streamOpened = Clock::now();
    pa_stream_set_state_callback(
        m_stream, [](pa_stream*, void* userdata) { self(userdata).streamChanged(); }, this);
    pa_stream_set_write_callback(
        m_stream,
        [](pa_stream*, std::size_t bytes, void* userdata) { self(userdata).writeRequested(bytes); },
        this);
    pa_stream_set_underflow_callback(
        m_stream, [](pa_stream*, void* userdata) { self(userdata).underflowed(); }, this);
    const pa_buffer_attr attributes = bufferAttributes(m_choice.preset, m_sampleRate, m_pipeWire);
    const bool toChosen = !m_choice.device.empty() && !m_chosenMissing.load();
    pa_stream_connect_playback(m_stream, toChosen ? m_choice.device.c_str() : nullptr, &attributes,
                               PA_STREAM_ADJUST_LATENCY, nullptr, nullptr);
}

void PulseAudioOutput::dropStream() {
    m_corked = false;
    m_silentBytes = 0;
    if (!m_stream)
        return;
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    pa_stream_set_underflow_callback(m_stream, nullptr, nullptr);
    if (pa_stream_get_state(m_stream) == PA_STREAM_READY)
        pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
}

void PulseAudioOutput::noteBuffer(const pa_buffer_attr& attributes) {
    m_bufferFrames.store(static_cast<int>(attributes.minreq / frameBytes),
                         std::memory_order_relaxed);
    m_latencySeconds.store(double(attributes.tlength / frameBytes) / m_sampleRate,
                           std::memory_order_relaxed);
}

void PulseAudioOutput::streamChanged() {
    switch (pa_stream_get_state(m_stream)) {
        case PA_STREAM_READY:
            if (const pa_buffer_attr* actual = pa_stream_get_buffer_attr(m_stream))
                noteBuffer(*actual);
            m_seenWrites = m_writes;
            m_writesAtReady = m_writes;
            m_lastProgress = Clock::now();
            m_quietSince = m_lastProgress;
            setHealth(true, m_chosenMissing.load());
            // A session manager may have placed it elsewhere (a remembered output).
            checkChosenSink();
            break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            // Reopened at a tick, outside libpulse's own callback.
            setHealth(false, m_chosenMissing.load());
            break;
        default:
            break;
    }
}

void PulseAudioOutput::writeRequested(std::size_t bytes) {  // realtime
    if (!m_triedRealtime)
        becomeRealtime();
    while (bytes >= frameBytes) {
        const std::size_t written = writeRendered(bytes, false);
        if (written == 0)
            break;
        bytes -= std::min(written, bytes);
    }
    ++m_writes;
}

// Up to `bytes` of whole frames into the server's buffer; how many were written.
std::size_t PulseAudioOutput::writeRendered(std::size_t bytes, bool fromReadIndex) {  // realtime
    void* data = nullptr;
    std::size_t size = bytes;
    if (pa_stream_begin_write(m_stream, &data, &size) < 0 || !data)
        return 0;
    size -= size % frameBytes;
    if (size == 0) {
        pa_stream_cancel_write(m_stream);
        return 0;
    }
    auto* samples = static_cast<float*>(data);
    m_renderer->render(samples, size / frameBytes);
    const bool silent =
        std::all_of(samples, samples + size / sizeof(float), [](float s) { return s == 0.0f; });
    m_silentBytes = silent ? m_silentBytes + size : 0;
    pa_stream_write(m_stream, data, size, nullptr, 0,
                    fromReadIndex ? PA_SEEK_RELATIVE_ON_READ : PA_SEEK_RELATIVE);
    return size;
}

// The server plays what it holds (up to a buffer) before anything written
// now. When all of that is silence, the new voice is written over it from the
// server's read index, and a cue from silence is heard within a graph cycle
// instead of a buffer (key to sink, median: 4 ms instead of 20 on PipeWire).
// Twice the buffer: a server that rewinds its output replays some of what
// lies before the read index.
void PulseAudioOutput::startSooner() {  // realtime
    pa_threaded_mainloop_get_api(m_mainloop)->defer_enable(m_sooner, 0);
    if (!m_stream || !m_renderer || pa_stream_get_state(m_stream) != PA_STREAM_READY)
        return;
    const pa_buffer_attr* attributes = pa_stream_get_buffer_attr(m_stream);
    if (attributes && m_silentBytes >= 2 * std::size_t{attributes->tlength})
        writeRendered(attributes->tlength, true);
}

// Directly where the process may (a realtime rlimit or the capability);
// otherwise the thread keeps normal scheduling.
void PulseAudioOutput::becomeRealtime() {
    m_triedRealtime = true;
    rlimit limit{};
    int priority = 10;
    if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur > 0 &&
        limit.rlim_cur != RLIM_INFINITY)
        priority = std::min<int>(priority, static_cast<int>(limit.rlim_cur));
    sched_param parameters{};
    parameters.sched_priority = priority;
    m_realtime.store(
        pthread_setschedparam(pthread_self(), SCHED_FIFO | SCHED_RESET_ON_FORK, &parameters) == 0,
        std::memory_order_relaxed);
}

void PulseAudioOutput::tick() {
    const auto now = Clock::now();
    const pa_context_state_t state =
        m_context ? pa_context_get_state(m_context) : PA_CONTEXT_FAILED;
    if (failedState(state)) {
        setHealth(false, m_chosenMissing.load());
        if (now >= m_nextAttempt) {
            dropConnection();
            beginConnect();
            m_nextAttempt = now + retryInterval;
        }
    } else if (state != PA_CONTEXT_READY) {
        if (now - m_connectStarted > connectTimeout) {
            dropConnection();
            m_nextAttempt = now;
        }
    } else if (m_stream) {
        const pa_stream_state_t streamState = pa_stream_get_state(m_stream);
        if (streamState == PA_STREAM_FAILED || streamState == PA_STREAM_TERMINATED ||
            (streamState == PA_STREAM_CREATING && now - m_streamOpened > connectTimeout)) {
            setHealth(false, m_chosenMissing.load());
            if (now >= m_nextAttempt) {
                dropStream();
                checkChosenSink();  // reopens, on the default output if the chosen one is gone
                m_nextAttempt = now + retryInterval;
            }
        } else if (streamState == PA_STREAM_READY) {
            restWhenQuiet(now);
            if (!m_corked)
                watchProgress(now);
        }
    }
    pa_context_rttime_restart(m_clock, m_timer, pa_rtclock_now() + tickMicroseconds);
}

void PulseAudioOutput::watchProgress(Clock::time_point now) {
    // A request left partly unanswered is never repeated by the server:
    // whatever it still wants is written here, so the stream cannot starve.
    const std::size_t writable = pa_stream_writable_size(m_stream);
    if (writable != static_cast<std::size_t>(-1) && writable >= frameBytes)
        writeRequested(writable);
    if (m_writes != m_seenWrites) {
        m_seenWrites = m_writes;
        m_lastProgress = now;
    } else if (now - m_lastProgress >
               (m_writes > m_writesAtReady + 1 ? stalledAfter : firstConsumptionWithin)) {
        setHealth(false, m_chosenMissing.load());
        dropConnection();
        m_nextAttempt = now;
    }
}

// Corked after the last voice has been silent for a while, so what the
// server still holds is silence; a lost server still shows in the context.
void PulseAudioOutput::restWhenQuiet(Clock::time_point now) {
    if (m_corked || !m_renderer)
        return;
    if (m_renderer->sounding())
        m_quietSince = now;
    if (now - m_quietSince < restAfter || now - m_lastStart < restAfter)
        return;
    m_corked = true;
    release(pa_stream_cork(m_stream, 1, nullptr, nullptr));
}

void PulseAudioOutput::setHealth(bool running, bool chosenMissing) {
    const bool wasRunning = m_running.exchange(running, std::memory_order_acq_rel);
    const bool wasMissing = m_chosenMissing.exchange(chosenMissing, std::memory_order_acq_rel);
    if ((wasRunning != running || wasMissing != chosenMissing) && m_healthHandler)
        m_healthHandler();
}

}  // namespace tavrel
