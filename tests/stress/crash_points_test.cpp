// Dies before each file operation in turn, in a child process, and checks what
// a crash at that point leaves behind. Deterministic companion of the random
// kills of tavrel_crash_driver: every point between two operations is visited.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
    std::optional<FileIdentity> identity(const path& i) override { return enter().identity(i); }
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

class CrashPoints : public ::testing::Test {
protected:
    // Crashes a child before call 1, 2, … of `operation` until it runs to the
    // end; after each, the next start's clean-up must leave no hidden staging
    // entry anywhere in the library, and `check` sees the disk.
    void crashEverywhere(const std::function<void()>& prepare,
                         const std::function<void(FileSystem&)>& operation,
                         const std::function<void(bool finished)>& check) {
        for (int dieAt = 1; dieAt < 500; ++dieAt) {
            SCOPED_TRACE("crash before call " + std::to_string(dieAt));
            fs::remove_all(m_persistence.rootURL());
            m_persistence.prepareDirectories(LocalFileSystem::shared());
            for (const auto& name : crashMediaNames())
                test::writeFile(m_persistence.mediaURL() / name, crashMediaBytes(name));
            prepare();
            const pid_t pid = ::fork();
            if (pid == 0) {
                DyingFileSystem fileSystem(dieAt);
                operation(fileSystem);  // an exception ends the child with an abort
                std::_Exit(0);
            }
            int status = 0;
            ::waitpid(pid, &status, 0);
            ASSERT_TRUE(WIFEXITED(status) &&
                        (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == diedExitCode));
            m_persistence.removeStagingLeftovers(LocalFileSystem::shared());
            for (const auto& folder : {m_persistence.rootURL(), m_persistence.mediaURL(),
                                       m_persistence.savedSetsURL()}) {
                for (const auto& name : test::entryNames(folder))
                    EXPECT_NE(name.front(), '.') << name;
            }
            const bool finished = WEXITSTATUS(status) == 0;
            check(finished);
            if (finished || HasFailure()) {
                EXPECT_TRUE(dieAt > 1 || HasFailure()) << "no call, so no crash was tried";
                return;
            }
        }
        FAIL() << "never finished";
    }

    test::TemporaryDirectory m_root;
    CuePersistence m_persistence{m_root.path() / "Tavrel"};
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
        crashEverywhere(
            [&] { write(1, LocalFileSystem::shared()); },
            [&](FileSystem& fileSystem) { write(2, fileSystem); },
            [&](bool finished) {
                std::int64_t found = -1;
                EXPECT_EQ(exporting ? checkSetFolder(set, 1, 2, found)
                                    : checkDocumentFile(m_persistence.documentURL(), 1, 2, found),
                          "");
                EXPECT_TRUE(!finished || found == 2);
            });
    }
}

TEST_F(CrashPoints, ImportLeavesNoPartialMediaFile) {
    const auto source = m_root.path() / "song.mp3";
    test::writeFile(source, std::string(64 * 1024, 'a'));
    crashEverywhere(
        [] {},
        [&](FileSystem& fileSystem) { m_persistence.importMedia(source, "audio", fileSystem); },
        [&](bool) {
            const auto& originals = crashMediaNames();
            for (const auto& name : test::entryNames(m_persistence.mediaURL())) {
                const bool old = std::ranges::find(originals, name) != originals.end();
                EXPECT_EQ(readWholeFile(m_persistence.mediaURL() / name),
                          old ? crashMediaBytes(name) : readWholeFile(source));
            }
        });
}

TEST_F(CrashPoints, RestoreLeavesTheOldDocumentOrTheSetWithAllItsMedia) {
    const auto set = m_root.path() / "Show";
    crashEverywhere(
        [&] {
            fs::remove_all(set);
            m_persistence.exportBackup(crashDocument(2), set, LocalFileSystem::shared());
            m_persistence.save(crashDocument(1), LocalFileSystem::shared());
        },
        [&](FileSystem& fileSystem) { m_persistence.restoreBackup(set, fileSystem); },
        [&](bool finished) {
            const auto document = decodeDocument(readWholeFile(m_persistence.documentURL()));
            const auto& title = document.slots[0].title;
            EXPECT_TRUE(title == crashDocument(2).slots[0].title ||
                        (!finished && title == crashDocument(1).slots[0].title));
            // The restored document names new copies: each must be complete.
            const auto& originals = crashMediaNames();
            for (const auto& name : document.referencedMediaFilenames()) {
                const auto bytes = readWholeFile(m_persistence.mediaURL() / name);
                EXPECT_TRUE(std::ranges::any_of(originals, [&](const std::string& original) {
                    return bytes == crashMediaBytes(original);
                })) << name;
            }
        });
}

}  // namespace
}  // namespace tavrel::stress
