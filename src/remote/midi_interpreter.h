#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/preferences.h"
#include "remote/remote_command.h"

namespace tavrel {

// Turns MIDI messages into commands, once per press: a note-on with velocity
// above 0 (repeated without its note-off: still the same press), or a
// controller crossing 64 upwards. Owned by one thread.
class MidiInterpreter {
public:
    struct Result {
        std::optional<RemoteCommand> command;
        std::optional<MidiMapping> learned;  // the press that ended learning
    };

    // Mappings whose target is not a command are skipped.
    void setMappings(const std::vector<MidiMapping>& mappings);
    // The next press becomes a mapping to this target instead of triggering.
    void learn(std::string target) { m_learning = std::move(target); }
    void cancelLearning() { m_learning.reset(); }

    Result feed(const std::vector<unsigned char>& message);

private:
    struct Entry {
        MidiMapping mapping;
        RemoteCommand command;
    };

    std::vector<Entry> m_entries;
    std::optional<std::string> m_learning;
    // Per channel: notes held down, and each controller's last value.
    std::array<std::bitset<128>, 16> m_heldNotes{};
    std::array<std::array<std::uint8_t, 128>, 16> m_controllerValues{};
};

}  // namespace tavrel
