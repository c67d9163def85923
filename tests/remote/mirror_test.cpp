#include <gtest/gtest.h>

#include "remote/osc_protocol.h"
#include "remote_rig.h"

namespace tavrel {
namespace {

using test::OscClient;
using namespace std::chrono_literals;

// A second machine in the same process: its own library, players and loop.
struct Backup {
    Backup(const std::filesystem::path& folder, const Preferences& preferences)
        : factory(std::make_shared<test::FakePlayerFactory>()),
          controller(std::make_shared<AudioPlaybackController>(factory)) {
        const CuePersistence library(folder);
        CueDocument document = CueDocument::empty();
        for (auto& slot : document.slots) {
            slot.audioFilename = "backup-" + std::to_string(slot.id) + ".mp3";
            test::writeFile(library.mediaURL() / *slot.audioFilename, "sound");
        }
        library.save(document, LocalFileSystem::shared());
        store = CueStore::create(library, controller, loop);
        store->setPreferences(preferences);
        remote = RemoteControl::create(store, signalling);
    }
    ~Backup() { remote.reset(); }

    test::ManualMainLoop loop;
    test::SignallingMainLoop signalling{loop};
    std::shared_ptr<test::FakePlayerFactory> factory;
    std::shared_ptr<AudioPlaybackController> controller;
    std::shared_ptr<CueStore> store;
    std::shared_ptr<RemoteControl> remote;
};

class MirrorTest : public test::RemoteRig {};

TEST_F(MirrorTest, ABackupFollowsEveryCommandFromAnyInputWithoutEchoing) {
    // The main machine listens too, and the backup mirrors back to it: what
    // one was told by the other must go no further.
    Preferences mainPreferences = oscPreferences("main-code");
    Preferences backupPreferences = oscPreferences("backup-code");
    backupPreferences.mirrorTargets = {
        {"127.0.0.1:" + std::to_string(mainPreferences.oscPort), "main-code"}};
    Backup backup(temp.path() / "backup", backupPreferences);
    // A target where nothing answers delays nothing.
    mainPreferences.mirrorTargets = {
        {"127.0.0.1:" + std::to_string(test::freeUdpPort()), "x"},
        {"127.0.0.1:" + std::to_string(backup.remote->oscPort()), "backup-code"}};
    startRemote(mainPreferences);

    OscClient showController;
    showController.send(remote->oscPort(), oscConnectMessage("main-code", false));
    ASSERT_TRUE(receive(showController));
    const auto& slots = store->document().slots;
    const std::vector<std::pair<std::function<void()>, PlaybackState>> steps = {
        {[&] { store->play(slots[2]); }, PlaybackState::playing(2)},
        {[&] {
             showController.send(remote->oscPort(),
                                 oscCommandMessage({RemoteCommand::Kind::cue, 5}));
         },
         PlaybackState::playing(4)},
        {[&] { store->togglePause(); }, PlaybackState::paused(4)},
        {[&] { store->togglePause(); }, PlaybackState::playing(4)},
        {[&] { store->stopPlayback(); }, PlaybackState::stopped()},
        {[&] { store->play(slots[11]); }, PlaybackState::playing(11)},
        {[&] { store->fadeOut(); }, PlaybackState::playing(11)},
        {[&] {
             showController.send(remote->oscPort(),
                                 oscCommandMessage({RemoteCommand::Kind::fade, 0}));
         },
         PlaybackState::stopped()},
        {[&] { store->play(slots[0]); }, PlaybackState::playing(0)},
    };
    for (std::size_t index = 0; index < steps.size(); ++index) {
        const auto& [command, expected] = steps[index];
        command();
        ASSERT_TRUE(runUntilState(expected)) << "step " << index;
        ASSERT_TRUE(backup.signalling.runUntil([&] {
            return backup.controller->state() == expected;
        })) << "the backup fell behind at step "
            << index;
    }
    // The backup's own stop reaches the main machine after any echo would have.
    backup.store->stopPlayback();
    ASSERT_TRUE(runUntilState(PlaybackState::stopped()));
    EXPECT_EQ(factory->requestedURLs.size(), 4u);
    EXPECT_EQ(backup.factory->requestedURLs.size(), 4u);
    EXPECT_EQ(backup.factory->players[2]->fadeSeconds.size(), 1u);  // then cut
    EXPECT_EQ(backup.factory->players[2]->stopCount, 1);
}

}  // namespace
}  // namespace tavrel
