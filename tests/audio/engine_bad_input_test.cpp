#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "audio/audio_file_error.h"
#include "engine_rig.h"
#include "support/bad_media.h"

extern "C" {
#include <libavutil/error.h>
}

namespace tavrel::test {
namespace {

std::string messageFor(const std::function<void()>& open) {
    try {
        open();
    } catch (const AudioFileError& error) {
        return error.what();
    }
    return "opened";
}

// Linux keeps a deleted file readable through the open descriptor, so that
// one plays out; a file that shrinks under the decoder ends early. Either way
// the cue ends once.
TEST(EngineBadInput, AFileDeletedOrCutWhilePlayingEndsTheCueOnce) {
    const std::pair<const char*, void (*)(const std::filesystem::path&)> changes[] = {
        {"deleted", [](const std::filesystem::path& file) { std::filesystem::remove(file); }},
        {"cut", [](const std::filesystem::path& file) {
             std::filesystem::resize_file(file, 44 + 48000 * 4);
         }}};
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        EngineRig rig;
        writeWav(rig.file("cue.wav"), constant(0.5f, 2.0));
        rig.play("cue.wav");
        rig.output->pull(4800);
        change(rig.file("cue.wav"));
        EXPECT_EQ(rig.pullLeft(9600)[9000], 0.5f);
        EXPECT_TRUE(rig.pullUntil([&] { return rig.completions > 0; }, 5.0));
        EXPECT_TRUE(rig.completions == 1 && rig.controller->state().isStopped()) << rig.completions;
    }
}

// Opening is bounded and refused files are remembered, so a bad slot costs
// the main thread and the warming thread next to nothing after the first try.
TEST(EngineBadInput, BadFilesFailFastWithTheirMessageAndAreOpenedAgainOnlyOnceChanged) {
    EngineRig rig;
    const BadMedia bad = writeBadMedia(rig.folder.path());
    const auto good = rig.file("good.wav");
    writeWav(good, constant(0.5f, 1.0));
    const std::string invalid = unplayableMessage(ffmpegMessage(AVERROR_INVALIDDATA));
    const std::map<std::filesystem::path, std::string> expected = {
        {bad.fifo, "음원 파일을 재생할 수 없습니다. (Not a regular file)"},
        {bad.zeros, invalid},
        {bad.noise, "음원 파일을 재생할 수 없습니다. (Stream not found)"}};
    // A key press tries a file that ran out of time again, as a good file can
    // on a loaded machine; one that outlasts its deadline says invalid data.
    const auto late = [&](const std::filesystem::path& file) {
        const auto failure = rig.engine->warmStarts().knownFailure(WarmKey(file));
        return std::uint64_t(failure && failure->timedOut());
    };
    // A retry may run out of time again or fail for good, so count per press.
    std::uint64_t expectedOpens = 0;
    const auto press = [&](const std::filesystem::path& url, const std::function<void()>& open) {
        expectedOpens += late(url);
        const std::string said = messageFor(open);
        EXPECT_TRUE(said == expected.at(url) || (said == invalid && late(url))) << url << said;
    };
    for (const auto& [url, message] : expected) {
        // Cold, on the main thread, with nothing warm: a FIFO must not block.
        const auto begin = std::chrono::steady_clock::now();
        press(url, [&] { rig.factory->makePlayer(url); });
        // Generous: the bound is 0.4 s, the fault it guards against took 40 s.
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5)) << url;
    }
    // Zeros are given up a few megabytes in, not at a deadline (after all 300 MB
    // FFmpeg would say "Stream not found").
    EXPECT_EQ(messageFor([&] { AudioDecoder(bad.zeros, 48000, std::chrono::hours(1)); }), invalid);
    rig.engine->warm(good, 0.0);
    rig.engine->warm(good, 1000.0);
    ASSERT_TRUE(EngineRig::waitFor([&] { return rig.engine->warmStartCount() >= 2; }));
    expectedOpens = AudioDecoder::openAttempts() + 3;
    for (int round = 0; round < 3; ++round) {
        for (const auto& [url, message] : expected) {
            rig.engine->warm(url, 0.0);
            rig.engine->warm(url.parent_path() / "." / url.filename(), 2.5);
            press(url, [&] { rig.play(url.filename()); });
        }
        // One key per file however spelled, and per start as clamped.
        rig.engine->warm(rig.folder.path() / "." / "good.wav", 0.0);
        rig.engine->warm(good, 1500.0);
        // The good key plays at once after the bad ones, and is warmed again.
        rig.play("good.wav");
        ASSERT_TRUE(rig.controller->state().isPlaying());
        EXPECT_EQ(rig.pullLeft(1000)[999], 0.5f);
        ASSERT_TRUE(EngineRig::waitFor([&] { return rig.engine->warmStartCount() >= 2; }));
    }
    EXPECT_EQ(AudioDecoder::openAttempts(), expectedOpens) << "the good file's warm-ups";

    // Changed, or the document changed: tried once more, then remembered again.
    std::filesystem::resize_file(bad.zeros, 301u << 20);
    rig.engine->warm(bad.zeros, 0.0);
    rig.engine->forgetFailedFiles();
    rig.engine->warm(bad.noise, 0.0);
    rig.engine->warm(bad.fifo, 0.0);
    EXPECT_TRUE(EngineRig::waitFor([&] {
        const auto& cache = rig.engine->warmStarts();
        return cache.knownFailure(WarmKey(bad.zeros)) && cache.knownFailure(WarmKey(bad.noise)) &&
               cache.knownFailure(WarmKey(bad.fifo));
    }));
    for (const auto& [url, message] : expected) {
        rig.engine->warm(url, 0.0);
        press(url, [&] { rig.factory->makePlayer(url); });
    }
    EXPECT_EQ(AudioDecoder::openAttempts(), expectedOpens + 3) << "one warm-up each";
}

}  // namespace
}  // namespace tavrel::test
