#include "model/preferences.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "model/json_depth.h"

namespace tavrel {

namespace {

using nlohmann::json;

constexpr std::size_t maximumDepth = 16;

[[noreturn]] void fail(const std::string& key, const std::string& what) {
    throw PreferencesDecodeError(key + ": " + what);
}

template <typename Check>
const json* typed(const json& object, const char* key, Check isType, const char* expected) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null())
        return nullptr;
    if (!isType(*found))
        fail(key, expected);
    return &*found;
}

const json* text(const json& object, const char* key) {
    return typed(
        object, key, [](const json& v) { return v.is_string(); }, "문자열이 아닙니다");
}

int wholeNumber(const json& value, const std::string& key) {
    if (!value.is_number_integer())
        fail(key, "정수가 아닙니다");
    // Out-of-range ports stay out of range rather than wrap, so they are refused where used.
    const auto number = value.get<std::int64_t>();
    return static_cast<int>(std::clamp<std::int64_t>(number, -1, 1 << 30));
}

MidiMapping decodeMapping(const json& value) {
    if (!value.is_object())
        fail("midiMappings", "객체가 아닙니다");
    MidiMapping mapping;
    const json* target = text(value, "target");
    if (!target)
        fail("midiMappings.target", "필수 항목이 없습니다");
    mapping.target = target->get<std::string>();
    if (const json* kind = text(value, "type")) {
        const auto name = kind->get<std::string>();
        if (name == "note")
            mapping.kind = MidiMapping::Kind::note;
        else if (name == "controller")
            mapping.kind = MidiMapping::Kind::controller;
        else
            fail("midiMappings.type", "note 또는 controller가 아닙니다");
    }
    const auto number = value.find("number");
    if (number == value.end())
        fail("midiMappings.number", "필수 항목이 없습니다");
    mapping.number = wholeNumber(*number, "midiMappings.number");
    if (const auto channel = value.find("channel"); channel != value.end() && !channel->is_null())
        mapping.channel = wholeNumber(*channel, "midiMappings.channel");
    return mapping;
}

MirrorTarget decodeTarget(const json& value) {
    if (!value.is_object())
        fail("mirrorTargets", "객체가 아닙니다");
    MirrorTarget target;
    if (const json* address = text(value, "address"))
        target.address = address->get<std::string>();
    if (const json* passcode = text(value, "passcode"))
        target.passcode = passcode->get<std::string>();
    return target;
}

const std::vector<std::string>& knownKeys() {
    static const std::vector<std::string> keys = {
        "outputDevice",   "latencyPreset", "fadeSeconds", "oscEnabled",   "oscPort",
        "oscFromNetwork", "oscPasscode",   "midiInput",   "midiMappings", "mirrorTargets"};
    return keys;
}

}  // namespace

std::vector<MidiMapping> Preferences::defaultMidiMappings() {
    std::vector<MidiMapping> mappings;
    for (int cue = 1; cue <= 12; ++cue)
        mappings.push_back({"cue" + std::to_string(cue), MidiMapping::Kind::note, 35 + cue, {}});
    return mappings;
}

std::string_view latencyPresetKey(LatencyPreset preset) {
    return preset == LatencyPreset::low ? "low" : "stable";
}

std::optional<LatencyPreset> latencyPresetFromKey(std::string_view key) {
    if (key == "stable")
        return LatencyPreset::stable;
    if (key == "low")
        return LatencyPreset::low;
    return std::nullopt;
}

std::string encodePreferences(const Preferences& preferences) {
    json object = json::object();
    for (const auto& [key, value] : preferences.otherKeys)
        object[key] = json::parse(value, nullptr, false);
    object["outputDevice"] = preferences.outputDevice;
    object["latencyPreset"] = latencyPresetKey(preferences.latencyPreset);
    object["fadeSeconds"] = std::isfinite(preferences.fadeSeconds) ? preferences.fadeSeconds : 2.0;
    object["oscEnabled"] = preferences.oscEnabled;
    object["oscPort"] = preferences.oscPort;
    object["oscFromNetwork"] = preferences.oscFromNetwork;
    object["oscPasscode"] = preferences.oscPasscode;
    object["midiInput"] = preferences.midiInput;
    json mappings = json::array();
    for (const auto& mapping : preferences.midiMappings) {
        mappings.push_back(
            {{"target", mapping.target},
             {"type", mapping.kind == MidiMapping::Kind::note ? "note" : "controller"},
             {"number", mapping.number},
             {"channel", mapping.channel ? json(*mapping.channel) : json(nullptr)}});
    }
    object["midiMappings"] = std::move(mappings);
    json targets = json::array();
    for (const auto& target : preferences.mirrorTargets)
        targets.push_back({{"address", target.address}, {"passcode", target.passcode}});
    object["mirrorTargets"] = std::move(targets);
    return object.dump(2) + "\n";
}

Preferences decodePreferences(std::string_view bytes) {
    if (jsonNestsDeeperThan(bytes, maximumDepth))
        throw PreferencesDecodeError("너무 깊게 중첩되어 있습니다");
    json object;
    try {
        object = json::parse(bytes.begin(), bytes.end());
    } catch (const json::exception& error) {
        std::string reason = error.what();
        if (reason.size() > 300)
            reason = reason.substr(0, 300) + "…";
        throw PreferencesDecodeError(reason);
    }
    if (!object.is_object())
        throw PreferencesDecodeError("JSON 객체가 아닙니다");

    Preferences preferences;
    const auto isBool = [](const json& v) { return v.is_boolean(); };
    const auto isNumber = [](const json& v) { return v.is_number(); };
    const auto isArray = [](const json& v) { return v.is_array(); };
    if (const json* value = text(object, "outputDevice"))
        preferences.outputDevice = value->get<std::string>();
    if (const json* value = text(object, "latencyPreset")) {
        const auto preset = latencyPresetFromKey(value->get<std::string>());
        if (!preset)
            fail("latencyPreset", "stable 또는 low가 아닙니다");
        preferences.latencyPreset = *preset;
    }
    if (const json* value = typed(object, "fadeSeconds", isNumber, "숫자가 아닙니다")) {
        const double seconds = value->get<double>();
        preferences.fadeSeconds = std::isfinite(seconds)
                                      ? std::clamp(seconds, Preferences::minimumFadeSeconds,
                                                   Preferences::maximumFadeSeconds)
                                      : 2.0;
    }
    if (const json* value = typed(object, "oscEnabled", isBool, "참/거짓이 아닙니다"))
        preferences.oscEnabled = value->get<bool>();
    if (const auto port = object.find("oscPort"); port != object.end() && !port->is_null())
        preferences.oscPort = wholeNumber(*port, "oscPort");
    if (const json* value = typed(object, "oscFromNetwork", isBool, "참/거짓이 아닙니다"))
        preferences.oscFromNetwork = value->get<bool>();
    if (const json* value = text(object, "oscPasscode"))
        preferences.oscPasscode = value->get<std::string>();
    if (const json* value = text(object, "midiInput"))
        preferences.midiInput = value->get<std::string>();
    if (const json* value = typed(object, "midiMappings", isArray, "배열이 아닙니다")) {
        preferences.midiMappings.clear();
        for (const auto& item : *value)
            preferences.midiMappings.push_back(decodeMapping(item));
    }
    if (const json* value = typed(object, "mirrorTargets", isArray, "배열이 아닙니다")) {
        for (const auto& item : *value)
            preferences.mirrorTargets.push_back(decodeTarget(item));
    }
    const auto& known = knownKeys();
    for (const auto& [key, value] : object.items()) {
        if (std::find(known.begin(), known.end(), key) == known.end())
            preferences.otherKeys[key] = value.dump();
    }
    return preferences;
}

}  // namespace tavrel
