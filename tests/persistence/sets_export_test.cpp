#include <gtest/gtest.h>

#include <functional>
#include <iostream>

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

    void expectNoTemporaryFolders(const fs::path& folder) const {
        EXPECT_EQ(countEntriesWithPrefix(folder, ".Tavrel-export-"), 0);
        EXPECT_EQ(countEntriesWithPrefix(folder, ".Tavrel-previous-"), 0);
    }

    SetsLibrary library;
};

TEST_F(SetsExport, WritesTheNormalisedDocumentAndOneCopyOfEachReferencedFile) {
    fs::create_directories(parent());
    CueDocument show = library.show();
    show.masterVolume = 1.7;

    persistence().exportBackup(show, destination());

    CueDocument expected = show;
    expected.normalize();
    EXPECT_EQ(expected.masterVolume, 1.0);
    EXPECT_EQ(readFile(destination() / "cues.json"), encodeDocument(expected));
    EXPECT_EQ(entryNames(destination()), (std::set<std::string>{"Media", "cues.json"}));
    // "audio-1.mp3" is named by two slots and a loop track: one copy.
    EXPECT_EQ(entryNames(destination() / "Media"),
              (std::set<std::string>{"audio-1.mp3", "image-2.png", "loop-3.wav"}));
    for (const auto& [name, bytes] : library.media())
        EXPECT_EQ(readFile(destination() / "Media" / name), bytes) << name;
    EXPECT_EQ(entryNames(parent()), std::set<std::string>{"Show"});
}

TEST_F(SetsExport, CreatesMissingParentsAndAnEmptyMediaFolderForADocumentWithoutMedia) {
    const fs::path deep = parent() / "a" / "b" / "Empty";
    persistence().exportBackup(CueDocument::empty(), deep);

    EXPECT_TRUE(fs::is_directory(deep / "Media"));
    EXPECT_TRUE(entryNames(deep / "Media").empty());
    EXPECT_EQ(persistence().restoreBackup(deep).document, CueDocument::empty());
}

TEST_F(SetsExport, ADestinationWithATrailingSeparatorNamesTheFolderItself) {
    fs::create_directories(parent());
    persistence().exportBackup(library.show(), destination().string() + "/");

    EXPECT_EQ(entryNames(parent()), std::set<std::string>{"Show"});
    EXPECT_EQ(entryNames(destination()), (std::set<std::string>{"Media", "cues.json"}));
}

TEST_F(SetsExport, ReplacesAnExistingSetAndLeavesNothingOfTheOldOne) {
    writeSetFolder(destination(), "old document", {{"old.mp3", "old"}});
    writeFile(destination() / "notes.txt", "stray");

    persistence().exportBackup(library.show(), destination());

    EXPECT_EQ(entryNames(destination()), (std::set<std::string>{"Media", "cues.json"}));
    EXPECT_FALSE(fs::exists(destination() / "Media" / "old.mp3"));
    EXPECT_EQ(persistence().restoreBackup(destination()).document.slots[0].title, "Opening");
    expectNoTemporaryFolders(parent());
}

TEST_F(SetsExport, ReplacesASetWhoseMediaFolderIsMissing) {
    writeFile(destination() / "cues.json", "not even read");
    persistence().exportBackup(library.show(), destination());
    EXPECT_EQ(entryNames(destination() / "Media").size(), 3u);
}

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
            [&] { persistence().exportBackup(library.show(), parent() / name); });

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

        const auto error =
            persistenceErrorOf([&] { persistence().exportBackup(library.show(), destination()); });

        ASSERT_TRUE(error) << what;
        EXPECT_EQ(error->kind(), Kind::missingBackupMedia) << what;
        EXPECT_EQ(error->name(), "image-2.png");
        EXPECT_TRUE(entryNames(parent()).empty()) << what;
    }
}

TEST_F(SetsExport, NamesThatLeaveTheMediaFolderAreDroppedNotFollowed) {
    writeFile(library.temporary() / "secret.mp3", "outside the library");
    CueDocument show = library.show();
    show.slots[1].audioFilename = "../cues.json";
    show.slots[2].audioFilename = "../../secret.mp3";
    show.slots[4].imageFilename = "sub/dir.png";
    show.slots[5].audioFilename = std::string("audio-1.mp3\0.txt", 16);

    persistence().exportBackup(show, destination());

    EXPECT_EQ(entryNames(destination() / "Media"),
              (std::set<std::string>{"audio-1.mp3", "image-2.png", "loop-3.wav"}));
    const CueDocument written = decodeDocument(readFile(destination() / "cues.json"));
    EXPECT_FALSE(written.slots[1].audioFilename);
    EXPECT_FALSE(written.slots[2].audioFilename);
    EXPECT_FALSE(written.slots[4].imageFilename);
    EXPECT_FALSE(written.slots[5].audioFilename);
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
        persistence.exportBackup(library.show(), set);
        persistence.exportBackup(library.show(), persistence.savedSetsURL() / "Friday");
        // The real folder moves outside; the library keeps only a link to it.
        const fs::path outside = library.temporary() / "outside";
        fs::rename(persistence.rootURL() / folder, outside);
        fs::create_directory_symlink(outside, persistence.rootURL() / folder);
        writeFile(library.temporary() / "song.mp3", "sound");
        const TreeSnapshot before = snapshotTree(library.temporary());

        const std::vector<std::pair<const char*, std::function<void()>>> operations = {
            {"load", [&] { persistence.load(); }},
            {"save", [&] { persistence.save(library.show()); }},
            {"clear a slot",
             [&] {
                 persistence.removeMedia({"audio-1.mp3", "image-2.png"}, {});
             }},
            {"import", [&] { persistence.importMedia(library.temporary() / "song.mp3", "audio"); }},
            {"export",
             [&] { persistence.exportBackup(library.show(), library.temporary() / "New"); }},
            {"restore", [&] { persistence.restoreBackup(set); }},
            {"saved-set scan", [&] { persistence.savedSetReferencedMediaFilenames(); }},
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

TEST_F(SetsExport, ASetInsideSavedSetsIsAllowedAndProtectsItsMedia) {
    const fs::path set = persistence().savedSetsURL() / "Friday";
    persistence().exportBackup(library.show(), set);
    persistence().exportBackup(library.show(), set);

    EXPECT_EQ(persistence().savedSetReferencedMediaFilenames(),
              (std::set<std::string>{"audio-1.mp3", "image-2.png", "loop-3.wav"}));
    expectNoTemporaryFolders(persistence().savedSetsURL());
}

class SavedSetScan : public SetsExport {
protected:
    fs::path savedSets() const { return persistence().savedSetsURL(); }

    CuePersistenceError scanError() const {
        const auto error =
            persistenceErrorOf([&] { persistence().savedSetReferencedMediaFilenames(); });
        EXPECT_TRUE(error);
        return error.value_or(CuePersistenceError::invalidBackup("no error was thrown"));
    }
};

TEST_F(SavedSetScan, GivesTheUnionOfTheSetFoldersDirectlyInSavedSets) {
    EXPECT_TRUE(persistence().savedSetReferencedMediaFilenames().empty());

    CueDocument other = CueDocument::empty();
    other.slots[7].imageFilename = "image-9.jpg";
    other.slots[8].audioFilename = "../escape.mp3";
    persistence().exportBackup(library.show(), savedSets() / "One");
    writeSetFolder(savedSets() / "Two", encodeDocument(other), {});
    // Not sets: a file, a folder without "cues.json", a link to a set elsewhere.
    writeFile(savedSets() / "readme.txt", "{}");
    fs::create_directories(savedSets() / "Loose" / "Media");
    CueDocument linked = CueDocument::empty();
    linked.slots[0].audioFilename = "linked.mp3";
    writeSetFolder(library.temporary() / "Outside", encodeDocument(linked), {});
    fs::create_directory_symlink(library.temporary() / "Outside", savedSets() / "Link");

    EXPECT_EQ(persistence().savedSetReferencedMediaFilenames(),
              (std::set<std::string>{"audio-1.mp3", "image-2.png", "image-9.jpg", "loop-3.wav"}));
}

TEST_F(SavedSetScan, ASetWhoseDocumentIsNotARegularFileStopsTheScan) {
    writeFile(library.temporary() / "elsewhere.json", encodeDocument(CueDocument::empty()));
    fs::create_directories(savedSets() / "Broken" / "cues.json");
    CuePersistenceError error = scanError();
    EXPECT_EQ(error.kind(), Kind::invalidSavedSet);
    EXPECT_STREQ(error.what(),
                 "저장한 세트 Broken을(를) 읽지 못해 미디어 정리를 중단했습니다. (설정 파일이 일반 "
                 "파일이 아닙니다.)");

    fs::remove_all(savedSets() / "Broken");
    fs::create_directories(savedSets() / "Linked");
    fs::create_symlink(library.temporary() / "elsewhere.json",
                       savedSets() / "Linked" / "cues.json");
    error = scanError();
    EXPECT_EQ(error.name(), "Linked");
    EXPECT_EQ(error.reason(), "설정 파일이 일반 파일이 아닙니다.");
}

TEST_F(SavedSetScan, AnUnreadableOrNewerDocumentStopsTheScanNamingTheSet) {
    CueDocument newer = CueDocument::empty();
    newer.schemaVersion = 3;
    writeSetFolder(savedSets() / "Future", encodeDocument(newer), {});
    CuePersistenceError error = scanError();
    EXPECT_EQ(error.name(), "Future");
    EXPECT_EQ(error.reason(), unsupportedSchemaMessage(3));
    EXPECT_TRUE(std::string(error.what()).ends_with("(" + unsupportedSchemaMessage(3) + ")"));

    fs::remove_all(savedSets() / "Future");
    writeSetFolder(savedSets() / "Garbled", std::string("\x89PNG\0\xff", 6), {});
    error = scanError();
    EXPECT_EQ(error.kind(), Kind::invalidSavedSet);
    EXPECT_EQ(error.name(), "Garbled");
    EXPECT_FALSE(error.reason().empty());
}

}  // namespace
}  // namespace tavrel::test
