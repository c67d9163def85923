#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/preferences.h"

namespace tavrel {

// The exact message why these remote-control preferences cannot be used, or
// nothing when they can. The settings window refuses to save what this
// refuses, and RemoteControl opens nothing while its preferences are refused.
std::optional<std::string> validateRemotePreferences(const Preferences& preferences);

struct HostPort {
    std::string host;  // a name or an IPv4 address
    int port = 0;

    bool operator==(const HostPort&) const = default;
};

// "host:port" with a port in 1…65535.
std::optional<HostPort> parseHostPort(std::string_view address);

// The mappings after MIDI learn: the learned one replaces the target's
// previous mappings and any other use of the same message, so one pad does one thing.
std::vector<MidiMapping> mappingsWithLearned(const std::vector<MidiMapping>& mappings,
                                             const MidiMapping& learned);

}  // namespace tavrel
