#include "remote/remote_control.h"

#include <system_error>

#include "playback/playback_error.h"
#include "remote/midi_input.h"
#include "remote/mirror_sender.h"
#include "remote/osc_listener.h"
#include "remote/osc_protocol.h"
#include "remote/remote_preferences.h"

namespace tavrel {

namespace {

constexpr const char* oscOff = "OSC 수신 꺼짐";
constexpr const char* midiOff = "MIDI 꺼짐";
constexpr const char* whileEditing = "편집 중에는 원격 명령을 실행하지 않습니다.";

bool sameOsc(const Preferences& a, const Preferences& b) {
    return a.oscEnabled == b.oscEnabled && a.oscPort == b.oscPort &&
           a.oscFromNetwork == b.oscFromNetwork && a.oscPasscode == b.oscPasscode;
}

bool sameRemote(const Preferences& a, const Preferences& b) {
    return sameOsc(a, b) && a.midiInput == b.midiInput && a.midiMappings == b.midiMappings &&
           a.mirrorTargets == b.mirrorTargets;
}

}  // namespace

std::shared_ptr<RemoteControl> RemoteControl::create(std::shared_ptr<CueStore> store,
                                                     MainLoop& mainLoop) {
    std::shared_ptr<RemoteControl> remote(new RemoteControl(std::move(store), mainLoop));
    remote->start();
    return remote;
}

RemoteControl::RemoteControl(std::shared_ptr<CueStore> store, MainLoop& mainLoop)
    : m_store(std::move(store)), m_mainLoop(mainLoop) {}

RemoteControl::~RemoteControl() {
    m_store->setTransportListener(nullptr);
}

std::optional<std::string> RemoteControl::validate(const Preferences& preferences) {
    return validateRemotePreferences(preferences);
}

int RemoteControl::oscPort() const {
    return m_osc ? m_osc->port() : 0;
}

void RemoteControl::start() {
    std::weak_ptr<RemoteControl> weak = weak_from_this();
    m_store->setTransportListener([weak](CueStore::TransportCommand command, std::int64_t slot) {
        if (auto self = weak.lock())
            self->mirror(command, slot);
    });
    m_storeSubscription = m_store->subscribe([this] { storeChanged(); });
    m_playbackSubscription = m_store->playback().subscribe([this] { playbackChanged(); });
    m_lastState = stateMessage();
    m_lastPlaybackError = m_store->playback().errorMessage();
    m_lastStoreError = m_store->persistenceError();
    apply(m_store->preferences());
}

void RemoteControl::apply(const Preferences& preferences) {
    if (m_applied && sameRemote(*m_applied, preferences))
        return;
    const bool wasRefused = m_status.problem.has_value();
    if (auto problem = validate(preferences)) {
        closeEverything(*problem);
        m_applied = preferences;
        notifyObservers();
        return;
    }
    m_status.problem.reset();
    if (!m_applied || wasRefused || !sameOsc(*m_applied, preferences))
        applyOsc(preferences);

    if (!m_midi)
        startMidi();
    m_midi->configure(preferences.midiInput, preferences.midiMappings);

    if (!m_applied || wasRefused || m_applied->mirrorTargets != preferences.mirrorTargets) {
        m_mirror.reset();
        if (!preferences.mirrorTargets.empty())
            m_mirror = std::make_unique<MirrorSender>(preferences.mirrorTargets);
    }
    m_applied = preferences;
    notifyObservers();
}

void RemoteControl::startMidi() {
    const int generation = ++m_midiGeneration;
    std::weak_ptr<RemoteControl> weak = weak_from_this();
    MainLoop* loop = &m_mainLoop;
    MidiInput::Handlers handlers;
    handlers.command = [weak, loop](const RemoteCommand& command) {
        loop->post([weak, command] {
            if (auto self = weak.lock())
                self->execute(command, false);
        });
    };
    handlers.learned = [weak, loop, generation](const MidiMapping& mapping) {
        loop->post([weak, mapping, generation] {
            auto self = weak.lock();
            if (!self || self->m_midiGeneration != generation || !self->m_learned)
                return;
            auto learned = std::move(self->m_learned);
            self->m_learned = nullptr;
            learned(mapping);
        });
    };
    handlers.status = [weak, loop, generation](const std::string& status,
                                               const std::vector<std::string>& ports) {
        loop->post([weak, status, ports, generation] {
            auto self = weak.lock();
            if (!self || self->m_midiGeneration != generation)
                return;
            self->m_status.midi = status;
            self->m_status.midiInputs = ports;
            self->notifyObservers();
        });
    };
    m_status.midi = "MIDI 장치를 찾는 중입니다.";
    m_midi = std::make_unique<MidiInput>(std::move(handlers));
}

void RemoteControl::applyOsc(const Preferences& preferences) {
    m_osc.reset();
    m_status.osc = oscOff;
    if (!preferences.oscEnabled)
        return;
    std::weak_ptr<RemoteControl> weak = weak_from_this();
    MainLoop* loop = &m_mainLoop;
    OscListener::Handlers handlers;
    handlers.command = [weak, loop](const RemoteCommand& command, bool fromMirror) {
        loop->post([weak, command, fromMirror] {
            if (auto self = weak.lock())
                self->execute(command, fromMirror);
        });
    };
    handlers.connected = [weak, loop](const OscPeer& peer) {
        loop->post([weak, peer] {
            auto self = weak.lock();
            if (self && self->m_osc)
                self->m_osc->sendTo(peer, self->m_lastState);
        });
    };
    const std::string port = std::to_string(preferences.oscPort);
    try {
        m_osc = std::make_unique<OscListener>(
            OscListener::Options{preferences.oscPort, preferences.oscFromNetwork,
                                 preferences.oscPasscode},
            std::move(handlers));
    } catch (const std::system_error& error) {
        m_status.osc = "OSC 포트 " + port + "을(를) 열 수 없습니다: " + error.code().message();
        return;
    }
    m_status.osc = preferences.oscFromNetwork
                       ? "OSC 수신 중: 네트워크 전체, 포트 " + port + " (암호 필요)"
                       : "OSC 수신 중: 이 컴퓨터만 (127.0.0.1:" + port + ")";
}

void RemoteControl::closeEverything(const std::string& problem) {
    m_osc.reset();
    m_midi.reset();
    m_mirror.reset();
    ++m_midiGeneration;
    m_learned = nullptr;
    m_status = Status{problem, oscOff, midiOff, {}};
}

void RemoteControl::startLearning(const std::string& target,
                                  std::function<void(const MidiMapping&)> learned) {
    m_learned = std::move(learned);
    if (m_midi)
        m_midi->learn(target);
}

void RemoteControl::cancelLearning() {
    m_learned = nullptr;
    if (m_midi)
        m_midi->cancelLearning();
}

void RemoteControl::execute(const RemoteCommand& command, bool fromMirror) {
    // The same rule as the keys: nothing fires while a cue is being edited.
    if (!m_store->liveShortcutsEnabled()) {
        sendError(whileEditing);
        return;
    }
    m_commandFromMirror = fromMirror;
    switch (command.kind) {
        case RemoteCommand::Kind::cue: {
            const auto& slots = m_store->document().slots;
            const auto index = static_cast<std::size_t>(command.cue - 1);
            if (index >= slots.size())
                break;
            const CueSlot slot = slots[index];
            // A key whose cue cannot play is disabled: the operator's screen
            // stays as it is, the controller hears why.
            if (!m_store->canPlay(slot)) {
                sendError(PlaybackError::message(slot.audioFilename
                                                     ? PlaybackError::Kind::missingMedia
                                                     : PlaybackError::Kind::noAudio));
                break;
            }
            m_runningCommand = true;
            m_store->play(slot);
            m_runningCommand = false;
            // A successful start clears the controller's error.
            if (const auto& error = m_store->playback().errorMessage())
                sendError(*error);
            break;
        }
        case RemoteCommand::Kind::pause:
            m_store->togglePause();
            break;
        case RemoteCommand::Kind::stop:
            m_store->stopPlayback();
            break;
        case RemoteCommand::Kind::fade:
            m_store->fadeOut();
            break;
    }
    m_commandFromMirror = false;
}

void RemoteControl::mirror(CueStore::TransportCommand command, std::int64_t slotID) {
    // What a backup was told by another machine goes no further, so two
    // machines that mirror each other do not echo forever.
    if (!m_mirror || m_commandFromMirror)
        return;
    switch (command) {
        case CueStore::TransportCommand::play:
            if (slotID >= 0 && slotID < RemoteCommand::cueCount)
                m_mirror->send({RemoteCommand::Kind::cue, static_cast<int>(slotID) + 1});
            break;
        case CueStore::TransportCommand::togglePause:
            m_mirror->send({RemoteCommand::Kind::pause, 0});
            break;
        case CueStore::TransportCommand::stop:
            m_mirror->send({RemoteCommand::Kind::stop, 0});
            break;
        case CueStore::TransportCommand::fade:
            m_mirror->send({RemoteCommand::Kind::fade, 0});
            break;
    }
}

void RemoteControl::playbackChanged() {
    const std::string state = stateMessage();
    if (state != m_lastState) {
        m_lastState = state;
        sendToPeers(state);
    }
    // A failure from any input reaches the controllers; one from a remote
    // command was already sent by execute().
    const auto& error = m_store->playback().errorMessage();
    if (error && error != m_lastPlaybackError && !m_runningCommand)
        sendError(*error);
    m_lastPlaybackError = error;
}

void RemoteControl::storeChanged() {
    const auto& error = m_store->persistenceError();
    if (error && error != m_lastStoreError)
        sendError(*error);
    m_lastStoreError = error;
    apply(m_store->preferences());
}

std::string RemoteControl::stateMessage() const {
    const PlaybackState state = m_store->playback().state();
    // Cues count from 1; the loop player's track is 0.
    const auto cue = [&] {
        return static_cast<int>(std::max<std::int64_t>(*state.activeSlotID() + 1, 0));
    };
    if (state.isPlaying())
        return oscStateMessage("playing", cue());
    if (state.isPaused())
        return oscStateMessage("paused", cue());
    return oscStateMessage("stopped", std::nullopt);
}

void RemoteControl::sendToPeers(const std::string& datagram) {
    if (m_osc)
        m_osc->sendToPeers(datagram);
}

void RemoteControl::sendError(const std::string& message) {
    sendToPeers(oscErrorMessage(message));
}

}  // namespace tavrel
