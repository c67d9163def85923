#include <gtest/gtest.h>

#include "audio/audio_file_error.h"
#include "engine_rig.h"
#include "playback/audio_playback_controller.h"

namespace tavrel::test {
namespace {

CueSlot slotFor(const std::string& file, std::int64_t id = 0) {
    CueSlot slot = CueSlot::empty(id);
    slot.audioFilename = file;
    return slot;
}

TEST(EngineBadInput, AFileThatIsNotAudioFailsWithFFmpegsMessageAndStopsTheOldCue) {
    EngineRig rig;
    writeWav(rig.file("good.wav"), constant(0.5f, 1.0));
    writeBytes(rig.file("notes.mp3"), "just some words, not a sound\n");
    auto controller = std::make_shared<AudioPlaybackController>(rig.factory);
    controller->play(slotFor("good.wav"), rig.file("good.wav"));
    rig.output->pull(1000);
    try {
        controller->play(slotFor("notes.mp3", 1), rig.file("notes.mp3"));
        ADD_FAILURE() << "a text file played";
    } catch (const AudioFileError& error) {
        EXPECT_EQ(std::string(error.what()), ffmpegMessage(error.ffmpegCode()));
    }
    EXPECT_TRUE(controller->state().isStopped());
    rig.output->pull(1000);
    EXPECT_EQ(rig.pullLeft(10)[9], 0.0f);
    EXPECT_EQ(rig.engine->mixer().busyVoiceCount(), 0u);
}

// Linux keeps a deleted file readable through the open descriptor.
TEST(EngineBadInput, AFileDeletedWhilePlayingPlaysOutAndCompletes) {
    EngineRig rig;
    writeWav(rig.file("cue.wav"), constant(0.5f, 0.6));
    auto controller = rig.countingController();
    controller->play(slotFor("cue.wav"), rig.file("cue.wav"));
    rig.output->pull(4800);
    std::filesystem::remove(rig.file("cue.wav"));
    EXPECT_EQ(rig.pullLeft(9600)[9000], 0.5f);
    EXPECT_TRUE(rig.pullUntil([&] { return rig.completions > 0; }, 2.0));
    EXPECT_EQ(rig.completions, 1);
}

// The file shrinks under the decoder: reads come up short, playback ends early.
TEST(EngineBadInput, ReadsFailingMidPlayEndTheCueOnce) {
    EngineRig rig;
    writeWav(rig.file("long.wav"), constant(0.5f, 20.0));
    auto controller = rig.countingController();
    controller->play(slotFor("long.wav"), rig.file("long.wav"));
    rig.output->pull(4800);
    std::filesystem::resize_file(rig.file("long.wav"), 44 + 48000 * 4);
    EXPECT_TRUE(rig.pullUntil([&] { return rig.completions > 0; }, 5.0));
    EXPECT_EQ(rig.completions, 1);
    EXPECT_TRUE(controller->state().isStopped());
}

TEST(EngineBadInput, AThousandStartsInARowEachReplaceTheLast) {
    EngineRig rig(64);
    writeWav(rig.file("a.wav"), constant(0.5f, 2.0));
    writeWav(rig.file("b.wav"), constant(-0.25f, 2.0));
    rig.engine->warm(rig.file("a.wav"), 0.0);
    rig.engine->warm(rig.file("b.wav"), 0.0);
    auto controller = std::make_shared<AudioPlaybackController>(rig.factory);
    for (int i = 0; i < 1000; ++i) {
        const bool even = i % 2 == 0;
        controller->play(slotFor(even ? "a.wav" : "b.wav", even ? 0 : 1),
                         rig.file(even ? "a.wav" : "b.wav"));
        rig.output->pull(48);  // a millisecond apart
        ASSERT_LE(rig.engine->mixer().busyVoiceCount(), 8u) << "start " << i;
        rig.loop.runPending();
    }
    EXPECT_TRUE(controller->state().isPlaying());
    EXPECT_EQ(rig.pullLeft(1000)[999], -0.25f);  // the last start is what sounds
    EXPECT_LE(rig.engine->mixer().busyVoiceCount(), 1u);
    EXPECT_LE(rig.engine->warmStartCount(), 2u);
}

}  // namespace
}  // namespace tavrel::test
