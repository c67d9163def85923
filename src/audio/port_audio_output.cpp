#include "audio/port_audio_output.h"

#include <portaudio.h>

#include <chrono>
#include <cmath>

#include "audio/quiet_stderr.h"

namespace tavrel {

namespace {

// A stream that is "active" but has not called back for this long is dead
// (a sound server gone away). Longer than an idle null sink's start-up stall.
constexpr auto stalledAfter = std::chrono::milliseconds(2500);

int streamCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                   PaStreamCallbackFlags, void* target) {  // realtime
    auto* callback = static_cast<PortAudioOutput::CallbackTarget*>(target);
    callback->renderer->render(static_cast<float*>(output), frames);
    callback->count.fetch_add(1, std::memory_order_relaxed);
    return paContinue;
}

}  // namespace

PortAudioOutput::PortAudioOutput(int bufferFrames) : m_bufferFrames(bufferFrames) {
    silenceAlsaErrors();
    if (!initialize())
        return;
    const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    if (device != paNoDevice) {
        if (const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
            info && info->defaultSampleRate > 0)
            m_sampleRate = static_cast<int>(std::lround(info->defaultSampleRate));
    }
}

PortAudioOutput::~PortAudioOutput() {
    close();
    if (m_initialized)
        Pa_Terminate();
}

void PortAudioOutput::start(AudioRenderer& renderer) {
    m_callback.renderer = &renderer;
    open();
}

bool PortAudioOutput::ensureRunning() {  // main thread
    if (!m_callback.renderer)
        return false;
    if (m_stream && Pa_IsStreamActive(m_stream) == 1 && !stalled())
        return true;
    // Lost or never found: start over, so that a device plugged in since is seen.
    close();
    if (m_initialized) {
        Pa_Terminate();
        m_initialized = false;
    }
    return initialize() && open();
}

bool PortAudioOutput::initialize() {
    QuietStderr quiet;
    m_initialized = Pa_Initialize() == paNoError;
    return m_initialized;
}

bool PortAudioOutput::open() {
    const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    if (!m_initialized || device == paNoDevice)
        return false;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    PaStreamParameters parameters{};
    parameters.device = device;
    parameters.channelCount = 2;
    parameters.sampleFormat = paFloat32;
    parameters.suggestedLatency = info ? info->defaultLowOutputLatency : 0.0;
    QuietStderr quiet;
    PaStream* stream = nullptr;
    if (Pa_OpenStream(&stream, nullptr, &parameters, m_sampleRate, m_bufferFrames, paClipOff,
                      &streamCallback, &m_callback) != paNoError)
        return false;
    if (Pa_StartStream(stream) != paNoError) {
        Pa_CloseStream(stream);
        return false;
    }
    m_stream = stream;
    m_seenCallbacks = m_callback.count.load(std::memory_order_relaxed);
    m_lastProgress = std::chrono::steady_clock::now();
    if (const PaStreamInfo* streamInfo = Pa_GetStreamInfo(stream))
        m_latencySeconds = streamInfo->outputLatency;
    return true;
}

// Judged from what was seen at earlier calls: callbacks that stopped coming.
bool PortAudioOutput::stalled() {  // main thread
    const auto now = std::chrono::steady_clock::now();
    const auto count = m_callback.count.load(std::memory_order_relaxed);
    if (count != m_seenCallbacks) {
        m_seenCallbacks = count;
        m_lastProgress = now;
        return false;
    }
    return now - m_lastProgress > stalledAfter;
}

void PortAudioOutput::close() {
    if (!m_stream)
        return;
    QuietStderr quiet;
    Pa_AbortStream(m_stream);
    Pa_CloseStream(m_stream);
    m_stream = nullptr;
}

}  // namespace tavrel
