// How fast a key press becomes sound: play() broken down per format and
// offset, and the time from play() to the first sample handed to the output
// callback, on OfflineOutput and on a private null sink. Writes
// build/bench-results/cue_start.json.

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>

#include "audio/audio_engine.h"
#include "audio/engine_audio_player.h"
#include "audio/pulse_audio_output.h"
#include "base/main_loop.h"
#include "cue_start_harness.h"
#include "cue_start_qt.h"
#include "playback/audio_playback_controller.h"
#include "playback/clamped_start.h"
#include "signal_files.h"

namespace tavrel::bench {
namespace {

constexpr int starts = 200;
constexpr int coldStarts = 50;
constexpr double fileSeconds = 600.0;
const double offsets[] = {0.0, 37.25};

// Completions are not needed here; tasks posted from other threads are dropped.
class IdleMainLoop final : public MainLoop {
public:
    void post(Task) override {}
    std::unique_ptr<TimerHandle> startRepeatingTimer(std::chrono::milliseconds, Task) override {
        return nullptr;
    }
    Clock::time_point now() const override { return Clock::now(); }
};

struct Steps {
    std::vector<double> make, seek, prepare, play, total, trigger;
};

// The controller's steps for one start, timed; then waits for the first
// sample to reach the callback.
void startOnce(EngineAudioPlayerFactory& factory, const std::filesystem::path& url, double offset,
               Steps& steps) {
    const auto t0 = Clock::now();
    auto made = factory.makePlayer(url);
    const auto t1 = Clock::now();
    made->setCurrentTime(clampedStart(offset, made->duration()));
    made->setVolume(AudioPlaybackController::combinedVolume(1.0, -3.0));
    const auto t2 = Clock::now();
    made->prepareToPlay();
    const auto t3 = Clock::now();
    made->play();
    const auto t4 = Clock::now();
    auto player = std::dynamic_pointer_cast<EngineAudioPlayer>(made);
    const auto deadline = t4 + std::chrono::seconds(3);
    std::optional<Clock::time_point> first;
    while (!(first = player->firstOutputTime()) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    steps.make.push_back(milliseconds(t1 - t0));
    steps.seek.push_back(milliseconds(t2 - t1));
    steps.prepare.push_back(milliseconds(t3 - t2));
    steps.play.push_back(milliseconds(t4 - t3));
    steps.total.push_back(milliseconds(t4 - t0));
    if (first)
        steps.trigger.push_back(milliseconds(*first - t3));
    player->stop();
}

void waitForWarm(AudioEngine& engine, std::size_t count) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (engine.warmStartCount() < count && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

using Files = std::vector<std::pair<test::AudioFormat, std::filesystem::path>>;

Files makeFiles(const std::filesystem::path& folder) {
    std::printf("writing %g-second files...\n", fileSeconds);
    const auto cd = test::sines({{440.0, 0.3}, {1230.0, 0.2}}, fileSeconds, 44100);
    const auto opus = test::sines({{440.0, 0.3}, {1230.0, 0.2}}, fileSeconds, 48000);
    Files files;
    for (const auto& format : test::audioFormats()) {
        const auto path = folder / (format.name + "." + format.extension);
        if (test::writeAudioFile(format, path, format.name == "opus" ? opus : cd))
            files.emplace_back(format, path);
        else
            std::printf("%s skipped: no %s encoder\n", format.name.c_str(), format.encoder.c_str());
    }
    return files;
}

// Every file and offset warm, as the application keeps them; each start then
// waits for its warm start to come back, as a key pressed again later would.
std::map<std::string, Steps> measure(AudioEngine& engine, const Files& files, bool report) {
    auto factory = engine.playerFactory();
    for (const auto& [format, path] : files)
        for (const double offset : offsets)
            engine.warm(path, offset);
    const std::size_t warmCount = files.size() * std::size(offsets);
    std::map<std::string, Steps> results;
    for (const auto& [format, path] : files) {
        for (const double offset : offsets) {
            Steps steps;
            for (int i = 0; i < starts; ++i) {
                waitForWarm(engine, warmCount);
                std::this_thread::sleep_for(std::chrono::milliseconds(8));  // the fade-out ends
                startOnce(*factory, path, offset, steps);
            }
            auto& all = results[format.name];
            for (auto list : {&Steps::make, &Steps::seek, &Steps::prepare, &Steps::play,
                              &Steps::total, &Steps::trigger})
                (all.*list).insert((all.*list).end(), (steps.*list).begin(), (steps.*list).end());
            if (report) {
                const auto s = [&](auto list) { return spreadOf(steps.*list); };
                std::printf(
                    "%-9s @%6.2fs  make %.3f/%.3f  seek %.3f/%.3f  prepare %.3f/%.3f  play "
                    "%.3f/%.3f  total %.3f/%.3f  trigger %.2f/%.2f ms (p50/p99)\n",
                    format.name.c_str(), offset, s(&Steps::make).p50, s(&Steps::make).p99,
                    s(&Steps::seek).p50, s(&Steps::seek).p99, s(&Steps::prepare).p50,
                    s(&Steps::prepare).p99, s(&Steps::play).p50, s(&Steps::play).p99,
                    s(&Steps::total).p50, s(&Steps::total).p99, s(&Steps::trigger).p50,
                    s(&Steps::trigger).p99);
            }
        }
    }
    return results;
}

// The same steps on a file with no warm start: what warming saves.
void measureCold(AudioEngine& engine, const Files& files, const std::filesystem::path& folder) {
    auto factory = engine.playerFactory();
    for (const auto& [format, path] : files) {
        const auto cold = folder / ("cold-" + path.filename().string());
        std::filesystem::create_hard_link(path, cold);
        for (const double offset : offsets) {
            Steps steps;
            for (int i = 0; i < coldStarts; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(8));
                startOnce(*factory, cold, offset, steps);
            }
            const auto total = spreadOf(steps.total);
            std::printf("cold %-9s @%6.2fs  total %.3f/%.3f ms\n", format.name.c_str(), offset,
                        total.p50, total.p99);
        }
    }
}

// Memory per open, prepared player, for a short and a two-hour file.
// A WAV header announcing `seconds` of 16-bit stereo, the data left sparse (zeros).
void writeSparseWav(const std::filesystem::path& path, double seconds, int rate) {
    const auto dataBytes = static_cast<std::uint32_t>(std::llround(seconds * rate) * 4);
    {
        std::ofstream out(path, std::ios::binary);
        const auto put = [&](std::uint32_t value, int bytes) {
            for (int byte = 0; byte < bytes; ++byte)
                out.put(static_cast<char>((value >> (8 * byte)) & 0xff));
        };
        out.write("RIFF", 4);
        put(36 + dataBytes, 4);
        out.write("WAVEfmt ", 8);
        for (const auto& [value, bytes] :
             {std::pair{16, 4}, {1, 2}, {2, 2}, {rate, 4}, {rate * 4, 4}, {4, 2}, {16, 2}})
            put(static_cast<std::uint32_t>(value), bytes);
        out.write("data", 4);
        put(dataBytes, 4);
    }
    std::filesystem::resize_file(path, 44 + std::uintmax_t{dataBytes});
}

void measureMemory(AudioEngine& engine, const std::filesystem::path& folder) {
    auto factory = engine.playerFactory();
    test::writeWav(folder / "short.wav", test::sines({{440.0, 0.3}}, 10.0, 44100));
    writeSparseWav(folder / "two-hours.wav", 7200.0, 44100);
    for (const char* name : {"short.wav", "two-hours.wav"}) {
        std::vector<std::shared_ptr<AudioPlaying>> players;
        const std::size_t heapBefore = heapBytesInUse();
        const std::size_t residentBefore = residentBytes();
        for (int i = 0; i < 12; ++i) {
            players.push_back(factory->makePlayer(folder / name));
            players.back()->prepareToPlay();
        }
        const auto perPlayer = [](std::size_t after, std::size_t before) {
            return (double(after) - double(before)) / 12.0 / (1 << 20);
        };
        std::printf("memory per prepared player of %s: heap %.3f MB, resident %.3f MB\n", name,
                    perPlayer(heapBytesInUse(), heapBefore),
                    perPlayer(residentBytes(), residentBefore));
    }
}

}  // namespace
}  // namespace tavrel::bench

namespace tavrel::bench {
namespace {

struct DeviceRun {
    std::map<std::string, Steps> results;
    QtComparison qt;
    int bufferFrames = 256;
    int sampleRate = 48000;
    double latencyMs = 0.0;
};

// CPU of the whole process, every thread, while one cue plays.
void measureCpu(AudioEngine& engine, const Files& files) {
    const auto cpuStart = processCpuSeconds();
    const auto wallStart = Clock::now();
    auto player = engine.playerFactory()->makePlayer(files.front().second);
    player->play();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double cpu = (processCpuSeconds() - cpuStart) /
                       std::chrono::duration<double>(Clock::now() - wallStart).count();
    std::printf("cpu while one %s cue plays: %.2f %% of one core\n",
                files.front().first.name.c_str(), cpu * 100.0);
    player->stop();
}

DeviceRun measureNullSink(MainLoop& loop, const Files& files, const std::filesystem::path& folder) {
    DeviceRun run;
    NullSinkServer server(folder / "run");
    if (!server.started()) {
        std::printf("== null sink: no private sound server could be started; skipped\n");
        run.qt.why = "no private null sink, so no QMediaPlayer comparison";
        return run;
    }
    setenv("XDG_RUNTIME_DIR", (folder / "run").c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + (folder / "run/pulse/native").string()).c_str(), 1);
    auto engine = AudioEngine::create(loop);
    // An idle null sink holds a new stream's first callbacks back.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (engine->mixer().renderCount() < 50 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    run.bufferFrames = engine->output().bufferFrames();
    run.sampleRate = engine->output().sampleRate();
    run.latencyMs = engine->output().latencySeconds() * 1000.0;
    std::printf("== null sink through %s: %d Hz, %d frames, reported latency %.2f ms\n",
                dynamic_cast<PulseAudioOutput*>(&engine->output()) ? "libpulse" : "PortAudio",
                run.sampleRate, run.bufferFrames, run.latencyMs);
    run.results = measure(*engine, files, true);
    measureCpu(*engine, files);
#ifdef TAVREL_QT_COMPARISON
    std::vector<QtFile> qtFiles;
    for (const auto& [format, path] : files)
        qtFiles.push_back({format.name, path});
    run.qt = measureQtMultimedia(*engine, qtFiles, "tavrel_bench.monitor", 8);
#else
    run.qt.why = "built without Qt Multimedia (qt6-multimedia-dev not found by CMake)";
    std::printf("== QMediaPlayer comparison skipped: %s\n", run.qt.why.c_str());
#endif
    return run;
}

struct PresetRun {
    Spread keyToSink;
    Spread fromRest;                  // starts after 1.4 s of silence, as a show's keys mostly come
    std::uint64_t restUnderruns = 0;  // during those starts
    std::uint64_t startUnderruns = 0;  // during the others
    std::size_t measured = 0;
    double latencyMs = 0.0;
    int bufferFrames = 0;
};

struct ServerRun {
    std::string kind;
    bool started = false;
    bool realtime = false;
    std::map<std::string, PresetRun> presets;
    std::uint64_t underrunsUnderLoad = 0;
    std::uint64_t firstCueUnderruns = 0;
    double startMs = 0.0;
    double cpuIdlePercent = 0.0;
    double cpuPlayingPercent = 0.0;
};

constexpr int keyToSinkStarts = 150;
constexpr int restedStarts = 12;
constexpr auto restedPause = std::chrono::milliseconds(1400);

// The controller's play() (all the store's play adds to it) → the first
// sample of the cue played at the server, seen at the sink's monitor. Starts
// are spread over the server's cycle by a random pause.
PresetRun measureKeyToSink(AudioEngine& engine, AudioPlaybackController& controller,
                           const std::filesystem::path& file) {
    PresetRun run;
    SinkMonitor monitor("tavrel_bench");
    if (!monitor.running())
        return run;
    CueSlot slot = CueSlot::empty(0);
    slot.audioFilename = file.filename().string();
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pause(0, 20'000);
    std::vector<double> samples;
    std::vector<double> rested;
    engine.warm(file, 0.0);
    std::uint64_t underrunsBefore = engine.underrunCount();
    for (int i = 0; i < keyToSinkStarts + restedStarts; ++i) {
        waitForWarm(engine, 1);
        const bool afterRest = i >= keyToSinkStarts;
        if (i == keyToSinkStarts) {
            run.startUnderruns = engine.underrunCount() - underrunsBefore;
            underrunsBefore = engine.underrunCount();
        }
        std::this_thread::sleep_for(afterRest ? restedPause
                                              : std::chrono::microseconds(pause(random)));
        monitor.arm();
        const auto pressed = Clock::now();
        controller.play(slot, file);
        if (const auto onset = monitor.onset(std::chrono::seconds(2)))
            (afterRest ? rested : samples).push_back(milliseconds(*onset - pressed));
        controller.stop();
        monitor.waitForSilence(std::chrono::milliseconds(60));
    }
    run.keyToSink = spreadOf(samples);
    run.fromRest = spreadOf(rested);
    run.restUnderruns = engine.underrunCount() - underrunsBefore;
    run.measured = samples.size();
    run.latencyMs = engine.output().latencySeconds() * 1000.0;
    run.bufferFrames = engine.output().bufferFrames();
    return run;
}

double cpuPercentOver(std::chrono::seconds seconds) {
    const auto cpuStart = processCpuSeconds();
    const auto wallStart = Clock::now();
    std::this_thread::sleep_for(seconds);
    return 100.0 * (processCpuSeconds() - cpuStart) /
           std::chrono::duration<double>(Clock::now() - wallStart).count();
}

// Twelve warm cues, idle, then one playing.
void measureProcessCpu(AudioEngine& engine, AudioPlaybackController& controller,
                       const CueSlot& slot, const std::filesystem::path& file, ServerRun& run) {
    for (int i = 0; i < 12; ++i)
        engine.warm(file, 10.0 * i);
    waitForWarm(engine, 12);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    run.cpuIdlePercent = cpuPercentOver(std::chrono::seconds(5));
    controller.play(slot, file);
    run.cpuPlayingPercent = cpuPercentOver(std::chrono::seconds(5));
    controller.stop();
}

// The first cue as soon as the engine is there, as a show's first key may be.
std::uint64_t firstCueUnderruns(AudioEngine& engine, AudioPlaybackController& controller,
                                const CueSlot& slot, const std::filesystem::path& file) {
    controller.play(slot, file);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    controller.stop();
    return engine.underrunCount();
}

// Key to sink per latency preset, underruns of a 20 s cue under four busy
// processes at "stable", and the whole process's CPU with twelve warm cues.
ServerRun measureServer(const std::string& kind, MainLoop& loop, const Files& files,
                        const std::filesystem::path& folder) {
    ServerRun run;
    run.kind = kind;
    NullSinkServer server(folder / ("run-" + kind), kind);
    run.started = server.started();
    if (!run.started) {
        std::printf("== %s: no private server could be started; skipped\n", kind.c_str());
        return run;
    }
    setenv("XDG_RUNTIME_DIR", (folder / ("run-" + kind)).c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + (folder / ("run-" + kind) / "pulse/native").string()).c_str(),
           1);
    const auto created = Clock::now();
    auto engine = AudioEngine::create(loop, {});
    run.startMs = milliseconds(Clock::now() - created);
    auto* pulse = dynamic_cast<PulseAudioOutput*>(&engine->output());
    auto controller = std::make_shared<AudioPlaybackController>(engine->playerFactory());
    const auto& file = files.front().second;
    CueSlot slot = CueSlot::empty(0);
    slot.audioFilename = file.filename().string();
    run.firstCueUnderruns = firstCueUnderruns(*engine, *controller, slot, file);
    std::printf("== %s: engine made in %.0f ms; %llu underruns in the first cue's first second\n",
                kind.c_str(), run.startMs, static_cast<unsigned long long>(run.firstCueUnderruns));
    for (const auto preset : {LatencyPreset::stable, LatencyPreset::low}) {
        engine->setOutputChoice({"", preset});
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const auto key = std::string(latencyPresetKey(preset));
        run.presets[key] = measureKeyToSink(*engine, *controller, file);
        const auto& result = run.presets[key];
        std::printf(
            "== %s %s: latency %.1f ms, %d frames a request; key to sink %.2f/%.2f ms "
            "(p50/p99 of %zu) with %llu underruns, after a rest %.2f/%.2f ms with %llu\n",
            kind.c_str(), key.c_str(), result.latencyMs, result.bufferFrames, result.keyToSink.p50,
            result.keyToSink.p99, result.measured,
            static_cast<unsigned long long>(result.startUnderruns), result.fromRest.p50,
            result.fromRest.p99, static_cast<unsigned long long>(result.restUnderruns));
    }
    run.realtime = pulse && pulse->realtime();

    engine->setOutputChoice({"", LatencyPreset::stable});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    {
        BusyLoad load;
        const auto before = engine->underrunCount();
        controller->play(slot, file);
        std::this_thread::sleep_for(std::chrono::seconds(20));
        run.underrunsUnderLoad = engine->underrunCount() - before;
        controller->stop();
    }

    measureProcessCpu(*engine, *controller, slot, file, run);
    std::printf(
        "== %s: realtime audio thread %s; %llu underruns in 20 s under four busy "
        "processes; cpu %.2f %% idle with 12 warm cues, %.2f %% playing\n",
        kind.c_str(), run.realtime ? "yes" : "no",
        static_cast<unsigned long long>(run.underrunsUnderLoad), run.cpuIdlePercent,
        run.cpuPlayingPercent);
    return run;
}

void writePresets(std::ostream& json, const ServerRun& run) {
    json << "{\"started\": " << (run.started ? "true" : "false")
         << ", \"realtime_audio_thread\": " << (run.realtime ? "true" : "false")
         << ", \"underruns_under_load\": " << run.underrunsUnderLoad
         << ", \"first_cue_underruns\": " << run.firstCueUnderruns
         << ", \"engine_start_ms\": " << run.startMs
         << ", \"cpu_idle_percent\": " << run.cpuIdlePercent
         << ", \"cpu_playing_percent\": " << run.cpuPlayingPercent << ", \"presets\": {";
    bool first = true;
    for (const auto& [name, preset] : run.presets) {
        json << (first ? "" : ", ") << "\"" << name
             << "\": {\"key_to_sink_p50_ms\": " << preset.keyToSink.p50
             << ", \"key_to_sink_p99_ms\": " << preset.keyToSink.p99
             << ", \"key_to_sink_after_rest_p50_ms\": " << preset.fromRest.p50
             << ", \"key_to_sink_after_rest_p99_ms\": " << preset.fromRest.p99
             << ", \"underruns_after_rest\": " << preset.restUnderruns
             << ", \"underruns_during_starts\": " << preset.startUnderruns
             << ", \"starts_measured\": " << preset.measured
             << ", \"stream_latency_ms\": " << preset.latencyMs
             << ", \"request_frames\": " << preset.bufferFrames << "}";
        first = false;
    }
    json << "}}";
}

// play_* from OfflineOutput; trigger_* from the null sink when it ran.
void writeJson(const std::map<std::string, Steps>& offline, const DeviceRun& sink,
               const std::vector<ServerRun>& servers) {
    std::filesystem::create_directories("build/bench-results");
    std::ofstream json("build/bench-results/cue_start.json");
    json << "{\"formats\": {";
    bool firstFormat = true;
    for (const auto& [name, steps] : offline) {
        const auto play = spreadOf(steps.total);
        const auto found = sink.results.find(name);
        const auto trigger =
            spreadOf(found != sink.results.end() ? found->second.trigger : steps.trigger);
        const auto offlineTrigger = spreadOf(steps.trigger);
        json << (firstFormat ? "" : ", ") << "\"" << name << "\": {\"play_p50_ms\": " << play.p50
             << ", \"play_p99_ms\": " << play.p99 << ", \"trigger_p50_ms\": " << trigger.p50
             << ", \"trigger_p99_ms\": " << trigger.p99
             << ", \"offline_trigger_p50_ms\": " << offlineTrigger.p50
             << ", \"offline_trigger_p99_ms\": " << offlineTrigger.p99 << ", \"qt_p50_ms\": ";
        if (const auto qt = sink.qt.p50.find(name); qt != sink.qt.p50.end())
            json << qt->second;
        else
            json << "null";
        if (const auto qt = sink.qt.replayP50.find(name); qt != sink.qt.replayP50.end())
            json << ", \"qt_replay_p50_ms\": " << qt->second;
        json << "}";
        firstFormat = false;
    }
    json << "}";
    // The top-level figures: PulseAudio at the default ("stable") preset.
    if (!servers.empty() && servers.front().presets.contains("stable")) {
        const auto& main = servers.front();
        const auto& stable = main.presets.at("stable");
        json << ", \"key_to_sink_p50_ms\": " << stable.keyToSink.p50
             << ", \"key_to_sink_p99_ms\": " << stable.keyToSink.p99
             << ", \"underruns_under_load\": " << main.underrunsUnderLoad
             << ", \"cpu_idle_percent\": " << main.cpuIdlePercent
             << ", \"cpu_playing_percent\": " << main.cpuPlayingPercent << ", \"presets\": {";
        bool first = true;
        for (const auto& [name, preset] : main.presets) {
            json << (first ? "" : ", ") << "\"" << name
                 << "\": {\"key_to_sink_p50_ms\": " << preset.keyToSink.p50
                 << ", \"key_to_sink_p99_ms\": " << preset.keyToSink.p99 << "}";
            first = false;
        }
        json << "}";
    }
    json << ", \"servers\": {";
    for (std::size_t i = 0; i < servers.size(); ++i) {
        json << (i ? ", " : "") << "\"" << servers[i].kind << "\": ";
        writePresets(json, servers[i]);
    }
    json << "}, \"key_to_sink_measure\": \"AudioPlaybackController::play() to the first sample "
            "above 0.02 at the null sink's monitor, read in-process with 1 ms fragments\"";
    json << ", \"buffer_frames\": " << sink.bufferFrames << ", \"sample_rate\": " << sink.sampleRate
         << ", \"device_latency_ms\": " << sink.latencyMs << ", \"trigger_measured_on\": \""
         << (sink.results.empty() ? "offline" : "null_sink") << "\", \"qt_measure\": \""
         << (sink.qt.p50.empty() ? "not measured: " + sink.qt.why : qtMeasureDescription)
         << "\"}\n";
    std::printf("results: build/bench-results/cue_start.json\n");
}

}  // namespace
}  // namespace tavrel::bench

int main(int argc, char** argv) {
    using namespace tavrel;
    using namespace tavrel::bench;
    // Per process: other checkouts on the machine run this bench too.
    const auto folder = std::filesystem::temp_directory_path() /
                        ("tavrel-bench-cue-start-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    IdleMainLoop loop;
    {
        auto output = std::make_unique<OfflineOutput>(48000, 256);
        auto* pulled = output.get();
        auto engine = AudioEngine::create(loop, std::move(output), AudioEngine::Options{});
        OfflinePump pump(*pulled);
        measureMemory(*engine, folder);
    }
    if (argc > 1 && std::string(argv[1]) == "--memory-only") {
        std::filesystem::remove_all(folder);
        return 0;
    }
    if (argc > 1 && std::string(argv[1]) == "--output-only") {
        // The sound-server figures alone, on one two-minute WAV.
        const auto wav = folder / "output.wav";
        test::writeWav(wav, test::sines({{440.0, 0.3}, {1230.0, 0.2}}, 120.0, 48000));
        const Files one{{test::audioFormats().front(), wav}};
        std::vector<ServerRun> servers;
        for (const char* kind : {"pulseaudio", "pipewire"})
            servers.push_back(measureServer(kind, loop, one, folder));
        writeJson({}, DeviceRun{}, servers);
        std::filesystem::remove_all(folder);
        return 0;
    }
    const auto files = makeFiles(folder);

    std::printf("== OfflineOutput, 48 kHz, 256 frames\n");
    std::map<std::string, Steps> offlineResults;
    {
        auto output = std::make_unique<OfflineOutput>(48000, 256);
        auto* pulled = output.get();
        auto engine = AudioEngine::create(loop, std::move(output), AudioEngine::Options{});
        OfflinePump pump(*pulled);
        offlineResults = measure(*engine, files, true);
        measureCold(*engine, files, folder);
    }
    const DeviceRun sink = measureNullSink(loop, files, folder);
    std::vector<ServerRun> servers;
    for (const char* kind : {"pulseaudio", "pipewire"})
        servers.push_back(measureServer(kind, loop, files, folder));
    writeJson(offlineResults, sink, servers);
    std::filesystem::remove_all(folder);
    return 0;
}
