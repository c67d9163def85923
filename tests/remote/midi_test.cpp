#include <gtest/gtest.h>

#include <RtMidi.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "remote/remote_preferences.h"
#include "remote_rig.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;

// A private JACK server on its dummy driver for one test. Its name is in
// JACK_DEFAULT_SERVER, which the remote control and the test's own port use.
struct JackServer {
    JackServer() {
        ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        // Synchronous, with a long client timeout: a loaded machine makes
        // cycles late but never drops the test's events.
        if ((pid = ::fork()) == 0) {
            ::execlp("sh", "sh", "-c",
                     "exec jackd --no-realtime --sync -t 10000 -d dummy -r 48000 -p 1024 "
                     ">/dev/null 2>&1",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Ready when its socket appears, or never if it exits.
        const std::string socket =
            "/dev/shm/jack_" + name + "_" + std::to_string(::getuid()) + "_0";
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        for (struct stat found{}; ::stat(socket.c_str(), &found) != 0;
             std::this_thread::sleep_for(10ms))
            if (::waitpid(pid, nullptr, WNOHANG) == pid ||
                std::chrono::steady_clock::now() > deadline)
                throw std::runtime_error("jackd did not start");
    }
    ~JackServer() { ::kill(pid, SIGTERM), ::waitpid(pid, nullptr, 0); }

    const std::string name = "tavrel-test-" + std::to_string(::getpid());
    pid_t pid = -1;
};

constexpr const char* padsName = "tavrel-test:pads";

// The server outlives the remote control and the pads, so it is the first base.
class MidiTest : public JackServer, public test::RemoteRig {
protected:
    // The remote waits for the controller, which is then plugged in.
    void plugIn() {
        ASSERT_TRUE(runUntil([&] { return remote->status().midi == waiting; }));
        pads = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "tavrel-test");
        pads->openVirtualPort("pads");
        ASSERT_TRUE(runUntil([&] { return remote->status().midi == connected; }));
    }
    void send(unsigned char status, unsigned char number, unsigned char value) {
        const unsigned char message[] = {status, number, value};
        pads->sendMessage(message, sizeof message);
    }

    Preferences preferences;
    std::unique_ptr<RtMidiOut> pads;
    const std::string connected = std::string("MIDI 입력 연결됨: ") + padsName;
    const std::string waiting =
        std::string("MIDI 입력을 기다리는 중: ") + padsName + " (연결되면 바로 씁니다)";
};

// Plugged in after the start, pressed, learnt, unplugged and plugged in again.
TEST_F(MidiTest, APressFiresOnceLearnMapsTheNextPressAndAReplugIsUsed) {
    preferences.midiInput = padsName;
    preferences.midiMappings.push_back({"pause", MidiMapping::Kind::controller, 20, {}});
    startRemote(preferences);
    ASSERT_NO_FATAL_FAILURE(plugIn());
    // Rows without a state change nothing; the next row with one shows it.
    const std::tuple<unsigned char, unsigned char, unsigned char, std::optional<PlaybackState>>
        rows[] = {
            {0x90, 36, 100, PlaybackState::playing(0)},  // default mapping: note 36 is cue 1
            {0x99, 40, 100, {}},                         // any channel
            {0x99, 40, 90, {}},                          // held: the pad's repeated note-on
            {0x89, 40, 0, {}},                           // note-off
            {0x90, 41, 0, {}},                           // note-on at velocity 0 is a note-off
            {0x90, 42, 1, PlaybackState::playing(6)},
            {0x99, 40, 100, PlaybackState::playing(4)},  // released, so a new press
            // A controller fires when it crosses 64 upwards, only then.
            {0xB0, 20, 100, PlaybackState::paused(4)},
            {0xB0, 20, 120, {}},
            {0xB0, 20, 10, {}},
            {0xB0, 20, 64, PlaybackState::playing(4)},
        };
    for (const auto& [status, number, value, expected] : rows) {
        send(status, number, value);
        ASSERT_TRUE(!expected || runUntilState(*expected)) << int(status) << " " << int(number);
    }
    EXPECT_EQ(starts(5), 2) << "a held pad fired again";
    EXPECT_EQ(starts(6), 0);

    // Learn: the press is taken for the mapping, not played.
    std::optional<MidiMapping> learned;
    remote->startLearning("cue12", [&](const MidiMapping& mapping) { learned = mapping; });
    send(0x80, 36, 0);
    send(0x90, 36, 127);
    ASSERT_TRUE(runUntil([&] { return learned.has_value(); }));
    EXPECT_EQ(*learned, (MidiMapping{"cue12", MidiMapping::Kind::note, 36, 1}));
    preferences.midiMappings = mappingsWithLearned(preferences.midiMappings, *learned);
    store->setPreferences(preferences);

    pads.reset();
    ASSERT_NO_FATAL_FAILURE(plugIn());
    send(0x80, 36, 0);
    send(0x90, 36, 127);
    ASSERT_TRUE(runUntilState(PlaybackState::playing(11)));
    EXPECT_EQ(starts(1), 1) << "the learning press or the old mapping played cue 1";
}

}  // namespace
}  // namespace tavrel
