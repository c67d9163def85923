#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <thread>

#include "audio/audio_engine.h"
#include "playback/audio_playback_controller.h"
#include "signal_files.h"
#include "support/fault_injecting_file_system.h"
#include "support/manual_main_loop.h"
#include "support/scoped_environment_variable.h"

extern char** environ;

namespace tavrel::test {
namespace {

const std::string sinkName = "tavrel_test";

std::string nullSink(const std::string& arguments) {
    return std::string("sh ") + TAVREL_NULL_SINK_SCRIPT + " " + arguments;
}

// A private sound server for the length of a test; stopped by its pid file.
class PrivateSoundServer {
public:
    explicit PrivateSoundServer(const std::filesystem::path& runtime) : m_runtime(runtime) {
        const auto log = runtime.parent_path() / "server.log";
        m_started = std::system((nullSink("start " + runtime.string() + " " + sinkName) + " 2>" +
                                 log.string())
                                    .c_str()) == 0;
        if (!m_started)
            m_why = readFile(log);
    }
    ~PrivateSoundServer() {
        if (m_started)
            std::system(nullSink("stop " + m_runtime.string()).c_str());
    }
    bool started() const { return m_started; }
    const std::string& why() const { return m_why; }

private:
    std::filesystem::path m_runtime;
    bool m_started = false;
    std::string m_why;
};

// Records the sink's monitor as raw float32 stereo into a file until stopped.
class MonitorRecording {
public:
    explicit MonitorRecording(const std::filesystem::path& file) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, file.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const std::string device = "--device=" + sinkName + ".monitor";
        const char* argv[] = {"parec",        device.c_str(), "--format=float32le",
                              "--rate=48000", "--channels=2", "--latency-msec=10",
                              nullptr};
        m_running = posix_spawnp(&m_pid, "parec", &actions, nullptr, const_cast<char**>(argv),
                                 environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~MonitorRecording() { stop(); }
    bool running() const { return m_running; }
    void stop() {
        if (!m_running)
            return;
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_running = false;
    }

private:
    pid_t m_pid = -1;
    bool m_running = false;
};

void runFor(ManualMainLoop& loop, std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        loop.runPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// RMS of the left channel's 10 ms windows over the sounding part, edges left
// out, at the 90th percentile: an underrun on a loaded machine only ever takes
// level away, a wrong gain moves every window.
double soundingLevel(const std::vector<float>& samples) {
    std::size_t first = 0, last = 0;
    for (std::size_t i = 0; i < samples.size(); i += 2) {
        if (std::abs(samples[i]) > 0.05f) {
            first = first ? first : i;
            last = i;
        }
    }
    const std::size_t window = 480 * 2;
    if (last < first + 10 * window)
        return 0.0;
    std::vector<double> levels;
    for (std::size_t start = first + 2 * window; start + window < last - 2 * window;
         start += window) {
        double sum = 0.0;
        for (std::size_t i = start; i < start + window; i += 2)
            sum += double(samples[i]) * samples[i];
        levels.push_back(std::sqrt(sum / double(window / 2)));
    }
    const auto at = levels.begin() + levels.size() * 9 / 10;
    std::nth_element(levels.begin(), at, levels.end());
    return *at;
}

TEST(RealOutput, ACuePlaysThroughTheDefaultDeviceAtItsGain) {
    TemporaryDirectory folder;
    const auto runtime = folder.path() / "run";
    PrivateSoundServer server(runtime);
    if (!server.started())
        GTEST_SKIP() << "no private sound server could be started: " << server.why();
    const std::string socket = "unix:" + (runtime / "pulse" / "native").string();
    ScopedEnvironmentVariable runtimeDir("XDG_RUNTIME_DIR", runtime.c_str());
    ScopedEnvironmentVariable pulseServer("PULSE_SERVER", socket.c_str());

    writeWav(folder.path() / "tone.wav", sines({{1000.0, 0.5}}, 1.0));
    ManualMainLoop loop;
    auto engine = AudioEngine::create(loop);
    ASSERT_TRUE(engine->output().ensureRunning()) << "the server runs but no stream opened";
    EXPECT_GE(engine->output().bufferFrames(), 128);
    EXPECT_LE(engine->output().bufferFrames(), 256);
    auto controller = std::make_shared<AudioPlaybackController>(engine->playerFactory());

    // An idle null sink holds a new stream's first callbacks back for a while;
    // the engine's stream is open from start-up, so wait as an application would.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (engine->mixer().renderCount() < 50 && std::chrono::steady_clock::now() < deadline)
        runFor(loop, std::chrono::milliseconds(20));
    ASSERT_GE(engine->mixer().renderCount(), 50u) << "the device never pulled";
    MonitorRecording recording(folder.path() / "monitor.raw");
    ASSERT_TRUE(recording.running());
    runFor(loop, std::chrono::milliseconds(300));
    CueSlot slot = CueSlot::empty(0);
    slot.audioFilename = "tone.wav";
    slot.gainDB = -6.0;
    int completions = 0;
    controller->setOnNaturalCompletion([&] { ++completions; });
    controller->play(slot, folder.path() / "tone.wav");
    runFor(loop, std::chrono::milliseconds(1500));
    recording.stop();
    EXPECT_EQ(completions, 1);

    const std::string raw = readFile(folder.path() / "monitor.raw");
    std::vector<float> samples(raw.size() / sizeof(float));
    std::memcpy(samples.data(), raw.data(), samples.size() * sizeof(float));
    const double expected =
        0.5 * AudioPlaybackController::combinedVolume(1.0, -6.0) / std::sqrt(2.0);
    const double level = soundingLevel(samples);
    ASSERT_GT(level, 0.0) << "nothing was recorded from the sink";
    EXPECT_NEAR(20.0 * std::log10(level / expected), 0.0, 0.1);
}

// The sound server goes away under a running stream and comes back: the
// next play must reopen the default device instead of feeding a dead stream.
TEST(RealOutput, AfterTheDeviceIsLostTheNextPlayReopensIt) {
    TemporaryDirectory folder;
    const auto runtime = folder.path() / "run";
    auto server = std::make_unique<PrivateSoundServer>(runtime);
    if (!server->started())
        GTEST_SKIP() << "no private sound server could be started: " << server->why();
    const std::string socket = "unix:" + (runtime / "pulse" / "native").string();
    ScopedEnvironmentVariable runtimeDir("XDG_RUNTIME_DIR", runtime.c_str());
    ScopedEnvironmentVariable pulseServer("PULSE_SERVER", socket.c_str());
    writeWav(folder.path() / "tone.wav", sines({{1000.0, 0.5}}, 5.0));
    ManualMainLoop loop;
    auto engine = AudioEngine::create(loop);
    auto controller = std::make_shared<AudioPlaybackController>(engine->playerFactory());
    const auto rendersWithin = [&](std::uint64_t count, std::chrono::seconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (engine->mixer().renderCount() < count && std::chrono::steady_clock::now() < deadline)
            runFor(loop, std::chrono::milliseconds(20));
        return engine->mixer().renderCount() >= count;
    };
    ASSERT_TRUE(rendersWithin(50, std::chrono::seconds(10)));

    server.reset();
    runFor(loop, std::chrono::milliseconds(3000));
    server = std::make_unique<PrivateSoundServer>(runtime);
    ASSERT_TRUE(server->started()) << server->why();
    CueSlot slot = CueSlot::empty(0);
    slot.audioFilename = "tone.wav";
    controller->play(slot, folder.path() / "tone.wav");
    EXPECT_TRUE(controller->state().isPlaying());
    EXPECT_TRUE(rendersWithin(engine->mixer().renderCount() + 50, std::chrono::seconds(10)))
        << "the stream was not reopened";
}

}  // namespace
}  // namespace tavrel::test
