// The real application under a private X server, driven by real key events,
// with what it plays recorded from a PulseAudio null sink.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "model/document_json.h"
#include "show_environment.h"
#include "signal_analysis.h"
#include "support/bad_media.h"
#include "support/fault_injecting_file_system.h"

namespace tavrel::e2e {
namespace {

using namespace std::chrono_literals;

constexpr double cueAmplitude = 0.5;
constexpr double cueGainDB = -6.0;
const double expectedRMS = cueAmplitude * std::pow(10.0, cueGainDB / 20.0) / std::sqrt(2.0);

// Slot 3's file: half a second of each, so a restart shows as a fall.
constexpr double risingTones[] = {400, 500, 600, 700, 800, 900, 1000, 1100};

// Slot 0's file: 440 Hz before its start offset of 5 s, then 880 Hz for
// 1.5 s, then 660 Hz: what is heard tells where playback started and resumed.
std::filesystem::path prepareLibrary(const std::filesystem::path& root) {
    const auto library = root / "library";
    std::filesystem::create_directories(library / "Media");
    writeToneWav(library / "Media" / "audio-e2e-cue.wav", 44100,
                 {{440, 5.0, cueAmplitude}, {880, 1.5, cueAmplitude}, {660, 8.0, cueAmplitude}});
    std::vector<ToneSegment> rising;
    for (const double frequency : risingTones)
        rising.push_back({frequency, 0.5, cueAmplitude});
    writeToneWav(library / "Media" / "audio-e2e-rising.wav", 44100, rising);
    writeToneWav(library / "Media" / "loop-e2e-a.wav", 48000, {{330, 1.2, 0.4}});
    writeToneWav(library / "Media" / "loop-e2e-b.wav", 48000, {{550, 1.2, 0.4}});

    auto document = CueDocument::empty();
    document.slots[0].title = "오프닝";
    document.slots[0].audioFilename = "audio-e2e-cue.wav";
    document.slots[0].startSeconds = 5.0;
    document.slots[0].gainDB = cueGainDB;
    document.slots[1].title = "음원 없음";
    document.slots[3].title = "상승";
    document.slots[3].audioFilename = "audio-e2e-rising.wav";
    // Bad media in slots 6 to 8: the app warms them at start-up and after every play.
    const auto bad = test::writeBadMedia(library / "Media");
    for (std::size_t i = 0; i < bad.all().size(); ++i) {
        document.slots[5 + i].title = "망가진 음원";
        document.slots[5 + i].audioFilename = bad.all()[i].filename().string();
    }
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

// Within 5 %: a stretch that begins on the border of two tones is measured a
// few per cent off, and no two tones here are closer than 10 %.
bool near(double frequency, double expected) {
    return std::fabs(frequency - expected) < 0.05 * expected;
}

// A loaded machine's sink drops out for a moment now and then: a gap shorter
// than `maxGapSeconds` between two stretches of one tone is no pause or
// restart, so the two count as one, with the length of their sound alone.
// What an underrun may cost by design: one buffer of the stable preset, and a little.
constexpr double oneBufferSeconds = 0.025;

std::vector<Stretch> withoutDropouts(const std::vector<Stretch>& heard, double maxGapSeconds) {
    std::vector<Stretch> result;
    for (std::size_t i = 0; i < heard.size(); ++i) {
        const Stretch& s = heard[i];
        const bool dropout = s.frequencyHz == 0 && s.durationSeconds < maxGapSeconds &&
                             !result.empty() && i + 1 < heard.size() &&
                             result.back().frequencyHz > 0 &&
                             near(heard[i + 1].frequencyHz, result.back().frequencyHz);
        if (dropout) {
            result.back().durationSeconds += heard[i + 1].durationSeconds;
            ++i;
        } else {
            result.push_back(s);
        }
    }
    return result;
}

std::vector<double> tonesOf(const std::vector<Stretch>& heard) {
    std::vector<double> tones;
    for (const auto& s : heard) {
        if (s.frequencyHz > 0)
            tones.push_back(s.frequencyHz);
    }
    return tones;
}

class EndToEnd : public ::testing::Test {
protected:
    virtual std::string soundServer() const { return "pulseaudio"; }

    void SetUp() override {
        m_environment = std::make_unique<ShowEnvironment>(m_root.path(), soundServer());
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

    // The last seconds recorded, while the recording goes on: looked at a few
    // times a second, cheaply, so the show itself is not starved.
    std::vector<Stretch> heardLately(double seconds = 1.5) const {
        return significant(stretches(
            analyseRecording(m_environment->recording(), ShowEnvironment::sampleRate, seconds)));
    }
    template <typename Condition>
    static bool waitForHeard(Condition condition) {
        return waitFor(
            [&] {
                std::this_thread::sleep_for(250ms);
                return condition();
            },
            20s);
    }
    // Waits, generously, until the recording ends with `tone` then silence.
    bool waitForSilenceAfter(double tone) const {
        return waitForHeard([&] {
            const auto heard = heardLately();
            return heard.size() >= 2 && near(heard[heard.size() - 2].frequencyHz, tone) &&
                   heard.back().frequencyHz == 0 && heard.back().durationSeconds > 0.3;
        });
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

    const auto heard = withoutDropouts(
        significant(stretches(analyseRecording(recording, ShowEnvironment::sampleRate))), 0.05);
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
    // The keys are spaced by the test's clock, but a loaded machine may deliver
    // them late: only that it paused, not for how long, is the application's doing.
    EXPECT_GT(played.durationSeconds, 0.2) << text;
    EXPECT_EQ(pause.frequencyHz, 0) << text;
    EXPECT_GT(pause.durationSeconds, 0.3) << text;
    ASSERT_TRUE(near(resumed.frequencyHz, 880)) << text;
    // Resumed where it paused: 1.5 s of 880 Hz in all, whatever the pause.
    EXPECT_NEAR(played.durationSeconds + resumed.durationSeconds, 1.5, 0.08) << text;
    EXPECT_TRUE(near(after.frequencyHz, 660)) << text;
    EXPECT_GT(after.durationSeconds, 1.1) << "the key of an empty slot interrupted the cue\n"
                                          << text;

    // The natural step of these sines is under 0.03; a cut would jump up to 0.25.
    const double largest =
        largestStepBetween(recording, ShowEnvironment::sampleRate, 0, 1e9, oneBufferSeconds);
    EXPECT_LT(largest, 0.05) << text;

    EXPECT_EQ(show.quitApplication(), 0) << show.logs();
    EXPECT_EQ(test::readFile(m_library / "cues.json"), m_documentBefore);
}

// Held for 3 s, with X's own repeats and with pairs that arrive split as under
// load (Qt takes those for new presses): the cue plays through once.
TEST_F(EndToEnd, AHeldCueKeyPlaysItsCueOnceThroughToTheEnd) {
    auto& show = *m_environment;
    show.keyDown("4");
    std::this_thread::sleep_for(1000ms);  // past the repeat delay
    show.splitRepeats("4", 10);
    std::this_thread::sleep_for(1200ms);
    show.keyUp("4");
    ASSERT_TRUE(waitForSilenceAfter(risingTones[7])) << describe(heardLately()) << show.logs();
    // Repeats begin after the first tone has ended, so any restart shows as a
    // fall; it starts no gap, so merging across the sink's dropouts hides none.
    const auto heard = withoutDropouts(
        significant(stretches(analyseRecording(show.stopRecording(), ShowEnvironment::sampleRate))),
        0.8);
    const auto tones = tonesOf(heard);
    ASSERT_EQ(tones.size(), std::size(risingTones)) << describe(heard);
    for (std::size_t i = 0; i < tones.size(); ++i)
        EXPECT_TRUE(near(tones[i], risingTones[i])) << i << "\n" << describe(heard);
    EXPECT_EQ(show.quitApplication(), 0) << show.logs();
}

// Space held for 2 s pauses once and stays paused; the next press resumes.
TEST_F(EndToEnd, HeldSpacePausesOnce) {
    auto& show = *m_environment;
    show.key("4");
    ASSERT_TRUE(waitForHeard([&] { return !tonesOf(heardLately()).empty(); }))
        << describe(heardLately()) << show.logs();
    show.keyDown("space");
    std::this_thread::sleep_for(800ms);
    show.splitRepeats("space", 8);
    std::this_thread::sleep_for(600ms);
    show.keyUp("space");
    // Most of the hold, without its first press: a pause toggled back by a
    // repeat would sound here, and a dropout of the sink is silence anyway.
    const auto held = heardLately(1.8);
    show.key("space");
    ASSERT_TRUE(waitForSilenceAfter(risingTones[7])) << describe(heardLately()) << show.logs();
    const auto heard = withoutDropouts(
        significant(stretches(analyseRecording(show.stopRecording(), ShowEnvironment::sampleRate))),
        0.8);
    const auto text = "held:\n" + describe(held) + "in all:\n" + describe(heard);
    EXPECT_TRUE(tonesOf(held).empty()) << text;
    // Paused and resumed where it was: the tones still rise through the file.
    const auto tones = tonesOf(heard);
    ASSERT_GE(tones.size(), std::size(risingTones)) << text;
    EXPECT_TRUE(near(tones.front(), risingTones[0])) << text;
    for (std::size_t i = 1; i < tones.size(); ++i)
        EXPECT_GE(tones[i], tones[i - 1] * 0.95) << text;
    EXPECT_EQ(show.quitApplication(), 0) << show.logs();
}

// Escape, held with repeats that arrive split as under load, fades once: the
// level falls along one smooth curve to silence over the preferred 2 s. A
// repeat taken for a second press would cut the fade short.
TEST_F(EndToEnd, HeldEscapeFadesTheCueSmoothlyToSilenceOverTwoSeconds) {
    auto& show = *m_environment;
    show.key("1");
    ASSERT_TRUE(waitForHeard([&] { return !tonesOf(heardLately()).empty(); })) << show.logs();
    show.keyDown("Escape");
    std::this_thread::sleep_for(800ms);  // past the repeat delay
    show.splitRepeats("Escape", 8);
    show.keyUp("Escape");
    ASSERT_TRUE(waitForHeard([&] {
        const auto heard = heardLately(2.0);
        return heard.size() >= 2 && heard.back().frequencyHz == 0 &&
               heard.back().durationSeconds > 1.0;
    })) << describe(heardLately(4.0));
    const auto recording = show.stopRecording();
    const auto text =
        describe(significant(stretches(analyseRecording(recording, ShowEnvironment::sampleRate))));

    constexpr double windowSeconds = 0.02;
    const auto level =
        peakEnvelope(recording, ShowEnvironment::sampleRate, windowSeconds, oneBufferSeconds);
    const double full = cueAmplitude * std::pow(10.0, cueGainDB / 20.0);
    // From the last window near full level to the last one above -54 dB,
    // leaving out the sink's dropouts (NaN, never at or above anything).
    std::size_t start = 0, end = 0;
    for (std::size_t i = 0; i < level.size(); ++i) {
        start = level[i] >= 0.9 * full ? i : start;
        end = level[i] >= 0.002 * full ? i : end;
    }
    double fadeSeconds = 0, largestFall = 0, largestRise = 0;
    for (std::size_t i = start + 1, last = start; i <= end; ++i) {
        if (std::isnan(level[i]))
            continue;
        fadeSeconds += windowSeconds * static_cast<double>(i - last);
        largestFall = std::max(largestFall, level[last] - level[i]);
        largestRise = std::max(largestRise, level[i] - level[last]);
        last = i;
    }
    // A smooth 2 s curve spends about 1.8 s between those levels and falls
    // by about 2 % of full level per window at most; a loaded sink that loses
    // a moment of it costs a few per cent more. A cut, or steps of a tenth,
    // fall further.
    EXPECT_NEAR(fadeSeconds, 1.85, 0.2) << text;
    EXPECT_LT(largestFall, 0.08 * full) << text;
    EXPECT_LT(largestRise, 0.005 * full) << text;
    EXPECT_EQ(show.quitApplication(), 0) << show.logs();
}

// One window per library: a second start hands over to the first and ends;
// the pre-show check still runs beside it; a crash leaves nothing locked.
TEST_F(EndToEnd, ASecondStartBringsTheRunningWindowForwardAndEnds) {
    auto& show = *m_environment;
    // Without a window manager the stacking order is the X server's own.
    const ChildProcess cover = show.coverApplication();
    ASSERT_TRUE(waitFor([&] { return !show.applicationOnTop(); }, 10s));
    std::string output;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(show.runAgain({}, 20s, output), 0) << output;
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_NE(output.find("이미 다른 Tavrel 창에서 열려 있습니다"), std::string::npos) << output;
    EXPECT_NE(output.find("앞으로 가져왔습니다"), std::string::npos) << output;
    EXPECT_TRUE(waitFor([&] { return show.applicationOnTop(); }, 5s))
        << "ended after " << seconds << " s\n"
        << show.logs();
    EXPECT_TRUE(show.applicationRunning());
    EXPECT_EQ(show.windowCount("^Tavrel$"), 1);

    // It reads beside the window and finishes; the show's bad media make it say no.
    EXPECT_EQ(show.runAgain({"--check"}, 20s, output), 1) << output;
    EXPECT_NE(output.find("문서: 정상적으로 읽었습니다."), std::string::npos) << output;

    show.killApplication();
    ASSERT_TRUE(waitFor([&] { return show.windowCount("^Tavrel$") == 0; }, 10s));
    ASSERT_EQ(show.startApplication(m_library), "");
    show.key("4");
    ASSERT_TRUE(waitForHeard([&] { return !tonesOf(heardLately()).empty(); }))
        << describe(heardLately()) << show.logs();
    EXPECT_EQ(show.quitApplication(), 0) << show.logs();
    EXPECT_EQ(test::readFile(m_library / "cues.json"), m_documentBefore);
}

// Window coordinates of the controls used below, in the 1180 × 820 window.
constexpr int editSwitchX = 1140, editSwitchY = 74;
constexpr int loopSectionX = 80, loopSectionY = 187;
constexpr int firstTrackCheckX = 265, firstTrackCheckY = 262;
constexpr int secondTrackCheckX = 265, secondTrackCheckY = 307;
constexpr int loopStartX = 770, loopStartY = 168;
constexpr int loopStopX = 996, loopStopY = 168;

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
    const auto tones = tonesOf(heard);
    ASSERT_GE(tones.size(), 3u) << describe(heard) << show.logs();
    EXPECT_TRUE(near(tones[0], 330)) << describe(heard);
    EXPECT_TRUE(near(tones[1], 550)) << describe(heard);
    EXPECT_TRUE(near(tones[2], 330)) << describe(heard);
    EXPECT_EQ(show.quitApplication(), 0) << show.logs();
    // A loop run changes nothing that is stored.
    EXPECT_EQ(test::readFile(m_library / "cues.json"), m_documentBefore);
}

// The same show on either sound server.
class OnEachServer : public EndToEnd, public ::testing::WithParamInterface<const char*> {
protected:
    std::string soundServer() const override { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Servers, OnEachServer, ::testing::Values("pulseaudio", "pipewire"),
                         [](const auto& info) { return std::string(info.param); });

TEST_P(OnEachServer, AServerKilledMidCueIsToldAtOnceAndTheFirstKeyAfterItsReturnPlays) {
    auto& show = *m_environment;
    show.key("1");
    std::this_thread::sleep_for(500ms);  // the cue sounds
    show.killSoundServer();
    // The run ends as a failed start: its alert opens beside the main window.
    EXPECT_TRUE(waitFor([&] { return show.windowCount("^Tavrel$") == 2; }, 3s)) << show.logs();
    ASSERT_TRUE(show.applicationRunning()) << show.logs();
    show.screenshot("device-lost-" + soundServer());
    show.click(670, 397);  // the alert's "확인"
    ASSERT_TRUE(waitFor([&] { return show.windowCount("^Tavrel$") == 1; }, 3s)) << show.logs();

    ASSERT_EQ(show.startSoundServer(), "");
    ASSERT_EQ(show.startRecording(), "");
    // The engine reconnects by itself within a few tenths of a second; then one press plays.
    std::this_thread::sleep_for(1500ms);
    show.key("1");
    std::this_thread::sleep_for(1500ms);
    show.screenshot("device-back-" + soundServer());
    const auto heard =
        significant(stretches(analyseRecording(show.stopRecording(), ShowEnvironment::sampleRate)));
    const bool played = std::any_of(heard.begin(), heard.end(), [](const Stretch& s) {
        return (near(s.frequencyHz, 880) || near(s.frequencyHz, 660)) && s.durationSeconds > 0.3;
    });
    EXPECT_TRUE(played) << describe(heard) << show.logs();
    EXPECT_EQ(show.windowCount("^Tavrel$"), 1) << "the first press after the return failed";
    EXPECT_EQ(show.quitApplication(), 0) << show.logs();
}

// Keys 6 to 8 hold a FIFO, 300 MB of zeros and random bytes. Each bad key
// stops the cue (one sound at a time) and is told at once, without freezing
// the window; the good key then plays again at once and without a gap.
TEST_F(EndToEnd, BadFilesInOtherSlotsAreToldAtOnceAndTheGoodCueAlwaysPlays) {
    auto& show = *m_environment;
    show.key("1");
    std::this_thread::sleep_for(1000ms);
    std::vector<double> silencesAllowed;
    for (const std::string badKey : {"6", "7", "8"}) {
        const auto pressed = std::chrono::steady_clock::now();
        show.key(badKey);
        ASSERT_TRUE(waitFor([&] { return show.windowCount("^Tavrel$") == 2; }, 10s))
            << "key " << badKey << " froze the window or told nothing\n"
            << show.logs();
        show.screenshot("bad-key-" + badKey);
        ASSERT_TRUE(show.dismissAlert());
        ASSERT_TRUE(waitFor([&] { return show.windowCount("^Tavrel$") == 1; }, 10s)) << show.logs();
        show.key("1");
        // From the bad key to the good key is the test's own doing; 1.5 s more
        // is what the good key may take to sound.
        silencesAllowed.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - pressed).count() +
            1.5);
        std::this_thread::sleep_for(1000ms);
    }
    const auto recording = show.stopRecording();
    const auto heard = withoutDropouts(
        significant(stretches(analyseRecording(recording, ShowEnvironment::sampleRate))), 0.05);
    const auto text = describe(heard) + show.logs();
    const auto sounding = [](const Stretch& s) { return s.frequencyHz != 0; };
    const auto first = std::find_if(heard.begin(), heard.end(), sounding);
    const auto last = std::find_if(heard.rbegin(), heard.rend(), sounding).base();
    ASSERT_LT(first, last) << text;
    // Between the first sound and the last: exactly one silence per bad key,
    // none inside the good cue's runs.
    std::vector<double> silences;
    for (auto s = first; s != last; ++s) {
        if (!sounding(*s))
            silences.push_back(s->durationSeconds);
        else
            EXPECT_TRUE(near(s->frequencyHz, 880)) << text;
    }
    ASSERT_EQ(silences.size(), silencesAllowed.size()) << text;
    for (std::size_t i = 0; i < silences.size(); ++i)
        EXPECT_LT(silences[i], silencesAllowed[i]) << text;
    EXPECT_LT(largestStepBetween(recording, ShowEnvironment::sampleRate, 0, 1e9, oneBufferSeconds),
              0.05)
        << text;
    EXPECT_EQ(show.quitApplication(), 0) << show.logs();
}

}  // namespace
}  // namespace tavrel::e2e
