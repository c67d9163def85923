#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <regex>
#include <string>

#include "base/uuid.h"
#include "model/document_json.h"
#include "persistence/cue_persistence.h"
#include "persistence/sets_fixture.h"
#include "support/fault_injecting_file_system.h"
#include "support/scoped_environment_variable.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;
using test::disk;
using test::entryNames;
using test::readFile;
using test::writeFile;
using Operation = test::FaultInjectingFileSystem::Operation;

const std::regex preservedName("cues\\.invalid-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.json");

class LibraryStorage : public ::testing::Test {
protected:
    fs::path root() const { return temp.path() / "Tavrel"; }
    fs::path documentPath() const { return root() / "cues.json"; }
    fs::path media() const { return root() / "Media"; }

    std::set<std::string> preservedCopies() const {
        std::set<std::string> names;
        for (const auto& name : entryNames(root()))
            if (std::regex_match(name, preservedName))
                names.insert(name);
        return names;
    }

    static CueDocument documentTitled(const std::string& title) {
        auto document = CueDocument::empty();
        document.slots[0].title = title;
        document.slots[0].audioFilename = "audio-1.mp3";
        return document;
    }

    CueDocument diskDocument() const {
        auto document = decodeDocument(readFile(documentPath()));
        document.normalize();
        return document;
    }

    test::TemporaryDirectory temp;
    CuePersistence library{temp.path() / "Tavrel"};
    test::FaultInjectingFileSystem faults{temp.path() / "data"};
};

TEST_F(LibraryStorage, FirstLoadMakesTheFoldersAndWritesNoDocument) {
    EXPECT_EQ(library.load(disk()), CueDocument::empty());
    EXPECT_EQ(entryNames(root()), (std::set<std::string>{"Media", "SavedSets"}));
    EXPECT_TRUE(entryNames(media()).empty());
}

// What cannot be decoded is kept byte for byte: the next save replaces "cues.json".
TEST_F(LibraryStorage, UnusableDocumentIsPreservedByteForByteAndLeftInPlace) {
    const std::string valid = encodeDocument(CueDocument::empty());
    std::string newer = encodeDocument(documentTitled("future"));
    newer.replace(newer.find("\"schemaVersion\": 2"), 18, "\"schemaVersion\": 3");
    const std::vector<std::pair<std::string, std::string>> inputs = {
        {"empty object", "{}"},
        {"truncated", valid.substr(0, valid.size() - 9)},
        {"binary", std::string("\x00\x01\xfe\xff\x89PNG", 8)},
        {"50 MB", "{\"padding\":" + std::string(50 * 1024 * 1024, '\xff')},
        {"newer schema", newer},
    };
    for (const auto& [label, bytes] : inputs) {
        SCOPED_TRACE(label);
        fs::remove_all(root());
        writeFile(documentPath(), bytes);
        const auto error = test::persistenceErrorOf([&] { library.load(disk()); });
        ASSERT_TRUE(error);
        ASSERT_EQ(error->kind(), CuePersistenceError::Kind::invalidDocument);
        const auto copies = preservedCopies();
        ASSERT_EQ(copies.size(), 1u);
        EXPECT_EQ(error->url(), root() / *copies.begin());
        EXPECT_EQ(std::string(error->what()), "설정 파일을 읽지 못했습니다. 원본을 " +
                                                  *copies.begin() + "에 보존했습니다. (" +
                                                  error->reason() + ")");
        EXPECT_TRUE(readFile(root() / *copies.begin()) == bytes);
        EXPECT_TRUE(readFile(documentPath()) == bytes);
        if (label == "newer schema") {
            EXPECT_EQ(error->reason(), "지원하지 않는 데이터 스키마 버전입니다: 3");
        }
    }
    // Each failed load makes one more copy.
    EXPECT_THROW(library.load(disk()), CuePersistenceError);
    EXPECT_EQ(preservedCopies().size(), 2u);
}

TEST_F(LibraryStorage, OlderSchemaLoadsNormalised) {
    std::string slots;
    for (int id = 14; id >= 0; --id) {
        slots += (slots.empty() ? "" : ",") + std::string("{\"id\":") + std::to_string(id) +
                 ",\"title\":\"\",\"usage\":\"\",\"startSeconds\":-1,\"gainDB\":3}";
    }
    writeFile(documentPath(), "{\"schemaVersion\":1,\"masterVolume\":2,\"slots\":[" + slots + "]}");
    const auto document = library.load(disk());
    EXPECT_EQ(document.schemaVersion, 2);
    EXPECT_EQ(document.masterVolume, 1.0);
    EXPECT_EQ(document.slots, CueDocument::empty().slots);
}

// A FIFO would block the start (and --check) until a writer came; a link
// would read from outside the library. Neither is read nor preserved.
TEST_F(LibraryStorage, DocumentThatIsNotARegularFileIsReportedAndNeitherReadNorPreserved) {
    const auto outside = temp.path() / "elsewhere.json";
    const auto good = encodeDocument(documentTitled("outside"));
    writeFile(outside, good);
    const std::vector<std::pair<const char*, std::function<void()>>> kinds = {
        {"folder", [&] { fs::create_directories(documentPath()); }},
        {"link", [&] { fs::create_symlink(outside, documentPath()); }},
        {"fifo", [&] { ASSERT_EQ(::mkfifo(documentPath().c_str(), 0644), 0); }},
    };
    for (const auto& [kind, make] : kinds) {
        SCOPED_TRACE(kind);
        fs::create_directories(root());
        make();
        const auto error = test::persistenceErrorOf([&] { library.load(disk()); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), CuePersistenceError::Kind::documentNotRegularFile);
        EXPECT_STREQ(error->what(),
                     "설정 파일을 읽지 못했습니다. (cues.json이 일반 파일이 아닙니다.)");
        // What --check and the saved-set scan read with: it refuses at once too.
        EXPECT_THROW(LocalFileSystem::shared().readFile(documentPath()), fs::filesystem_error);
        EXPECT_TRUE(preservedCopies().empty());
        EXPECT_EQ(readFile(outside), good);
        fs::remove(documentPath());
    }

    // A read error (what chmod 000 gives a user who is not root).
    writeFile(documentPath(), "{}");
    faults.failEvery(Operation::readFile);
    EXPECT_THROW(library.load(faults), fs::filesystem_error);
    // A preservation that fails reports the copy error, not invalidDocument.
    faults.clearFailures();
    faults.failEvery(Operation::copyFile);
    EXPECT_THROW(library.load(faults), fs::filesystem_error);
    EXPECT_TRUE(preservedCopies().empty());
    EXPECT_EQ(readFile(documentPath()), "{}");
}

TEST_F(LibraryStorage, LibraryFolderThatCannotBeCreatedFailsBeforeAnythingElse) {
    // A file where a folder must go stops even root.
    writeFile(temp.path() / "blocked", "");
    const CuePersistence blocked(temp.path() / "blocked" / "Tavrel");
    writeFile(temp.path() / "song.mp3", "sound");
    EXPECT_THROW(blocked.load(disk()), fs::filesystem_error);
    EXPECT_THROW(blocked.save(CueDocument::empty(), disk()), fs::filesystem_error);
    EXPECT_THROW(blocked.importMedia(temp.path() / "song.mp3", "audio", disk()),
                 fs::filesystem_error);

    faults.failEvery(Operation::createDirectories);
    EXPECT_THROW(library.save(CueDocument::empty(), faults), fs::filesystem_error);
    EXPECT_THROW(library.load(faults), fs::filesystem_error);
    EXPECT_EQ(faults.log(),
              (std::vector<Operation>{Operation::isDirectory, Operation::exists,
                                      Operation::createDirectories, Operation::isDirectory,
                                      Operation::exists, Operation::createDirectories}));
    EXPECT_FALSE(fs::exists(root()));
}

TEST_F(LibraryStorage, SaveAtEveryFailurePointLeavesTheOldOrTheNewDocument) {
    const auto oldDocument = documentTitled("old");
    const auto newDocument = documentTitled("new");
    test::runAtEveryFailurePoint(
        faults, [&] { library.save(oldDocument, disk()); },
        [&](auto& fileSystem) {
            // A flush that failed after the rename is reported as a warning:
            // the new document must then be in place.
            if (const auto warning = library.save(newDocument, fileSystem)) {
                EXPECT_EQ(diskDocument(), newDocument);
                throw fs::filesystem_error(*warning, std::error_code());
            }
        },
        [&](bool succeeded) {
            const auto onDisk = diskDocument();
            if (succeeded) {
                EXPECT_EQ(onDisk, newDocument);
            } else {
                EXPECT_TRUE(onDisk == oldDocument || onDisk == newDocument);
            }
            EXPECT_EQ(entryNames(root()),
                      (std::set<std::string>{"Media", "SavedSets", "cues.json"}));
        });
}

TEST_F(LibraryStorage, ImportMediaNamesTheCopyByKindUuidAndExtension) {
    const std::regex name("audio-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.MP3");
    writeFile(temp.path() / "in" / "Song.MP3", "bytes");
    const auto imported = library.importMedia(temp.path() / "in" / "Song.MP3", "audio", disk());
    EXPECT_TRUE(std::regex_match(imported, name)) << imported;
    EXPECT_EQ(readFile(media() / imported), "bytes");
    for (const auto& [source, extension] : std::vector<std::pair<std::string, std::string>>{
             {"noextension", ""}, {".hidden", ""}, {"ends.", ""}, {"a.b.flac", "flac"}})
        EXPECT_EQ(mediaExtension(source), extension) << source;
}

TEST_F(LibraryStorage, ImportMediaAtEveryFailurePointLeavesNoPartialFile) {
    const auto source = temp.path() / "in" / "Song.mp3";
    writeFile(source, std::string(100'000, 's'));
    const auto document = documentTitled("kept");
    std::string imported;
    test::runAtEveryFailurePoint(
        faults,
        [&] {
            fs::remove_all(root());
            library.save(document, disk());
            imported.clear();
        },
        [&](auto& fileSystem) { imported = library.importMedia(source, "audio", fileSystem); },
        [&](bool succeeded) {
            EXPECT_EQ(diskDocument(), document);
            if (succeeded) {
                EXPECT_EQ(entryNames(media()), std::set<std::string>{imported});
                EXPECT_EQ(readFile(media() / imported), readFile(source));
            } else {
                EXPECT_EQ(entryNames(media()), std::set<std::string>{});
            }
        });

    fs::remove_all(root());
    EXPECT_THROW(library.importMedia(temp.path() / "missing.mp3", "audio", disk()),
                 fs::filesystem_error);
    EXPECT_TRUE(entryNames(media()).empty());
}

TEST_F(LibraryStorage, MediaURLAndExistenceOnlyForSafeNames) {
    EXPECT_EQ(library.mediaFileURL("a.mp3"), media() / "a.mp3");
    EXPECT_FALSE(library.mediaFileURL("../secret"));
    EXPECT_FALSE(library.mediaFileURL(std::nullopt));
    writeFile(root() / "secret", "x");
    writeFile(media() / "a.mp3", "x");
    EXPECT_TRUE(library.mediaExists("a.mp3", faults));
    EXPECT_FALSE(library.mediaExists("b.mp3", faults));
    const int calls = faults.callCount();
    EXPECT_FALSE(library.mediaExists(std::nullopt, faults));
    EXPECT_FALSE(library.mediaExists("../secret", faults));
    EXPECT_FALSE(library.mediaExists("", faults));
    EXPECT_EQ(faults.callCount(), calls);
}

TEST_F(LibraryStorage, RemoveMediaDeletesOnlyRegularFilesOfTheCandidates) {
    writeFile(documentPath(), "document");
    writeFile(media() / "a.mp3", "a");
    writeFile(media() / "b.mp3", "b");
    fs::create_directories(media() / "folder.mp3");
    writeFile(media() / "folder.mp3" / "inside", "i");
    const auto outsideFile = temp.path() / "outside.mp3";
    const auto outsideFolder = temp.path() / "outsideFolder";
    writeFile(outsideFile, "o");
    writeFile(outsideFolder / "kept", "k");
    fs::create_symlink(outsideFile, media() / "link.mp3");
    fs::create_directory_symlink(outsideFolder, media() / "dirlink");

    library.removeMedia({"a.mp3", "b.mp3", "folder.mp3", "missing.mp3", "link.mp3", "dirlink",
                         "../cues.json", ".."},
                        {"b.mp3"}, disk());
    EXPECT_EQ(entryNames(media()),
              (std::set<std::string>{"b.mp3", "folder.mp3", "link.mp3", "dirlink"}));
    EXPECT_EQ(readFile(media() / "folder.mp3" / "inside"), "i");
    EXPECT_EQ(readFile(outsideFile), "o");
    EXPECT_EQ(readFile(outsideFolder / "kept"), "k");
    EXPECT_EQ(readFile(documentPath()), "document");
}

TEST_F(LibraryStorage, RemoveMediaAtEveryFailurePointTouchesNothingButItsCandidates) {
    const auto document = documentTitled("kept");
    const std::set<std::string> original = {"a.mp3", "b.mp3", "c.mp3", "kept.mp3", "folder"};
    test::runAtEveryFailurePoint(
        faults,
        [&] {
            fs::remove_all(root());
            library.save(document, disk());
            for (const auto& name : original)
                if (name != "folder")
                    writeFile(media() / name, name);
            fs::create_directories(media() / "folder");
        },
        [&](auto& fileSystem) {
            library.removeMedia({"a.mp3", "b.mp3", "c.mp3", "folder", "kept.mp3", "gone.mp3"},
                                {"kept.mp3"}, fileSystem);
        },
        [&](bool succeeded) {
            EXPECT_EQ(diskDocument(), document);
            const auto left = entryNames(media());
            EXPECT_TRUE(std::includes(original.begin(), original.end(), left.begin(), left.end()));
            EXPECT_TRUE(left.contains("kept.mp3"));
            EXPECT_TRUE(left.contains("folder"));
            if (succeeded) {
                EXPECT_EQ(left, (std::set<std::string>{"folder", "kept.mp3"}));
            }
        });
}

TEST_F(LibraryStorage, ApplicationSupportIsTavrelInTheDataFolderUnlessOverridden) {
    {
        test::ScopedEnvironmentVariable unset("TAVREL_LIBRARY_DIR", nullptr);
        EXPECT_EQ(CuePersistence::applicationSupport(faults).rootURL(),
                  temp.path() / "data" / "Tavrel");
        EXPECT_FALSE(fs::exists(temp.path() / "data" / "Tavrel"));
        faults.failEvery(Operation::applicationDataDirectory);
        EXPECT_THROW(CuePersistence::applicationSupport(faults), fs::filesystem_error);
    }
    {
        const auto portable = temp.path() / "portable";
        test::ScopedEnvironmentVariable set("TAVREL_LIBRARY_DIR", portable.c_str());
        EXPECT_EQ(CuePersistence::applicationSupport(faults).rootURL(), portable);
    }
}

// Only names this program makes (a staging prefix and an upper-case UUID) go;
// a set moved aside while being replaced is the only copy when its set is missing.
TEST_F(LibraryStorage, RemovingLeftoversTakesOnlyOurStagingAndPutsAsideSetsBack) {
    library.prepareDirectories(disk());
    const std::string uuid = Uuid::random().text();
    const auto saved = library.savedSetsURL();
    const std::vector<fs::path> leftovers = {
        root() / (".cues.json.tmp-" + uuid),
        root() / (".Tavrel-restore-" + uuid) / "audio-X.mp3",
        media() / (".Tavrel-import-" + uuid),
        media() / (".Tavrel-restore-" + uuid) / "loop-Y.wav",
        saved / (".Tavrel-export-" + uuid) / "cues.json",
        saved / (".Tavrel-previous-" + uuid + "-Kept") / "cues.json",
    };
    const std::vector<fs::path> others = {
        root() / ".cues.json.tmp-not-a-uuid",
        root() / "notes.txt",
        media() / (".Tavrel-import-" + Uuid::random().text().substr(0, 35)),
        media() / (".tavrel-import-" + uuid),
        media() / "audio-1.mp3",
        saved / (".Tavrel-previous-" + uuid) / "cues.json",  // no set name: left alone
        saved / "Kept" / "Media" / "audio-1.mp3",
        saved / ".hidden" / "notes.txt",
    };
    for (const auto& file : leftovers)
        writeFile(file, "leftover");
    for (const auto& file : others)
        writeFile(file, "kept");
    const fs::path lost = saved / (".Tavrel-previous-" + Uuid::random().text() + "-Lost");
    writeFile(lost / "cues.json", "the only copy");
    writeFile(lost / "Media" / "audio-2.mp3", "its media");
    // A broken staging folder is not a set: the scan neither reads nor fails on it.
    writeFile(saved / (".Tavrel-export-" + Uuid::random().text()) / "cues.json", "{");
    EXPECT_NO_THROW(library.savedSetReferencedMediaFilenames(disk()));

    library.removeStagingLeftovers(disk());

    for (const auto& file : others)
        EXPECT_EQ(readFile(file), "kept") << file;
    EXPECT_EQ(entryNames(root()), (std::set<std::string>{".cues.json.tmp-not-a-uuid", "Media",
                                                         "SavedSets", "notes.txt"}));
    EXPECT_EQ(entryNames(media()).size(), 3u);
    EXPECT_EQ(entryNames(saved),
              (std::set<std::string>{".Tavrel-previous-" + uuid, ".hidden", "Kept", "Lost"}));
    EXPECT_EQ(readFile(saved / "Lost" / "cues.json"), "the only copy");
    EXPECT_EQ(readFile(saved / "Lost" / "Media" / "audio-2.mp3"), "its media");
}

}  // namespace
}  // namespace tavrel
