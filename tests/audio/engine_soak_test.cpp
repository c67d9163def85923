// Many cue starts in rapid succession through the controller, as a show with
// a nervous operator would do: nothing may click, leak or stall.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>

#include "engine_rig.h"
#include "playback/audio_playback_controller.h"

namespace tavrel::test {
namespace {

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    std::size_t resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

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
        rig.loop.runPending();
        if (i == 99)
            afterFirstHundred = residentBytes();
    }
    controller->stop();
    largest = std::max(largest, largestStep(rig.pullLeft(4800)));

    EXPECT_LT(largest, 0.02f);
    if (starts > 100) {
        const auto grown = static_cast<double>(residentBytes()) - afterFirstHundred;
        EXPECT_LT(grown, 5.0 * 1024 * 1024) << starts << " starts";
        std::cout << "soak: " << starts << " starts, largest step " << largest
                  << ", resident memory grew " << grown / 1024 << " KiB after the first 100\n";
    }
}

}  // namespace
}  // namespace tavrel::test
