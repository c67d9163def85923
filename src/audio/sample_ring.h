#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavrel {

// Lock-free single-producer single-consumer ring of interleaved stereo frames.
// The reader is the output callback. The writer is one thread at a time, never
// two at once: the main thread fills a voice's first frames (warm start or
// cold preroll) before the voice is handed to the decoder thread under the
// feed's lock, and from then on only the decoder thread writes. The lock's
// release/acquire orders the two writers' stores.
class SampleRing {
public:
    static constexpr std::size_t channels = 2;

    // Rounds the capacity up to a power of two.
    explicit SampleRing(std::size_t capacityFrames);

    std::size_t capacityFrames() const { return m_mask + 1; }

    // Writer only (the main thread before the hand-over, then the decoder thread).
    std::size_t writableFrames() const;
    std::size_t write(const float* frames, std::size_t count);

    // Reader only.
    std::size_t readableFrames() const;             // realtime
    const float* frameAt(std::size_t index) const;  // realtime; index < readableFrames()
    void consume(std::size_t count);                // realtime

    // Main thread; neither side may be using the ring.
    void reset();

private:
    std::vector<float> m_samples;
    std::size_t m_mask = 0;
    std::atomic<std::uint64_t> m_written{0};
    std::atomic<std::uint64_t> m_read{0};
};

}  // namespace tavrel
