#include <gtest/gtest.h>

#include <random>

#include "remote/osc_protocol.h"
#include "remote_rig.h"

namespace tavrel {
namespace {

using test::OscClient;
using Kind = RemoteCommand::Kind;

std::string command(Kind kind, int cue = 0) {
    return oscCommandMessage({kind, cue});
}

// A command address with arguments, built by hand: liblo does not make wrong ones.
std::string withArguments(const std::string& address, const std::string& types = "",
                          const std::string& payload = "") {
    auto padded = [](std::string text) { return text.resize(text.size() / 4 * 4 + 4, '\0'), text; };
    return padded(address) + padded("," + types) + payload;
}

std::string local(int port) {
    return "127.0.0.1:" + std::to_string(port);
}

std::string bigEndian(std::uint32_t value) {
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

// A machine: its own library, players, loop and remote; a test's second one is its backup.
struct Backup : test::RemoteRig {
    void TestBody() override {}
};
using OscTest = Backup;

// The backup mirrors back to the main machine too: what one was told by the
// other must go no further.
TEST_F(OscTest, EachAddressDrivesTheStoreAsItsKeyWouldAndABackupFollowsWithoutEchoing) {
    Preferences mainPreferences = oscPreferences("main-code");
    Preferences backupPreferences = oscPreferences("backup-code");
    backupPreferences.mirrorTargets = {{local(mainPreferences.oscPort), "main-code"}};
    Backup backup;
    backup.startRemote(backupPreferences);
    // A target where nothing answers delays nothing.
    mainPreferences.mirrorTargets = {{local(OscClient().port()), "x"},
                                     {local(backup.remote->oscPort()), "backup-code"}};
    startRemote(mainPreferences);
    OscClient controller;
    const int port = remote->oscPort();
    controller.send(port, oscConnectMessage("main-code", false));
    auto both = [&](const PlaybackState& state) {
        return runUntilState(state) && backup.runUntilState(state);
    };
    for (int number = 1; number <= 12; ++number) {
        controller.send(port, command(Kind::cue, number));
        ASSERT_TRUE(both(PlaybackState::playing(number - 1))) << "cue " << number;
    }
    auto osc = [&](const std::string& datagram) {
        return [&, datagram] { controller.send(port, datagram); };
    };
    const std::pair<std::function<void()>, PlaybackState> steps[] = {
        {osc(command(Kind::pause)), PlaybackState::paused(11)},
        {[&] { store->togglePause(); }, PlaybackState::playing(11)},
        {osc(command(Kind::stop)), PlaybackState::stopped()},
        // A button's release (0) does nothing; its press (1.0) plays.
        {osc(withArguments("/tavrel/cue/4", "f", bigEndian(0))), PlaybackState::stopped()},
        {osc(withArguments("/tavrel/cue/4", "f", bigEndian(0x3f800000))),
         PlaybackState::playing(3)},
        {osc(command(Kind::fade)), PlaybackState::playing(3)},  // then cut
        {osc(command(Kind::fade)), PlaybackState::stopped()},
        {osc(withArguments("/tavrel/cue/5", "i", bigEndian(1))), PlaybackState::playing(4)},
        {[&] { store->play(store->document().slots[2]); }, PlaybackState::playing(2)},
    };
    for (const auto& [act, expected] : steps) {
        act();
        ASSERT_TRUE(both(expected)) << "the backup fell behind";
    }
    // The backup's own stop reaches the main machine after any echo would have.
    backup.store->stopPlayback();
    ASSERT_TRUE(runUntilState(PlaybackState::stopped()));
    EXPECT_EQ(starts(4), 2) << "the release of cue 4 played it";
    EXPECT_TRUE(factory->requestedURLs.size() == 15 && backup.factory->requestedURLs.size() == 15);
    // The backup faded cue 4 too, before the second fade cut it.
    EXPECT_EQ(backup.factory->players[12]->fadeSeconds.size(), 1u);
}

TEST_F(OscTest, WithAPasscodeOnlyTheConnectedSenderIsObeyedAndHeard) {
    startRemote(oscPreferences("s3cret"));
    const int port = remote->oscPort();
    OscClient stranger, controller;
    for (const auto& datagram : {command(Kind::cue, 1), oscConnectMessage("wrong", false),
                                 oscConnectMessage("s3cre", false), command(Kind::cue, 1)})
        stranger.send(port, datagram);

    controller.send(port, oscConnectMessage("s3cret", false));
    EXPECT_EQ(receive(controller), oscStateMessage("stopped", std::nullopt));
    controller.send(port, command(Kind::cue, 2));
    EXPECT_EQ(receive(controller), oscStateMessage("playing", 2));
    // Every change reaches the controller, whichever input made it.
    store->togglePause();
    EXPECT_EQ(receive(controller), oscStateMessage("paused", 2));
    factory->failAll = true;
    controller.send(port, command(Kind::cue, 3));
    EXPECT_EQ(receive(controller), oscStateMessage("stopped", std::nullopt));
    EXPECT_EQ(receive(controller), oscErrorMessage(test::FakePlayerError().what()));

    // Nothing fires while a cue is being edited; the controller hears why.
    store->setEditingMode(true);
    controller.send(port, command(Kind::cue, 1));
    EXPECT_EQ(receive(controller), oscErrorMessage("편집 중에는 원격 명령을 실행하지 않습니다."));
    // The stranger sent first: had it been obeyed or heard, it would show by now.
    EXPECT_TRUE(starts(1) == 0 && !stranger.receive());
}

// Wrong datagrams, then random mutations of them: none is obeyed, and the
// command after each round still is.
TEST_F(OscTest, FuzzedAndMalformedDatagramsAreIgnoredAndTheListenerKeepsObeying) {
    startRemote(oscPreferences());
    const int port = remote->oscPort();
    OscClient sender;
    const std::string valid = command(Kind::cue, 6);
    // clang-format off
    const std::vector<std::string> wrong = {
        "#bundle" + std::string(9, '\0') + bigEndian(valid.size()) + valid,
        withArguments("/tavrel/cue/6", "s", "1" + std::string(3, '\0')),
        withArguments("/tavrel/cue/6", "ii", bigEndian(1) + bigEndian(1)),
        withArguments("/tavrel/cue/6", "F"), command(Kind::cue, 0), command(Kind::cue, 13),
        withArguments("/tavrel/cue/6/"), withArguments("/tavrel/play"),
        withArguments("/tavrel/connect", "i", bigEndian(7)), valid.substr(0, valid.size() - 1), ""};
    // clang-format on
    // Round 0 sends each as it is; later rounds change bytes and cut.
    std::mt19937 random(20261207);
    for (int round = 0; round <= 60; ++round) {
        for (std::size_t index = 0; index < (round ? 100 : wrong.size()); ++index) {
            std::string datagram = wrong[round ? random() % wrong.size() : index];
            for (auto& byte : datagram)
                byte = round && random() % 8 == 0 ? char(random()) : byte;
            sender.send(port, datagram.substr(
                                  0, round ? random() % (datagram.size() + 1) : std::string::npos));
        }
        const int marker = 7 + round % 2;
        sender.send(port, command(Kind::cue, marker));
        ASSERT_TRUE(runUntilState(PlaybackState::playing(marker - 1))) << "round " << round;
        EXPECT_TRUE(round > 0 || starts(6) == 0) << "a bundle or a wrong argument was obeyed";
    }
}

// Refused when the remote starts or is changed to them: nothing listens, and
// put right they open.
TEST_F(OscTest, RefusedPreferencesSayWhyAndCloseEverything) {
    Preferences good = oscPreferences();
    good.mirrorTargets = {{"backup.local:53535", "code"}};
    EXPECT_EQ(RemoteControl::validate(good), std::nullopt);
    const std::pair<std::function<void(Preferences&)>, std::string> refused[] = {
        {[](auto& p) { p.oscPort = 70000; }, "OSC 포트는 1에서 65535 사이여야 합니다."},
        {[](auto& p) { p.oscFromNetwork = true; },
         "네트워크에서 OSC를 받으려면 암호를 정해야 합니다."},
        {[](auto& p) { p.midiMappings[0].target = "cue13"; },
         "알 수 없는 MIDI 대상입니다: \"cue13\""},
        {[](auto& p) { p.midiMappings[0].number = 128; },
         "MIDI 노트와 컨트롤러 번호는 0에서 127 사이여야 합니다."},
        {[](auto& p) { p.midiMappings[0].channel = 17; }, "MIDI 채널은 1에서 16 사이여야 합니다."},
        {[](auto& p) { p.mirrorTargets[0].address = ":53535"; },
         "백업 컴퓨터 주소가 올바르지 않습니다: \":53535\" (호스트:포트 형식)"},
    };
    for (const auto& [change, message] : refused) {
        Preferences bad = good;
        change(bad);
        EXPECT_EQ(RemoteControl::validate(bad), message);
    }
    Preferences bad = good;
    bad.oscPort = 0;
    startRemote(bad);
    for (int round = 0; round < 2; ++round) {  // refused at the start, then when changed to them
        EXPECT_EQ(remote->status().problem, "OSC 포트는 1에서 65535 사이여야 합니다.");
        EXPECT_TRUE(remote->oscPort() == 0 && OscClient(good.oscPort).bound) << "something listens";
        store->setPreferences(good);
        EXPECT_EQ(remote->oscPort(), good.oscPort) << "put right, they open";
        store->setPreferences(bad);
    }
}

}  // namespace
}  // namespace tavrel
