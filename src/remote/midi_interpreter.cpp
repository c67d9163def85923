#include "remote/midi_interpreter.h"

namespace tavrel {

void MidiInterpreter::setMappings(const std::vector<MidiMapping>& mappings) {
    m_entries.clear();
    for (const auto& mapping : mappings) {
        if (const auto command = RemoteCommand::fromTarget(mapping.target))
            m_entries.push_back({mapping, *command});
    }
}

MidiInterpreter::Result MidiInterpreter::feed(const std::vector<unsigned char>& message) {
    if (message.size() < 3)
        return {};
    const int status = message[0] & 0xF0;
    const int channel = message[0] & 0x0F;
    const int number = message[1] & 0x7F;
    const int value = message[2] & 0x7F;

    MidiMapping::Kind kind = MidiMapping::Kind::note;
    bool pressed = false;
    if (status == 0x90 && value > 0) {
        pressed = !m_heldNotes[channel][number];
        m_heldNotes[channel][number] = true;
    } else if (status == 0x80 || status == 0x90) {
        m_heldNotes[channel][number] = false;
    } else if (status == 0xB0) {
        kind = MidiMapping::Kind::controller;
        pressed = m_controllerValues[channel][number] < 64 && value >= 64;
        m_controllerValues[channel][number] = static_cast<std::uint8_t>(value);
    }
    if (!pressed)
        return {};

    if (m_learning) {
        MidiMapping learned{*m_learning, kind, number, channel + 1};
        m_learning.reset();
        return {std::nullopt, learned};
    }
    for (const auto& entry : m_entries) {
        const auto& mapping = entry.mapping;
        if (mapping.kind == kind && mapping.number == number &&
            (!mapping.channel || *mapping.channel == channel + 1)) {
            return {entry.command, std::nullopt};
        }
    }
    return {};
}

}  // namespace tavrel
