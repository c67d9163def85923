#include "audio/sample_ring.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tavrel {

SampleRing::SampleRing(std::size_t capacityFrames)
    : m_samples(std::bit_ceil(std::max<std::size_t>(capacityFrames, 2)) * channels),
      m_mask(std::bit_ceil(std::max<std::size_t>(capacityFrames, 2)) - 1) {}

std::size_t SampleRing::writableFrames() const {  // writer
    const auto written = m_written.load(std::memory_order_relaxed);
    const auto read = m_read.load(std::memory_order_acquire);
    return capacityFrames() - static_cast<std::size_t>(written - read);
}

std::size_t SampleRing::write(const float* frames, std::size_t count) {  // writer
    count = std::min(count, writableFrames());
    const auto written = m_written.load(std::memory_order_relaxed);
    std::size_t done = 0;
    while (done < count) {
        const std::size_t at = (written + done) & m_mask;
        const std::size_t run = std::min(count - done, capacityFrames() - at);
        std::memcpy(&m_samples[at * channels], frames + done * channels,
                    run * channels * sizeof(float));
        done += run;
    }
    m_written.store(written + count, std::memory_order_release);
    return count;
}

std::size_t SampleRing::readableFrames() const {  // realtime
    const auto written = m_written.load(std::memory_order_acquire);
    const auto read = m_read.load(std::memory_order_relaxed);
    return static_cast<std::size_t>(written - read);
}

const float* SampleRing::frameAt(std::size_t index) const {  // realtime
    const auto read = m_read.load(std::memory_order_relaxed);
    return &m_samples[((read + index) & m_mask) * channels];
}

void SampleRing::consume(std::size_t count) {  // realtime
    m_read.store(m_read.load(std::memory_order_relaxed) + count, std::memory_order_release);
}

void SampleRing::reset() {  // main thread, neither side using the ring
    m_written.store(0, std::memory_order_relaxed);
    m_read.store(0, std::memory_order_relaxed);
}

}  // namespace tavrel
