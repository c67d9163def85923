// The engine on a real sound server, PulseAudio and PipeWire alike: private
// servers with null sinks whose monitors are recorded.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <utility>

#include "audio/pulse_audio_output.h"
#include "engine_rig.h"
#include "support/scoped_environment_variable.h"

extern char** environ;

namespace tavrel::test {
namespace {

using namespace std::chrono_literals;

const std::string sinkName = "tavrel_test";
const std::string otherSinkName = "tavrel_other";

std::string commandOutput(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        ::pclose(pipe);
    }
    return text;
}

// The engine's stream as the server lists it; null when there is none.
nlohmann::json engineStream() {
    const auto inputs = nlohmann::json::parse(
        commandOutput("pactl -f json list sink-inputs 2>/dev/null"), nullptr, false);
    for (const auto& input : inputs.is_array() ? inputs : nlohmann::json::array())
        if (input["properties"].value("application.name", "") == "Tavrel")
            return input;
    return nullptr;
}

// The sink the engine's stream plays on, as the server says.
std::string sinkOfTheEngineStream() {
    const auto input = engineStream();
    const auto sinks = nlohmann::json::parse(
        commandOutput("pactl -f json list short sinks 2>/dev/null"), nullptr, false);
    for (const auto& sink : sinks.is_array() ? sinks : nlohmann::json::array())
        if (!input.is_null() && sink["index"] == input["sink"])
            return sink["name"];
    return {};
}

pid_t spawn(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    return pid;
}

// What was heard of a sine: its level, the median RMS over 10 ms windows of
// the sounding part, edges left out (0 when too short), and its gap, the
// longest distance between loud samples, a few samples at each zero crossing.
struct Heard {
    double level = 0.0;
    long gap = 0;
};
Heard listen(const std::vector<float>& left) {
    const auto loud = [](float sample) { return std::abs(sample) > 0.05f; };
    const long first = std::find_if(left.begin(), left.end(), loud) - left.begin();
    const long last = left.rend() - std::find_if(left.rbegin(), left.rend(), loud);
    Heard heard;
    std::vector<double> levels;
    for (long start = first + 960; start + 1440 < last; start += 480)
        levels.push_back(rms(left, start, start + 480));
    for (long i = first, previous = first; i < last; ++i)
        heard.gap = loud(left[i]) ? std::max(heard.gap, i - std::exchange(previous, i)) : heard.gap;
    std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
    heard.level = levels.size() < 6 ? 0.0 : levels[levels.size() / 2];
    return heard;
}

// A private server of either kind with a null sink as its default output,
// and an engine on it, as the application makes it.
class RealOutput : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        ASSERT_EQ(startServer(), "");
        writeWav(folder.path() / "tone.wav", sines({{1000.0, 0.5}}, 2.0));
        writeWav(folder.path() / "long.wav", sines({{1000.0, 0.5}}, 30.0));
        engine = AudioEngine::create(loop, OutputChoice{});
        controller = std::make_shared<AudioPlaybackController>(engine->playerFactory());
        controller->setOnNaturalCompletion([this] { ++completions; });
    }
    void TearDown() override {
        for (const pid_t pid : children) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        controller.reset();
        engine.reset();
        stopServer();
    }

    std::string startServer() {
        const auto log = folder.path() / "server.log";
        const std::string command =
            script("start " + runtime.string() + " " + sinkName + " " + GetParam());
        return std::system((command + " 2>" + log.string()).c_str()) == 0
                   ? ""
                   : GetParam() + std::string(" did not start: ") + readFile(log);
    }
    // As a crash would.
    void stopServer() { std::system(script("stop " + runtime.string()).c_str()); }
    static std::string script(const std::string& arguments) {
        return std::string("sh ") + TAVREL_NULL_SINK_SCRIPT + " " + arguments;
    }

    // Records the sink's monitor as float32 stereo; true once the first samples are in.
    bool startRecording() {
        children.push_back(recorder =
                               spawn({"parecord", "--raw", "--device=" + sinkName + ".monitor",
                                      "--format=float32le", "--rate=48000", "--channels=2",
                                      "--latency-msec=10", recording.string()}));
        std::error_code error;
        return waitFor([&] { return std::filesystem::file_size(recording, error) >= 4096; });
    }
    // Left channel.
    std::vector<float> stopRecording() {
        ::kill(recorder, SIGTERM);
        ::waitpid(recorder, nullptr, 0);
        std::erase(children, recorder);
        std::ifstream in(recording, std::ios::binary);
        std::vector<float> left;
        for (float frame[2]; in.read(reinterpret_cast<char*>(frame), sizeof frame);)
            left.push_back(frame[0]);
        return left;
    }

    void play(const char* file, double gainDB = 0.0) {
        CueSlot slot = CueSlot::empty(0);
        slot.audioFilename = file;
        slot.gainDB = gainDB;
        controller->play(slot, folder.path() / file);
    }

    // Runs the main loop until the condition holds.
    template <typename Condition>
    bool waitFor(Condition condition) {
        return EngineRig::waitFor([&] {
            loop.runPending();
            return condition();
        });
    }

    TemporaryDirectory folder;
    std::filesystem::path runtime = folder.path() / "run";
    std::filesystem::path recording = folder.path() / "monitor.raw";
    ScopedEnvironmentVariable runtimeDir{"XDG_RUNTIME_DIR", runtime.c_str()};
    ScopedEnvironmentVariable pulseServer{
        "PULSE_SERVER", ("unix:" + (runtime / "pulse" / "native").string()).c_str()};
    ManualMainLoop loop;
    std::shared_ptr<AudioEngine> engine;
    std::shared_ptr<AudioPlaybackController> controller;
    std::vector<pid_t> children;
    pid_t recorder = -1;
    int completions = 0;
};

INSTANTIATE_TEST_SUITE_P(Servers, RealOutput, ::testing::Values("pulseaudio", "pipewire"),
                         [](const auto& info) { return std::string(info.param); });

TEST_P(RealOutput, UnderFourBusyProcessesACuePlaysAtItsGainAndNeverStalls) {
#ifdef __SANITIZE_THREAD__
    // Ten times slower threads under load say nothing about the stream; the
    // AddressSanitizer build runs this.
    GTEST_SKIP() << "timing under load is not meaningful under ThreadSanitizer";
#endif
    ASSERT_TRUE(engine->outputStatus()->available()) << "the server runs but no stream opened";
    for (int i = 0; i < 4; ++i)
        children.push_back(spawn({"sh", "-c", "while :; do :; done"}));
    ASSERT_TRUE(startRecording());
    const auto underrunsBefore = engine->underrunCount();
    play("tone.wav", -6.0);
    ASSERT_TRUE(waitFor([&] { return completions == 1; }));
    const auto left = stopRecording();

    const double expected =
        0.5 * AudioPlaybackController::combinedVolume(1.0, -6.0) / std::sqrt(2.0);
    const Heard heard = listen(left);
    ASSERT_GT(heard.level, 0.0) << "nothing was recorded from the sink: " << left.size()
                                << " samples, " << controller->errorMessage().value_or("");
    EXPECT_NEAR(20.0 * std::log10(heard.level / expected), 0.0, 0.1);
    // A late callback may cost silence, never more than one buffer: the stream
    // never stops. (How often it happens under load is measured in bench/.)
    EXPECT_LT(heard.gap, engine->output().latencySeconds() * 48000)
        << "silence inside the cue, underruns " << engine->underrunCount() - underrunsBefore;
    EXPECT_TRUE(controller->errorMessage() == std::nullopt);
}

// From silence a cue replaces the silence the server still holds; over a
// sounding one it waits behind it, so what the server holds plays out and the
// stop ramps down whole.
TEST_P(RealOutput, ACueStartedOverAnotherLeavesItsStopWhole) {
    // 700 Hz: no whole number of cycles in a buffer, so a cut shows as a step.
    writeWav(folder.path() / "over.wav", sines({{700.0, 0.5}}, 5.0));
    ASSERT_TRUE(startRecording());
    play("over.wav");
    ASSERT_TRUE(waitFor([&] { return engine->mixer().renderCount() > 50; }));
    play("tone.wav");
    ASSERT_TRUE(waitFor([&] { return completions == 1; }));
    const auto left = stopRecording();
    // The sines' own steps are under 0.07; the sink's dropouts (whole cycles
    // of zeros) are left out, a cue's first sample is a single zero.
    float largest = 0.0f;
    for (std::size_t i = 2; i + 1 < left.size(); ++i)
        if (!(left[i] == 0 && left[i + 1] == 0) && !(left[i - 1] == 0 && left[i - 2] == 0))
            largest = std::max(largest, std::abs(left[i] - left[i - 1]));
    EXPECT_LT(largest, 0.1f);
}

TEST_P(RealOutput, ALostServerEndsTheCueAsAFailedStartAndTheEngineComesBackByItself) {
    play("long.wav");
    ASSERT_TRUE(waitFor([&] { return engine->mixer().renderCount() > 50; }));

    stopServer();
    const auto killed = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitFor([&] { return !engine->outputStatus()->available(); }));
    EXPECT_LT(std::chrono::steady_clock::now() - killed, 1s) << "the loss was seen late";
    EXPECT_EQ(controller->errorMessage(), "오디오 재생을 시작하지 못했습니다.");
    EXPECT_TRUE(controller->state().isStopped());
    EXPECT_EQ(completions, 1);
    // Without an output a key fails at once with the same message.
    EXPECT_THROW(play("tone.wav"), PlaybackError);

    ASSERT_EQ(startServer(), "");
    ASSERT_TRUE(waitFor([&] { return engine->outputStatus()->available(); }))
        << "no reconnection without a key press";
    // Idle, the stream rests (corked) and costs no wake-ups; a key wakes it.
    ASSERT_TRUE(waitFor([&] { return engineStream().value("corked", false); }));
    ASSERT_TRUE(startRecording());
    play("tone.wav");
    EXPECT_TRUE(controller->state().isPlaying());
    ASSERT_TRUE(waitFor([&] { return completions == 2; }));
    EXPECT_GT(listen(stopRecording()).level, 0.3) << "the first play after the return is silent";
}

TEST_P(RealOutput, AChosenOutputThatGoesAwayLeavesSoundOnTheDefaultUntilItComesBack) {
    const std::string load = "pactl load-module module-null-sink sink_name=" + otherSinkName +
                             " sink_properties=device.description=Other";
    std::string module = commandOutput(load);
    ASSERT_FALSE(module.empty());
    controller.reset();
    engine = AudioEngine::create(loop, OutputChoice{otherSinkName, LatencyPreset::stable});
    controller = std::make_shared<AudioPlaybackController>(engine->playerFactory());
    EXPECT_TRUE(waitFor([&] { return sinkOfTheEngineStream() == otherSinkName; }));

    // A cue sounding on it goes on, on the default output, and moves back.
    play("long.wav");
    commandOutput("pactl unload-module " + module);
    ASSERT_TRUE(waitFor([&] { return engine->outputStatus()->chosenOutputMissing(); }));
    EXPECT_TRUE(waitFor([&] { return sinkOfTheEngineStream() == sinkName; }));
    EXPECT_TRUE(controller->state().isPlaying());
    EXPECT_EQ(controller->errorMessage(), std::nullopt);
    module = commandOutput(load);
    ASSERT_TRUE(waitFor([&] { return !engine->outputStatus()->chosenOutputMissing(); }));
    EXPECT_TRUE(waitFor([&] { return sinkOfTheEngineStream() == otherSinkName; }));

    // Changed at run time: the stream moves, its latency follows the preset
    // (PipeWire holds its least, 256 frames a request, for both).
    const double stableLatency = engine->output().latencySeconds();
    engine->setOutputChoice({"", LatencyPreset::low});
    EXPECT_TRUE(waitFor([&] { return sinkOfTheEngineStream() == sinkName; }));
    if (std::string(GetParam()) == "pulseaudio") {
        EXPECT_TRUE(
            waitFor([&] { return engine->output().latencySeconds() < stableLatency * 0.9; }));
    }
}

}  // namespace
}  // namespace tavrel::test
