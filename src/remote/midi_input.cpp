#include "remote/midi_input.h"

#include <RtMidi.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <regex>

#include "remote/midi_interpreter.h"

namespace tavrel {

namespace {

bool hasAlsaSequencer() {
    // Checked first: opening a missing sequencer fills the user's terminal with ALSA's complaints.
    return ::access("/dev/snd/seq", R_OK | W_OK) == 0;
}

// JACK's server socket; looked for first because a failed connection attempt
// prints several lines on stderr every time.
bool hasJackServer() {
    const char* name = std::getenv("JACK_DEFAULT_SERVER");
    const std::string socket = "/dev/shm/jack_" + std::string(name && *name ? name : "default") +
                               "_" + std::to_string(::getuid()) + "_0";
    struct stat found {};
    return ::stat(socket.c_str(), &found) == 0 && S_ISSOCK(found.st_mode);
}

void keepError(RtMidiError::Type, const std::string& text, void* lastError) {
    *static_cast<std::string*>(lastError) = text;
}

}  // namespace

// The MIDI thread's view of the ports: one listing client per available
// system, and the open input. Lives and dies on that thread.
class MidiInput::Ports {
public:
    struct Port {
        RtMidi::Api api;
        unsigned int index;
        std::string rawName;
    };

    explicit Ports(MidiInput& owner) : m_owner(owner) {}

    // Rescans, follows the chosen port, and returns the status line.
    std::string follow(const std::string& wanted, std::vector<std::string>& names) {
        std::vector<Port> ports;
        const bool alsa = list(RtMidi::LINUX_ALSA, hasAlsaSequencer(), m_alsa, ports);
        const bool jack = list(RtMidi::UNIX_JACK, hasJackServer(), m_jack, ports);
        names.clear();
        for (const auto& port : ports)
            names.push_back(portDisplayName(port.rawName));

        if (m_input && (m_openName != wanted || !contains(ports, m_openAPI, m_openRawName)))
            m_input.reset();
        if (!alsa && !jack)
            return "MIDI 장치를 사용할 수 없습니다 (ALSA 시퀀서도 JACK 서버도 없습니다).";
        if (wanted.empty())
            return "MIDI 입력을 쓰지 않습니다.";
        if (m_input)
            return "MIDI 입력 연결됨: " + wanted;
        for (const auto& port : ports) {
            if (portDisplayName(port.rawName) == wanted || port.rawName == wanted)
                return open(port, wanted);
        }
        return "MIDI 입력을 기다리는 중: " + wanted + " (연결되면 바로 씁니다)";
    }

private:
    bool list(RtMidi::Api api, bool available, std::unique_ptr<RtMidiIn>& lister,
              std::vector<Port>& ports) {
        if (!available) {
            lister.reset();
            if (m_input && m_openAPI == api)
                m_input.reset();
            return false;
        }
        if (!lister)
            lister = make(api);
        if (!lister)
            return false;
        const unsigned int count = lister->getPortCount();
        for (unsigned int index = 0; index < count; ++index) {
            std::string name = lister->getPortName(index);
            if (!name.empty())
                ports.push_back({api, index, std::move(name)});
        }
        return true;
    }

    std::unique_ptr<RtMidiIn> make(RtMidi::Api api) {
        try {
            auto client = std::make_unique<RtMidiIn>(api, "Tavrel");
            client->setErrorCallback(&keepError, &m_lastError);
            return client;
        } catch (const RtMidiError& error) {
            m_lastError = error.getMessage();
            return nullptr;
        }
    }

    std::string open(const Port& port, const std::string& wanted) {
        m_lastError.clear();
        auto input = make(port.api);
        if (input) {
            input->setCallback(&MidiInput::receive, &m_owner);
            input->ignoreTypes(true, true, true);
            input->openPort(port.index, "input");
        }
        if (!input || !input->isPortOpen()) {
            return "MIDI 입력을 열 수 없습니다: " + wanted + " (" + m_lastError + ")";
        }
        m_input = std::move(input);
        m_openAPI = port.api;
        m_openRawName = port.rawName;
        m_openName = wanted;
        return "MIDI 입력 연결됨: " + wanted;
    }

    static bool contains(const std::vector<Port>& ports, RtMidi::Api api,
                         const std::string& rawName) {
        for (const auto& port : ports) {
            if (port.api == api && port.rawName == rawName)
                return true;
        }
        return false;
    }

    MidiInput& m_owner;
    std::string m_lastError;
    std::unique_ptr<RtMidiIn> m_alsa;
    std::unique_ptr<RtMidiIn> m_jack;
    std::unique_ptr<RtMidiIn> m_input;
    RtMidi::Api m_openAPI = RtMidi::UNSPECIFIED;
    std::string m_openRawName;
    std::string m_openName;
};

MidiInput::MidiInput(Handlers handlers)
    : m_handlers(std::move(handlers)), m_thread([this] { run(); }) {}

MidiInput::~MidiInput() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

// Main thread; takes m_mutex.
void MidiInput::configure(const std::string& port, const std::vector<MidiMapping>& mappings) {
    {
        std::lock_guard lock(m_mutex);
        m_configuration = Configuration{port, mappings};
    }
    m_wake.notify_one();
}

void MidiInput::learn(const std::string& target) {  // main thread; takes m_mutex
    {
        std::lock_guard lock(m_mutex);
        m_learning = std::optional<std::string>(target);
    }
    m_wake.notify_one();
}

void MidiInput::cancelLearning() {  // main thread; takes m_mutex
    {
        std::lock_guard lock(m_mutex);
        m_learning = std::optional<std::string>();
    }
    m_wake.notify_one();
}

std::string MidiInput::portDisplayName(const std::string& rawName) {
    static const std::regex alsaNumbers(R"( \d+:\d+$)");
    return std::regex_replace(rawName, alsaNumbers, "");
}

// The MIDI library's own thread; takes m_mutex.
void MidiInput::receive(double, std::vector<unsigned char>* message, void* self) {
    auto& input = *static_cast<MidiInput*>(self);
    {
        std::lock_guard lock(input.m_mutex);
        input.m_messages.push_back(*message);
    }
    input.m_wake.notify_one();
}

void MidiInput::run() {  // MIDI thread; takes m_mutex only to swap the requests out
    using Clock = std::chrono::steady_clock;
    Ports ports(*this);
    MidiInterpreter interpreter;
    std::string wanted;
    std::string lastStatus;
    std::vector<std::string> lastNames;
    auto nextScan = Clock::now();
    for (;;) {
        std::optional<Configuration> configuration;
        std::optional<std::optional<std::string>> learning;
        std::vector<std::vector<unsigned char>> messages;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait_until(lock, nextScan, [this] {
                return m_stopping || m_configuration || m_learning || !m_messages.empty();
            });
            if (m_stopping)
                return;
            configuration.swap(m_configuration);
            learning.swap(m_learning);
            messages.swap(m_messages);
        }
        if (configuration) {
            interpreter.setMappings(configuration->mappings);
            if (configuration->port != wanted) {
                wanted = configuration->port;
                nextScan = Clock::now();
            }
        }
        if (learning) {
            if (*learning)
                interpreter.learn(**learning);
            else
                interpreter.cancelLearning();
        }
        for (const auto& message : messages) {
            const auto result = interpreter.feed(message);
            if (result.command && m_handlers.command)
                m_handlers.command(*result.command);
            if (result.learned && m_handlers.learned)
                m_handlers.learned(*result.learned);
        }
        if (Clock::now() >= nextScan) {
            std::vector<std::string> names;
            const std::string status = ports.follow(wanted, names);
            if ((status != lastStatus || names != lastNames) && m_handlers.status)
                m_handlers.status(status, names);
            lastStatus = status;
            lastNames = std::move(names);
            nextScan = Clock::now() + rescanInterval;
        }
    }
}

}  // namespace tavrel
