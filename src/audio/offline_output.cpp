#include "audio/offline_output.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace tavrel {

OfflineOutput::OfflineOutput(int sampleRate, int bufferFrames)
    : m_sampleRate(sampleRate), m_bufferFrames(bufferFrames) {}

std::vector<float> OfflineOutput::pull(
    std::size_t frames) {  // the pulling thread stands in for the callback
    if (!m_renderer)
        throw std::logic_error("OfflineOutput::pull before start");
    std::vector<float> samples(frames * 2, 0.0f);
    for (std::size_t done = 0; done < frames;) {
        const std::size_t count = std::min<std::size_t>(m_bufferFrames, frames - done);
        waitUntilFed(count);
        m_renderer->render(samples.data() + done * 2, count);
        done += count;
    }
    return samples;
}

void OfflineOutput::waitUntilFed(std::size_t frames) const {
    // A decoder that cannot keep up within this long is a fault the test should see.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!m_renderer->isFedFor(frames) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

}  // namespace tavrel
