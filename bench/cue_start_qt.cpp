// Qt Multimedia's QMediaPlayer against the engine, on the same null sink, in
// the same run. Only index differences in one recording of the sink's
// monitor are used, so the recording's own latency cancels out:
//
//   qt_ms = (qtOnset - engineOnset) / rate - (qtPlay - engineFirstCallback)
//
// where the onsets are sample indices in the monitor recording, qtPlay is the
// steady clock at QMediaPlayer::play() and engineFirstCallback is when the
// engine's first sample of its calibration cue reached the output callback.
// That is Qt's play() to sound in the sink, minus the engine's callback to
// sound in the sink: the same reference point as trigger_*_ms.

#include "cue_start_qt.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAudioOutput>
#include <QCoreApplication>
#include <QMediaPlayer>
#include <QUrl>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <optional>

#include "audio/audio_engine.h"
#include "audio/engine_audio_player.h"
#include "cue_start_harness.h"

extern char** environ;

namespace tavrel::bench {
namespace {

constexpr int recordRate = 48000;
constexpr float silence = 1e-4f;
// Long enough that a late start is not cut off (seen here: ~1.1 s).
constexpr auto playWindow = std::chrono::milliseconds(2000);

template <class Done>
bool spinUntil(Done done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return true;
}

void spinFor(std::chrono::milliseconds time) {
    spinUntil([] { return false; }, time);
}

// parecord on the monitor source into a raw float file; peak of the two
// channels per frame once stopped.
class MonitorRecording {
public:
    MonitorRecording(const std::string& source, const std::filesystem::path& file) : m_file(file) {
        const std::string device = "--device=" + source;
        const std::string rate = "--rate=" + std::to_string(recordRate);
        std::vector<std::string> args = {"parecord",           device,         "--raw",
                                         "--format=float32le", "--channels=2", rate,
                                         "--latency-msec=5",   file.string()};
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&m_pid, "parecord", nullptr, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
    }
    ~MonitorRecording() { stop(); }
    bool started() const { return m_pid > 0; }

    std::vector<float> stop() {
        std::vector<float> peaks;
        if (m_pid <= 0)
            return peaks;
        kill(m_pid, SIGINT);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        std::ifstream in(m_file, std::ios::binary);
        float frame[2];
        while (in.read(reinterpret_cast<char*>(frame), sizeof frame))
            peaks.push_back(std::max(std::fabs(frame[0]), std::fabs(frame[1])));
        std::filesystem::remove(m_file);
        return peaks;
    }

private:
    std::filesystem::path m_file;
    pid_t m_pid = -1;
};

std::optional<std::size_t> firstSound(const std::vector<float>& peaks, std::size_t from) {
    for (std::size_t i = from; i < peaks.size(); ++i)
        if (peaks[i] > silence)
            return i;
    return std::nullopt;
}

// First index after `from` that starts `length` silent frames.
std::optional<std::size_t> firstQuiet(const std::vector<float>& peaks, std::size_t from,
                                      std::size_t length) {
    std::size_t run = 0;
    for (std::size_t i = from; i < peaks.size(); ++i) {
        run = peaks[i] > silence ? 0 : run + 1;
        if (run == length)
            return i + 1 - length;
    }
    return std::nullopt;
}

struct QtStart {
    double first = 0.0;           // play() of a freshly loaded player
    std::optional<double> again;  // play() of the same player after stop()
};

// One calibrated start: engine cue, silence, then QMediaPlayer, stopped and
// played again. Milliseconds, or nothing with the reason in `why`.
std::optional<QtStart> startOnce(AudioEngine& engine, const QtFile& file,
                                 const std::string& monitorSource, std::string& why) {
    QMediaPlayer qt;
    QAudioOutput qtOutput;
    qt.setAudioOutput(&qtOutput);
    qtOutput.setVolume(1.0f);
    qt.setSource(QUrl::fromLocalFile(QString::fromStdString(file.path.string())));
    if (!spinUntil(
            [&] {
                return qt.mediaStatus() == QMediaPlayer::LoadedMedia ||
                       qt.mediaStatus() == QMediaPlayer::InvalidMedia ||
                       qt.error() != QMediaPlayer::NoError;
            },
            std::chrono::seconds(5)) ||
        qt.mediaStatus() != QMediaPlayer::LoadedMedia) {
        why = "QMediaPlayer did not load the file: " + qt.errorString().toStdString();
        return std::nullopt;
    }

    MonitorRecording recording(monitorSource,
                               std::filesystem::temp_directory_path() / "tavrel-qt-monitor.raw");
    if (!recording.started()) {
        why = "parecord could not be started";
        return std::nullopt;
    }
    spinFor(std::chrono::milliseconds(400));

    auto made = engine.playerFactory()->makePlayer(file.path);
    made->prepareToPlay();
    auto player = std::dynamic_pointer_cast<EngineAudioPlayer>(made);
    player->play();
    std::optional<Clock::time_point> engineFirst;
    spinUntil([&] { return (engineFirst = player->firstOutputTime()).has_value(); },
              std::chrono::seconds(3));
    spinFor(std::chrono::milliseconds(150));
    player->stop();
    spinFor(std::chrono::milliseconds(400));

    const auto qtPlay = Clock::now();
    qt.play();
    spinFor(playWindow);
    qt.stop();
    spinFor(std::chrono::milliseconds(300));
    const auto qtReplay = Clock::now();
    qt.play();
    spinFor(playWindow);
    qt.stop();
    spinFor(std::chrono::milliseconds(100));
    const auto peaks = recording.stop();

    if (!engineFirst) {
        why = "the engine's calibration cue never reached the callback";
        return std::nullopt;
    }
    const auto engineOnset = firstSound(peaks, 0);
    const auto gap = engineOnset ? firstQuiet(peaks, *engineOnset, recordRate / 10) : std::nullopt;
    const auto qtOnset = gap ? firstSound(peaks, *gap) : std::nullopt;
    if (!qtOnset) {
        why = "no QMediaPlayer sound in the monitor recording within 2 s of play()";
        return std::nullopt;
    }
    const auto since = [&](std::size_t onset, Clock::time_point call) {
        return double(onset - *engineOnset) * 1000.0 / recordRate -
               milliseconds(call - *engineFirst);
    };
    QtStart start{since(*qtOnset, qtPlay), std::nullopt};
    const auto gapAgain = firstQuiet(peaks, *qtOnset, recordRate / 10);
    if (const auto again = gapAgain ? firstSound(peaks, *gapAgain) : std::nullopt)
        start.again = since(*again, qtReplay);
    return start;
}

}  // namespace

QtComparison measureQtMultimedia(AudioEngine& engine, const std::vector<QtFile>& files,
                                 const std::string& monitorSource, int runs) {
    QtComparison result;
    int argc = 1;
    char name[] = "tavrel_bench_cue_start";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    std::printf("== QMediaPlayer + QAudioOutput on the same null sink, %d starts per format\n",
                runs);
    for (const auto& file : files) {
        std::vector<double> samples, again;
        std::string why;
        for (int i = 0; i < runs; ++i) {
            if (const auto ms = startOnce(engine, file, monitorSource, why)) {
                samples.push_back(ms->first);
                if (ms->again)
                    again.push_back(*ms->again);
            } else if (why.rfind("QMediaPlayer did not load", 0) == 0)
                break;
        }
        if (samples.empty()) {
            std::printf("qt %-9s not measured: %s\n", file.format.c_str(), why.c_str());
            continue;
        }
        const auto spread = spreadOf(samples);
        result.p50[file.format] = spread.p50;
        if (!again.empty())
            result.replayP50[file.format] = spreadOf(again).p50;
        std::string all;
        for (const double ms : samples) {
            char one[32];
            std::snprintf(one, sizeof one, " %.1f", ms);
            all.append(one);
        }
        std::printf("qt %-9s play() to sound %.2f ms median over %zu starts (%s )%s%s\n",
                    file.format.c_str(), spread.p50, samples.size(), all.c_str(),
                    why.empty() ? "" : "; missed: ", why.c_str());
        if (!again.empty())
            std::printf("qt %-9s same player, play() again after stop(): %.2f ms median over %zu\n",
                        file.format.c_str(), spreadOf(again).p50, again.size());
    }
    return result;
}

}  // namespace tavrel::bench
