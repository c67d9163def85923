#include "model/cue_document.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace tavrel {
namespace {

using std::string_literals::operator""s;

const Uuid trackA = Uuid::random(), trackB = Uuid::random();

CueDocument normalized(CueDocument document) {
    document.normalize();
    return document;
}

CueSlot slot(std::int64_t id, std::string title, std::optional<std::string> name = {},
             double startSeconds = 0, double gainDB = 0) {
    return {id, std::move(title), "", name, name, startSeconds, gainDB};
}

TEST(CueDocument, NormalizeSortsFiltersAndFillsSlots) {
    CueDocument document;
    document.schemaVersion = -7;
    document.slots = {slot(12, "too high"), slot(5, "five"), slot(-1, "negative"), slot(3, "first"),
                      slot(3, "second")};
    CueDocument expected = CueDocument::empty();
    expected.slots[3].title = "first";
    expected.slots[5].title = "five";
    EXPECT_EQ(normalized(document), expected);
}

// Every number must survive a write and a read: non-finite values would be null.
TEST(CueDocument, NormalizeBringsNumbersIntoRange) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // start, expected start, gain, expected gain, volume, expected volume
    const double cases[][6] = {{-5, 0, 6, 0, 1.5, 1},
                               {900, 900, -40, -12, -0.2, 0},
                               {1e308, 1e308, -12, -12, inf, 1},
                               {inf, 0, inf, 0, -inf, 0},
                               {-inf, 0, -inf, -12, nan, 1},
                               {nan, 0, nan, 0, 0.25, 0.25},
                               {0, 0, -6.5, -6.5, 0.25, 0.25}};
    for (const auto& c : cases) {
        CueDocument document;
        document.masterVolume = c[4];
        document.slots = {slot(0, "", {}, c[0], c[2])};
        document.normalize();
        EXPECT_EQ(document.slots[0].startSeconds, c[1]) << c[0];
        EXPECT_EQ(document.slots[0].gainDB, c[3]) << c[2];
        EXPECT_EQ(document.masterVolume, c[5]) << c[4];
    }
}

// A media name is one entry inside "Media": nothing that could reach elsewhere.
TEST(CueDocument, NormalizeDropsUnsafeMediaNamesOnly) {
    const std::pair<std::string, bool> names[] = {
        {"a b.mp3", true}, {".hidden", true},   {"노래.wav", true}, {"noextension", true},
        {"..a", true},     {"a..b", true},      {"", false},        {".", false},
        {"..", false},     {"../x.mp3", false}, {"a/b.mp3", false}, {"/abs.mp3", false},
        {"dir/", false},   {"a\0b.mp3"s, false}};
    for (const auto& [name, safe] : names) {
        CueDocument document;
        document.slots = {slot(0, "", name)};
        document.loopTracks = {{trackA, "x", name}};
        document.normalize();
        const auto kept = safe ? std::optional(name) : std::nullopt;
        EXPECT_TRUE(document.slots[0].audioFilename == kept &&
                    document.slots[0].imageFilename == kept)
            << name;
        EXPECT_EQ(document.loopTracks.size(), safe ? 1u : 0u) << name;
    }
}

TEST(CueDocument, NormalizeKeepsFirstTrackOfEachIDWithANonEmptyName) {
    const LoopTrack a1{trackA, "a1", "a1.mp3"}, a2{trackA, "a2", "a2.mp3"}, b{trackB, "b", "b.mp3"};
    // An unsafe first track still claims its id; one with an empty name does not.
    const std::pair<std::vector<LoopTrack>, std::vector<LoopTrack>> cases[] = {
        {{a1, a2, b}, {a1, b}},
        {{{trackA, "bad", "../x"}, a2}, {}},
        {{{trackA, "x", ""}, a2}, {a2}}};
    for (const auto& [tracks, expected] : cases) {
        CueDocument document;
        document.loopTracks = tracks;
        EXPECT_EQ(normalized(document).loopTracks, expected);
    }
}

TEST(CueDocument, ReferencedMediaFilenamesAreSafeAndUnique) {
    CueDocument document = CueDocument::empty();
    document.slots[0].audioFilename = "shared.mp3";
    document.slots[0].imageFilename = "card.png";
    document.slots[1].audioFilename = "../escape.mp3";  // not normalised: must still be left out
    document.loopTracks = {{trackA, "", "shared.mp3"}, {trackB, "", "loop.mp3"}};
    EXPECT_EQ(document.referencedMediaFilenames(),
              (std::set<std::string>{"shared.mp3", "card.png", "loop.mp3"}));
}

}  // namespace
}  // namespace tavrel
