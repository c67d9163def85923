#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ranges>

#include "model/document_json.h"
#include "persistence/sets_fixture.h"
#include "support/scoped_mount.h"

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;
using Kind = CuePersistenceError::Kind;
using Operation = FaultInjectingFileSystem::Operation;
using Maker = std::function<void(const fs::path&)>;

// A library in a temporary folder holding a show: slot 0 plays "audio-1.mp3"
// with card "image-2.png", slot 3 plays "audio-1.mp3" too, loop tracks
// "loop-3.wav" and "audio-1.mp3"; slots 1 and 2 name files outside "Media"
// (one exists: "secret.mp3" beside the library). "cues.json" is saved.
struct SetsLibrary {
    SetsLibrary() {
        persistence.prepareDirectories(disk());
        for (const auto& [name, bytes] : media)
            writeFile(persistence.mediaURL() / name, bytes);
        writeFile(temporary() / "secret.mp3", "outside the library");
        show.masterVolume = 0.75;
        show.slots[0] = {0, "Opening", "", "audio-1.mp3", "image-2.png", 2.5, 0};
        show.slots[1].audioFilename = "../cues.json";
        show.slots[2].imageFilename = "../../secret.mp3";
        show.slots[3] = {3, "", "", "audio-1.mp3", {}, 0, -6};
        show.loopTracks = {{Uuid::random(), "Bed", "loop-3.wav"},
                           {Uuid::random(), "Reprise", "audio-1.mp3"}};
        persistence.save(show, disk());
    }

    const fs::path& temporary() const { return directory.path(); }

    TemporaryDirectory directory;
    CuePersistence persistence{directory.path() / "Tavrel"};
    CueDocument show = CueDocument::empty();
    // The bytes of each media file of the show.
    const std::map<std::string, std::string> media = {{"audio-1.mp3", "first audio bytes"},
                                                      {"image-2.png", "card image bytes"},
                                                      {"loop-3.wav", "loop track bytes"}};
};

// Writes a set folder by hand: "cues.json" with exactly these bytes and the
// given files in "Media".
void writeSetFolder(const fs::path& folder, const std::string& documentBytes,
                    const std::map<std::string, std::string>& media) {
    writeFile(folder / "cues.json", documentBytes);
    fs::create_directories(folder / "Media");
    for (const auto& [name, bytes] : media)
        writeFile(folder / "Media" / name, bytes);
}

class Sets : public ::testing::Test {
protected:
    const CuePersistence& persistence() const { return library.persistence; }
    fs::path at(const std::string& name) const { return library.temporary() / name; }
    fs::path media() const { return persistence().mediaURL(); }

    // Folders that are no set to replace, scan or restore, by what is wrong.
    std::map<std::string, Maker> notSets() {
        writeSetFolder(at("Outside"), encodeDocument(CueDocument::empty()), {{"art.png", "x"}});
        CueDocument newer = CueDocument::empty();
        newer.schemaVersion = 3;
        return {
            {"File", [](const fs::path& p) { writeFile(p, "{}"); }},
            {"LinkToSet",
             [&](const fs::path& p) { fs::create_directory_symlink(at("Outside"), p); }},
            {"DocumentFolder", [](const fs::path& p) { fs::create_directories(p / "cues.json"); }},
            {"LinkedDocument",
             [&](const fs::path& p) {
                 fs::create_directories(p);
                 fs::create_symlink(at("Outside") / "cues.json", p / "cues.json");
             }},
            {"Garbled",
             [](const fs::path& p) { writeSetFolder(p, std::string("\0\x89PNG", 5), {}); }},
            {"Future",
             [bytes = encodeDocument(newer)](const fs::path& p) { writeSetFolder(p, bytes, {}); }}};
    }

    SetsLibrary library;
};

// The library root holds a regular "cues.json", so the set-folder rule alone
// would let an export move the whole library aside and delete it.
TEST_F(Sets, ExportReplacesOnlySetFoldersAndNeverTheLibraryOrAFolderAroundIt) {
    auto makers = notSets();
    std::vector<fs::path> refused = {at("Shows") / "Folder"};
    writeFile(refused[0] / "keep.txt", "mine");
    for (const auto& name : {"File", "LinkToSet", "DocumentFolder", "LinkedDocument"}) {
        refused.push_back(at("Shows") / name);
        makers[name](refused.back());
    }
    const std::size_t notSetCount = refused.size();
    writeFile(at("cues.json"), "makes the parent look like a set");
    fs::create_directory(at("Media"));
    fs::create_directory_symlink(persistence().rootURL(), at("LibraryLink"));
    // The library by any name, a folder around it or one inside it.
    for (const auto& name :
         {"Tavrel", ".", "Tavrel/Media/../../Tavrel", "LibraryLink", "Tavrel/Media/Show",
          "Tavrel/Show", "Tavrel/SavedSets", "Alias/Tavrel"})
        refused.push_back(at(name));
    // Another name for the library's parent, as a bind mount gives: only the
    // device and inode tell (left out where mounting is not allowed).
    fs::create_directory(at("Alias"));
    ScopedMount mount(ScopedMount::Kind::bind, library.temporary(), at("Alias"));
    if (!mount.mounted())
        refused.pop_back();
    const TreeSnapshot before = snapshotTree(library.temporary());
    for (std::size_t i = 0; i < refused.size(); ++i) {
        SCOPED_TRACE(refused[i]);
        FaultInjectingFileSystem fileSystem;
        const auto error = persistenceErrorOf(
            [&] { persistence().exportBackup(library.show, refused[i], fileSystem); });
        EXPECT_TRUE(error && error->kind() == Kind::unsafeExportDestination);
        for (const auto operation : fileSystem.log()) {
            EXPECT_TRUE(i < notSetCount || operation == Operation::isDirectory ||
                        operation == Operation::identity)
                << "refused only after changing the disk";
        }
        EXPECT_EQ(snapshotTree(library.temporary()), before);
    }
}

TEST_F(Sets, ExportStopsWhenAReferencedFileIsNotARegularFileInTheLibrary) {
    writeFile(at("private.key"), "secret");
    for (const auto& spoil : std::vector<Maker>{
             [](const fs::path&) {}, [](const fs::path& p) { fs::create_directory(p); },
             [&](const fs::path& p) { fs::create_symlink(at("private.key"), p); }}) {
        fs::remove_all(media() / "image-2.png");
        spoil(media() / "image-2.png");
        const auto error = persistenceErrorOf(
            [&] { persistence().exportBackup(library.show, at("Shows") / "Show", disk()); });
        EXPECT_TRUE(error && error->kind() == Kind::missingBackupMedia &&
                    error->name() == "image-2.png");
        EXPECT_FALSE(fs::exists(at("Shows") / "Show"));
    }
}

// Nothing is read, written or deleted through a link: with "Media" or
// "SavedSets" a link to another folder, every operation refuses the library.
TEST_F(Sets, ALinkedMediaOrSavedSetsFolderIsRefusedAndNothingOutsideIsTouched) {
    const auto& p = persistence();
    p.exportBackup(library.show, at("Set"), disk());
    p.exportBackup(library.show, p.savedSetsURL() / "Friday", disk());
    writeFile(at("song.mp3"), "sound");
    const std::vector<std::function<void()>> operations = {
        [&] { p.load(disk()); },
        [&] { p.save(library.show, disk()); },
        [&] { p.removeMedia(std::set<std::string>{"audio-1.mp3"}, {}, disk()); },
        [&] { p.importMedia(at("song.mp3"), "audio", disk()); },
        [&] { p.exportBackup(library.show, at("New"), disk()); },
        [&] { p.restoreBackup(at("Set"), disk()); },
        [&] { p.savedSetReferencedMediaFilenames(disk()); }};
    for (const std::string folder : {"Media", "SavedSets"}) {
        // The real folder moves outside; the library keeps only a link to it.
        fs::rename(p.rootURL() / folder, at("outside"));
        fs::create_directory_symlink(at("outside"), p.rootURL() / folder);
        const TreeSnapshot before = snapshotTree(library.temporary());
        for (std::size_t i = 0; i < operations.size(); ++i) {
            SCOPED_TRACE(folder + " operation " + std::to_string(i));
            const auto error = persistenceErrorOf(operations[i]);
            EXPECT_TRUE(error && error->kind() == Kind::linkedLibraryFolder &&
                        error->name() == folder);
            EXPECT_EQ(snapshotTree(library.temporary()), before);
        }
        fs::remove(p.rootURL() / folder);
        fs::rename(at("outside"), p.rootURL() / folder);
    }
}

TEST_F(Sets, SavedSetScanGivesTheUnionOfSetFoldersAndStopsAtOneItCannotRead) {
    const fs::path saved = persistence().savedSetsURL();
    CueDocument other = CueDocument::empty();
    other.slots[7].imageFilename = "image-9.jpg";
    other.slots[8].audioFilename = "../escape.mp3";
    persistence().exportBackup(library.show, saved / "One", disk());
    writeSetFolder(saved / "Two", encodeDocument(other), {});
    // Not sets: a file, a folder without "cues.json", a link to a set elsewhere.
    writeFile(saved / "readme.txt", "{}");
    fs::create_directories(saved / "Loose" / "Media");
    other.slots[0].audioFilename = "linked.mp3";
    writeSetFolder(at("Outside"), encodeDocument(other), {});
    fs::create_directory_symlink(at("Outside"), saved / "Link");
    EXPECT_EQ(persistence().savedSetReferencedMediaFilenames(disk()),
              (std::set<std::string>{"audio-1.mp3", "image-2.png", "image-9.jpg", "loop-3.wav"}));

    auto makers = notSets();
    for (const std::string name : {"DocumentFolder", "LinkedDocument", "Future", "Garbled"}) {
        SCOPED_TRACE(name);
        makers[name](saved / name);
        const auto error =
            persistenceErrorOf([&] { persistence().savedSetReferencedMediaFilenames(disk()); });
        EXPECT_TRUE(error && error->kind() == Kind::invalidSavedSet && error->name() == name);
        fs::remove_all(saved / name);
    }
}

TEST_F(Sets, RestoreCopiesEachFileOncePerRoleUnderNewNamesAndDropsNamesThatLeaveTheSet) {
    CueDocument document = CueDocument::empty();
    document.slots[0].audioFilename = document.slots[1].audioFilename = "x.mp3";
    document.slots[1].imageFilename = "x.mp3";
    document.slots[2].audioFilename = "sound";
    document.slots[3].audioFilename = "../../secret.mp3";
    document.slots[4].imageFilename = std::string("x.mp3\0../../secret.mp3", 22);
    document.loopTracks = {LoopTrack{Uuid::random(), "Bed", "x.mp3"},
                           LoopTrack{Uuid::random(), "Up", "../secret.mp3"}};
    writeSetFolder(at("Venue"), encodeDocument(document), {{"x.mp3", "x"}, {"sound", "bare"}});

    const CueDocument restored = persistence().restoreBackup(at("Venue"), disk()).document;

    const auto& slots = restored.slots;
    EXPECT_TRUE(isNewMediaName(*slots[0].audioFilename, "audio", ".mp3"));
    EXPECT_EQ(slots[1].audioFilename, slots[0].audioFilename);
    EXPECT_TRUE(isNewMediaName(*slots[1].imageFilename, "image", ".mp3"));
    EXPECT_TRUE(isNewMediaName(*slots[2].audioFilename, "audio", ""));
    EXPECT_FALSE(slots[3].audioFilename || slots[4].imageFilename);
    ASSERT_EQ(restored.loopTracks.size(), 1u);
    EXPECT_TRUE(isNewMediaName(restored.loopTracks[0].audioFilename, "loop", ".mp3"));
    // Each copy once: the sweep checks the rest (old media kept, set only read).
    EXPECT_EQ(entryNames(media()).size(), library.media.size() + 4);
    EXPECT_EQ(readFile(media() / restored.loopTracks[0].audioFilename), "x");
}

// Nothing in the library changes before the whole set is known good.
TEST_F(Sets, RestoreRefusesABadSetWithoutTouchingTheLibrary) {
    CueDocument withMedia = CueDocument::empty();
    withMedia.slots[0].audioFilename = "good.mp3";
    withMedia.slots[5].imageFilename = "art.png";
    // A good set that names "art.png", which `art` makes (or not).
    const auto withArt = [&](Maker art) {
        return [&, art](const fs::path& p) {
            writeSetFolder(p, encodeDocument(withMedia), {{"good.mp3", "g"}});
            art(p / "Media" / "art.png");
        };
    };
    auto makers = notSets();
    makers["Missing"] = [](const fs::path&) {};
    makers["MediaMissing"] = withArt([](const fs::path&) {});
    makers["MediaAFolder"] = withArt([](const fs::path& p) { fs::create_directories(p); });
    makers["MediaALink"] = withArt(
        [&](const fs::path& p) { fs::create_symlink(at("Outside") / "Media" / "art.png", p); });
    makers["MediaFolderALink"] = [&](const fs::path& p) {
        writeFile(p / "cues.json", encodeDocument(withMedia));
        fs::create_directory_symlink(at("Outside") / "Media", p / "Media");
    };
    const TreeSnapshot before = snapshotTree(persistence().rootURL());
    for (const auto& [name, make] : makers) {
        SCOPED_TRACE(name);
        fs::remove_all(at("Venue"));
        make(at("Venue"));
        EXPECT_TRUE(persistenceErrorOf([&] { persistence().restoreBackup(at("Venue"), disk()); }));
        EXPECT_EQ(snapshotTree(persistence().rootURL()), before);
    }
}

enum class Job { exportNew, exportOverSet, restore };

// A fresh library for one run of the job, remembering the disk before it.
struct Rig {
    explicit Rig(Job job) : job(job) {
        fs::create_directories(parent());
        if (job == Job::exportOverSet) {
            writeSetFolder(target(), "the old set", {{"old.mp3", "old audio"}});
            writeFile(target() / "notes.txt", "kept with the old set");
        } else if (job == Job::restore) {
            library.persistence.exportBackup(library.show, target(), disk());
            CueDocument current = CueDocument::empty();
            current.slots[9].audioFilename = "loop-3.wav";
            library.persistence.save(current, disk());
        }
        libraryBefore = snapshotTree(library.persistence.rootURL());
        parentBefore = snapshotTree(parent());
    }

    fs::path parent() const { return library.temporary() / "Shows"; }
    // The set exported to, or restored from.
    fs::path target() const { return parent() / "Show"; }

    void run(FileSystem& fileSystem) {
        if (job != Job::restore)
            return library.persistence.exportBackup(library.show, target(), fileSystem);
        RestoredSet result = library.persistence.restoreBackup(target(), fileSystem);
        restored = std::move(result.document);
        warning = std::move(result.warning);
    }

    // A failure is reported with everything as it was, or swallowed only where
    // removing the old set (or the restore's staging) may leave it behind; a
    // restore whose "cues.json" was replaced before its flush failed happened.
    void check(bool threw, bool removalFailed, bool flushFailed) const {
        const bool restoring = job == Job::restore;
        EXPECT_TRUE((!restoring && !threw) || snapshotTree(parent()) == parentBefore);
        EXPECT_TRUE((restoring && !threw) ||
                    snapshotTree(library.persistence.rootURL()) == libraryBefore);
        if (threw)
            return;
        const fs::path staging = restoring ? library.persistence.mediaURL() : parent();
        EXPECT_EQ(
            std::ranges::count_if(entryNames(staging),
                                  [](const auto& name) { return name.starts_with(".Tavrel-"); }),
            removalFailed ? 1 : 0);
        if (!restoring) {
            CueDocument expected = library.show;
            expected.normalize();
            TreeSnapshot set = {{"cues.json", "file:" + encodeDocument(expected)},
                                {"Media", "dir"}};
            for (const auto& [name, bytes] : library.media)
                set["Media/" + name] = "file:" + bytes;
            EXPECT_EQ(snapshotTree(target()), set);
            return;
        }
        EXPECT_EQ(warning.has_value(), flushFailed);
        EXPECT_EQ(library.persistence.load(disk()), restored);
        EXPECT_EQ(restored.slots[0].title, "Opening");
        const auto media = entryNames(library.persistence.mediaURL());
        EXPECT_TRUE(std::ranges::includes(media, restored.referencedMediaFilenames()));
        EXPECT_TRUE(std::ranges::includes(media, library.media | std::views::keys));
    }

    const Job job;
    SetsLibrary library;
    TreeSnapshot libraryBefore, parentBefore;
    CueDocument restored;
    std::optional<std::string> warning;
};

// Fails call 1, 2, … of the job (before or after that call's work), each on a
// fresh library, until a run meets no failure.
class SetsFailurePoints : public ::testing::TestWithParam<std::tuple<Job, bool>> {};

TEST_P(SetsFailurePoints, LeaveTheOldStateOrTheNewOneAndNoStaging) {
    const auto [job, afterWork] = GetParam();
    for (int n = 1; n <= 200; ++n) {
        SCOPED_TRACE("failing call " + std::to_string(n));
        Rig rig(job);
        FaultInjectingFileSystem fileSystem;
        afterWork ? fileSystem.failCallAfterDoing(n) : fileSystem.failCall(n);
        bool threw = false;
        try {
            rig.run(fileSystem);
        } catch (const std::exception&) {
            threw = true;
        }
        const bool failed = fileSystem.didFail();
        const auto operation = failed ? fileSystem.log().at(n - 1) : Operation::exists;
        rig.check(threw, !afterWork && operation == Operation::remove,
                  afterWork && operation == Operation::writeAtomically);
        if (!failed) {
            EXPECT_FALSE(threw);
            EXPECT_GT(n, 1);
            return;
        }
        if (HasFailure())
            return;
    }
    ADD_FAILURE() << "no clean run within 200 calls";
}

INSTANTIATE_TEST_SUITE_P(, SetsFailurePoints,
                         ::testing::Combine(::testing::Values(Job::exportNew, Job::exportOverSet,
                                                              Job::restore),
                                            ::testing::Bool()));

}  // namespace
}  // namespace tavrel::test
