#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "remote/remote_command.h"

namespace tavrel {

// What one datagram asks of this machine.
struct OscRequest {
    enum class Kind { command, connect };

    Kind kind = Kind::command;
    RemoteCommand command;  // Kind::command
    std::string passcode;   // Kind::connect; empty when none was sent
    // Kind::connect from another machine's mirror: what it sends is not mirrored on.
    bool fromMirror = false;
};

// Nothing for anything that is not one of ours with the arguments it takes:
// other addresses, wrong argument types, bundles, malformed bytes. A command
// takes no argument or one number (a controller's button sends 1 on press and 0
// on release: only a press counts).
std::optional<OscRequest> decodeOscRequest(std::string_view datagram);

// Encoded datagrams.
std::string oscCommandMessage(const RemoteCommand& command);
std::string oscConnectMessage(const std::string& passcode, bool fromMirror);
// "/tavrel/state" with "playing" N, "paused" N or "stopped".
std::string oscStateMessage(std::string_view state, std::optional<int> cue);
std::string oscErrorMessage(const std::string& message);

}  // namespace tavrel
