#include "model/cue_document.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace tavrel {
namespace {

using std::string_literals::operator""s;

const Uuid trackA = *Uuid::parse("AAAAAAAA-0000-4000-8000-000000000001");
const Uuid trackB = *Uuid::parse("BBBBBBBB-0000-4000-8000-000000000002");

CueSlot slotWithID(std::int64_t id, std::string title = {}) {
    CueSlot slot = CueSlot::empty(id);
    slot.title = std::move(title);
    return slot;
}

CueDocument normalized(CueDocument document) {
    document.normalize();
    return document;
}

TEST(CueDocument, NormalizeSortsFiltersAndFillsSlots) {
    EXPECT_EQ(normalized(CueDocument{}), CueDocument::empty());
    CueDocument document;
    document.schemaVersion = -7;
    document.slots = {slotWithID(12, "too high"), slotWithID(5, "five"), slotWithID(-1, "negative"),
                      slotWithID(3, "first three"), slotWithID(3, "second three")};
    document.normalize();
    EXPECT_EQ(document.schemaVersion, CueDocument::currentSchemaVersion);
    ASSERT_EQ(document.slots.size(), 12u);
    for (std::int64_t id = 0; id < 12; ++id)
        EXPECT_EQ(document.slots[id].id, id);
    EXPECT_EQ(document.slots[3].title, "first three");
    EXPECT_EQ(document.slots[5].title, "five");
    EXPECT_EQ(document.slots[11], CueSlot::empty(11));
}

// Every number must survive a write and a read: non-finite values would be null.
TEST(CueDocument, NormalizeBringsNumbersIntoRange) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double cases[][4] = {
        // start, expected start, gain, expected gain
        {-5, 0, 6, 0},        {900, 900, -40, -12}, {1e308, 1e308, -12, -12}, {inf, 0, inf, 0},
        {-inf, 0, -inf, -12}, {nan, 0, nan, 0},     {0, 0, -6.5, -6.5},
    };
    for (const auto& c : cases) {
        CueDocument document;
        document.slots = {CueSlot::empty(0)};
        document.slots[0].startSeconds = c[0];
        document.slots[0].gainDB = c[2];
        document.normalize();
        EXPECT_EQ(document.slots[0].startSeconds, c[1]) << c[0];
        EXPECT_EQ(document.slots[0].gainDB, c[3]) << c[2];
    }
    const std::pair<double, double> volumes[] = {{1.5, 1.0}, {-0.2, 0.0}, {0.25, 0.25},
                                                 {inf, 1.0}, {-inf, 0.0}, {nan, 1.0}};
    for (const auto& [volume, expected] : volumes) {
        CueDocument document;
        document.masterVolume = volume;
        EXPECT_EQ(normalized(document).masterVolume, expected) << volume;
    }
}

// A media name is one entry inside "Media": nothing that could reach elsewhere.
TEST(CueDocument, NormalizeDropsUnsafeMediaNamesOnly) {
    const std::string safe[] = {"a b.mp3", ".hidden", "노래.wav", "noextension", "..a", "a..b"};
    const std::string unsafe[] = {""s,        "."s,        ".."s,   "../x.mp3"s,
                                  "a/b.mp3"s, "/abs.mp3"s, "dir/"s, "a\0b.mp3"s};
    for (const auto& name : safe) {
        CueSlot slot = CueSlot::empty(0);
        slot.audioFilename = slot.imageFilename = name;
        slot.sanitize();
        EXPECT_EQ(slot.audioFilename, name);
        EXPECT_EQ(slot.imageFilename, name);
    }
    for (const auto& name : unsafe) {
        CueDocument document;
        document.slots = {CueSlot::empty(0)};
        document.slots[0].audioFilename = document.slots[0].imageFilename = name;
        document.loopTracks = {{trackA, "", name}};
        document.normalize();
        EXPECT_FALSE(document.slots[0].audioFilename) << name;
        EXPECT_FALSE(document.slots[0].imageFilename) << name;
        EXPECT_TRUE(document.loopTracks.empty()) << name;
    }
}

TEST(CueDocument, NormalizeKeepsFirstTrackOfEachIDWithANonEmptyNameAndIsIdempotent) {
    auto tracks = [](std::vector<LoopTrack> list) {
        CueDocument document;
        document.loopTracks = std::move(list);
        return normalized(document).loopTracks;
    };
    const LoopTrack a1{trackA, "a1", "a1.mp3"};
    const LoopTrack a2{trackA, "a2", "a2.mp3"};
    const LoopTrack b{trackB, "b", "b.mp3"};
    EXPECT_EQ(tracks({a1, a2, b}), (std::vector<LoopTrack>{a1, b}));
    // An unsafe first track still claims its id; an empty name does not.
    EXPECT_TRUE(tracks({{trackA, "bad", "../x"}, {trackA, "ok", "ok.mp3"}}).empty());
    EXPECT_EQ(tracks({{trackA, "empty", ""}, a2}), std::vector<LoopTrack>{a2});

    CueDocument document;
    document.masterVolume = 3;
    document.slots = {slotWithID(4, "  "), slotWithID(4, "dropped")};
    document.slots[0].gainDB = -99;
    document.loopTracks = {{trackA, "", "a.mp3"}, {trackA, "x", "b.mp3"}};
    const auto once = normalized(document);
    EXPECT_EQ(normalized(once), once);
    EXPECT_EQ(once.slots[4].title, "  ");
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

TEST(CueSlot, DisplayTitleFallsBackToTheCueNumber) {
    EXPECT_EQ(CueSlot::empty(11).displayTitle(), "큐 12");
    EXPECT_EQ(slotWithID(3, " ").displayTitle(), " ");
}

}  // namespace
}  // namespace tavrel
