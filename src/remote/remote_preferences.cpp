#include "remote/remote_preferences.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "remote/remote_command.h"

namespace tavrel {

namespace {

bool isValidPort(int port) {
    return port >= 1 && port <= 65535;
}

std::optional<std::string> mappingProblem(const MidiMapping& mapping) {
    if (!RemoteCommand::fromTarget(mapping.target))
        return "알 수 없는 MIDI 대상입니다: \"" + mapping.target + "\"";
    if (mapping.number < 0 || mapping.number > 127)
        return "MIDI 노트와 컨트롤러 번호는 0에서 127 사이여야 합니다.";
    if (mapping.channel && (*mapping.channel < 1 || *mapping.channel > 16))
        return "MIDI 채널은 1에서 16 사이여야 합니다.";
    return std::nullopt;
}

bool sameMessage(const MidiMapping& a, const MidiMapping& b) {
    return a.kind == b.kind && a.number == b.number &&
           (!a.channel || !b.channel || a.channel == b.channel);
}

}  // namespace

std::optional<std::string> validateRemotePreferences(const Preferences& preferences) {
    if (!isValidPort(preferences.oscPort))
        return "OSC 포트는 1에서 65535 사이여야 합니다.";
    if (preferences.oscFromNetwork && preferences.oscPasscode.empty())
        return "네트워크에서 OSC를 받으려면 암호를 정해야 합니다.";
    for (const auto& mapping : preferences.midiMappings) {
        if (auto problem = mappingProblem(mapping))
            return problem;
    }
    for (const auto& target : preferences.mirrorTargets) {
        if (!parseHostPort(target.address)) {
            return "백업 컴퓨터 주소가 올바르지 않습니다: \"" + target.address +
                   "\" (호스트:포트 형식)";
        }
    }
    return std::nullopt;
}

std::optional<HostPort> parseHostPort(std::string_view address) {
    const auto colon = address.rfind(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const std::string_view host = address.substr(0, colon);
    const std::string_view portText = address.substr(colon + 1);
    const bool hostIsPlain = std::all_of(host.begin(), host.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
    });
    if (host.empty() || !hostIsPlain || portText.empty() || portText.size() > 5)
        return std::nullopt;
    int port = 0;
    const auto [end, error] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (error != std::errc() || end != portText.data() + portText.size() || !isValidPort(port))
        return std::nullopt;
    return HostPort{std::string(host), port};
}

std::vector<MidiMapping> mappingsWithLearned(const std::vector<MidiMapping>& mappings,
                                             const MidiMapping& learned) {
    std::vector<MidiMapping> result;
    for (const auto& mapping : mappings) {
        if (mapping.target != learned.target && !sameMessage(mapping, learned))
            result.push_back(mapping);
    }
    result.push_back(learned);
    return result;
}

}  // namespace tavrel
