#include "model/cue_document.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "base/clamped.h"

namespace tavrel {
namespace {

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

TEST(CueDocument, EmptyHasTwelveEmptySlotsInOrderAndFullVolume) {
    const auto document = CueDocument::empty();
    EXPECT_EQ(document.schemaVersion, 2);
    EXPECT_EQ(document.masterVolume, 1.0);
    EXPECT_TRUE(document.loopTracks.empty());
    ASSERT_EQ(document.slots.size(), 12u);
    for (std::int64_t id = 0; id < 12; ++id) {
        EXPECT_EQ(document.slots[id], CueSlot::empty(id));
    }
    EXPECT_EQ(normalized(CueDocument{}), document);
}

TEST(CueDocument, NormalizeSortsFiltersAndFillsSlots) {
    CueDocument document;
    document.schemaVersion = -7;
    document.slots = {slotWithID(12, "too high"), slotWithID(5, "five"), slotWithID(-1, "negative"),
                      slotWithID(3, "first three"), slotWithID(3, "second three")};
    document.normalize();
    EXPECT_EQ(document.schemaVersion, 2);
    ASSERT_EQ(document.slots.size(), 12u);
    for (std::int64_t id = 0; id < 12; ++id)
        EXPECT_EQ(document.slots[id].id, id);
    EXPECT_EQ(document.slots[3].title, "first three");
    EXPECT_EQ(document.slots[5].title, "five");
    EXPECT_EQ(document.slots[0], CueSlot::empty(0));
    EXPECT_EQ(document.slots[11], CueSlot::empty(11));
}

TEST(CueDocument, NormalizeBringsNumbersIntoRange) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double start, expectedStart, gain, expectedGain;
    };
    const Case cases[] = {
        {-5, 0, 6, 0},        {900, 900, -40, -12}, {1e308, 1e308, -12, -12}, {inf, 0, inf, 0},
        {-inf, 0, -inf, -12}, {nan, 0, nan, 0},     {0, 0, -6.5, -6.5},
    };
    for (const auto& c : cases) {
        CueDocument document;
        CueSlot slot = CueSlot::empty(0);
        slot.startSeconds = c.start;
        slot.gainDB = c.gain;
        document.slots = {slot};
        document.normalize();
        EXPECT_EQ(document.slots[0].startSeconds, c.expectedStart) << c.start;
        EXPECT_EQ(document.slots[0].gainDB, c.expectedGain) << c.gain;
    }
    const std::pair<double, double> volumes[] = {{1.5, 1.0}, {-0.2, 0.0}, {0.25, 0.25},
                                                 {inf, 1.0}, {-inf, 0.0}, {nan, 1.0}};
    for (const auto& [volume, expected] : volumes) {
        CueDocument document;
        document.masterVolume = volume;
        EXPECT_EQ(normalized(document).masterVolume, expected) << volume;
    }
}

TEST(CueDocument, SafeMediaFilenameRule) {
    using std::string_literals::operator""s;
    for (const std::string name : {"a b.mp3", ".hidden", "노래.wav", "noextension", "..a", "a..b"})
        EXPECT_TRUE(CueDocument::isSafeMediaFilename(name)) << name;
    for (const std::string& name :
         {""s, "."s, ".."s, "../x.mp3"s, "a/b.mp3"s, "/abs.mp3"s, "dir/"s, "a\0b.mp3"s})
        EXPECT_FALSE(CueDocument::isSafeMediaFilename(name)) << name;
}

TEST(CueDocument, NormalizeDropsUnsafeSlotFilenamesOnly) {
    CueDocument document;
    for (const char* name : {"../x.mp3", "a/b.mp3", "..", ".", "", "a b.mp3", ".hidden"}) {
        CueSlot slot = CueSlot::empty(static_cast<std::int64_t>(document.slots.size()));
        slot.audioFilename = name;
        slot.imageFilename = name;
        document.slots.push_back(slot);
    }
    document.normalize();
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(document.slots[i].audioFilename) << i;
        EXPECT_FALSE(document.slots[i].imageFilename) << i;
    }
    EXPECT_EQ(document.slots[5].audioFilename, "a b.mp3");
    EXPECT_EQ(document.slots[6].imageFilename, ".hidden");
}

TEST(CueDocument, NormalizeKeepsFirstTrackOfEachIDWithANonEmptyName) {
    auto tracks = [](std::vector<LoopTrack> list) {
        CueDocument document;
        document.loopTracks = std::move(list);
        document.normalize();
        return document.loopTracks;
    };
    const LoopTrack a1{trackA, "a1", "a1.mp3"};
    const LoopTrack a2{trackA, "a2", "a2.mp3"};
    const LoopTrack b{trackB, "b", "b.mp3"};
    EXPECT_EQ(tracks({a1, a2, b}), (std::vector<LoopTrack>{a1, b}));
    // An unsafe first track still claims its id.
    EXPECT_TRUE(tracks({{trackA, "bad", "../x"}, {trackA, "ok", "ok.mp3"}}).empty());
    // An empty name does not.
    EXPECT_EQ(tracks({{trackA, "empty", ""}, a2}), std::vector<LoopTrack>{a2});
}

TEST(CueDocument, NormalizeIsIdempotentAndLeavesTitlesAlone) {
    CueDocument document;
    document.masterVolume = 3;
    document.slots = {slotWithID(4, "  "), slotWithID(4, "dropped")};
    document.slots[0].usage = "오프닝";
    document.slots[0].gainDB = -99;
    document.loopTracks = {{trackA, "", "a.mp3"}, {trackA, "x", "b.mp3"}};
    const auto once = normalized(document);
    EXPECT_EQ(normalized(once), once);
    EXPECT_EQ(once.slots[4].title, "  ");
    EXPECT_EQ(once.slots[4].usage, "오프닝");
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
    EXPECT_EQ(CueSlot::empty(0).displayTitle(), "큐 1");
    EXPECT_EQ(CueSlot::empty(11).displayTitle(), "큐 12");
    EXPECT_EQ(slotWithID(3, " ").displayTitle(), " ");
    EXPECT_EQ(slotWithID(3, "Intro").displayTitle(), "Intro");
}

TEST(CueDocument, SlotKeyCharacters) {
    std::string keys;
    for (std::int64_t id = 0; id < 12; ++id)
        keys += slotKeyCharacter(id);
    EXPECT_EQ(keys, "1234567890-=");
    EXPECT_TRUE(slotKeyCharacter(-1).empty());
    EXPECT_TRUE(slotKeyCharacter(12).empty());
}

TEST(Clamped, LowerBoundFirstSoNaNPassesThrough) {
    EXPECT_EQ(clamped(5, 0, 3), 3);
    EXPECT_EQ(clamped(-2, 0, 3), 0);
    EXPECT_TRUE(std::isnan(clamped(std::numeric_limits<double>::quiet_NaN(), 0.0, 1.0)));
}

}  // namespace
}  // namespace tavrel
