#include "model/document_json.h"

#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

namespace tavrel {
namespace {

using nlohmann::json;

json documentJSON() {
    return json::parse(R"({"schemaVersion": 2, "masterVolume": 0.8, "slots": [{"id": 0,
        "title": "t", "usage": "u", "audioFilename": "a.mp3", "gainDB": -3, "startSeconds": 1.5}],
        "loopTracks": [{"id": "0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1f0", "title": "x",
        "audioFilename": "l.mp3"}]})");
}

// documentJSON() with the value at `pointer` set, or removed when none is given.
std::string with(const std::string& pointer, json value = json(json::value_t::discarded)) {
    auto document = documentJSON();
    const json::json_pointer at(pointer);
    if (value.is_discarded())
        document[at.parent_pointer()].erase(at.back());
    else
        document[at] = std::move(value);
    return document.dump();
}

// documentJSON() as text with `from` replaced: numbers exactly as written.
std::string replaced(const std::string& from, const std::string& to) {
    auto text = documentJSON().dump();
    return text.replace(text.find(from), from.size(), to);
}

CueDocument decodeNormalized(const std::string& bytes) {
    auto document = decodeDocument(bytes);
    document.normalize();
    return document;
}

// Older and newer writers leave keys out, add keys, or write null for an absent name.
TEST(DocumentJSON, ReadsMinimalNullAndUnknownKeysAndTrackIDsInEitherCase) {
    const std::string minimal = R"({"schemaVersion":1,"masterVolume":1,"slots":[])";
    EXPECT_EQ(decodeNormalized(minimal + "}"), CueDocument::empty());
    EXPECT_EQ(decodeNormalized(minimal + R"(,"loopTracks":null})"), CueDocument::empty());
    auto value = documentJSON();
    value["future"] = {{"nested", json::array({1, 2})}};
    value["slots"][0]["color"] = "red";
    value["loopTracks"][0]["bpm"] = 120;
    EXPECT_EQ(decodeDocument(value.dump()), decodeDocument(documentJSON().dump()));
    value["slots"][0]["audioFilename"] = value["slots"][0]["imageFilename"] = nullptr;
    const auto decoded = decodeDocument(value.dump());
    EXPECT_FALSE(decoded.slots[0].audioFilename || decoded.slots[0].imageFilename);
    EXPECT_EQ(decoded.loopTracks[0].id.text(), "0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F0");
}

TEST(DocumentJSON, RefusesWhatIsNotADocumentWithAShortReason) {
    constexpr std::size_t depth = 100'000;  // must not exhaust the stack
    const std::string deep = std::string(depth, '[') + std::string(depth, ']');
    const std::string valid = documentJSON().dump();
    std::string unterminated = "{\"slots\": \"";
    for (int i = 0; i < 700'000; ++i)
        unterminated += "가";
    std::vector<std::string> refused = {
        "", "[1,2,3]", "\"text\"", "\xff\xfe{", deep, unterminated,
        valid.substr(0, valid.size() / 2), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
        replaced("\"t\"", "\"caf\xe9\""), replaced("}]}", "}],\"extra\":" + deep + "}"),
        // Values of a wrong type or form.
        with("/slots/0", 3), with("/slots/0/audioFilename", 7), with("/loopTracks", json::object()),
        with("/masterVolume", "1"), with("/slots/0/gainDB", "-3"), with("/loopTracks/0/id", "abc"),
        with("/loopTracks/0/id", "0f1e2d3c4b5a49688776a5b4c3d2e1f0")};
    // Every required key missing, null, or of a wrong type.
    for (const char* key :
         {"/schemaVersion", "/masterVolume", "/slots", "/slots/0/id", "/slots/0/title",
          "/slots/0/usage", "/slots/0/startSeconds", "/slots/0/gainDB", "/loopTracks/0/id",
          "/loopTracks/0/title", "/loopTracks/0/audioFilename"}) {
        refused.insert(refused.end(), {with(key), with(key, nullptr), with(key, true)});
    }
    // Integers take whole numbers only; an overflow is not carried as infinity.
    for (const char* id : {"3.5", "1e308", "9223372036854775808", "18446744073709551616", "-1e19"})
        refused.push_back(replaced("\"id\":0", std::string("\"id\":") + id));
    refused.insert(refused.end(), {replaced("1.5", "1e400"), replaced("1.5", "-1e400")});
    for (std::size_t i = 0; i < refused.size(); ++i) {
        SCOPED_TRACE(i);
        try {
            decodeDocument(refused[i]);
            ADD_FAILURE() << "decoded";
        } catch (const DocumentDecodeError& error) {
            EXPECT_GT(std::string(error.what()).size(), 0u);
            EXPECT_LT(std::string(error.what()).size(), 400u);
        }
    }
}

TEST(DocumentJSON, ReadsWholeNumbersWrittenAsFloatsAndUnderflowAsZero) {
    const std::pair<const char*, std::int64_t> ids[] = {
        {"3.0", 3}, {"-0.0", 0}, {"3e0", 3}, {"9223372036854775807", INT64_MAX}};
    for (const auto& [text, id] : ids)
        EXPECT_EQ(decodeDocument(replaced("\"id\":0", std::string("\"id\":") + text)).slots[0].id,
                  id);
    EXPECT_EQ(decodeNormalized(replaced("1.5", "1e-400")).slots[0].startSeconds, 0.0);
}

// Random documents, including everything normalisation must repair.
CueDocument generatedDocument(std::mt19937_64& random, bool nonFinite) {
    static const std::vector<Uuid> ids = {Uuid::random(), Uuid::random(), Uuid::random()};
    const auto uniform = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    const auto number = [&](double low, double high) {
        constexpr double inf = std::numeric_limits<double>::infinity();
        const double special[] = {0.0, -0.0, 1e308, -1e308, 5e-324, 0.1, inf, -inf, NAN};
        if (uniform(0, 9) < 2)
            return special[uniform(0, nonFinite ? 8 : 5)];
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    const auto text = [&] {
        static const char* const pieces[] = {"", " ", "큐", "\"", "\\", "\n", "😀", "\x01", "null"};
        return std::string(pieces[uniform(0, 8)]) + pieces[uniform(0, 8)] + pieces[uniform(0, 8)];
    };
    const auto filename = [&]() -> std::optional<std::string> {
        static const char* const names[] = {"audio-1.mp3", "a b.mp3", ".hidden",  "노래.wav", "",
                                            ".",           "..",      "../x.mp3", "a/b.mp3"};
        const int index = uniform(-2, 8);
        return index < 0 ? std::nullopt : std::optional<std::string>(names[index]);
    };
    CueDocument document;
    document.schemaVersion = uniform(-3, 7);
    document.masterVolume = number(-0.5, 1.5);
    for (int i = uniform(0, 16); i > 0; --i) {
        document.slots.push_back({uniform(-2, 13), text(), text(), filename(), filename(),
                                  number(-100, 1000), number(-30, 10)});
    }
    for (int i = uniform(0, 6); i > 0; --i)
        document.loopTracks.push_back({ids[uniform(0, 2)], text(), filename().value_or("")});
    return document;
}

TEST(DocumentJSON, RoundTripOfGeneratedDocumentsPreservesTheNormalisedDocument) {
    std::mt19937_64 random(20240611);
    for (int i = 0; i < 2000; ++i) {
        const bool nonFinite = i % 2 == 1;
        const CueDocument document = generatedDocument(random, nonFinite);
        CueDocument once = document;
        once.normalize();
        // Also proves normalize idempotent; a null written for a number would fail it.
        const auto written = encodeDocument(once);
        ASSERT_EQ(decodeNormalized(written), once) << "document " << i << "\n" << written;
        if (!nonFinite) {
            ASSERT_EQ(decodeNormalized(encodeDocument(document)), once) << i;
        }
    }
    CueDocument infinite = CueDocument::empty();
    infinite.slots[1].gainDB = -std::numeric_limits<double>::infinity();
    EXPECT_THROW(encodeDocument(infinite), DocumentEncodeError);
}

}  // namespace
}  // namespace tavrel
