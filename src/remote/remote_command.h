#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavrel {

// One transport command, as the keys, MIDI, OSC and the mirror all speak it.
struct RemoteCommand {
    enum class Kind { cue, pause, stop, fade };
    static constexpr int cueCount = 12;

    Kind kind = Kind::stop;
    int cue = 0;  // 1…12 for Kind::cue

    // The mapping targets: "cue1"…"cue12", "pause", "stop", "fade".
    static std::optional<RemoteCommand> fromTarget(std::string_view target);
    std::string target() const;
    // "/tavrel/cue/1"…"/tavrel/cue/12", "/tavrel/pause", "/tavrel/stop", "/tavrel/fade".
    static std::optional<RemoteCommand> fromOscAddress(std::string_view address);
    std::string oscAddress() const;

    bool operator==(const RemoteCommand&) const = default;
};

}  // namespace tavrel
