#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavrel {

// Lock-free single-producer single-consumer ring of interleaved stereo frames.
// The writer is the thread feeding a voice, the reader the output callback.
class SampleRing {
public:
    static constexpr std::size_t channels = 2;

    // Rounds the capacity up to a power of two.
    explicit SampleRing(std::size_t capacityFrames);

    std::size_t capacityFrames() const { return m_mask + 1; }

    // Writer only.
    std::size_t writableFrames() const;
    std::size_t write(const float* frames, std::size_t count);

    // Reader only.
    std::size_t readableFrames() const;             // realtime
    const float* frameAt(std::size_t index) const;  // realtime; index < readableFrames()
    void consume(std::size_t count);                // realtime

    // Neither side may be using the ring.
    void reset();

private:
    std::vector<float> m_samples;
    std::size_t m_mask = 0;
    std::atomic<std::uint64_t> m_written{0};
    std::atomic<std::uint64_t> m_read{0};
};

}  // namespace tavrel
