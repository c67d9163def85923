// The engine on a real sound server, PulseAudio and PipeWire alike: private
// servers with null sinks whose monitors are recorded.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <thread>

#include "audio/audio_engine.h"
#include "audio/pulse_audio_output.h"
#include "playback/audio_playback_controller.h"
#include "signal_files.h"
#include "support/fault_injecting_file_system.h"
#include "support/manual_main_loop.h"
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

pid_t spawn(const std::vector<std::string>& arguments, const std::filesystem::path& output = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!output.empty())
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void endProcess(pid_t& pid, int signal = SIGTERM) {
    if (pid <= 0)
        return;
    ::kill(pid, signal);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

// Four processes that never sleep, on a machine of two cores.
class BusyLoad {
public:
    BusyLoad() {
        for (auto& pid : m_pids)
            pid = spawn({"sh", "-c", "while :; do :; done"});
    }
    ~BusyLoad() {
        for (auto& pid : m_pids)
            endProcess(pid, SIGKILL);
    }

private:
    pid_t m_pids[4] = {};
};

// Records a sink's monitor as raw float32 stereo into a file until stopped.
class MonitorRecording {
public:
    MonitorRecording(const std::filesystem::path& file, const std::string& sink)
        : m_file(file),
          m_pid(spawn({"parec", "--device=" + sink + ".monitor", "--format=float32le",
                       "--rate=48000", "--channels=2", "--latency-msec=10"},
                      file)) {}
    ~MonitorRecording() { stop(); }
    // Once the first samples are in the file.
    bool running() const {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        std::error_code error;
        while (m_pid > 0 && std::filesystem::file_size(m_file, error) < 4096 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        return m_pid > 0 && std::filesystem::file_size(m_file, error) >= 4096;
    }
    // Left channel.
    std::vector<float> stop() {
        endProcess(m_pid);
        const std::string raw = readFile(m_file);
        std::vector<float> samples(raw.size() / sizeof(float));
        std::memcpy(samples.data(), raw.data(), samples.size() * sizeof(float));
        std::vector<float> left;
        for (std::size_t i = 0; i < samples.size(); i += 2)
            left.push_back(samples[i]);
        return left;
    }

private:
    std::filesystem::path m_file;
    pid_t m_pid = -1;
};

// RMS over 10 ms windows of the sounding part, edges left out, at the median.
double soundingLevel(const std::vector<float>& left) {
    std::size_t first = 0, last = 0;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (std::abs(left[i]) > 0.05f) {
            first = first ? first : i;
            last = i;
        }
    }
    const std::size_t window = 480;
    if (last < first + 10 * window)
        return 0.0;
    std::vector<double> levels;
    for (std::size_t start = first + 2 * window; start + window < last - 2 * window;
         start += window) {
        double sum = 0.0;
        for (std::size_t i = start; i < start + window; ++i)
            sum += double(left[i]) * left[i];
        levels.push_back(std::sqrt(sum / double(window)));
    }
    std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
    return levels[levels.size() / 2];
}

// The longest run of near-silent samples between the first and the last loud
// one, in samples: a sine has at most one near zero at each crossing.
std::size_t longestGap(const std::vector<float>& left, double* where = nullptr) {
    std::size_t longest = 0, run = 0, first = 0;
    bool started = false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        const float sample = left[i];
        if (std::abs(sample) > 0.05f) {
            if (!started)
                first = i;
            if (started && run > longest && where)
                *where = double(i - run - first) / 48000.0;
            longest = started ? std::max(longest, run) : longest;
            started = true;
            run = 0;
        } else if (std::abs(sample) < 0.01f) {
            ++run;
        }
    }
    return longest;
}

// A private server of either kind with a null sink as its default output,
// and an engine on it, as the application makes it.
class RealOutput : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        ASSERT_EQ(startServer(), "");
        writeWav(folder.path() / "tone.wav", sines({{1000.0, 0.5}}, 2.0));
        writeWav(folder.path() / "long.wav", sines({{1000.0, 0.5}}, 30.0));
    }
    void TearDown() override {
        controller.reset();
        engine.reset();
        stopServer();
    }

    std::string startServer() {
        const auto log = folder.path() / "server.log";
        const bool started =
            std::system((script("start " + runtime.string() + " " + sinkName + " " + GetParam()) +
                         " 2>" + log.string())
                            .c_str()) == 0;
        return started ? "" : GetParam() + std::string(" did not start: ") + readFile(log);
    }
    // As a crash would.
    void stopServer() { std::system(script("stop " + runtime.string()).c_str()); }
    static std::string script(const std::string& arguments) {
        return std::string("sh ") + TAVREL_NULL_SINK_SCRIPT + " " + arguments;
    }

    void makeEngine(const OutputChoice& choice = {}) {
        engine = AudioEngine::create(loop, choice);
        controller = std::make_shared<AudioPlaybackController>(engine->playerFactory());
        controller->setOnNaturalCompletion([this] { ++completions; });
        subscription = engine->outputStatus()->subscribe([this] { ++statusChanges; });
    }

    CueSlot cue(const char* file, double gainDB = 0.0) const {
        CueSlot slot = CueSlot::empty(0);
        slot.audioFilename = file;
        slot.gainDB = gainDB;
        return slot;
    }

    // Runs the main loop until the condition holds; false after the bound.
    template <typename Condition>
    bool waitFor(Condition condition, std::chrono::milliseconds bound = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (!condition() && std::chrono::steady_clock::now() < deadline) {
            loop.runPending();
            std::this_thread::sleep_for(2ms);
        }
        loop.runPending();
        return condition();
    }

    std::string sinkOfTheEngineStream() {
        const auto inputs = nlohmann::json::parse(
            commandOutput("pactl -f json list sink-inputs 2>/dev/null"), nullptr, false);
        const auto sinks = nlohmann::json::parse(
            commandOutput("pactl -f json list short sinks 2>/dev/null"), nullptr, false);
        if (!inputs.is_array() || !sinks.is_array())
            return {};
        for (const auto& input : inputs) {
            if (input["properties"].value("application.name", "") != "Tavrel")
                continue;
            for (const auto& sink : sinks)
                if (sink["index"] == input["sink"])
                    return sink["name"];
        }
        return {};
    }

    TemporaryDirectory folder;
    std::filesystem::path runtime = folder.path() / "run";
    ScopedEnvironmentVariable runtimeDir{"XDG_RUNTIME_DIR", runtime.c_str()};
    ScopedEnvironmentVariable pulseServer{
        "PULSE_SERVER", ("unix:" + (runtime / "pulse" / "native").string()).c_str()};
    ManualMainLoop loop;
    std::shared_ptr<AudioEngine> engine;
    std::shared_ptr<AudioPlaybackController> controller;
    Subscription subscription;
    int completions = 0;
    int statusChanges = 0;
};

INSTANTIATE_TEST_SUITE_P(Servers, RealOutput, ::testing::Values("pulseaudio", "pipewire"),
                         [](const auto& info) { return std::string(info.param); });

TEST_P(RealOutput, UnderFourBusyProcessesACuePlaysAtItsGainAndNeverStalls) {
#ifdef __SANITIZE_THREAD__
    // Ten times slower threads under load say nothing about the stream; the
    // AddressSanitizer build runs this.
    GTEST_SKIP() << "timing under load is not meaningful under ThreadSanitizer";
#endif
    makeEngine();
    ASSERT_TRUE(engine->outputStatus()->available()) << "the server runs but no stream opened";
    EXPECT_NE(dynamic_cast<PulseAudioOutput*>(&engine->output()), nullptr);
    BusyLoad load;
    MonitorRecording recording(folder.path() / "monitor.raw", sinkName);
    ASSERT_TRUE(recording.running());
    const auto underrunsBefore = engine->underrunCount();
    controller->play(cue("tone.wav", -6.0), folder.path() / "tone.wav");
    ASSERT_TRUE(waitFor([&] { return completions == 1; }));
    const auto left = recording.stop();

    const double expected =
        0.5 * AudioPlaybackController::combinedVolume(1.0, -6.0) / std::sqrt(2.0);
    const double level = soundingLevel(left);
    ASSERT_GT(level, 0.0) << "nothing was recorded from the sink: " << left.size()
                          << " samples, peak " << *std::max_element(left.begin(), left.end())
                          << ", underruns " << engine->underrunCount() << ", "
                          << controller->errorMessage().value_or("no error");
    EXPECT_NEAR(20.0 * std::log10(level / expected), 0.0, 0.1);
    // A late callback may cost silence, never more than one buffer: the stream
    // never stops. (How often it happens under load is measured in bench/.)
    double where = 0.0;
    const auto oneBuffer = static_cast<std::size_t>(engine->output().latencySeconds() * 48000);
    EXPECT_LT(longestGap(left, &where), oneBuffer)
        << "silence inside the cue, " << where << " s in, underruns "
        << engine->underrunCount() - underrunsBefore;
    EXPECT_TRUE(controller->errorMessage() == std::nullopt);
}

TEST_P(RealOutput, ALostServerEndsTheCueAsAFailedStartAndTheEngineComesBackByItself) {
    makeEngine();
    controller->play(cue("long.wav"), folder.path() / "long.wav");
    ASSERT_TRUE(waitFor([&] { return engine->mixer().renderCount() > 50; }));

    stopServer();
    const auto killed = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitFor([&] { return !engine->outputStatus()->available(); }));
    EXPECT_LT(std::chrono::steady_clock::now() - killed, 1s) << "the loss was seen late";
    EXPECT_EQ(controller->errorMessage(), "오디오 재생을 시작하지 못했습니다.");
    EXPECT_TRUE(controller->state().isStopped());
    EXPECT_EQ(completions, 1);
    // Without an output a key fails at once with the same message.
    EXPECT_THROW(controller->play(cue("tone.wav"), folder.path() / "tone.wav"), PlaybackError);

    ASSERT_EQ(startServer(), "");
    ASSERT_TRUE(waitFor([&] { return engine->outputStatus()->available(); }))
        << "no reconnection without a key press";
    MonitorRecording recording(folder.path() / "monitor.raw", sinkName);
    ASSERT_TRUE(recording.running());
    controller->play(cue("tone.wav"), folder.path() / "tone.wav");
    EXPECT_TRUE(controller->state().isPlaying());
    ASSERT_TRUE(waitFor([&] { return completions == 2; }));
    EXPECT_GT(soundingLevel(recording.stop()), 0.3) << "the first play after the return is silent";
}

TEST_P(RealOutput, AChosenOutputThatGoesAwayLeavesSoundOnTheDefaultUntilItComesBack) {
    const std::string load = "pactl load-module module-null-sink sink_name=" + otherSinkName +
                             " sink_properties=device.description=Other";
    std::string module = commandOutput(load);
    ASSERT_FALSE(module.empty());
    const auto devices = listOutputDevices(5s);
    ASSERT_TRUE(devices);
    EXPECT_TRUE(std::any_of(devices->begin(), devices->end(), [](const OutputDevice& device) {
        return device.name == otherSinkName && device.description == "Other";
    }));
    EXPECT_TRUE(std::any_of(devices->begin(), devices->end(),
                            [](const OutputDevice& device) { return device.name == sinkName; }));

    makeEngine({otherSinkName, LatencyPreset::stable});
    EXPECT_TRUE(waitFor([&] { return sinkOfTheEngineStream() == otherSinkName; }));
    EXPECT_FALSE(engine->outputStatus()->chosenOutputMissing());

    // A cue sounding on it goes on, on the default output.
    controller->play(cue("long.wav"), folder.path() / "long.wav");
    commandOutput("pactl unload-module " + module);
    ASSERT_TRUE(waitFor([&] { return engine->outputStatus()->chosenOutputMissing(); }));
    EXPECT_TRUE(waitFor([&] { return sinkOfTheEngineStream() == sinkName; }));
    EXPECT_TRUE(controller->state().isPlaying());
    EXPECT_EQ(controller->errorMessage(), std::nullopt);

    module = commandOutput(load);
    ASSERT_TRUE(waitFor([&] { return !engine->outputStatus()->chosenOutputMissing(); }));
    EXPECT_TRUE(waitFor([&] { return sinkOfTheEngineStream() == otherSinkName; }));

    // Changed at run time: the stream moves, its latency follows the preset.
    const double stableLatency = engine->output().latencySeconds();
    engine->setOutputChoice({"", LatencyPreset::low});
    EXPECT_TRUE(waitFor([&] { return sinkOfTheEngineStream() == sinkName; }));
    EXPECT_TRUE(waitFor([&] { return engine->output().latencySeconds() < stableLatency * 0.9; }))
        << stableLatency << " s, then " << engine->output().latencySeconds() << " s";
    EXPECT_TRUE(engine->outputStatus()->available());
}

}  // namespace
}  // namespace tavrel::test
