#include "model/document_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

namespace tavrel {
namespace {

using nlohmann::json;

const char* const trackID = "0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1f0";

json slotJSON(std::int64_t id) {
    return {{"id", id},     {"title", "t"},       {"usage", "u"}, {"audioFilename", "a.mp3"},
            {"gainDB", -3}, {"startSeconds", 1.5}};
}

json documentJSON() {
    return {{"schemaVersion", 2},
            {"masterVolume", 0.8},
            {"slots", json::array({slotJSON(0)})},
            {"loopTracks",
             json::array({{{"id", trackID}, {"title", "x"}, {"audioFilename", "l.mp3"}}})}};
}

CueDocument decodeNormalized(const std::string& bytes) {
    auto document = decodeDocument(bytes);
    document.normalize();
    return document;
}

// Throws unless the bytes are refused with a readable reason.
void expectRefused(const std::string& bytes, const std::string& label) {
    try {
        decodeDocument(bytes);
        ADD_FAILURE() << label << ": decoded";
    } catch (const DocumentDecodeError& error) {
        EXPECT_STRNE(error.what(), "") << label;
    }
}

bool containsNull(const json& value) {
    if (value.is_null())
        return true;
    if (value.is_structured()) {
        for (const auto& element : value)
            if (containsNull(element))
                return true;
    }
    return false;
}

// Older and newer writers leave keys out, add keys, or write null for an absent name.
TEST(DocumentJSON, ReadsMinimalNullAndUnknownKeysAndTrackIDsInEitherCase) {
    for (const char* tracks : {"", ",\"loopTracks\":null"}) {
        const auto document = decodeNormalized(
            std::string(R"({"schemaVersion":1,"masterVolume":1,"slots":[])") + tracks + "}");
        EXPECT_EQ(document, CueDocument::empty());
        EXPECT_EQ(json::parse(encodeDocument(document))["loopTracks"], json::array());
    }
    auto value = documentJSON();
    value["future"] = {{"nested", json::array({1, 2})}};
    value["slots"][0]["color"] = "red";
    value["loopTracks"][0]["bpm"] = 120;
    EXPECT_EQ(decodeDocument(value.dump()), decodeDocument(documentJSON().dump()));
    value["slots"][0]["audioFilename"] = nullptr;
    value["slots"][0]["imageFilename"] = nullptr;
    EXPECT_FALSE(decodeDocument(value.dump()).slots[0].audioFilename);
    EXPECT_FALSE(decodeDocument(value.dump()).slots[0].imageFilename);
    EXPECT_EQ(
        json::parse(encodeDocument(decodeNormalized(documentJSON().dump())))["loopTracks"][0]["id"],
        "0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F0");
    for (const char* bad : {"abc", "", "0f1e2d3c4b5a49688776a5b4c3d2e1f0"}) {
        auto withID = documentJSON();
        withID["loopTracks"][0]["id"] = bad;
        expectRefused(withID.dump(), std::string("track id ") + bad);
    }
}

TEST(DocumentJSON, WritesSortedKeysAndNoKeyForAnAbsentFilename) {
    auto document = decodeNormalized(documentJSON().dump());
    document.slots[1].imageFilename = "card.png";
    const auto text = encodeDocument(document);
    EXPECT_NE(text.find("\n  "), std::string::npos) << "pretty printed";
    // ordered_json keeps the order of the text.
    const auto ordered = nlohmann::ordered_json::parse(text);
    auto keys = [](const nlohmann::ordered_json& object) {
        std::vector<std::string> names;
        for (const auto& item : object.items())
            names.push_back(item.key());
        return names;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(keys(ordered), (Names{"loopTracks", "masterVolume", "schemaVersion", "slots"}));
    EXPECT_EQ(keys(ordered["slots"][1]),
              (Names{"gainDB", "id", "imageFilename", "startSeconds", "title", "usage"}));
}

TEST(DocumentJSON, RefusesBytesThatAreNotJSONWithAReason) {
    const auto valid = documentJSON().dump();
    expectRefused("", "empty");
    expectRefused(valid.substr(0, valid.size() / 2), "truncated");
    expectRefused(std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "binary");
    expectRefused("\xff\xfe{\x00}", "UTF-16 marker");
    auto latin1 = documentJSON();
    latin1["slots"][0]["title"] = "placeholder";
    auto text = latin1.dump();
    text.replace(text.find("placeholder"), 11, "caf\xe9");
    expectRefused(text, "non-UTF-8 title");
    expectRefused("[1,2,3]", "array");
    // Without exhausting the stack.
    constexpr std::size_t depth = 100'000;
    expectRefused(std::string(depth, '[') + std::string(depth, ']'), "deep array");
    auto nested = documentJSON().dump();
    nested.insert(nested.size() - 1,
                  ",\"extra\":" + std::string(depth, '[') + std::string(depth, ']'));
    expectRefused(nested, "deep unknown key");
    expectRefused("\"text\"", "string");
    // The parser quotes what it stopped at; a message must stay readable.
    try {
        std::string unterminated = "{\"slots\": \"";
        for (int i = 0; i < 700'000; ++i)
            unterminated += "가";
        decodeDocument(unterminated);
        ADD_FAILURE() << "unterminated string decoded";
    } catch (const DocumentDecodeError& error) {
        EXPECT_LT(std::string(error.what()).size(), 400u);
    }
}

TEST(DocumentJSON, RefusesMissingNullAndWronglyTypedValues) {
    const std::vector<std::pair<std::string, std::function<void(json&)>>> mutations = {
        {"no schemaVersion", [](json& v) { v.erase("schemaVersion"); }},
        {"null masterVolume", [](json& v) { v["masterVolume"] = nullptr; }},
        {"no slots", [](json& v) { v.erase("slots"); }},
        {"slots object", [](json& v) { v["slots"] = json::object(); }},
        {"loopTracks object", [](json& v) { v["loopTracks"] = json::object(); }},
        {"masterVolume text", [](json& v) { v["masterVolume"] = "1"; }},
        {"masterVolume bool", [](json& v) { v["masterVolume"] = true; }},
        {"schemaVersion text", [](json& v) { v["schemaVersion"] = "2"; }},
        {"slot not object", [](json& v) { v["slots"][0] = 3; }},
        {"slot id text", [](json& v) { v["slots"][0]["id"] = "0"; }},
        {"slot no title", [](json& v) { v["slots"][0].erase("title"); }},
        {"slot usage number", [](json& v) { v["slots"][0]["usage"] = 1; }},
        {"slot audio number", [](json& v) { v["slots"][0]["audioFilename"] = 7; }},
        {"slot image array", [](json& v) { v["slots"][0]["imageFilename"] = json::array(); }},
        {"slot no startSeconds", [](json& v) { v["slots"][0].erase("startSeconds"); }},
        {"slot gain text", [](json& v) { v["slots"][0]["gainDB"] = "-3"; }},
        {"track id number", [](json& v) { v["loopTracks"][0]["id"] = 5; }},
        {"track no audio", [](json& v) { v["loopTracks"][0].erase("audioFilename"); }},
        {"track null title", [](json& v) { v["loopTracks"][0]["title"] = nullptr; }},
    };
    for (const auto& [label, mutate] : mutations) {
        auto value = documentJSON();
        mutate(value);
        expectRefused(value.dump(), label);
    }
}

TEST(DocumentJSON, IntegerFieldsTakeWholeNumbersOnly) {
    auto withID = [](const std::string& id) {
        auto text = documentJSON().dump();
        text.replace(text.find("\"id\":0"), 6, "\"id\":" + id);
        return text;
    };
    EXPECT_EQ(decodeDocument(withID("3.0")).slots[0].id, 3);
    EXPECT_EQ(decodeDocument(withID("-0.0")).slots[0].id, 0);
    EXPECT_EQ(decodeDocument(withID("3e0")).slots[0].id, 3);
    EXPECT_EQ(decodeDocument(withID("9223372036854775807")).slots[0].id,
              std::numeric_limits<std::int64_t>::max());
    for (const char* bad : {"3.5", "1e308", "9223372036854775808", "18446744073709551616", "-1e19"})
        expectRefused(withID(bad), std::string("id ") + bad);

    auto version = documentJSON().dump();
    version.replace(version.find("\"schemaVersion\":2"), 17, "\"schemaVersion\":2.0");
    EXPECT_EQ(decodeDocument(version).schemaVersion, 2);
}

TEST(DocumentJSON, ExtremeNumbersNeverComeBackAsNull) {
    auto withStart = [](const std::string& number) {
        auto text = documentJSON().dump();
        text.replace(text.find("\"startSeconds\":1.5"), 18, "\"startSeconds\":" + number);
        return text;
    };
    const auto large = decodeNormalized(withStart("1e308"));
    EXPECT_EQ(large.slots[0].startSeconds, 1e308);
    EXPECT_EQ(decodeNormalized(encodeDocument(large)), large);
    const auto negativeZero = decodeNormalized(withStart("-0.0"));
    EXPECT_EQ(negativeZero.slots[0].startSeconds, 0.0);
    EXPECT_FALSE(containsNull(json::parse(encodeDocument(negativeZero))));
    EXPECT_EQ(decodeNormalized(withStart("1e-400")).slots[0].startSeconds, 0.0);

    // An overflowing number is refused on reading rather than carried as infinity.
    expectRefused(withStart("1e400"), "1e400");
    expectRefused(withStart("-1e400"), "-1e400");

    // Whatever got into memory, a normalised document is finite and writable.
    CueDocument document = CueDocument::empty();
    document.masterVolume = std::numeric_limits<double>::infinity();
    document.slots[0].startSeconds = std::numeric_limits<double>::infinity();
    document.slots[1].gainDB = -std::numeric_limits<double>::infinity();
    EXPECT_THROW(encodeDocument(document), DocumentEncodeError);
    document.normalize();
    const auto written = json::parse(encodeDocument(document));
    EXPECT_FALSE(containsNull(written));
    EXPECT_EQ(written["slots"][0]["startSeconds"], 0.0);
}

TEST(DocumentJSON, WritesShortestNumbersThatReadBackExactly) {
    auto document = CueDocument::empty();
    document.masterVolume = 0.1;
    document.slots[0].startSeconds = 1.0 / 3.0;
    document.slots[1].startSeconds = 5e-324;
    const auto text = encodeDocument(document);
    EXPECT_NE(text.find("\"masterVolume\": 0.1,"), std::string::npos) << text;
    EXPECT_EQ(decodeNormalized(text), document);
}

// Random documents, including everything normalisation must repair.
class DocumentGenerator {
public:
    explicit DocumentGenerator(std::uint64_t seed) : m_random(seed) {}

    CueDocument next() {
        CueDocument document;
        document.schemaVersion = pick<std::int64_t>({-3, 0, 1, 2, 7});
        document.masterVolume = number(-0.5, 1.5);
        const auto slotCount = uniform(0, 16);
        for (int i = 0; i < slotCount; ++i) {
            CueSlot slot;
            slot.id = uniform(-2, 13);
            slot.title = text();
            slot.usage = text();
            slot.audioFilename = filename();
            slot.imageFilename = filename();
            slot.startSeconds = number(-100, 1000);
            slot.gainDB = number(-30, 10);
            document.slots.push_back(slot);
        }
        const auto trackCount = uniform(0, 6);
        for (int i = 0; i < trackCount; ++i) {
            LoopTrack track;
            track.id = m_ids[static_cast<std::size_t>(uniform(0, 3))];
            track.title = text();
            track.audioFilename = filename().value_or("");
            document.loopTracks.push_back(track);
        }
        return document;
    }

    // Occasionally not finite.
    bool allowNonFinite = false;

private:
    int uniform(int lower, int upper) {
        return std::uniform_int_distribution<int>(lower, upper)(m_random);
    }
    template <typename T>
    T pick(std::initializer_list<T> values) {
        return *(values.begin() + uniform(0, static_cast<int>(values.size()) - 1));
    }
    double number(double lower, double upper) {
        const int kind = uniform(0, 9);
        if (kind == 0)
            return pick<double>({0.0, -0.0, 1.0, 1e308, -1e308, 5e-324, 0.1});
        if (kind == 1 && allowNonFinite)
            return pick<double>({std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity(),
                                 std::numeric_limits<double>::quiet_NaN()});
        return std::uniform_real_distribution<double>(lower, upper)(m_random);
    }
    std::string text() {
        static const char* const pieces[] = {"a", " ", "큐", "\"",   "\\", "\n",  "\t",
                                             "/", "😀", "é",  "\x01", "}",  "null"};
        std::string result;
        for (int i = uniform(0, 5); i > 0; --i)
            result += pieces[uniform(0, std::size(pieces) - 1)];
        return result;
    }
    std::optional<std::string> filename() {
        static const char* const names[] = {
            "audio-1.mp3", "a b.mp3", ".hidden",  "노래.wav", "",
            ".",           "..",      "../x.mp3", "a/b.mp3",  "image-2.png"};
        const int index = uniform(-2, std::size(names) - 1);
        if (index < 0)
            return std::nullopt;
        return names[index];
    }

    std::mt19937_64 m_random;
    std::vector<Uuid> m_ids{Uuid::random(), Uuid::random(), Uuid::random(), Uuid::random()};
};

TEST(DocumentJSON, RoundTripOfGeneratedDocumentsPreservesTheNormalisedDocument) {
    DocumentGenerator generator(20240611);
    for (int i = 0; i < 2000; ++i) {
        generator.allowNonFinite = i % 2 == 1;
        const CueDocument document = generator.next();
        CueDocument once = document;
        once.normalize();
        CueDocument twice = once;
        twice.normalize();
        ASSERT_EQ(twice, once) << "normalize is not idempotent, document " << i;

        // A null written for a number would fail this decode.
        const auto written = encodeDocument(once);
        ASSERT_EQ(decodeNormalized(written), once) << "document " << i << "\n" << written;
        if (!generator.allowNonFinite) {
            ASSERT_EQ(decodeNormalized(encodeDocument(document)), once) << i;
        }
    }
}

}  // namespace
}  // namespace tavrel
