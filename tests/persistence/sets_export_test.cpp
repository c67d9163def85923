#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <tuple>

#include "model/document_json.h"
#include "persistence/sets_fixture.h"
#include "support/scoped_mount.h"

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;
using Kind = CuePersistenceError::Kind;
using Operation = FaultInjectingFileSystem::Operation;

class SetsExport : public ::testing::Test {
protected:
    fs::path parent() const { return library.temporary() / "Shows"; }
    fs::path destination() const { return parent() / "Show"; }
    const CuePersistence& persistence() const { return library.persistence(); }

    SetsLibrary library;
};

TEST_F(SetsExport, NeverReplacesWhatIsNotASetFolder) {
    const fs::path elsewhere = library.temporary() / "Elsewhere";
    writeSetFolder(elsewhere, "a real set", {});
    const std::map<std::string, std::function<void(const fs::path&)>> makers = {
        {"Folder", [](const fs::path& at) { writeFile(at / "keep.txt", "mine"); }},
        {"File", [](const fs::path& at) { writeFile(at, "a plain file"); }},
        {"LinkToSet", [&](const fs::path& at) { fs::create_directory_symlink(elsewhere, at); }},
        {"FolderDocument",
         [](const fs::path& at) { fs::create_directories(at / "cues.json" / "inner"); }},
        {"LinkedDocument",
         [&](const fs::path& at) {
             fs::create_directories(at);
             fs::create_symlink(elsewhere / "cues.json", at / "cues.json");
         }},
    };
    for (const auto& [name, make] : makers) {
        make(parent() / name);
        const TreeSnapshot before = snapshotTree(parent());

        const auto error = persistenceErrorOf(
            [&] { persistence().exportBackup(library.show(), parent() / name, disk()); });

        ASSERT_TRUE(error) << name;
        EXPECT_EQ(error->kind(), Kind::unsafeExportDestination) << name;
        EXPECT_STREQ(
            error->what(),
            ("기존 " + name + "은(는) Tavrel 세트 폴더가 아니므로 교체하지 않았습니다.").c_str());
        EXPECT_EQ(snapshotTree(parent()), before) << name;
    }
    EXPECT_EQ(readFile(elsewhere / "cues.json"), "a real set");
}

TEST_F(SetsExport, StopsWhenAReferencedFileIsNotARegularFileInTheLibrary) {
    const fs::path outside = library.temporary() / "private.key";
    writeFile(outside, "secret");
    const fs::path media = persistence().mediaURL();
    const std::map<std::string, std::function<void()>> spoilers = {
        {"deleted", [&] { fs::remove(media / "image-2.png"); }},
        {"folder", [&] { fs::create_directory(media / "image-2.png"); }},
        {"link", [&] { fs::create_symlink(outside, media / "image-2.png"); }},
    };
    for (const auto& [what, spoil] : spoilers) {
        fs::remove_all(media / "image-2.png");
        spoil();
        fs::create_directories(parent());

        const auto error = persistenceErrorOf(
            [&] { persistence().exportBackup(library.show(), destination(), disk()); });

        ASSERT_TRUE(error) << what;
        EXPECT_EQ(error->kind(), Kind::missingBackupMedia) << what;
        EXPECT_EQ(error->name(), "image-2.png");
        EXPECT_TRUE(entryNames(parent()).empty()) << what;
    }
}

TEST_F(SetsExport, WritesTheNormalisedDocumentAndEachFileOnceDroppingNamesThatLeaveMedia) {
    writeFile(library.temporary() / "secret.mp3", "outside the library");
    CueDocument show = library.show();
    show.masterVolume = 1.7;
    show.slots[1].audioFilename = "../cues.json";
    show.slots[2].audioFilename = "../../secret.mp3";
    show.slots[5].audioFilename = std::string("audio-1.mp3\0.txt", 16);
    // Missing parents are made; a trailing separator names the folder itself;
    // a set folder whose "Media" is missing is still a set to replace.
    const fs::path deep = parent() / "a" / "Show";
    writeFile(deep / "cues.json", "not even read");

    persistence().exportBackup(show, deep.string() + "/", disk());

    show.normalize();
    EXPECT_EQ(show.masterVolume, 1.0);
    EXPECT_FALSE(show.slots[2].audioFilename);
    EXPECT_EQ(readFile(deep / "cues.json"), encodeDocument(show));
    EXPECT_EQ(entryNames(deep / "Media"),
              (std::set<std::string>{"audio-1.mp3", "image-2.png", "loop-3.wav"}));
    EXPECT_EQ(entryNames(parent() / "a"), std::set<std::string>{"Show"});
}

// The library root holds a regular "cues.json", so the set-folder rule alone
// would let an export move the whole library aside and delete it.
TEST_F(SetsExport, RefusesTheLibraryAndEveryFolderAroundItBeforeTouchingTheDisk) {
    const fs::path root = persistence().rootURL();
    writeFile(library.temporary() / "cues.json", "makes the parent look like a set");
    fs::create_directory(library.temporary() / "Media");
    fs::create_directory_symlink(root, library.temporary() / "LibraryLink");
    std::vector<fs::path> refused = {
        root,
        library.temporary(),
        root / "Media" / ".." / ".." / "Tavrel",
        library.temporary() / "LibraryLink",
        root / "Media" / "Show",
        root / "Show",
        persistence().savedSetsURL(),
    };
    // Another name for the library's parent, as a bind mount gives: no link
    // to resolve, only the device and inode tell (skipped where mounting is not allowed).
    const fs::path alias = library.temporary() / "Alias";
    fs::create_directory(alias);
    ScopedMount mount(ScopedMount::Kind::bind, library.temporary(), alias);
    if (mount.mounted())
        refused.push_back(alias / "Tavrel");
    else
        std::cout << "[ SKIPPED  ] bind-mounted alias: mounting is not allowed here\n";
    const TreeSnapshot before = snapshotTree(library.temporary());
    for (const auto& destination : refused) {
        FaultInjectingFileSystem fileSystem;

        const auto error = persistenceErrorOf(
            [&] { persistence().exportBackup(library.show(), destination, fileSystem); });

        ASSERT_TRUE(error) << destination;
        EXPECT_EQ(error->kind(), Kind::unsafeExportDestination) << destination;
        EXPECT_EQ(error->name(), destination.filename().string());
        for (const auto operation : fileSystem.log()) {
            EXPECT_TRUE(operation == Operation::isDirectory || operation == Operation::identity)
                << destination << ": refused only after changing the disk";
        }
        EXPECT_EQ(snapshotTree(library.temporary()), before) << destination;
    }
}

// Nothing is read, written or deleted through a link: with "Media" or
// "SavedSets" a link to another folder, every operation refuses the library.
TEST(LibraryLinks, ALinkedMediaOrSavedSetsFolderIsRefusedAndNothingOutsideIsTouched) {
    for (const std::string folder : {"Media", "SavedSets"}) {
        SCOPED_TRACE(folder);
        SetsLibrary library;
        const CuePersistence& persistence = library.persistence();
        const fs::path set = library.temporary() / "Set";
        persistence.exportBackup(library.show(), set, disk());
        persistence.exportBackup(library.show(), persistence.savedSetsURL() / "Friday", disk());
        // The real folder moves outside; the library keeps only a link to it.
        const fs::path outside = library.temporary() / "outside";
        fs::rename(persistence.rootURL() / folder, outside);
        fs::create_directory_symlink(outside, persistence.rootURL() / folder);
        writeFile(library.temporary() / "song.mp3", "sound");
        const TreeSnapshot before = snapshotTree(library.temporary());

        const std::vector<std::pair<const char*, std::function<void()>>> operations = {
            {"load", [&] { persistence.load(disk()); }},
            {"save", [&] { persistence.save(library.show(), disk()); }},
            {"clear a slot",
             [&] {
                 persistence.removeMedia({"audio-1.mp3", "image-2.png"}, {}, disk());
             }},
            {"import",
             [&] { persistence.importMedia(library.temporary() / "song.mp3", "audio", disk()); }},
            {"export",
             [&] {
                 persistence.exportBackup(library.show(), library.temporary() / "New", disk());
             }},
            {"restore", [&] { persistence.restoreBackup(set, disk()); }},
            {"saved-set scan", [&] { persistence.savedSetReferencedMediaFilenames(disk()); }},
        };
        for (const auto& [name, operation] : operations) {
            const auto error = persistenceErrorOf(operation);
            ASSERT_TRUE(error) << name;
            EXPECT_EQ(error->kind(), Kind::linkedLibraryFolder) << name;
            EXPECT_EQ(error->name(), folder) << name;
            EXPECT_EQ(snapshotTree(library.temporary()), before) << name;
        }
    }
}

class SavedSetScan : public SetsExport {
protected:
    fs::path savedSets() const { return persistence().savedSetsURL(); }

    CuePersistenceError scanError() const {
        const auto error =
            persistenceErrorOf([&] { persistence().savedSetReferencedMediaFilenames(disk()); });
        EXPECT_TRUE(error);
        return error.value_or(CuePersistenceError::invalidBackup("no error was thrown"));
    }
};

TEST_F(SavedSetScan, GivesTheUnionOfTheSetFoldersDirectlyInSavedSets) {
    EXPECT_TRUE(persistence().savedSetReferencedMediaFilenames(disk()).empty());

    CueDocument other = CueDocument::empty();
    other.slots[7].imageFilename = "image-9.jpg";
    other.slots[8].audioFilename = "../escape.mp3";
    persistence().exportBackup(library.show(), savedSets() / "One", disk());
    writeSetFolder(savedSets() / "Two", encodeDocument(other), {});
    // Not sets: a file, a folder without "cues.json", a link to a set elsewhere.
    writeFile(savedSets() / "readme.txt", "{}");
    fs::create_directories(savedSets() / "Loose" / "Media");
    CueDocument linked = CueDocument::empty();
    linked.slots[0].audioFilename = "linked.mp3";
    writeSetFolder(library.temporary() / "Outside", encodeDocument(linked), {});
    fs::create_directory_symlink(library.temporary() / "Outside", savedSets() / "Link");

    EXPECT_EQ(persistence().savedSetReferencedMediaFilenames(disk()),
              (std::set<std::string>{"audio-1.mp3", "image-2.png", "image-9.jpg", "loop-3.wav"}));
}

TEST_F(SavedSetScan, ASetItCannotReadStopsTheScanNamingTheSet) {
    CueDocument newer = CueDocument::empty();
    newer.schemaVersion = 3;
    writeFile(library.temporary() / "elsewhere.json", encodeDocument(CueDocument::empty()));
    const std::string notRegular = "설정 파일이 일반 파일이 아닙니다.";
    const std::vector<std::tuple<std::string, std::function<void(const fs::path&)>, std::string>>
        cases = {
            {"Folder", [](const fs::path& at) { fs::create_directories(at / "cues.json"); },
             notRegular},
            {"Linked",
             [&](const fs::path& at) {
                 fs::create_directories(at);
                 fs::create_symlink(library.temporary() / "elsewhere.json", at / "cues.json");
             },
             notRegular},
            {"Future", [&](const fs::path& at) { writeSetFolder(at, encodeDocument(newer), {}); },
             unsupportedSchemaMessage(3)},
            {"Garbled",
             [](const fs::path& at) { writeSetFolder(at, std::string("\x89PNG\0", 5), {}); }, ""},
        };
    for (const auto& [name, make, reason] : cases) {
        SCOPED_TRACE(name);
        make(savedSets() / name);
        const CuePersistenceError error = scanError();
        EXPECT_EQ(error.kind(), Kind::invalidSavedSet);
        EXPECT_EQ(error.name(), name);
        if (!reason.empty()) {
            EXPECT_EQ(error.what(), "저장한 세트 " + name +
                                        "을(를) 읽지 못해 미디어 정리를 중단했습니다. (" + reason +
                                        ")");
        }
        fs::remove_all(savedSets() / name);
    }
}

}  // namespace
}  // namespace tavrel::test
