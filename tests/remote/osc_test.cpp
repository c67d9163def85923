#include <gtest/gtest.h>

#include <random>

#include "remote/osc_protocol.h"
#include "remote_rig.h"

namespace tavrel {
namespace {

using test::FakePlayerError;
using test::OscClient;
using namespace std::chrono_literals;

std::string command(RemoteCommand::Kind kind, int cue = 0) {
    return oscCommandMessage({kind, cue});
}

std::string cue(int number) {
    return command(RemoteCommand::Kind::cue, number);
}

// A command address with arguments, built by hand: liblo does not make wrong ones.
std::string withArguments(const std::string& address, const std::string& types,
                          const std::string& payload) {
    auto padded = [](std::string text) {
        text.push_back('\0');
        while (text.size() % 4 != 0)
            text.push_back('\0');
        return text;
    };
    return padded(address) + padded("," + types) + payload;
}

std::string bigEndian(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

class OscTest : public test::RemoteRig {};

TEST_F(OscTest, EachAddressDrivesTheStoreAsItsKeyWould) {
    startRemote(oscPreferences());
    const int port = remote->oscPort();
    ASSERT_NE(port, 0);
    OscClient controller;
    for (int number = 1; number <= 12; ++number) {
        controller.send(port, cue(number));
        ASSERT_TRUE(runUntilState(PlaybackState::playing(number - 1))) << "cue " << number;
    }
    const std::pair<std::string, PlaybackState> steps[] = {
        {command(RemoteCommand::Kind::pause), PlaybackState::paused(11)},
        {command(RemoteCommand::Kind::pause), PlaybackState::playing(11)},
        {command(RemoteCommand::Kind::stop), PlaybackState::stopped()},
        // A button's release (0) does nothing; its press (1.0) plays.
        {withArguments("/tavrel/cue/4", "f", bigEndian(0)), PlaybackState::stopped()},
        {withArguments("/tavrel/cue/4", "f", bigEndian(0x3f800000)), PlaybackState::playing(3)},
        {command(RemoteCommand::Kind::fade), PlaybackState::playing(3)},  // then cut
        {command(RemoteCommand::Kind::fade), PlaybackState::stopped()},
        {withArguments("/tavrel/cue/5", "i", bigEndian(1)), PlaybackState::playing(4)},
    };
    const int cue4Starts = starts(4);
    for (const auto& [datagram, expected] : steps) {
        controller.send(port, datagram);
        ASSERT_TRUE(runUntilState(expected));
    }
    EXPECT_EQ(starts(4), cue4Starts + 1) << "the release of cue 4 played it";

    // Nothing fires while a cue is being edited; the controller hears why.
    while (controller.receive(0ms)) {
    }
    store->setEditingMode(true);
    controller.send(port, cue(1));
    EXPECT_EQ(receive(controller), oscErrorMessage("편집 중에는 원격 명령을 실행하지 않습니다."));
    EXPECT_EQ(controller.receive(0ms), std::nullopt);
    EXPECT_EQ(starts(1), 1);
}

TEST_F(OscTest, WithAPasscodeOnlyTheConnectedSenderIsObeyedAndHeard) {
    startRemote(oscPreferences("s3cret"));
    const int port = remote->oscPort();
    OscClient stranger;
    OscClient controller;
    stranger.send(port, cue(1));
    stranger.send(port, oscConnectMessage("wrong", false));
    stranger.send(port, oscConnectMessage("s3cre", false));
    stranger.send(port, cue(1));

    controller.send(port, oscConnectMessage("s3cret", false));
    EXPECT_EQ(receive(controller), oscStateMessage("stopped", std::nullopt));
    controller.send(port, cue(2));
    ASSERT_TRUE(runUntilState(PlaybackState::playing(1)));
    EXPECT_EQ(receive(controller), oscStateMessage("playing", 2));

    // Every change reaches the controller, whichever input made it.
    store->togglePause();
    EXPECT_EQ(receive(controller), oscStateMessage("paused", 2));
    factory->failAll = true;
    store->play(store->document().slots[2]);
    EXPECT_EQ(receive(controller), oscStateMessage("stopped", std::nullopt));
    EXPECT_EQ(receive(controller), oscErrorMessage(FakePlayerError().what()));
    controller.send(port, cue(3));
    EXPECT_EQ(receive(controller), oscErrorMessage(FakePlayerError().what()));

    // The stranger sent first: had it been obeyed or heard, it would show by now.
    EXPECT_EQ(starts(1), 0);
    EXPECT_EQ(stranger.receive(0ms), std::nullopt);
}

TEST_F(OscTest, FuzzedAndMalformedDatagramsAreIgnoredAndTheListenerKeepsObeying) {
    startRemote(oscPreferences("fuzz"));
    const int port = remote->oscPort();
    OscClient sender;
    sender.send(port, oscConnectMessage("fuzz", false));
    ASSERT_TRUE(receive(sender));

    const std::string valid = cue(6);
    const std::vector<std::string> wellFormedButWrong = {
        "#bundle" + std::string(1, '\0') + std::string(8, '\0') + bigEndian(valid.size()) + valid,
        withArguments("/tavrel/cue/6", "s", "1" + std::string(3, '\0')),
        withArguments("/tavrel/cue/6", "ii", bigEndian(1) + bigEndian(1)),
        withArguments("/tavrel/cue/6", "F", ""),
        cue(0),
        cue(13),
        withArguments("/tavrel/cue/06", "", ""),
        withArguments("/tavrel/cue/6/", "", ""),
        withArguments("/tavrel/play", "", ""),
        withArguments("/tavrel/connect", "i", bigEndian(7)),
        valid.substr(0, valid.size() - 1),
        valid.substr(0, 8),
        std::string(),
        std::string(1, '/'),
    };
    // Random bytes, or a wrong one with a few bytes changed; either perhaps cut.
    std::mt19937 random(20261207);
    auto mutated = [&] {
        std::string datagram = wellFormedButWrong[random() % wellFormedButWrong.size()];
        const bool noise = datagram.empty() || random() % 4 == 0;
        if (noise)
            datagram.assign(random() % 600, '\0');
        for (auto& byte : datagram)
            byte = noise || random() % 16 == 0 ? static_cast<char>(random()) : byte;
        if (!datagram.empty() && random() % 2 == 0)
            datagram[0] = '/';
        if (random() % 3 == 0)
            datagram.resize(random() % (datagram.size() + 8));
        return datagram;
    };

    // Round 0: each wrong one once. Then rounds of mutations small enough for
    // the socket's buffer. Every round ends with a command that must be obeyed.
    for (int round = 0; round <= 60; ++round) {
        if (round == 0) {
            for (const auto& datagram : wellFormedButWrong)
                sender.send(port, datagram);
        } else {
            for (int index = 0; index < 100; ++index)
                sender.send(port, mutated());
        }
        const int marker = 7 + round % 2;
        sender.send(port, cue(marker));
        ASSERT_TRUE(runUntilState(PlaybackState::playing(marker - 1))) << "round " << round;
        if (round == 0) {
            EXPECT_EQ(starts(6), 0) << "a bundle or a wrong argument was obeyed";
        }
    }
}

}  // namespace
}  // namespace tavrel
