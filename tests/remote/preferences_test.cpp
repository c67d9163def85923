#include <gtest/gtest.h>

#include <unistd.h>

#include "remote/osc_protocol.h"
#include "remote/remote_preferences.h"
#include "remote_rig.h"
#include "support/scoped_environment_variable.h"

namespace tavrel {
namespace {

struct BadValue {
    const char* name;
    std::function<void(Preferences&)> change;
    std::string message;
};

class RefusedPreferencesTest : public test::RemoteRig,
                               public ::testing::WithParamInterface<BadValue> {};

TEST_P(RefusedPreferencesTest, AreRefusedWithTheirMessageAndNothingOpens) {
    Preferences good = oscPreferences();
    good.mirrorTargets = {{"backup.local:53535", "code"}};
    EXPECT_EQ(RemoteControl::validate(good), std::nullopt);
    Preferences bad = good;
    GetParam().change(bad);
    EXPECT_EQ(RemoteControl::validate(bad), GetParam().message);

    // Refused from the start, and when a working remote is changed to them.
    for (const bool startGood : {false, true}) {
        startRemote(startGood ? good : bad);
        if (startGood) {
            ASSERT_EQ(remote->oscPort(), good.oscPort);
            store->setPreferences(bad);
        }
        EXPECT_EQ(remote->status().problem, GetParam().message);
        EXPECT_EQ(remote->oscPort(), 0);
        EXPECT_EQ(remote->status().midi, "MIDI 꺼짐");
        EXPECT_TRUE(test::udpPortIsFree(good.oscPort)) << "something still listens";
        remote.reset();
        store->setPreferences(Preferences{});
    }
    // Put right, they open.
    startRemote(bad);
    store->setPreferences(good);
    EXPECT_EQ(remote->status().problem, std::nullopt);
    EXPECT_EQ(remote->oscPort(), good.oscPort);
}

INSTANTIATE_TEST_SUITE_P(
    Remote, RefusedPreferencesTest,
    ::testing::Values(
        BadValue{"PortZero", [](Preferences& p) { p.oscPort = 0; },
                 "OSC 포트는 1에서 65535 사이여야 합니다."},
        BadValue{"PortTooHigh", [](Preferences& p) { p.oscPort = 70000; },
                 "OSC 포트는 1에서 65535 사이여야 합니다."},
        BadValue{"NetworkWithoutPasscode", [](Preferences& p) { p.oscFromNetwork = true; },
                 "네트워크에서 OSC를 받으려면 암호를 정해야 합니다."},
        BadValue{"UnknownTarget",
                 [](Preferences& p) {
                     p.midiMappings.push_back({"cue13", {}, 50, {}});
                 },
                 "알 수 없는 MIDI 대상입니다: \"cue13\""},
        BadValue{"NoteOutOfRange", [](Preferences& p) { p.midiMappings[0].number = 128; },
                 "MIDI 노트와 컨트롤러 번호는 0에서 127 사이여야 합니다."},
        BadValue{"ChannelOutOfRange", [](Preferences& p) { p.midiMappings[0].channel = 17; },
                 "MIDI 채널은 1에서 16 사이여야 합니다."},
        BadValue{"MirrorWithoutPort",
                 [](Preferences& p) { p.mirrorTargets[0].address = "backup.local"; },
                 "백업 컴퓨터 주소가 올바르지 않습니다: \"backup.local\" (호스트:포트 형식)"},
        BadValue{"MirrorWithoutHost", [](Preferences& p) { p.mirrorTargets[0].address = ":53535"; },
                 "백업 컴퓨터 주소가 올바르지 않습니다: \":53535\" (호스트:포트 형식)"}),
    [](const ::testing::TestParamInfo<BadValue>& info) { return std::string(info.param.name); });

class MidiSystemsTest : public test::RemoteRig {};

TEST_F(MidiSystemsTest, WithoutASequencerOrJackTheWindowIsToldAndTheRestWorks) {
    // No JACK server of this name runs; the sequencer is the machine's own.
    const test::ScopedEnvironmentVariable jack("JACK_DEFAULT_SERVER", "tavrel-none");
    Preferences preferences = oscPreferences();
    preferences.midiInput = "pads";
    startRemote(preferences);
    const bool hasSequencer = ::access("/dev/snd/seq", R_OK | W_OK) == 0;
    const std::string expected =
        hasSequencer ? "MIDI 입력을 기다리는 중: pads (연결되면 바로 씁니다)"
                     : "MIDI 장치를 사용할 수 없습니다 (ALSA 시퀀서도 JACK 서버도 없습니다).";
    EXPECT_TRUE(runUntil([&] { return remote->status().midi == expected; }))
        << remote->status().midi;
    test::OscClient controller;
    controller.send(remote->oscPort(), oscCommandMessage({RemoteCommand::Kind::cue, 2}));
    EXPECT_TRUE(runUntilState(PlaybackState::playing(1)));
}

}  // namespace
}  // namespace tavrel
