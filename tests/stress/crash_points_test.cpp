// Dies before each file operation in turn, in a child process, and checks what
// a crash at that point leaves behind. Deterministic companion of the random
// kills of tavrel_crash_driver: every point between two operations is visited.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "model/document_json.h"
#include "persistence/cue_persistence.h"
#include "persistence/local_file_system.h"
#include "stress/crash_documents.h"
#include "support/fault_injecting_file_system.h"

namespace tavrel::stress {
namespace {

namespace fs = std::filesystem;

constexpr int diedExitCode = 42;

// The real disk, except that the process ends on the N-th call, before it runs.
class DyingFileSystem final : public FileSystem {
public:
    explicit DyingFileSystem(int dieAt) : m_dieAt(dieAt) {}

    path applicationDataDirectory() override { return enter().applicationDataDirectory(); }
    void createDirectories(const path& d) override { enter().createDirectories(d); }
    bool exists(const path& item) override { return enter().exists(item); }
    bool isDirectory(const path& item) override { return enter().isDirectory(item); }
    bool isRegularFile(const path& item) override { return enter().isRegularFile(item); }
    std::optional<FileIdentity> identity(const path& item) override {
        return enter().identity(item);
    }
    void copyFile(const path& from, const path& to) override { enter().copyFile(from, to); }
    void move(const path& from, const path& to) override { enter().move(from, to); }
    bool exchange(const path& a, const path& b) override { return enter().exchange(a, b); }
    void remove(const path& item) override { enter().remove(item); }
    std::vector<path> list(const path& d) override { return enter().list(d); }
    std::string readFile(const path& file) override { return enter().readFile(file); }
    void writeAtomically(const path& file, std::string_view bytes) override {
        enter().writeAtomically(file, bytes);
    }

private:
    FileSystem& enter() {
        if (++m_calls == m_dieAt)
            std::_Exit(diedExitCode);
        return LocalFileSystem::shared();
    }

    int m_dieAt = 0;
    int m_calls = 0;
};

// Runs `operation` in a child that dies at call `dieAt`; true when it died
// there, false when the operation finished first.
bool crashesAt(int dieAt, const std::function<void(FileSystem&)>& operation) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        DyingFileSystem fileSystem(dieAt);
        try {
            operation(fileSystem);
        } catch (...) {
            std::_Exit(1);
        }
        std::_Exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << "call " << dieAt;
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    EXPECT_TRUE(code == 0 || code == diedExitCode) << "call " << dieAt << ": the operation threw";
    return code == diedExitCode;
}

// Crashes before every call of `operation` in turn; `check` sees the disk after
// each crash and once after the operation ran to the end. Returns the points visited.
int crashEverywhere(const std::function<void()>& prepare,
                    const std::function<void(FileSystem&)>& operation,
                    const std::function<void(int dieAt, bool finished)>& check) {
    int dieAt = 1;
    for (;; ++dieAt) {
        prepare();
        const bool died = crashesAt(dieAt, operation);
        check(dieAt, !died);
        if (!died || ::testing::Test::HasFatalFailure() || dieAt > 500)
            break;
    }
    return dieAt;
}

class CrashPoints : public ::testing::Test {
protected:
    test::TemporaryDirectory m_root;
    CuePersistence m_persistence{m_root.path() / "Tavrel"};

    // The next start's clean-up: afterwards no hidden staging entry is left
    // anywhere in the library.
    void cleanUpAndExpectNoLeftovers(int dieAt) const {
        m_persistence.removeStagingLeftovers(LocalFileSystem::shared());
        for (const auto& folder :
             {m_persistence.rootURL(), m_persistence.mediaURL(), m_persistence.savedSetsURL()}) {
            for (const auto& name : test::entryNames(folder))
                EXPECT_NE(name.front(), '.') << name << " after a crash before call " << dieAt;
        }
    }

    void putMediaIntoLibrary() const {
        for (const auto& name : crashMediaNames())
            test::writeFile(m_persistence.mediaURL() / name, crashMediaBytes(name));
    }
};

// "cues.json" for a save, the whole set folder for an export over an existing set.
TEST_F(CrashPoints, SaveAndExportLeaveTheOldOrTheNewGeneration) {
    const auto set = m_persistence.savedSetsURL() / "Show";
    for (const bool exporting : {false, true}) {
        SCOPED_TRACE(exporting ? "export" : "save");
        const auto write = [&](std::int64_t generation, FileSystem& fileSystem) {
            if (exporting)
                m_persistence.exportBackup(crashDocument(generation), set, fileSystem);
            else
                m_persistence.save(crashDocument(generation), fileSystem);
        };
        const auto points = crashEverywhere(
            [&] {
                fs::remove_all(m_persistence.rootURL());
                m_persistence.prepareDirectories(LocalFileSystem::shared());
                putMediaIntoLibrary();
                write(1, LocalFileSystem::shared());
            },
            [&](FileSystem& fileSystem) { write(2, fileSystem); },
            [&](int dieAt, bool finished) {
                cleanUpAndExpectNoLeftovers(dieAt);
                std::int64_t found = -1;
                EXPECT_EQ(exporting ? checkSetFolder(set, 1, 2, found)
                                    : checkDocumentFile(m_persistence.documentURL(), 1, 2, found),
                          "")
                    << "crash before call " << dieAt;
                if (finished) {
                    EXPECT_EQ(found, 2);
                }
            });
        EXPECT_GT(points, 1);
    }
}

TEST_F(CrashPoints, ImportLeavesNoPartialMediaFile) {
    const auto source = m_root.path() / "song.mp3";
    const auto points = crashEverywhere(
        [&] {
            fs::remove_all(m_persistence.rootURL());
            m_persistence.prepareDirectories(LocalFileSystem::shared());
            test::writeFile(source, std::string(64 * 1024, 'a'));
        },
        [&](FileSystem& fileSystem) { m_persistence.importMedia(source, "audio", fileSystem); },
        [&](int dieAt, bool) {
            cleanUpAndExpectNoLeftovers(dieAt);
            for (const auto& name : test::entryNames(m_persistence.mediaURL()))
                EXPECT_EQ(readWholeFile(m_persistence.mediaURL() / name), readWholeFile(source));
        });
    EXPECT_GT(points, 1);
}

TEST_F(CrashPoints, RestoreLeavesTheOldDocumentOrTheSetWithAllItsMedia) {
    const auto set = m_root.path() / "Show";
    const auto points = crashEverywhere(
        [&] {
            fs::remove_all(m_persistence.rootURL());
            fs::remove_all(set);
            m_persistence.prepareDirectories(LocalFileSystem::shared());
            putMediaIntoLibrary();
            m_persistence.exportBackup(crashDocument(2), set, LocalFileSystem::shared());
            m_persistence.save(crashDocument(1), LocalFileSystem::shared());
        },
        [&](FileSystem& fileSystem) { m_persistence.restoreBackup(set, fileSystem); },
        [&](int dieAt, bool finished) {
            cleanUpAndExpectNoLeftovers(dieAt);
            const auto document = decodeDocument(readWholeFile(m_persistence.documentURL()));
            const auto generation = crashGeneration(document);
            ASSERT_TRUE(generation == 1 || generation == 2) << "crash before call " << dieAt;
            if (finished) {
                EXPECT_EQ(generation, 2);
            }
            // The restored document names new copies: each must be complete.
            for (const auto& name : document.referencedMediaFilenames()) {
                const auto bytes = readWholeFile(m_persistence.mediaURL() / name);
                const auto& originals = crashMediaNames();
                EXPECT_TRUE(std::any_of(originals.begin(), originals.end(),
                                        [&](const std::string& original) {
                                            return bytes == crashMediaBytes(original);
                                        }))
                    << name << " after a crash before call " << dieAt;
            }
        });
    EXPECT_GT(points, 1);
}

}  // namespace
}  // namespace tavrel::stress
