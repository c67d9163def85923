#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <regex>

#include "model/document_json.h"
#include "persistence/sets_fixture.h"
#include "support/scoped_environment_variable.h"

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;
using std::string_literals::operator""s;
using Operation = FaultInjectingFileSystem::Operation;

const std::string uuidPattern = "[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}";

CueDocument titled(const std::string& title) {
    auto document = CueDocument::empty();
    document.slots[0].title = title;
    document.slots[0].audioFilename = "audio-1.mp3";
    return document;
}

class LibraryStorage : public ::testing::Test {
protected:
    fs::path root() const { return temp.path() / "Tavrel"; }
    fs::path documentPath() const { return root() / "cues.json"; }
    fs::path media() const { return root() / "Media"; }
    CueDocument diskDocument() const { return readDocument(documentPath(), disk()); }

    std::set<std::string> preservedCopies() const {
        std::set<std::string> names;
        for (const auto& name : entryNames(root())) {
            if (std::regex_match(name, std::regex("cues\\.invalid-" + uuidPattern + "\\.json")))
                names.insert(name);
        }
        return names;
    }

    TemporaryDirectory temp;
    CuePersistence library{temp.path() / "Tavrel"};
    FaultInjectingFileSystem faults{temp.path() / "data"};
};

TEST_F(LibraryStorage, FirstLoadMakesTheFoldersAndOlderSchemasLoadNormalised) {
    EXPECT_EQ(library.load(disk()), CueDocument::empty());
    EXPECT_EQ(entryNames(root()), (std::set<std::string>{"Media", "SavedSets"}));
    writeFile(documentPath(), R"({"schemaVersion":1,"masterVolume":2,"slots":[]})");
    EXPECT_EQ(library.load(disk()), CueDocument::empty());
}

// What cannot be decoded is kept byte for byte: the next save replaces "cues.json".
TEST_F(LibraryStorage, UnusableDocumentIsPreservedByteForByteAndLeftInPlace) {
    const std::string valid = encodeDocument(CueDocument::empty());
    CueDocument newer = titled("future");
    newer.schemaVersion = 3;
    for (const std::string& bytes :
         {"{}"s, valid.substr(0, valid.size() - 9), std::string("\x00\x01\xfe\xff\x89PNG", 8),
          "{\"padding\":" + std::string(50 * 1024 * 1024, '\xff'), encodeDocument(newer)}) {
        SCOPED_TRACE(bytes.substr(0, 20));
        fs::remove_all(root());
        writeFile(documentPath(), bytes);
        const auto error = persistenceErrorOf([&] { library.load(disk()); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), CuePersistenceError::Kind::invalidDocument);
        const auto copies = preservedCopies();
        ASSERT_EQ(copies.size(), 1u);
        EXPECT_EQ(error->url(), root() / *copies.begin());
        EXPECT_TRUE(readFile(root() / *copies.begin()) == bytes &&
                    readFile(documentPath()) == bytes);
    }
    EXPECT_THROW(library.load(disk()), CuePersistenceError);
    EXPECT_EQ(preservedCopies().size(), 2u) << "each failed load makes one more copy";
}

// A FIFO would block the start (and --check) until a writer came; a link
// would read from outside the library. Neither is read nor preserved.
TEST_F(LibraryStorage, DocumentThatIsNotARegularFileIsReportedAndNeitherReadNorPreserved) {
    const auto outside = temp.path() / "elsewhere.json";
    writeFile(outside, encodeDocument(titled("outside")));
    for (const auto& make : std::vector<std::function<void()>>{
             [&] { fs::create_directories(documentPath()); },
             [&] { fs::create_symlink(outside, documentPath()); },
             [&] { ASSERT_EQ(::mkfifo(documentPath().c_str(), 0644), 0); }}) {
        fs::create_directories(root());
        make();
        const auto error = persistenceErrorOf([&] { library.load(disk()); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), CuePersistenceError::Kind::documentNotRegularFile);
        // What --check and the saved-set scan read with refuses at once too.
        EXPECT_THROW(disk().readFile(documentPath()), fs::filesystem_error);
        EXPECT_TRUE(preservedCopies().empty());
        EXPECT_EQ(readFile(outside), encodeDocument(titled("outside")));
        fs::remove(documentPath());
    }
    // A read error (chmod 000 for a user who is not root), and a preservation
    // that fails, report the file system's error.
    writeFile(documentPath(), "{}");
    for (const auto operation : {Operation::readFile, Operation::copyFile}) {
        faults.failEvery(operation);
        EXPECT_THROW(library.load(faults), fs::filesystem_error);
    }
    EXPECT_TRUE(preservedCopies().empty());
    EXPECT_EQ(readFile(documentPath()), "{}");
}

TEST_F(LibraryStorage, SaveAtEveryFailurePointLeavesTheOldOrTheNewDocument) {
    runAtEveryFailurePoint(
        faults, [&] { library.save(titled("old"), disk()); },
        [&](auto& fileSystem) {
            // A flush that failed after the rename is reported as a warning:
            // the new document must then be in place.
            if (const auto warning = library.save(titled("new"), fileSystem)) {
                EXPECT_EQ(diskDocument(), titled("new"));
                throw fs::filesystem_error(*warning, std::error_code());
            }
        },
        [&](bool succeeded) {
            const auto onDisk = diskDocument();
            EXPECT_TRUE(onDisk == titled("new") || (!succeeded && onDisk == titled("old")));
            EXPECT_EQ(entryNames(root()),
                      (std::set<std::string>{"Media", "SavedSets", "cues.json"}));
        });
}

TEST_F(LibraryStorage, ImportMediaAtEveryFailurePointLeavesNoPartialFile) {
    const auto source = temp.path() / "in" / "Song.MP3";
    writeFile(source, std::string(100'000, 's'));
    std::string imported;
    runAtEveryFailurePoint(
        faults,
        [&] {
            fs::remove_all(root());
            library.save(titled("kept"), disk());
            imported.clear();
        },
        [&](auto& fileSystem) { imported = library.importMedia(source, "audio", fileSystem); },
        [&](bool succeeded) {
            EXPECT_EQ(diskDocument(), titled("kept"));
            EXPECT_EQ(entryNames(media()),
                      succeeded ? std::set{imported} : std::set<std::string>{});
        });
    EXPECT_TRUE(isNewMediaName(imported, "audio", ".MP3"));
    EXPECT_EQ(readFile(media() / imported), readFile(source));
    EXPECT_THROW(library.importMedia(temp.path() / "missing.mp3", "audio", disk()),
                 fs::filesystem_error);
}

TEST_F(LibraryStorage, MediaURLAndExistenceOnlyForSafeNames) {
    EXPECT_EQ(library.mediaFileURL("a.mp3"), media() / "a.mp3");
    EXPECT_FALSE(library.mediaFileURL("../secret") || library.mediaFileURL(std::nullopt));
    writeFile(root() / "secret", "x");
    writeFile(media() / "a.mp3", "x");
    EXPECT_TRUE(library.mediaExists("a.mp3", faults));
    EXPECT_FALSE(library.mediaExists("b.mp3", faults));
    const int calls = faults.callCount();
    for (const auto& unsafe :
         {std::optional<std::string>(), std::optional<std::string>("../secret"),
          std::optional<std::string>("")})
        EXPECT_FALSE(library.mediaExists(unsafe, faults));
    EXPECT_EQ(faults.callCount(), calls);
}

// Only regular files among the candidates go: never a folder, a link or what
// it points to, nor anything outside "Media".
TEST_F(LibraryStorage, RemoveMediaAtEveryFailurePointTouchesNothingButItsCandidates) {
    writeFile(temp.path() / "outside" / "kept", "k");
    const TreeSnapshot outside = snapshotTree(temp.path() / "outside");
    const std::set<std::string> stays = {"kept.mp3", "folder", "link", "dirlink"};
    std::set<std::string> original = {"a.mp3", "b.mp3"};
    original.insert(stays.begin(), stays.end());
    runAtEveryFailurePoint(
        faults,
        [&] {
            fs::remove_all(root());
            library.save(titled("kept"), disk());
            for (const auto& name : {"a.mp3", "b.mp3", "kept.mp3", "folder/inside"})
                writeFile(media() / name, name);
            fs::create_symlink(temp.path() / "outside" / "kept", media() / "link");
            fs::create_directory_symlink(temp.path() / "outside", media() / "dirlink");
        },
        [&](auto& fileSystem) {
            library.removeMedia({"a.mp3", "b.mp3", "folder", "kept.mp3", "gone.mp3", "link",
                                 "dirlink", "../cues.json", ".."},
                                {"kept.mp3"}, fileSystem);
        },
        [&](bool succeeded) {
            EXPECT_EQ(diskDocument(), titled("kept"));
            EXPECT_EQ(snapshotTree(temp.path() / "outside"), outside);
            const auto left = entryNames(media());
            EXPECT_TRUE(std::ranges::includes(original, left) &&
                        std::ranges::includes(left, stays));
            EXPECT_TRUE(!succeeded || left == stays);
        });
}

TEST_F(LibraryStorage, ApplicationSupportIsTavrelInTheDataFolder) {
    ScopedEnvironmentVariable unset("TAVREL_LIBRARY_DIR", nullptr);
    EXPECT_EQ(CuePersistence::applicationSupport(faults).rootURL(),
              temp.path() / "data" / "Tavrel");
}

// Only names this program makes (a staging prefix and an upper-case UUID) go;
// a set moved aside while being replaced is the only copy when its set is missing.
TEST_F(LibraryStorage, RemovingLeftoversTakesOnlyOurStagingAndPutsAsideSetsBack) {
    library.prepareDirectories(disk());
    const std::string uuid = Uuid::random().text();
    const auto saved = library.savedSetsURL();
    for (const auto& leftover :
         {root() / (".cues.json.tmp-" + uuid), root() / (".Tavrel-restore-" + uuid) / "a.mp3",
          media() / (".Tavrel-import-" + uuid), media() / (".Tavrel-restore-" + uuid) / "b.wav",
          saved / (".Tavrel-export-" + uuid) / "cues.json",
          saved / (".Tavrel-previous-" + uuid + "-Kept") / "cues.json"})
        writeFile(leftover, "leftover");
    for (const auto& other : {root() / ".cues.json.tmp-not-a-uuid", root() / "notes.txt",
                              media() / (".Tavrel-import-" + uuid.substr(0, 35)),
                              media() / (".tavrel-import-" + uuid), media() / "audio-1.mp3",
                              saved / (".Tavrel-previous-" + uuid) / "cues.json",  // no set name
                              saved / "Kept" / "Media" / "audio-1.mp3", saved / ".hidden" / "n"})
        writeFile(other, "kept");
    const fs::path lost = saved / (".Tavrel-previous-" + Uuid::random().text() + "-Lost");
    writeFile(lost / "Media" / "audio-2.mp3", "the only copy");
    // A broken staging folder is not a set: the scan neither reads nor fails on it.
    writeFile(saved / (".Tavrel-export-" + Uuid::random().text()) / "cues.json", "{");
    EXPECT_NO_THROW(library.savedSetReferencedMediaFilenames(disk()));

    library.removeStagingLeftovers(disk());

    EXPECT_EQ(entryNames(root()), (std::set<std::string>{".cues.json.tmp-not-a-uuid", "Media",
                                                         "SavedSets", "notes.txt"}));
    EXPECT_EQ(entryNames(media()).size(), 3u);
    EXPECT_EQ(entryNames(saved),
              (std::set<std::string>{".Tavrel-previous-" + uuid, ".hidden", "Kept", "Lost"}));
    EXPECT_EQ(readFile(saved / "Lost" / "Media" / "audio-2.mp3"), "the only copy");
}

}  // namespace
}  // namespace tavrel::test
