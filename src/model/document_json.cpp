#include "model/document_json.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "model/json_depth.h"

namespace tavrel {

namespace {

using nlohmann::json;

// Deeper input is refused before the parser builds it: no valid document
// nests more than four levels.
constexpr std::size_t maximumDepth = 64;

// The parser quotes the text it stopped at, which may be a megabyte-long string.
std::string cappedReason(const std::string& reason) {
    constexpr std::size_t longest = 300;
    if (reason.size() <= longest)
        return reason;
    std::size_t end = longest;
    // Never cut a UTF-8 sequence in half.
    while (end > 0 && (static_cast<unsigned char>(reason[end]) & 0xC0) == 0x80)
        --end;
    return reason.substr(0, end) + "…";
}

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw DocumentDecodeError(where + ": " + what);
}

const json* member(const json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end() || found->is_null())
        return nullptr;
    return &*found;
}

const json& required(const json& object, const char* key, const std::string& where) {
    const json* value = member(object, key);
    if (!value)
        fail(where + "." + key, "필수 항목이 없습니다");
    return *value;
}

std::int64_t integerValue(const json& value, const std::string& where) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() &&
            value.get<std::uint64_t>() >
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            fail(where, "정수 범위를 벗어났습니다");
        }
        return value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (std::isfinite(number) && std::trunc(number) == number && number >= -0x1p63 &&
            number < 0x1p63) {
            return static_cast<std::int64_t>(number);
        }
        fail(where, "정수가 아닙니다");
    }
    fail(where, "정수가 아닙니다");
}

double numberValue(const json& value, const std::string& where) {
    if (!value.is_number())
        fail(where, "숫자가 아닙니다");
    return value.get<double>();
}

std::string stringValue(const json& value, const std::string& where) {
    if (!value.is_string())
        fail(where, "문자열이 아닙니다");
    return value.get<std::string>();
}

std::optional<std::string> optionalString(const json& object, const char* key,
                                          const std::string& where) {
    const json* value = member(object, key);
    if (!value)
        return std::nullopt;
    return stringValue(*value, where + "." + key);
}

const json& objectValue(const json& value, const std::string& where) {
    if (!value.is_object())
        fail(where, "객체가 아닙니다");
    return value;
}

CueSlot decodeSlot(const json& value, const std::string& where) {
    objectValue(value, where);
    CueSlot slot;
    slot.id = integerValue(required(value, "id", where), where + ".id");
    slot.title = stringValue(required(value, "title", where), where + ".title");
    slot.usage = stringValue(required(value, "usage", where), where + ".usage");
    slot.audioFilename = optionalString(value, "audioFilename", where);
    slot.imageFilename = optionalString(value, "imageFilename", where);
    slot.startSeconds =
        numberValue(required(value, "startSeconds", where), where + ".startSeconds");
    slot.gainDB = numberValue(required(value, "gainDB", where), where + ".gainDB");
    return slot;
}

LoopTrack decodeTrack(const json& value, const std::string& where) {
    objectValue(value, where);
    LoopTrack track;
    const auto idText = stringValue(required(value, "id", where), where + ".id");
    auto id = Uuid::parse(idText);
    if (!id)
        fail(where + ".id", "UUID가 아닙니다");
    track.id = *id;
    track.title = stringValue(required(value, "title", where), where + ".title");
    track.audioFilename =
        stringValue(required(value, "audioFilename", where), where + ".audioFilename");
    return track;
}

void requireFinite(double value, const char* field) {
    if (!std::isfinite(value)) {
        throw DocumentEncodeError(std::string("유한하지 않은 숫자는 저장할 수 없습니다: ") + field);
    }
}

}  // namespace

std::string encodeDocument(const CueDocument& document) {
    requireFinite(document.masterVolume, "masterVolume");
    json slots = json::array();
    for (const auto& slot : document.slots) {
        requireFinite(slot.startSeconds, "startSeconds");
        requireFinite(slot.gainDB, "gainDB");
        json object = {{"id", slot.id},
                       {"title", slot.title},
                       {"usage", slot.usage},
                       {"startSeconds", slot.startSeconds},
                       {"gainDB", slot.gainDB}};
        if (slot.audioFilename)
            object["audioFilename"] = *slot.audioFilename;
        if (slot.imageFilename)
            object["imageFilename"] = *slot.imageFilename;
        slots.push_back(std::move(object));
    }
    json tracks = json::array();
    for (const auto& track : document.loopTracks) {
        tracks.push_back({{"id", track.id.text()},
                          {"title", track.title},
                          {"audioFilename", track.audioFilename}});
    }
    // nlohmann's object is a std::map: keys come out sorted at every level.
    json root = {{"schemaVersion", document.schemaVersion},
                 {"masterVolume", document.masterVolume},
                 {"slots", std::move(slots)},
                 {"loopTracks", std::move(tracks)}};
    // Replacement keeps an invalid UTF-8 title writable instead of throwing mid-save.
    return root.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

CueDocument decodeDocument(std::string_view bytes) {
    // Checked before parsing, not with a parser callback: the callback copies
    // each finished value, which makes long arrays quadratic.
    if (jsonNestsDeeperThan(bytes, maximumDepth))
        throw DocumentDecodeError("JSON이 너무 깊이 중첩되어 있습니다");
    json root;
    try {
        root = json::parse(bytes.begin(), bytes.end());
    } catch (const json::exception& error) {
        throw DocumentDecodeError(cappedReason(error.what()));
    }
    if (!root.is_object())
        fail("문서", "JSON 객체가 아닙니다");

    CueDocument document;
    document.schemaVersion = integerValue(required(root, "schemaVersion", "문서"), "schemaVersion");
    document.masterVolume = numberValue(required(root, "masterVolume", "문서"), "masterVolume");
    const json& slots = required(root, "slots", "문서");
    if (!slots.is_array())
        fail("slots", "배열이 아닙니다");
    document.slots.clear();
    for (std::size_t i = 0; i < slots.size(); ++i) {
        document.slots.push_back(decodeSlot(slots[i], "slots[" + std::to_string(i) + "]"));
    }
    if (const json* tracks = member(root, "loopTracks")) {
        if (!tracks->is_array())
            fail("loopTracks", "배열이 아닙니다");
        for (std::size_t i = 0; i < tracks->size(); ++i) {
            document.loopTracks.push_back(
                decodeTrack((*tracks)[i], "loopTracks[" + std::to_string(i) + "]"));
        }
    }
    return document;
}

}  // namespace tavrel
