#include "remote/osc_protocol.h"

#include <lo/lo.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace tavrel {

namespace {

constexpr std::string_view connectAddress = "/tavrel/connect";
constexpr std::string_view mirrorRole = "mirror";

struct MessageDeleter {
    void operator()(lo_message message) const { lo_message_free(message); }
};
using Message = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageDeleter>;

std::string serialise(const Message& message, std::string_view address) {
    const std::string path(address);
    std::size_t size = 0;
    void* bytes = lo_message_serialise(message.get(), path.c_str(), nullptr, &size);
    if (!bytes)
        return {};
    std::string datagram(static_cast<const char*>(bytes), size);
    std::free(bytes);
    return datagram;
}

template <typename Number>
Number read(const lo_arg* argument) {
    Number number{};
    std::memcpy(&number, argument, sizeof number);
    return number;
}

// True for a press; nothing when the argument is not a number at all. liblo's
// argument pointers are only 4-byte aligned, so values are copied out, never
// read through the union; true and false carry no data.
std::optional<bool> isPress(char type, const lo_arg* argument) {
    switch (type) {
        case LO_INT32:
            return read<std::int32_t>(argument) != 0;
        case LO_INT64:
            return read<std::int64_t>(argument) != 0;
        case LO_FLOAT: {
            const auto value = read<float>(argument);
            return std::isfinite(value) && value != 0;
        }
        case LO_DOUBLE: {
            const auto value = read<double>(argument);
            return std::isfinite(value) && value != 0;
        }
        case LO_TRUE:
            return true;
        case LO_FALSE:
            return false;
        default:
            return std::nullopt;
    }
}

const char* text(const lo_arg* argument) {
    return reinterpret_cast<const char*>(argument);
}

}  // namespace

std::optional<OscRequest> decodeOscRequest(std::string_view datagram) {
    // Bundles start with "#bundle"; messages with their address.
    if (datagram.size() < 4 || datagram.front() != '/')
        return std::nullopt;
    // liblo checks every length and padding; it wants a buffer it may read in place.
    std::vector<char> bytes(datagram.begin(), datagram.end());
    int result = 0;
    const Message message(lo_message_deserialise(bytes.data(), bytes.size(), &result));
    if (!message)
        return std::nullopt;
    const std::string address(bytes.data(), strnlen(bytes.data(), bytes.size()));
    const char* typesText = lo_message_get_types(message.get());
    const std::string_view types = typesText ? typesText : "";
    lo_arg** arguments = lo_message_get_argv(message.get());

    if (address == connectAddress) {
        OscRequest request;
        request.kind = OscRequest::Kind::connect;
        if (types.empty())
            return request;
        if (types != "s" && types != "ss")
            return std::nullopt;
        request.passcode = text(arguments[0]);
        request.fromMirror = types == "ss" && std::string_view(text(arguments[1])) == mirrorRole;
        return request;
    }
    const auto command = RemoteCommand::fromOscAddress(address);
    if (!command)
        return std::nullopt;
    if (types.size() > 1)
        return std::nullopt;
    if (types.size() == 1 && isPress(types[0], arguments[0]) != true)
        return std::nullopt;
    OscRequest request;
    request.command = *command;
    return request;
}

std::string oscCommandMessage(const RemoteCommand& command) {
    const Message message(lo_message_new());
    return serialise(message, command.oscAddress());
}

std::string oscConnectMessage(const std::string& passcode, bool fromMirror) {
    const Message message(lo_message_new());
    lo_message_add_string(message.get(), passcode.c_str());
    if (fromMirror)
        lo_message_add_string(message.get(), std::string(mirrorRole).c_str());
    return serialise(message, connectAddress);
}

std::string oscStateMessage(std::string_view state, std::optional<int> cue) {
    const Message message(lo_message_new());
    lo_message_add_string(message.get(), std::string(state).c_str());
    if (cue)
        lo_message_add_int32(message.get(), *cue);
    return serialise(message, "/tavrel/state");
}

std::string oscErrorMessage(const std::string& text) {
    const Message message(lo_message_new());
    lo_message_add_string(message.get(), text.c_str());
    return serialise(message, "/tavrel/error");
}

}  // namespace tavrel
