#pragma once

#include <functional>
#include <set>
#include <type_traits>

#include "persistence/file_system.h"

namespace tavrel::test {

// Forwards to the real disk and fails on command: the N-th call (counting
// every operation from 1), or every call of one operation. An injected failure
// throws std::filesystem::filesystem_error with "injected failure" in what().
class FaultInjectingFileSystem final : public FileSystem {
public:
    // clang-format off
    enum class Operation { applicationDataDirectory, createDirectories, exists, isDirectory,
        isRegularFile, identity, copyFile, move, exchange, remove, list, readFile, writeAtomically };
    // clang-format on

    // Where applicationDataDirectory() points.
    explicit FaultInjectingFileSystem(std::filesystem::path dataDirectory = {})
        : m_dataDirectory(std::move(dataDirectory)) {}

    // Fails call number `n` (1-based, counted from now) and no other.
    void failCall(int n) { m_armed.call = m_calls + n; }
    // Call number `n` does its work and then fails, like a write whose flush
    // fails: whatever it changed on disk stays changed.
    void failCallAfterDoing(int n) { m_armed.callAfter = m_calls + n; }
    // Fails every call of `operation` (until clearFailures()).
    void failEvery(Operation operation) { m_armed.operations.insert(operation); }
    void clearFailures() { m_armed = {}; }

    int callCount() const { return m_calls; }
    // True once an injected failure was thrown since the last clearFailures().
    bool didFail() const { return m_armed.didFail; }
    // The operations called, in order.
    const std::vector<Operation>& log() const { return m_log; }

    using Op = Operation;
    using F = FileSystem;
    path applicationDataDirectory() override;
    void createDirectories(const path& d) override {
        on(Op::createDirectories, &F::createDirectories, d);
    }
    bool exists(const path& p) override { return on(Op::exists, &F::exists, p); }
    bool isDirectory(const path& p) override { return on(Op::isDirectory, &F::isDirectory, p); }
    bool isRegularFile(const path& p) override {
        return on(Op::isRegularFile, &F::isRegularFile, p);
    }
    std::optional<FileIdentity> identity(const path& p) override {
        return on(Op::identity, &F::identity, p);
    }
    void copyFile(const path& from, const path& to) override {
        on(Op::copyFile, &F::copyFile, from, to);
    }
    void move(const path& from, const path& to) override { on(Op::move, &F::move, from, to); }
    bool exchange(const path& a, const path& b) override {
        return on(Op::exchange, &F::exchange, a, b);
    }
    void remove(const path& p) override { on(Op::remove, &F::remove, p); }
    std::vector<path> list(const path& d) override { return on(Op::list, &F::list, d); }
    std::string readFile(const path& f) override { return on(Op::readFile, &F::readFile, f); }
    void writeAtomically(const path& f, std::string_view bytes) override {
        on(Op::writeAtomically, &F::writeAtomically, f, bytes);
    }

private:
    static FileSystem& disk();
    // Counts and logs the call, then fails it when armed to (before its work).
    int enter(Operation operation, const path& item);
    // Fails call `call` after its work when armed to.
    void leave(int call, Operation operation, const path& item);
    // Forwards one call to the real disk between enter() and leave().
    template <class R, class... Params, class... Rest>
    R on(Operation operation, R (FileSystem::*method)(Params...), const path& item,
         const Rest&... rest) {
        const int call = enter(operation, item);
        if constexpr (std::is_void_v<R>) {
            (disk().*method)(item, rest...);
            leave(call, operation, item);
        } else {
            auto result = (disk().*method)(item, rest...);
            leave(call, operation, item);
            return result;
        }
    }

    std::filesystem::path m_dataDirectory;
    int m_calls = 0;
    struct Armed {
        std::optional<int> call, callAfter;
        std::set<Operation> operations;
        bool didFail = false;
    } m_armed;
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
