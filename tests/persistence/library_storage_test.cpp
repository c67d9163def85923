#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <regex>

#include "model/document_json.h"
#include "persistence/sets_fixture.h"

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

// What cannot be decoded is kept byte for byte (the next save replaces
// "cues.json"); what is no regular file is neither read nor preserved: a FIFO
// would block the start (and --check) until a writer came, a link would read
// from outside the library.
TEST_F(LibraryStorage, UnusableDocumentIsPreservedAndOneThatIsNoRegularFileIsNotRead) {
    using Kind = CuePersistenceError::Kind;
    const std::string valid = encodeDocument(CueDocument::empty());
    CueDocument newer = titled("future");
    newer.schemaVersion = 3;
    writeFile(temp.path() / "elsewhere.json", valid);
    const auto bytes = [&](std::string b) { return [&, b] { writeFile(documentPath(), b); }; };
    const std::vector<std::pair<std::function<void()>, Kind>> cases = {
        {bytes("{}"), Kind::invalidDocument},
        {bytes(valid.substr(0, valid.size() - 9)), Kind::invalidDocument},
        {bytes(std::string("\x00\x01\xfe\xff\x89PNG", 8)), Kind::invalidDocument},
        {bytes("{\"padding\":" + std::string(50 * 1024 * 1024, '\xff')), Kind::invalidDocument},
        {bytes(encodeDocument(newer)), Kind::invalidDocument},
        {[&] { fs::create_directories(documentPath()); }, Kind::documentNotRegularFile},
        {[&] { fs::create_symlink(temp.path() / "elsewhere.json", documentPath()); },
         Kind::documentNotRegularFile},
        {[&] { ASSERT_EQ(::mkfifo(documentPath().c_str(), 0644), 0); },
         Kind::documentNotRegularFile}};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        fs::remove_all(root());
        fs::create_directories(root());
        cases[i].first();
        const bool regular = cases[i].second == Kind::invalidDocument;
        const std::string before = regular ? readFile(documentPath()) : "";
        const auto error = persistenceErrorOf([&] { library.load(disk()); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), cases[i].second);
        if (regular) {
            EXPECT_EQ(preservedCopies(), std::set{error->url().filename().string()});
            EXPECT_TRUE(readFile(error->url()) == before && readFile(documentPath()) == before);
        } else {
            // What --check and the saved-set scan read with refuses at once too.
            EXPECT_THROW(disk().readFile(documentPath()), fs::filesystem_error);
            EXPECT_TRUE(preservedCopies().empty());
        }
    }
    EXPECT_EQ(readFile(temp.path() / "elsewhere.json"), valid);
    // A read error (chmod 000 for a user who is not root), and a preservation
    // that fails, report the file system's error and leave one document.
    fs::remove(documentPath());
    writeFile(documentPath(), "{}");
    for (const auto operation : {Operation::readFile, Operation::copyFile}) {
        faults.failEvery(operation);
        EXPECT_THROW(library.load(faults), fs::filesystem_error);
    }
    EXPECT_EQ(entryNames(root()), (std::set<std::string>{"Media", "SavedSets", "cues.json"}));
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

// Only names this program makes (a staging prefix and an upper-case UUID) go;
// a set moved aside while being replaced is the only copy when its set is missing.
TEST_F(LibraryStorage, RemovingLeftoversTakesOnlyOurStagingAndPutsAsideSetsBack) {
    library.prepareDirectories(disk());
    const std::string u = Uuid::random().text();
    for (const auto& name :
         {".cues.json.tmp-" + u, ".Tavrel-restore-" + u + "/a.mp3", "Media/.Tavrel-import-" + u,
          "Media/.Tavrel-restore-" + u + "/b.wav", "SavedSets/.Tavrel-export-" + u + "/cues.json",
          "SavedSets/.Tavrel-previous-" + u + "-Kept/cues.json"})
        writeFile(root() / name, "leftover");
    // Not ours, or a set moved aside without the name of a set to go back to.
    TreeSnapshot kept = {{"SavedSets/Lost/cues.json", "file:the only copy"}};
    for (const auto& name : {".cues.json.tmp-not-a-uuid"s, "notes.txt"s, "Media/audio-1.mp3"s,
                             "Media/.Tavrel-import-" + u.substr(0, 35), "Media/.tavrel-import-" + u,
                             "SavedSets/.Tavrel-previous-" + u + "/cues.json",
                             "SavedSets/Kept/Media/audio-1.mp3"s, "SavedSets/.hidden/notes.txt"s}) {
        writeFile(root() / name, "kept");
        kept[name] = "file:kept";
    }
    const std::string v = Uuid::random().text();
    writeFile(root() / ("SavedSets/.Tavrel-previous-" + v + "-Lost/cues.json"), "the only copy");
    // A broken staging folder is not a set: the scan neither reads nor fails on it.
    writeFile(root() / ("SavedSets/.Tavrel-export-" + v + "/cues.json"), "{");
    EXPECT_NO_THROW(library.savedSetReferencedMediaFilenames(disk()));

    library.removeStagingLeftovers(disk());

    TreeSnapshot files = snapshotTree(root());
    std::erase_if(files, [](const auto& entry) { return entry.second == "dir"; });
    EXPECT_EQ(files, kept);
}

}  // namespace
}  // namespace tavrel::test
