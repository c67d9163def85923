#include <gtest/gtest.h>

#include "model/document_json.h"
#include "persistence/sets_fixture.h"

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;
using Operation = FaultInjectingFileSystem::Operation;

constexpr int callLimit = 200;

// Whether the failing call fails at once, or only after doing its work (a
// rename whose folder flush fails).
enum class FaultMode { before, after };

void PrintTo(FaultMode mode, std::ostream* out) {
    *out << (mode == FaultMode::before ? "before" : "after");
}

// One run with call `n` failing: whether the operation threw, and which call failed.
struct FaultRun {
    FaultMode mode = FaultMode::before;
    bool threw = false;
    Operation failed = Operation::exists;
};

// Runs the fixture's operation on a fresh fixture once per failing call 1, 2,
// … until a run meets no injected failure, checking each run; returns the
// number of calls of the clean run.
template <typename Fixture>
int runEveryFailurePoint(FaultMode mode) {
    for (int n = 1; n <= callLimit; ++n) {
        Fixture fixture;
        FaultInjectingFileSystem fileSystem;
        if (mode == FaultMode::before)
            fileSystem.failCall(n);
        else
            fileSystem.failCallAfterDoing(n);
        FaultRun run{.mode = mode};
        try {
            fixture.run(fileSystem);
        } catch (const std::exception&) {
            run.threw = true;
        }
        if (!fileSystem.didFail()) {
            EXPECT_FALSE(run.threw) << "the clean run threw";
            fixture.checkSuccess();
            return n - 1;
        }
        run.failed = fileSystem.log().at(static_cast<std::size_t>(n - 1));
        SCOPED_TRACE("failing call " + std::to_string(n));
        fixture.check(run);
        if (::testing::Test::HasFailure())
            return n;
    }
    ADD_FAILURE() << "no clean run within " << callLimit << " calls";
    return callLimit;
}

class ExportFixture {
public:
    ExportFixture() { fs::create_directories(parent()); }

    fs::path parent() const { return library.temporary() / "Shows"; }
    fs::path destination() const { return parent() / "Show"; }

    void run(FileSystem& fileSystem) {
        libraryBefore = snapshotTree(library.persistence().rootURL());
        parentBefore = snapshotTree(parent());
        library.persistence().exportBackup(library.show(), destination(), fileSystem);
    }

    void expectNewSet() const {
        CueDocument expected = library.show();
        expected.normalize();
        EXPECT_EQ(readFile(destination() / "cues.json"), encodeDocument(expected));
        for (const auto& [name, bytes] : library.media())
            EXPECT_EQ(readFile(destination() / "Media" / name), bytes);
        EXPECT_EQ(entryNames(destination() / "Media").size(), library.media().size());
    }

    // A failure is either reported with everything as it was, or swallowed
    // only where the old set's removal is allowed to leave it behind.
    void check(const FaultRun& run) const {
        EXPECT_EQ(snapshotTree(library.persistence().rootURL()), libraryBefore);
        if (run.threw) {
            EXPECT_EQ(countEntriesWithPrefix(parent(), ".Tavrel-export-"), 0);
            EXPECT_EQ(snapshotTree(parent()), parentBefore);
            return;
        }
        expectNewSet();
        // The old set, swapped out (".Tavrel-export-") or moved aside
        // (".Tavrel-previous-"), stays only when its removal failed.
        const bool removalFailed = run.mode == FaultMode::before && run.failed == Operation::remove;
        EXPECT_EQ(countEntriesWithPrefix(parent(), ".Tavrel-export-") +
                      countEntriesWithPrefix(parent(), ".Tavrel-previous-"),
                  removalFailed ? 1 : 0);
    }

    void checkSuccess() const {
        expectNewSet();
        EXPECT_EQ(entryNames(parent()), std::set<std::string>{"Show"});
    }

    SetsLibrary library;
    TreeSnapshot libraryBefore;
    TreeSnapshot parentBefore;
};

class ExportOverSetFixture : public ExportFixture {
public:
    ExportOverSetFixture() {
        writeSetFolder(destination(), "the old set", {{"old.mp3", "old audio"}});
        writeFile(destination() / "notes.txt", "kept with the old set");
    }

    void checkSuccess() const {
        ExportFixture::checkSuccess();
        EXPECT_FALSE(fs::exists(destination() / "notes.txt"));
    }
};

class RestoreFixture {
public:
    RestoreFixture() {
        library.persistence().exportBackup(library.show(), set(), disk());
        CueDocument current = CueDocument::empty();
        current.slots[9].title = "before the restore";
        current.slots[9].audioFilename = "loop-3.wav";
        library.persistence().save(current, disk());
    }

    fs::path set() const { return library.temporary() / "Venue"; }
    fs::path root() const { return library.persistence().rootURL(); }

    void run(FileSystem& fileSystem) {
        libraryBefore = snapshotTree(root());
        setBefore = snapshotTree(set());
        RestoredSet result = library.persistence().restoreBackup(set(), fileSystem);
        restored = std::move(result.document);
        warning = std::move(result.warning);
    }

    void expectRestored() const {
        EXPECT_EQ(library.persistence().load(disk()), restored);
        EXPECT_EQ(restored.slots[0].title, "Opening");
        const auto media = entryNames(library.persistence().mediaURL());
        for (const auto& name : restored.referencedMediaFilenames())
            EXPECT_TRUE(media.contains(name)) << name;
        for (const auto& [name, bytes] : library.media())
            EXPECT_TRUE(media.contains(name)) << name;
    }

    // A write that replaced "cues.json" and then failed to flush is a restore
    // that happened: reported as a warning, never undone.
    void check(const FaultRun& run) const {
        EXPECT_EQ(snapshotTree(set()), setBefore);
        if (run.threw) {
            EXPECT_EQ(snapshotTree(root()), libraryBefore);
            return;
        }
        expectRestored();
        EXPECT_EQ(warning.has_value(),
                  run.mode == FaultMode::after && run.failed == Operation::writeAtomically);
        const bool removalFailed = run.mode == FaultMode::before && run.failed == Operation::remove;
        EXPECT_EQ(countEntriesWithPrefix(library.persistence().mediaURL(), ".Tavrel-restore-"),
                  removalFailed ? 1 : 0);
    }

    void checkSuccess() const {
        expectRestored();
        EXPECT_EQ(countEntriesWithPrefix(library.persistence().mediaURL(), ".Tavrel-restore-"), 0);
        EXPECT_EQ(snapshotTree(set()), setBefore);
    }

    SetsLibrary library;
    TreeSnapshot libraryBefore;
    TreeSnapshot setBefore;
    CueDocument restored;
    std::optional<std::string> warning;
};

class SetsFailurePoints : public ::testing::TestWithParam<FaultMode> {
protected:
    template <typename Fixture>
    void sweep() {
        const int calls = runEveryFailurePoint<Fixture>(GetParam());
        RecordProperty("failure_points", calls);
        EXPECT_GT(calls, 0);
    }
};

TEST_P(SetsFailurePoints, ExportToANewDestinationLeavesItAbsentOrComplete) {
    sweep<ExportFixture>();
}

TEST_P(SetsFailurePoints, ExportOverASetLeavesTheOldSetOrTheNewOne) {
    sweep<ExportOverSetFixture>();
}

TEST_P(SetsFailurePoints, RestoreLeavesTheLibraryAsItWasOrOnTheNewSet) {
    sweep<RestoreFixture>();
}

INSTANTIATE_TEST_SUITE_P(FailingCall, SetsFailurePoints,
                         ::testing::Values(FaultMode::before, FaultMode::after),
                         [](const auto& info) {
                             return info.param == FaultMode::before ? "BeforeItsWork"
                                                                    : "AfterItsWork";
                         });

}  // namespace
}  // namespace tavrel::test
