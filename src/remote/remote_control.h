#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/main_loop.h"
#include "base/observable.h"
#include "model/preferences.h"
#include "remote/remote_command.h"
#include "store/cue_store.h"

namespace tavrel {

class MidiInput;
class MirrorSender;
class OscListener;
struct OscPeer;

// Remote control of one store: OSC from show controllers, MIDI from pads, and
// the mirror that makes backup machines follow. Main thread only; its
// listeners run on their own threads and post each command here, where it
// runs exactly as its key would. Follows the store's preferences by itself.
class RemoteControl : public Observable, public std::enable_shared_from_this<RemoteControl> {
public:
    // What the settings window shows.
    struct Status {
        // Set when the preferences are refused: then nothing is open.
        std::optional<std::string> problem;
        std::string osc;
        std::string midi;
        // Input ports found on the last scan, as midiInput names them.
        std::vector<std::string> midiInputs;

        bool operator==(const Status&) const = default;
    };

    // Applies the store's preferences at once and after each change.
    // `mainLoop` must outlive the remote control.
    static std::shared_ptr<RemoteControl> create(std::shared_ptr<CueStore> store,
                                                 MainLoop& mainLoop);
    ~RemoteControl() override;

    // The message why these preferences would be refused, or nothing.
    static std::optional<std::string> validate(const Preferences& preferences);

    const Status& status() const { return m_status; }
    // The port OSC listens on; 0 when it does not.
    int oscPort() const;

    // MIDI learn: the next pad pressed or controller raised is handed to
    // `learned` as a mapping to `target` (see mappingsWithLearned) instead of
    // triggering; the caller saves it with setPreferences.
    void startLearning(const std::string& target, std::function<void(const MidiMapping&)> learned);
    void cancelLearning();

private:
    RemoteControl(std::shared_ptr<CueStore> store, MainLoop& mainLoop);
    void start();
    void apply(const Preferences& preferences);
    void applyOsc(const Preferences& preferences);
    void startMidi();
    void closeEverything(const std::string& problem);

    void execute(const RemoteCommand& command, bool fromMirror);
    void mirror(CueStore::TransportCommand command, std::int64_t slotID);

    void playbackChanged();
    void storeChanged();
    std::string stateMessage() const;
    void sendToPeers(const std::string& datagram);
    void sendError(const std::string& message);

    std::shared_ptr<CueStore> m_store;
    MainLoop& m_mainLoop;
    Status m_status;
    std::optional<Preferences> m_applied;

    std::unique_ptr<OscListener> m_osc;
    std::unique_ptr<MidiInput> m_midi;
    std::unique_ptr<MirrorSender> m_mirror;
    // Tells reports of a MIDI input that was let go from the current one's.
    int m_midiGeneration = 0;
    std::function<void(const MidiMapping&)> m_learned;

    bool m_runningCommand = false;
    bool m_commandFromMirror = false;
    std::string m_lastState;
    std::optional<std::string> m_lastPlaybackError;
    std::optional<std::string> m_lastStoreError;

    Subscription m_storeSubscription;
    Subscription m_playbackSubscription;
};

}  // namespace tavrel
