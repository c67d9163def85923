#include <gtest/gtest.h>

#include <algorithm>

#include "model/document_json.h"
#include "persistence/sets_fixture.h"

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;
using Operation = FaultInjectingFileSystem::Operation;

enum class Job { exportNew, exportOverSet, restore };

// A fresh library for one run of the job, remembering the disk before it.
struct Rig {
    explicit Rig(Job job) : job(job) {
        fs::create_directories(parent());
        if (job == Job::exportOverSet) {
            writeSetFolder(target(), "the old set", {{"old.mp3", "old audio"}});
            writeFile(target() / "notes.txt", "kept with the old set");
        } else if (job == Job::restore) {
            persistence().exportBackup(library.show(), target(), disk());
            CueDocument current = CueDocument::empty();
            current.slots[9].audioFilename = "loop-3.wav";
            persistence().save(current, disk());
        }
        libraryBefore = snapshotTree(persistence().rootURL());
        parentBefore = snapshotTree(parent());
    }

    const CuePersistence& persistence() const { return library.persistence(); }
    fs::path parent() const { return library.temporary() / "Shows"; }
    // The set exported to, or restored from.
    fs::path target() const { return parent() / "Show"; }

    void run(FileSystem& fileSystem) {
        if (job != Job::restore)
            return persistence().exportBackup(library.show(), target(), fileSystem);
        RestoredSet result = persistence().restoreBackup(target(), fileSystem);
        restored = std::move(result.document);
        warning = std::move(result.warning);
    }

    // A failure is reported with everything as it was, or swallowed only where
    // removing the old set (or the restore's staging) may leave it behind; a
    // restore whose "cues.json" was replaced before its flush failed happened.
    void check(bool threw, bool removalFailed, bool flushFailed) const {
        const bool restoring = job == Job::restore;
        if (restoring || threw) {
            EXPECT_EQ(snapshotTree(parent()), parentBefore);
        }
        if (!restoring || threw) {
            EXPECT_EQ(snapshotTree(persistence().rootURL()), libraryBefore);
        }
        if (threw)
            return;
        const fs::path staging = restoring ? persistence().mediaURL() : parent();
        EXPECT_EQ(
            std::ranges::count_if(entryNames(staging),
                                  [](const auto& name) { return name.starts_with(".Tavrel-"); }),
            removalFailed ? 1 : 0);
        if (!restoring) {
            CueDocument expected = library.show();
            expected.normalize();
            TreeSnapshot set = {{"cues.json", "file:" + encodeDocument(expected)},
                                {"Media", "dir"}};
            for (const auto& [name, bytes] : library.media())
                set["Media/" + name] = "file:" + bytes;
            EXPECT_EQ(snapshotTree(target()), set);
            return;
        }
        EXPECT_EQ(warning.has_value(), flushFailed);
        EXPECT_EQ(persistence().load(disk()), restored);
        EXPECT_EQ(restored.slots[0].title, "Opening");
        const auto media = entryNames(persistence().mediaURL());
        for (const auto& name : restored.referencedMediaFilenames())
            EXPECT_TRUE(media.contains(name)) << name;
        for (const auto& [name, bytes] : library.media())
            EXPECT_TRUE(media.contains(name)) << name;
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

std::string runName(const ::testing::TestParamInfo<std::tuple<Job, bool>>& info) {
    const char* jobs[] = {"ExportNew", "ExportOverSet", "Restore"};
    return jobs[static_cast<int>(std::get<0>(info.param))] +
           std::string(std::get<1>(info.param) ? "FailingAfterWork" : "FailingBeforeWork");
}

INSTANTIATE_TEST_SUITE_P(, SetsFailurePoints,
                         ::testing::Combine(::testing::Values(Job::exportNew, Job::exportOverSet,
                                                              Job::restore),
                                            ::testing::Bool()),
                         runName);

}  // namespace
}  // namespace tavrel::test
