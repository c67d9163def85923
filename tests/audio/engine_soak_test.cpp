// Many cue starts in rapid succession through the controller, as a show with
// a nervous operator would do: nothing may click, leak, pile up voices or stall.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <random>

#include "engine_rig.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// From the sanitizer runtime; GCC does not ship its header. The sanitizers
// hold freed memory back, so count what is allocated.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#define TAVREL_ALLOCATED_BYTES() __sanitizer_get_current_allocated_bytes()
#else
#define TAVREL_ALLOCATED_BYTES() mallinfo2().uordblks
#endif

namespace tavrel::test {
namespace {

TEST(EngineSoak, RapidCueStartsNeverClickAndKeepMemoryFlat) {
    EngineRig rig;
    // 100 Hz at half level: its own largest step is 0.0066; a cut would jump
    // by up to 0.5.
    writeWav(rig.file("cue.wav"), sines({{100.0, 0.5}}, 30.0));
    std::mt19937 random(20261206);
    const char* text = std::getenv("TAVREL_SOAK_STARTS");
    const int starts = text ? std::atoi(text) : 1000;
    std::size_t afterFirstHundred = 0;
    float largest = 0.0f;
    for (int i = 0; i < starts; ++i) {
        ASSERT_NO_THROW(rig.play("cue.wav", random() % 25000 / 1000.0, -(i % 13))) << i;
        largest = std::max(largest, largestStep(rig.pullLeft(256u * (1 + random() % 12))));
        // Each start replaces the last: the old voices go back to the pool.
        ASSERT_LE(rig.engine->mixer().busyVoiceCount(), 8u) << "start " << i;
        rig.loop.runPending();
        afterFirstHundred = i == 99 ? TAVREL_ALLOCATED_BYTES() : afterFirstHundred;
    }
    rig.controller->stop();
    EXPECT_LT(std::max(largest, largestStep(rig.pullLeft(4800))), 0.02f);
    const auto grown = static_cast<double>(TAVREL_ALLOCATED_BYTES()) - afterFirstHundred;
    EXPECT_TRUE(starts <= 100 || grown < 5 << 20) << grown / 1024 << " KiB";
}

}  // namespace
}  // namespace tavrel::test
