#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "model/preferences.h"
#include "remote/remote_command.h"

namespace tavrel {

// One MIDI input port, chosen by name, on its own thread. The thread scans
// the ports (ALSA sequencer and JACK, whichever this machine has) every
// second, opens the chosen one when it appears and lets it go when it
// disappears, so a controller plugged in later, or unplugged and plugged back,
// is used without a restart. It never touches the application's state.
class MidiInput {
public:
    struct Handlers {
        // Called on the MIDI thread: they may only hand the work on.
        std::function<void(const RemoteCommand& command)> command;
        std::function<void(const MidiMapping& mapping)> learned;
        // A line for the settings window and the ports it can offer, when either changed.
        std::function<void(const std::string& status, const std::vector<std::string>& ports)>
            status;
    };

    explicit MidiInput(Handlers handlers);
    ~MidiInput();
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    // Any thread. Takes effect before the next message is read. Empty port: none.
    void configure(const std::string& port, const std::vector<MidiMapping>& mappings);
    // The next press becomes a mapping to `target` instead of a command.
    void learn(const std::string& target);
    void cancelLearning();

    static constexpr std::chrono::milliseconds rescanInterval{1000};

    // The name a port is chosen by: ALSA's changing "client:port" numbers left off.
    static std::string portDisplayName(const std::string& rawName);

private:
    struct Configuration {
        std::string port;
        std::vector<MidiMapping> mappings;
    };
    class Ports;

    void run();
    // RtMidi's input thread (ALSA) or process callback (JACK).
    static void receive(double timeStamp, std::vector<unsigned char>* message, void* self);

    Handlers m_handlers;
    std::mutex m_mutex;  // guards everything below up to m_thread
    std::condition_variable m_wake;
    std::optional<Configuration> m_configuration;
    std::optional<std::optional<std::string>> m_learning;  // set: a change to pass on
    std::vector<std::vector<unsigned char>> m_messages;
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace tavrel
