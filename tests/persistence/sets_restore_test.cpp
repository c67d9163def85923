#include <gtest/gtest.h>

#include <algorithm>

#include "model/document_json.h"
#include "persistence/sets_fixture.h"
#include "support/scoped_mount.h"

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;
using Kind = CuePersistenceError::Kind;

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

    void expectLibraryUnchanged(const TreeSnapshot& before) const {
        EXPECT_EQ(snapshotTree(persistence().rootURL()), before);
    }

    SetsLibrary library;
};

TEST_F(SetsRestore, CopiesEachFileOncePerRoleUnderNewNames) {
    CueDocument document = CueDocument::empty();
    document.slots[0].audioFilename = "x.mp3";
    document.slots[1].audioFilename = "x.mp3";
    document.slots[1].imageFilename = "x.mp3";
    document.slots[2].audioFilename = "sound";
    document.slots[2].imageFilename = ".cover";
    document.loopTracks = {LoopTrack{Uuid::random(), "Bed", "x.mp3"}};
    writeSetFolder(set(), encodeDocument(document),
                   {{"x.mp3", "x bytes"}, {"sound", "no extension"}, {".cover", "hidden"}});
    const TreeSnapshot setBefore = snapshotTree(set());

    const CueDocument restored = persistence().restoreBackup(set()).document;

    const auto& slots = restored.slots;
    EXPECT_TRUE(isNewName(*slots[0].audioFilename, "audio", "mp3"));
    EXPECT_EQ(slots[1].audioFilename, slots[0].audioFilename);
    EXPECT_TRUE(isNewName(*slots[1].imageFilename, "image", "mp3"));
    EXPECT_TRUE(isNewName(*slots[2].audioFilename, "audio", ""));
    EXPECT_TRUE(isNewName(*slots[2].imageFilename, "image", ""));
    EXPECT_TRUE(isNewName(restored.loopTracks[0].audioFilename, "loop", "mp3"));
    EXPECT_EQ(addedMedia(), restored.referencedMediaFilenames());
    EXPECT_EQ(addedMedia().size(), 5u);
    const fs::path media = persistence().mediaURL();
    EXPECT_EQ(readFile(media / *slots[1].imageFilename), "x bytes");
    EXPECT_EQ(readFile(media / restored.loopTracks[0].audioFilename), "x bytes");
    EXPECT_EQ(readFile(media / *slots[2].imageFilename), "hidden");

    // The old media stay for the store's clean-up; the set is only read.
    for (const auto& [name, bytes] : library.media())
        EXPECT_EQ(readFile(media / name), bytes);
    EXPECT_EQ(snapshotTree(set()), setBefore);
    EXPECT_EQ(readFile(persistence().documentURL()), encodeDocument(restored));
    EXPECT_EQ(persistence().load(), restored);
    EXPECT_EQ(countEntriesWithPrefix(persistence().mediaURL(), ".Tavrel-restore-"), 0);
}

TEST_F(SetsRestore, NormalisesTheSetDocumentAndNeedsNoMediaFolderWithoutMedia) {
    CueDocument document = CueDocument::empty();
    document.masterVolume = 3.0;
    for (int id = 0; id < 15; ++id)
        document.slots.push_back(CueSlot::empty(id % 4));
    document.slots[0].title = "first of its id";
    document.slots[12].title = "duplicate id 0";
    writeFile(set() / "cues.json", encodeDocument(document));

    const CueDocument restored = persistence().restoreBackup(set()).document;

    EXPECT_EQ(restored.slots.size(), 12u);
    EXPECT_EQ(restored.slots[0].title, "first of its id");
    EXPECT_EQ(restored.masterVolume, 1.0);
    EXPECT_TRUE(addedMedia().empty());
    EXPECT_EQ(persistence().load(), restored);
}

TEST_F(SetsRestore, TwiceFromTheSameSetGivesTwoIndependentCopies) {
    persistence().exportBackup(library.show(), set());
    const TreeSnapshot setBefore = snapshotTree(set());

    const CueDocument first = persistence().restoreBackup(set()).document;
    const CueDocument second = persistence().restoreBackup(set()).document;

    const auto firstNames = first.referencedMediaFilenames();
    const auto secondNames = second.referencedMediaFilenames();
    std::vector<std::string> shared;
    std::ranges::set_intersection(firstNames, secondNames, std::back_inserter(shared));
    EXPECT_TRUE(shared.empty());
    EXPECT_EQ(addedMedia().size(), firstNames.size() + secondNames.size());
    EXPECT_EQ(snapshotTree(set()), setBefore);
}

TEST_F(SetsRestore, ASetInsideSavedSetsRestoresAndStaysAsItWas) {
    const fs::path saved = persistence().savedSetsURL() / "Friday";
    persistence().exportBackup(library.show(), saved);
    const TreeSnapshot setBefore = snapshotTree(saved);

    const CueDocument restored = persistence().restoreBackup(saved).document;

    EXPECT_EQ(restored.slots[0].title, "Opening");
    EXPECT_EQ(snapshotTree(saved), setBefore);
    EXPECT_EQ(persistence().savedSetReferencedMediaFilenames(),
              library.show().referencedMediaFilenames());
}

TEST_F(SetsRestore, NamesThatLeaveTheSetAreDroppedNotCopied) {
    writeFile(library.temporary() / "secret.mp3", "outside the set");
    writeFile(set() / "inner" / "deep.mp3", "below the set's Media");
    CueDocument document = CueDocument::empty();
    document.slots[0].audioFilename = "../../secret.mp3";
    document.slots[1].audioFilename = "..";
    document.slots[2].imageFilename = "../inner/deep.mp3";
    document.slots[3].audioFilename = std::string("ok.mp3\0../../secret.mp3", 23);
    document.slots[4].audioFilename = "ok.mp3";
    document.loopTracks = {LoopTrack{Uuid::random(), "Up", "../secret.mp3"}};
    writeSetFolder(set(), encodeDocument(document), {{"ok.mp3", "fine"}});

    const CueDocument restored = persistence().restoreBackup(set()).document;

    for (int id = 0; id < 4; ++id) {
        EXPECT_FALSE(restored.slots[id].audioFilename) << id;
        EXPECT_FALSE(restored.slots[id].imageFilename) << id;
    }
    EXPECT_TRUE(restored.loopTracks.empty());
    ASSERT_EQ(addedMedia().size(), 1u);
    EXPECT_EQ(readFile(persistence().mediaURL() / *addedMedia().begin()), "fine");
}

// What the library holds before the set's media are even looked at must not change.
TEST_F(SetsRestore, RefusesWhatIsNotASetFolderWithoutTouchingTheLibrary) {
    const fs::path outside = library.temporary() / "Outside";
    writeSetFolder(outside, encodeDocument(CueDocument::empty()), {});
    const std::map<std::string, std::function<void(const fs::path&)>> notSets = {
        {"missing", [](const fs::path&) {}},
        {"a plain file", [](const fs::path& at) { writeFile(at, "{}"); }},
        {"a link to a set", [&](const fs::path& at) { fs::create_directory_symlink(outside, at); }},
        {"no cues.json", [](const fs::path& at) { fs::create_directories(at / "Media"); }},
        {"cues.json a folder",
         [](const fs::path& at) { fs::create_directories(at / "cues.json"); }},
        {"cues.json a link",
         [&](const fs::path& at) {
             fs::create_directories(at);
             fs::create_symlink(outside / "cues.json", at / "cues.json");
         }},
    };
    const TreeSnapshot before = snapshotTree(persistence().rootURL());
    for (const auto& [what, make] : notSets) {
        fs::remove_all(set());
        make(set());

        const auto error = persistenceErrorOf([&] { persistence().restoreBackup(set()); });

        ASSERT_TRUE(error) << what;
        EXPECT_STREQ(error->what(),
                     "불러올 세트가 올바르지 않습니다. (Tavrel 세트 폴더가 아닙니다.)")
            << what;
        expectLibraryUnchanged(before);
    }
}

TEST_F(SetsRestore, RefusesADocumentItCannotUse) {
    CueDocument newer = CueDocument::empty();
    newer.schemaVersion = 3;
    const std::map<std::string, std::string> documents = {
        {"empty", ""},
        {"binary", std::string("\0\x01\xfe\xff\x89PNG", 8)},
        {"an empty object", "{}"},
        {"schema 3", encodeDocument(newer)},
    };
    const TreeSnapshot before = snapshotTree(persistence().rootURL());
    for (const auto& [what, bytes] : documents) {
        fs::remove_all(set());
        writeSetFolder(set(), bytes, {});

        const auto error = persistenceErrorOf([&] { persistence().restoreBackup(set()); });

        ASSERT_TRUE(error) << what;
        EXPECT_EQ(error->kind(), Kind::invalidBackup) << what;
        EXPECT_FALSE(error->reason().empty()) << what;
        EXPECT_NE(error->reason(), "Tavrel 세트 폴더가 아닙니다.") << what;
        if (what == "schema 3") {
            EXPECT_EQ(error->reason(), unsupportedSchemaMessage(3));
        }
        expectLibraryUnchanged(before);
    }
}

TEST_F(SetsRestore, RefusesASetWhoseMediaAreMissingOrNotRegularFiles) {
    writeFile(library.temporary() / "id_rsa", "outside the set");
    CueDocument document = CueDocument::empty();
    document.slots[0].audioFilename = "good.mp3";
    document.slots[5].imageFilename = "art.png";
    const std::map<std::string, std::function<void(const fs::path&)>> spoilers = {
        {"missing", [](const fs::path&) {}},
        {"a folder", [](const fs::path& at) { fs::create_directories(at / "inside"); }},
        {"a link",
         [&](const fs::path& at) { fs::create_symlink(library.temporary() / "id_rsa", at); }},
    };
    const TreeSnapshot before = snapshotTree(persistence().rootURL());
    for (const auto& [what, spoil] : spoilers) {
        fs::remove_all(set());
        writeSetFolder(set(), encodeDocument(document), {{"good.mp3", "good"}});
        spoil(set() / "Media" / "art.png");

        const auto error = persistenceErrorOf([&] { persistence().restoreBackup(set()); });

        ASSERT_TRUE(error) << what;
        EXPECT_STREQ(error->what(), "세트에 필요한 미디어 파일이 없습니다: art.png") << what;
        expectLibraryUnchanged(before);
    }
}

TEST_F(SetsRestore, RefusesASetWhoseMediaFolderIsALink) {
    const fs::path elsewhere = library.temporary() / "elsewhere";
    writeFile(elsewhere / "good.mp3", "a file that is not the set's");
    CueDocument document = CueDocument::empty();
    document.slots[0].audioFilename = "good.mp3";
    writeSetFolder(set(), encodeDocument(document), {});
    fs::remove_all(set() / "Media");
    fs::create_directory_symlink(elsewhere, set() / "Media");
    const TreeSnapshot before = snapshotTree(persistence().rootURL());

    const auto error = persistenceErrorOf([&] { persistence().restoreBackup(set()); });

    ASSERT_TRUE(error);
    EXPECT_STREQ(error->what(),
                 "불러올 세트가 올바르지 않습니다. (세트의 Media가 링크이거나 폴더가 아닙니다.)");
    expectLibraryUnchanged(before);
}

// "Media" on a file system of its own: every rename into it must start there.
TEST_F(SetsRestore, WorksWhenMediaIsAnotherFileSystem) {
    persistence().exportBackup(library.show(), set());
    fs::remove_all(persistence().mediaURL());
    fs::create_directory(persistence().mediaURL());
    ScopedMount mount(ScopedMount::Kind::tmpfs, {}, persistence().mediaURL());
    if (!mount.mounted())
        GTEST_SKIP() << "mounting a tmpfs is not allowed here";

    const CueDocument restored = persistence().restoreBackup(set()).document;

    EXPECT_EQ(persistence().load(), restored);
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

    const CueDocument restored = persistence().restoreBackup(set(), fileSystem).document;

    EXPECT_EQ(std::ranges::count(fileSystem.log(), FaultInjectingFileSystem::Operation::copyFile),
              1);
    const auto added = addedMedia();
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(fs::file_size(persistence().mediaURL() / *added.begin()), size);
    for (const auto& slot : restored.slots)
        EXPECT_EQ(slot.audioFilename, *added.begin());
}

TEST(SetsRoundTrip, ExportThenRestoreElsewhereGivesTheSameShowAndTheSameBytes) {
    SetsLibrary source;
    TemporaryDirectory other;
    const CuePersistence target(other.path() / "Tavrel");
    const fs::path set = source.temporary() / "Tour";

    source.persistence().exportBackup(source.show(), set);
    CueDocument restored = target.restoreBackup(set).document;

    std::map<std::string, std::string> oldName;
    auto rename = [&](std::string& name, const std::string& original) {
        EXPECT_EQ(readFile(target.mediaURL() / name), source.media().at(original)) << original;
        EXPECT_TRUE(!oldName.contains(name) || oldName[name] == original);
        oldName[name] = original;
        name = original;
    };
    CueDocument expected = source.show();
    expected.normalize();
    for (std::size_t id = 0; id < restored.slots.size(); ++id) {
        auto& slot = restored.slots[id];
        if (slot.audioFilename)
            rename(*slot.audioFilename, expected.slots[id].audioFilename.value_or("?"));
        if (slot.imageFilename)
            rename(*slot.imageFilename, expected.slots[id].imageFilename.value_or("?"));
    }
    ASSERT_EQ(restored.loopTracks.size(), expected.loopTracks.size());
    for (std::size_t index = 0; index < restored.loopTracks.size(); ++index)
        rename(restored.loopTracks[index].audioFilename, expected.loopTracks[index].audioFilename);

    EXPECT_EQ(restored, expected);
    EXPECT_EQ(entryNames(target.mediaURL()).size(), oldName.size());
}

}  // namespace
}  // namespace tavrel::test
