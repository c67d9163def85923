#include "remote/remote_command.h"

#include <charconv>

namespace tavrel {

namespace {

// "1"…"12" exactly: no sign, no leading zero, no trailing text.
std::optional<int> cueNumber(std::string_view text) {
    if (text.empty() || text.size() > 2 || text.front() == '0')
        return std::nullopt;
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || number < 1 ||
        number > RemoteCommand::cueCount) {
        return std::nullopt;
    }
    return number;
}

std::optional<RemoteCommand> fromName(std::string_view name, std::string_view cuePrefix) {
    if (name == "pause")
        return RemoteCommand{RemoteCommand::Kind::pause, 0};
    if (name == "stop")
        return RemoteCommand{RemoteCommand::Kind::stop, 0};
    if (name == "fade")
        return RemoteCommand{RemoteCommand::Kind::fade, 0};
    if (name.starts_with(cuePrefix)) {
        if (const auto number = cueNumber(name.substr(cuePrefix.size())))
            return RemoteCommand{RemoteCommand::Kind::cue, *number};
    }
    return std::nullopt;
}

}  // namespace

std::optional<RemoteCommand> RemoteCommand::fromTarget(std::string_view target) {
    return fromName(target, "cue");
}

std::string RemoteCommand::target() const {
    switch (kind) {
        case Kind::cue:
            return "cue" + std::to_string(cue);
        case Kind::pause:
            return "pause";
        case Kind::stop:
            return "stop";
        case Kind::fade:
            return "fade";
    }
    return {};
}

std::optional<RemoteCommand> RemoteCommand::fromOscAddress(std::string_view address) {
    constexpr std::string_view prefix = "/tavrel/";
    if (!address.starts_with(prefix))
        return std::nullopt;
    return fromName(address.substr(prefix.size()), "cue/");
}

std::string RemoteCommand::oscAddress() const {
    if (kind == Kind::cue)
        return "/tavrel/cue/" + std::to_string(cue);
    return "/tavrel/" + target();
}

}  // namespace tavrel
