#include <gtest/gtest.h>

#include <algorithm>

#include "model/document_json.h"
#include "persistence/sets_fixture.h"
#include "support/scoped_mount.h"

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;

bool isNewName(const std::string& name, const std::string& kind, const std::string& extension) {
    const std::string suffix = extension.empty() ? "" : "." + extension;
    const std::string prefix = kind + "-";
    if (name.size() != prefix.size() + 36 + suffix.size() || !name.starts_with(prefix) ||
        !name.ends_with(suffix)) {
        return false;
    }
    const std::string uuid = name.substr(prefix.size(), 36);
    return Uuid::parse(uuid) && uuid == Uuid::parse(uuid)->text();
}

class SetsRestore : public ::testing::Test {
protected:
    const CuePersistence& persistence() const { return library.persistence(); }
    fs::path set() const { return library.temporary() / "Venue"; }

    std::set<std::string> addedMedia() const {
        std::set<std::string> added;
        for (const auto& name : entryNames(persistence().mediaURL())) {
            if (!library.media().contains(name))
                added.insert(name);
        }
        return added;
    }

    SetsLibrary library;
};

TEST_F(SetsRestore, CopiesEachFileOncePerRoleUnderNewNamesAndDropsNamesThatLeaveTheSet) {
    writeFile(library.temporary() / "secret.mp3", "outside the set");
    CueDocument document = CueDocument::empty();
    document.slots[0].audioFilename = "x.mp3";
    document.slots[1].audioFilename = "x.mp3";
    document.slots[1].imageFilename = "x.mp3";
    document.slots[2].audioFilename = "sound";
    document.slots[3].audioFilename = "../../secret.mp3";
    document.slots[4].imageFilename = std::string("x.mp3\0../../secret.mp3", 22);
    document.loopTracks = {LoopTrack{Uuid::random(), "Bed", "x.mp3"},
                           LoopTrack{Uuid::random(), "Up", "../secret.mp3"}};
    writeSetFolder(set(), encodeDocument(document), {{"x.mp3", "x bytes"}, {"sound", "bare"}});
    const TreeSnapshot setBefore = snapshotTree(set());

    const CueDocument restored = persistence().restoreBackup(set(), disk()).document;

    const auto& slots = restored.slots;
    EXPECT_TRUE(isNewName(*slots[0].audioFilename, "audio", "mp3"));
    EXPECT_EQ(slots[1].audioFilename, slots[0].audioFilename);
    EXPECT_TRUE(isNewName(*slots[1].imageFilename, "image", "mp3"));
    EXPECT_TRUE(isNewName(*slots[2].audioFilename, "audio", ""));
    EXPECT_FALSE(slots[3].audioFilename);
    EXPECT_FALSE(slots[4].imageFilename);
    ASSERT_EQ(restored.loopTracks.size(), 1u);
    EXPECT_TRUE(isNewName(restored.loopTracks[0].audioFilename, "loop", "mp3"));
    EXPECT_EQ(addedMedia(), restored.referencedMediaFilenames());
    EXPECT_EQ(addedMedia().size(), 4u);
    EXPECT_EQ(readFile(persistence().mediaURL() / restored.loopTracks[0].audioFilename), "x bytes");
    // The old media stay for the store's clean-up; the set is only read.
    for (const auto& [name, bytes] : library.media())
        EXPECT_EQ(readFile(persistence().mediaURL() / name), bytes);
    EXPECT_EQ(snapshotTree(set()), setBefore);
    EXPECT_EQ(persistence().load(disk()), restored);
}

// Nothing in the library changes before the whole set is known good.
TEST_F(SetsRestore, RefusesABadSetWithoutTouchingTheLibrary) {
    const fs::path outside = library.temporary() / "Outside";
    writeSetFolder(outside, encodeDocument(CueDocument::empty()), {{"art.png", "not the set's"}});
    CueDocument newer = CueDocument::empty();
    newer.schemaVersion = 3;
    CueDocument withMedia = CueDocument::empty();
    withMedia.slots[0].audioFilename = "good.mp3";
    withMedia.slots[5].imageFilename = "art.png";
    const std::string good = encodeDocument(withMedia);
    const std::string notASet = "불러올 세트가 올바르지 않습니다. (Tavrel 세트 폴더가 아닙니다.)";
    const std::string missingArt = "세트에 필요한 미디어 파일이 없습니다: art.png";
    const std::vector<std::tuple<std::string, std::function<void(const fs::path&)>, std::string>>
        cases = {
            {"missing", [](const fs::path&) {}, notASet},
            {"a plain file", [](const fs::path& at) { writeFile(at, "{}"); }, notASet},
            {"a link to a set",
             [&](const fs::path& at) { fs::create_directory_symlink(outside, at); }, notASet},
            {"cues.json a folder",
             [](const fs::path& at) { fs::create_directories(at / "cues.json"); }, notASet},
            {"cues.json a link",
             [&](const fs::path& at) {
                 fs::create_directories(at);
                 fs::create_symlink(outside / "cues.json", at / "cues.json");
             },
             notASet},
            {"binary",
             [](const fs::path& at) { writeSetFolder(at, std::string("\0\x89PNG", 5), {}); }, ""},
            {"schema 3", [&](const fs::path& at) { writeSetFolder(at, encodeDocument(newer), {}); },
             "불러올 세트가 올바르지 않습니다. (" + unsupportedSchemaMessage(3) + ")"},
            {"media missing",
             [&](const fs::path& at) {
                 writeSetFolder(at, good, {{"good.mp3", "g"}});
             },
             missingArt},
            {"media a folder",
             [&](const fs::path& at) {
                 writeSetFolder(at, good, {{"good.mp3", "g"}});
                 fs::create_directories(at / "Media" / "art.png");
             },
             missingArt},
            {"media a link",
             [&](const fs::path& at) {
                 writeSetFolder(at, good, {{"good.mp3", "g"}});
                 fs::create_symlink(outside / "Media" / "art.png", at / "Media" / "art.png");
             },
             missingArt},
            {"Media a link",
             [&](const fs::path& at) {
                 writeFile(at / "cues.json", good);
                 fs::create_directory_symlink(outside / "Media", at / "Media");
             },
             "불러올 세트가 올바르지 않습니다. (세트의 Media가 링크이거나 폴더가 아닙니다.)"},
        };
    const TreeSnapshot before = snapshotTree(persistence().rootURL());
    for (const auto& [what, make, message] : cases) {
        SCOPED_TRACE(what);
        fs::remove_all(set());
        make(set());

        const auto error = persistenceErrorOf([&] { persistence().restoreBackup(set(), disk()); });

        ASSERT_TRUE(error);
        if (!message.empty()) {
            EXPECT_EQ(error->what(), message);
        }
        EXPECT_FALSE(error->reason().empty() && error->name().empty());
        EXPECT_EQ(snapshotTree(persistence().rootURL()), before);
    }
}

// "Media" on a file system of its own: every rename into it must start there.
TEST_F(SetsRestore, WorksWhenMediaIsAnotherFileSystem) {
    persistence().exportBackup(library.show(), set(), disk());
    fs::remove_all(persistence().mediaURL());
    fs::create_directory(persistence().mediaURL());
    ScopedMount mount(ScopedMount::Kind::tmpfs, {}, persistence().mediaURL());
    if (!mount.mounted())
        GTEST_SKIP() << "mounting a tmpfs is not allowed here";

    const CueDocument restored = persistence().restoreBackup(set(), disk()).document;

    EXPECT_EQ(persistence().load(disk()), restored);
    EXPECT_EQ(entryNames(persistence().mediaURL()), restored.referencedMediaFilenames());
}

TEST_F(SetsRestore, TwelveSlotsNamingOneLargeFileCopyItOnce) {
    constexpr std::uintmax_t size = 200ull * 1024 * 1024;
    CueDocument document = CueDocument::empty();
    for (auto& slot : document.slots)
        slot.audioFilename = "big.wav";
    writeSetFolder(set(), encodeDocument(document), {});
    // Sparse: the test needs the size, not the time to write it.
    writeFile(set() / "Media" / "big.wav", "RIFF");
    fs::resize_file(set() / "Media" / "big.wav", size);
    FaultInjectingFileSystem fileSystem;

    persistence().restoreBackup(set(), fileSystem);

    EXPECT_EQ(std::ranges::count(fileSystem.log(), FaultInjectingFileSystem::Operation::copyFile),
              1);
    ASSERT_EQ(addedMedia().size(), 1u);
    EXPECT_EQ(fs::file_size(persistence().mediaURL() / *addedMedia().begin()), size);
}

}  // namespace
}  // namespace tavrel::test
