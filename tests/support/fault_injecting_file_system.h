#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "persistence/file_system.h"

namespace tavrel::test {

// Forwards to the real disk and fails on command: the N-th call (counting
// every operation from 1), or every call of one operation. An injected failure
// throws std::filesystem::filesystem_error with "injected failure" in what().
class FaultInjectingFileSystem final : public FileSystem {
public:
    enum class Operation {
        applicationDataDirectory,
        createDirectories,
        exists,
        isDirectory,
        isRegularFile,
        identity,
        copyFile,
        move,
        exchange,
        remove,
        list,
        readFile,
        writeAtomically,
    };

    // Where applicationDataDirectory() points.
    explicit FaultInjectingFileSystem(std::filesystem::path dataDirectory = {});

    // Fails call number `n` (1-based, counted from now) and no other.
    void failCall(int n);
    // Call number `n` does its work and then fails, like a write whose flush
    // fails: whatever it changed on disk stays changed.
    void failCallAfterDoing(int n);
    // Fails every call of `operation` (until clearFailures()).
    void failEvery(Operation operation);
    // Fails every call of `operation` whose first path ends with this file name.
    void failEvery(Operation operation, const std::string& filename);
    void clearFailures();

    int callCount() const { return m_calls; }
    // True once an injected failure was thrown since the last clearFailures().
    bool didFail() const { return m_didFail; }
    // The operations called, in order.
    const std::vector<Operation>& log() const { return m_log; }

    path applicationDataDirectory() override;
    void createDirectories(const path& directory) override;
    bool exists(const path& item) override;
    bool isDirectory(const path& item) override;
    bool isRegularFile(const path& item) override;
    std::optional<FileIdentity> identity(const path& item) override;
    void copyFile(const path& from, const path& to) override;
    void move(const path& from, const path& to) override;
    bool exchange(const path& first, const path& second) override;
    void remove(const path& item) override;
    std::vector<path> list(const path& directory) override;
    std::string readFile(const path& file) override;
    void writeAtomically(const path& file, std::string_view bytes) override;

private:
    // Both return the call's number; leave() fails a call after its work.
    int enter(Operation operation, const path& item);
    void leave(int call, const path& item);

    std::filesystem::path m_dataDirectory;
    int m_calls = 0;
    std::optional<int> m_failingCall;
    std::optional<int> m_failingCallAfter;
    std::set<Operation> m_failingOperations;
    std::set<std::pair<Operation, std::string>> m_failingNames;
    bool m_didFail = false;
    std::vector<Operation> m_log;
};

// Runs `operation` once per disk call it makes, failing that call (first
// before its work, then after it), until a run succeeds. `reset` restores the
// starting state before each run; `check` looks at the result after each.
void runAtEveryFailurePoint(FaultInjectingFileSystem& fileSystem,
                            const std::function<void()>& reset,
                            const std::function<void(FaultInjectingFileSystem&)>& operation,
                            const std::function<void(bool succeeded)>& check);

// A fresh folder under the system's temporary directory, removed with everything in it.
class TemporaryDirectory {
public:
    enum class Place { disk, memoryWherePossible };

    // In memory (/dev/shm) where the system offers it, for tests that sync
    // files thousands of times to check something else.
    explicit TemporaryDirectory(Place place = Place::disk);
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Small file helpers for tests.
void writeFile(const std::filesystem::path& file, const std::string& bytes);
std::string readFile(const std::filesystem::path& file);
// Names of the direct entries of a folder, sorted; empty when it does not exist.
std::set<std::string> entryNames(const std::filesystem::path& directory);

}  // namespace tavrel::test
