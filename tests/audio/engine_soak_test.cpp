// Many cue starts in rapid succession through the controller, as a show with
// a nervous operator would do: nothing may click, leak, pile up voices or stall.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// From the sanitizer runtime; GCC does not ship its header.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

#include "engine_rig.h"
#include "playback/audio_playback_controller.h"

namespace tavrel::test {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers hold freed memory back (ASan's quarantine fills 256 MB):
// count what is allocated instead of what is resident.
std::size_t memoryInUse() {
    return __sanitizer_get_current_allocated_bytes();
}
#else
std::size_t memoryInUse() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    std::size_t resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}
#endif

int soakStarts() {
    const char* text = std::getenv("TAVREL_SOAK_STARTS");
    return text ? std::atoi(text) : 1000;
}

TEST(EngineSoak, RapidCueStartsNeverClickAndKeepMemoryFlat) {
    EngineRig rig;
    // 100 Hz at half level: its own largest step is 0.0066; a cut would jump
    // by up to 0.5.
    writeWav(rig.file("cue.wav"), sines({{100.0, 0.5}}, 30.0));
    auto controller = std::make_shared<AudioPlaybackController>(rig.factory);
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> buffers(1, 12);
    std::uniform_real_distribution<double> offset(0.0, 25.0);

    CueSlot slot = CueSlot::empty(0);
    slot.audioFilename = "cue.wav";
    const int starts = soakStarts();
    std::size_t afterFirstHundred = 0;
    float largest = 0.0f;
    for (int i = 0; i < starts; ++i) {
        slot.startSeconds = offset(random);
        slot.gainDB = -(i % 13);
        ASSERT_NO_THROW(controller->play(slot, rig.file("cue.wav"))) << "start " << i;
        ASSERT_TRUE(controller->state().isPlaying()) << "start " << i;
        largest = std::max(largest, largestStep(rig.pullLeft(256u * buffers(random))));
        // Each start replaces the last: the old voices go back to the pool.
        ASSERT_LE(rig.engine->mixer().busyVoiceCount(), 8u) << "start " << i;
        rig.loop.runPending();
        if (i == 99)
            afterFirstHundred = memoryInUse();
    }
    controller->stop();
    largest = std::max(largest, largestStep(rig.pullLeft(4800)));

    EXPECT_LT(largest, 0.02f);
    if (starts > 100) {
        const auto grown = static_cast<double>(memoryInUse()) - afterFirstHundred;
        EXPECT_LT(grown, 5.0 * 1024 * 1024) << starts << " starts";
        std::cout << "soak: " << starts << " starts, largest step " << largest
                  << ", memory in use grew " << grown / 1024 << " KiB after the first 100\n";
    }
}

}  // namespace
}  // namespace tavrel::test
