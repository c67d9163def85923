// The real application under a private X server, driven by real key events,
// with what it plays recorded from a PulseAudio null sink.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "model/document_json.h"
#include "show_environment.h"
#include "signal_analysis.h"
#include "support/fault_injecting_file_system.h"

namespace tavrel::e2e {
namespace {

using namespace std::chrono_literals;

constexpr double cueAmplitude = 0.5;
constexpr double cueGainDB = -6.0;
const double expectedRMS = cueAmplitude * std::pow(10.0, cueGainDB / 20.0) / std::sqrt(2.0);

// Slot 0's file: 440 Hz before its start offset of 5 s, then 880 Hz for
// 1.5 s, then 660 Hz: what is heard tells where playback started and resumed.
std::filesystem::path prepareLibrary(const std::filesystem::path& root) {
    const auto library = root / "library";
    std::filesystem::create_directories(library / "Media");
    writeToneWav(library / "Media" / "audio-e2e-cue.wav", 44100,
                 {{440, 5.0, cueAmplitude}, {880, 1.5, cueAmplitude}, {660, 8.0, cueAmplitude}});
    writeToneWav(library / "Media" / "loop-e2e-a.wav", 48000, {{330, 1.2, 0.4}});
    writeToneWav(library / "Media" / "loop-e2e-b.wav", 48000, {{550, 1.2, 0.4}});

    auto document = CueDocument::empty();
    document.slots[0].title = "오프닝";
    document.slots[0].audioFilename = "audio-e2e-cue.wav";
    document.slots[0].startSeconds = 5.0;
    document.slots[0].gainDB = cueGainDB;
    document.slots[1].title = "음원 없음";
    LoopTrack first;
    first.title = "배경 A";
    first.audioFilename = "loop-e2e-a.wav";
    LoopTrack second;
    second.title = "배경 B";
    second.audioFilename = "loop-e2e-b.wav";
    document.loopTracks = {first, second};
    test::writeFile(library / "cues.json", encodeDocument(document));
    return library;
}

// Stretches long enough to mean something: ramps and window edges make short ones.
std::vector<Stretch> significant(const std::vector<Stretch>& all) {
    std::vector<Stretch> result;
    for (const auto& s : all) {
        if (s.durationSeconds < 0.045)
            continue;
        const bool sameAsLast =
            !result.empty() && ((s.frequencyHz == 0) == (result.back().frequencyHz == 0)) &&
            (s.frequencyHz == 0 ||
             std::fabs(s.frequencyHz - result.back().frequencyHz) < 0.03 * s.frequencyHz);
        if (sameAsLast) {
            result.back().durationSeconds =
                s.startSeconds + s.durationSeconds - result.back().startSeconds;
        } else {
            result.push_back(s);
        }
    }
    return result;
}

bool near(double frequency, double expected) {
    return std::fabs(frequency - expected) < 0.02 * expected;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        m_environment = std::make_unique<ShowEnvironment>(m_root.path());
        // Installed but not starting is a failure, never a skip.
        const auto servers = m_environment->startServers();
        ASSERT_TRUE(servers.empty()) << servers;
        m_library = prepareLibrary(m_root.path());
        m_documentBefore = test::readFile(m_library / "cues.json");
        const auto recording = m_environment->startRecording();
        ASSERT_TRUE(recording.empty()) << recording;
        const auto application = m_environment->startApplication(m_library);
        ASSERT_TRUE(application.empty()) << application;
    }

    test::TemporaryDirectory m_root;
    std::unique_ptr<ShowEnvironment> m_environment;
    std::filesystem::path m_library;
    std::string m_documentBefore;
};

TEST_F(EndToEnd, CueKeyPlaysFromItsOffsetAtItsGainAndSpacePausesAndResumesWithoutAClick) {
    auto& show = *m_environment;
    show.screenshot("start");
    show.key("1");
    std::this_thread::sleep_for(1000ms);
    show.screenshot("playing");
    show.key("space");
    std::this_thread::sleep_for(800ms);
    show.screenshot("paused");
    show.key("space");
    std::this_thread::sleep_for(1500ms);
    show.key("2");  // a slot without audio: the cue goes on
    std::this_thread::sleep_for(700ms);
    show.key("space");
    std::this_thread::sleep_for(300ms);
    const auto recording = show.stopRecording();
    // Kept beside the screenshots for a look after a failure.
    std::filesystem::copy_file(recording, std::string(TAVREL_SCREENSHOT_DIR) + "/e2e-monitor.raw",
                               std::filesystem::copy_options::overwrite_existing);

    const auto heard =
        significant(stretches(analyseRecording(recording, ShowEnvironment::sampleRate)));
    const auto text = describe(heard) + show.logs();
    auto first880 = std::find_if(heard.begin(), heard.end(),
                                 [](const Stretch& s) { return near(s.frequencyHz, 880); });
    ASSERT_NE(first880, heard.end()) << text;
    ASSERT_GE(heard.end() - first880, 4) << text;
    const auto& played = first880[0];
    const auto& pause = first880[1];
    const auto& resumed = first880[2];
    const auto& after = first880[3];

    for (const auto& s : heard)
        EXPECT_FALSE(near(s.frequencyHz, 440)) << "heard before the offset\n" << text;
    EXPECT_NEAR(played.rms, expectedRMS, expectedRMS * 0.06) << text;  // about ±0.5 dB
    // Where the recording begins is the sink's business: only lengths after it count.
    EXPECT_GT(played.durationSeconds, 0.5) << text;
    EXPECT_EQ(pause.frequencyHz, 0) << text;
    EXPECT_NEAR(pause.durationSeconds, 0.8, 0.2) << text;
    ASSERT_TRUE(near(resumed.frequencyHz, 880)) << text;
    // Resumed where it paused: 1.5 s of 880 Hz in all, whatever the pause.
    EXPECT_NEAR(played.durationSeconds + resumed.durationSeconds, 1.5, 0.08) << text;
    EXPECT_TRUE(near(after.frequencyHz, 660)) << text;
    EXPECT_GT(after.durationSeconds, 1.1) << "the key of an empty slot interrupted the cue\n"
                                          << text;

    // The natural step of these sines is under 0.03; a cut would jump up to 0.25.
    const double largest = largestStepBetween(recording, ShowEnvironment::sampleRate, 0, 1e9);
    EXPECT_LT(largest, 0.05) << text;

    EXPECT_EQ(show.quitApplication(), 0) << show.logs();
    EXPECT_EQ(test::readFile(m_library / "cues.json"), m_documentBefore);
}

// Window coordinates of the controls used below, in the 1180 × 820 window.
constexpr int editSwitchX = 1140, editSwitchY = 74;
constexpr int loopSectionX = 80, loopSectionY = 187;
constexpr int firstTrackCheckX = 265, firstTrackCheckY = 262;
constexpr int secondTrackCheckX = 265, secondTrackCheckY = 307;
constexpr int loopStartX = 857, loopStartY = 168;
constexpr int loopStopX = 1100, loopStopY = 168;

TEST_F(EndToEnd, InEditModeCueKeysPlayNothing) {
    auto& show = *m_environment;
    show.click(editSwitchX, editSwitchY);
    std::this_thread::sleep_for(300ms);
    show.screenshot("edit-mode");
    show.key("1");
    std::this_thread::sleep_for(800ms);
    const auto heard =
        significant(stretches(analyseRecording(show.stopRecording(), ShowEnvironment::sampleRate)));
    for (const auto& s : heard)
        EXPECT_EQ(s.frequencyHz, 0) << describe(heard);
    EXPECT_EQ(show.quitApplication(), 0) << show.logs();
    EXPECT_EQ(test::readFile(m_library / "cues.json"), m_documentBefore);
}

TEST_F(EndToEnd, ALoopRunPlaysTheCheckedTracksInListOrder) {
    auto& show = *m_environment;
    show.click(loopSectionX, loopSectionY);
    std::this_thread::sleep_for(300ms);
    // Checked second track first: the run still follows the list.
    show.click(secondTrackCheckX, secondTrackCheckY);
    show.click(firstTrackCheckX, firstTrackCheckY);
    show.click(loopStartX, loopStartY);
    std::this_thread::sleep_for(1500ms);
    show.screenshot("loop-running");
    std::this_thread::sleep_for(2500ms);
    show.click(loopStopX, loopStopY);
    std::this_thread::sleep_for(300ms);
    const auto heard =
        significant(stretches(analyseRecording(show.stopRecording(), ShowEnvironment::sampleRate)));
    std::vector<double> tones;
    for (const auto& s : heard) {
        if (s.frequencyHz > 0)
            tones.push_back(s.frequencyHz);
    }
    ASSERT_GE(tones.size(), 3u) << describe(heard) << show.logs();
    EXPECT_TRUE(near(tones[0], 330)) << describe(heard);
    EXPECT_TRUE(near(tones[1], 550)) << describe(heard);
    EXPECT_TRUE(near(tones[2], 330)) << describe(heard);
    EXPECT_EQ(show.quitApplication(), 0) << show.logs();
    // A loop run changes nothing that is stored.
    EXPECT_EQ(test::readFile(m_library / "cues.json"), m_documentBefore);
}

TEST_F(EndToEnd, AfterTheSoundServerDiesTheShowGoesOnAndTheNextCuePlaysOnceItIsBack) {
    auto& show = *m_environment;
    show.key("1");
    std::this_thread::sleep_for(500ms);
    show.killSoundServer();
    // Long enough for the engine to see that its stream no longer runs.
    std::this_thread::sleep_for(3500ms);
    show.key("1");
    std::this_thread::sleep_for(700ms);
    ASSERT_TRUE(show.applicationRunning()) << show.logs();
    show.screenshot("device-lost");
    // The failure is told in an alert window next to the main one.
    EXPECT_EQ(show.windowCount("^Tavrel$"), 2) << show.logs();
    show.click(670, 397);  // its "확인"
    std::this_thread::sleep_for(300ms);

    ASSERT_EQ(show.startSoundServer(), "");
    ASSERT_EQ(show.startRecording(), "");
    show.key("1");
    // A new server holds back a new stream's first callbacks for a second or two.
    std::this_thread::sleep_for(3500ms);
    show.screenshot("device-back");
    const auto heard =
        significant(stretches(analyseRecording(show.stopRecording(), ShowEnvironment::sampleRate)));
    const bool played = std::any_of(heard.begin(), heard.end(), [](const Stretch& s) {
        return (near(s.frequencyHz, 880) || near(s.frequencyHz, 660)) && s.durationSeconds > 0.3;
    });
    EXPECT_TRUE(played) << describe(heard) << show.logs();
    EXPECT_EQ(show.quitApplication(), 0) << show.logs();
}

}  // namespace
}  // namespace tavrel::e2e
