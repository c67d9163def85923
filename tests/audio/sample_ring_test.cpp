#include "audio/sample_ring.h"

#include <gtest/gtest.h>

#include <thread>

namespace tavrel::test {
namespace {

// One writer, one reader, no lock: every frame arrives once, in order, across
// many wraps of the ring.
TEST(SampleRing, CarriesEveryFrameAcrossThreadsInOrder) {
    SampleRing ring(256);
    constexpr int total = 200000;
    std::thread writer([&] {
        std::vector<float> chunk(2 * 37);
        for (int next = 0; next < total;) {
            const int count = std::min(37, total - next);
            for (int i = 0; i < count; ++i)
                chunk[i * 2] = chunk[i * 2 + 1] = float(next + i);
            const auto written = ring.write(chunk.data(), count);
            next += int(written);
            if (written == 0)
                std::this_thread::yield();
        }
    });
    int expected = 0;
    while (expected < total) {
        const std::size_t available = ring.readableFrames();
        for (std::size_t i = 0; i < available; ++i, ++expected)
            ASSERT_EQ(ring.frameAt(i)[1], float(expected));
        ring.consume(available);
        if (available == 0)
            std::this_thread::yield();
    }
    writer.join();
    EXPECT_EQ(ring.readableFrames(), 0u);
}

}  // namespace
}  // namespace tavrel::test
