#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// How much buffering the output asks the sound server for.
enum class LatencyPreset {
    stable,  // "안정": about 20 ms, survives a loaded machine
    low,     // "저지연": about 10 ms
};

// One MIDI message that triggers one command.
struct MidiMapping {
    enum class Kind { note, controller };

    // "cue1"…"cue12", "pause", "stop" or "fade".
    std::string target;
    Kind kind = Kind::note;
    int number = 0;              // note or controller number, 0…127
    std::optional<int> channel;  // 1…16; empty: any channel

    bool operator==(const MidiMapping&) const = default;
};

// A backup machine that is sent every command this one carries out.
struct MirrorTarget {
    std::string address;  // "host:port"
    std::string passcode;

    bool operator==(const MirrorTarget&) const = default;
};

// Per-machine settings, never part of a show: "preferences.json" in the
// configuration folder. Keys this version does not know are kept as they were.
struct Preferences {
    static constexpr double minimumFadeSeconds = 0.5;
    static constexpr double maximumFadeSeconds = 10.0;
    static constexpr int defaultOscPort = 53535;

    std::string outputDevice;  // the server's output name; empty: the default output
    LatencyPreset latencyPreset = LatencyPreset::stable;
    double fadeSeconds = 2.0;
    bool oscEnabled = false;
    int oscPort = defaultOscPort;
    bool oscFromNetwork = false;
    std::string oscPasscode;
    std::string midiInput;  // a port name; empty: none
    std::vector<MidiMapping> midiMappings = defaultMidiMappings();
    std::vector<MirrorTarget> mirrorTargets;
    // Unknown keys, each with its value as compact JSON text.
    std::map<std::string, std::string> otherKeys;

    // Notes 36–47 on any channel play cues 1–12.
    static std::vector<MidiMapping> defaultMidiMappings();

    bool operator==(const Preferences&) const = default;
};

class PreferencesDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Flat camelCase keys, sorted, pretty printed.
std::string encodePreferences(const Preferences& preferences);
// Missing keys take their defaults; a known key of the wrong type, or text that
// is not a JSON object, throws PreferencesDecodeError. Values are kept as they
// are (range checks belong to whoever uses them), except that fadeSeconds is
// clamped to its range.
Preferences decodePreferences(std::string_view bytes);

std::string_view latencyPresetKey(LatencyPreset preset);
std::optional<LatencyPreset> latencyPresetFromKey(std::string_view key);

}  // namespace tavrel
