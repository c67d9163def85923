#include "support/fault_injecting_file_system.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <system_error>

#include "base/uuid.h"
#include "persistence/local_file_system.h"

namespace tavrel::test {

namespace fs = std::filesystem;

FaultInjectingFileSystem::FaultInjectingFileSystem(fs::path dataDirectory)
    : m_dataDirectory(std::move(dataDirectory)) {}

void FaultInjectingFileSystem::failCall(int n) {
    m_failingCall = m_calls + n;
}

void FaultInjectingFileSystem::failCallAfterDoing(int n) {
    m_failingCallAfter = m_calls + n;
}

void FaultInjectingFileSystem::failEvery(Operation operation) {
    m_failingOperations.insert(operation);
}

void FaultInjectingFileSystem::failEvery(Operation operation, const std::string& filename) {
    m_failingNames.emplace(operation, filename);
}

void FaultInjectingFileSystem::clearFailures() {
    m_failingCall.reset();
    m_failingCallAfter.reset();
    m_failingOperations.clear();
    m_failingNames.clear();
    m_didFail = false;
}

namespace {

[[noreturn]] void throwInjected(const fs::path& item) {
    throw fs::filesystem_error("injected failure", item, std::make_error_code(std::errc::io_error));
}

}  // namespace

int FaultInjectingFileSystem::enter(Operation operation, const path& item) {
    ++m_calls;
    m_log.push_back(operation);
    const bool fail = (m_failingCall && *m_failingCall == m_calls) ||
                      m_failingOperations.contains(operation) ||
                      m_failingNames.contains({operation, item.filename().string()});
    if (fail) {
        m_didFail = true;
        throwInjected(item);
    }
    return m_calls;
}

void FaultInjectingFileSystem::leave(int call, const path& item) {
    if (m_failingCallAfter && *m_failingCallAfter == call) {
        m_didFail = true;
        throwInjected(item);
    }
}

fs::path FaultInjectingFileSystem::applicationDataDirectory() {
    const int call = enter(Operation::applicationDataDirectory, m_dataDirectory);
    fs::create_directories(m_dataDirectory);
    leave(call, m_dataDirectory);
    return m_dataDirectory;
}

void FaultInjectingFileSystem::createDirectories(const path& directory) {
    const int call = enter(Operation::createDirectories, directory);
    LocalFileSystem::shared().createDirectories(directory);
    leave(call, directory);
}

bool FaultInjectingFileSystem::exists(const path& item) {
    const int call = enter(Operation::exists, item);
    const bool result = LocalFileSystem::shared().exists(item);
    leave(call, item);
    return result;
}

bool FaultInjectingFileSystem::isDirectory(const path& item) {
    const int call = enter(Operation::isDirectory, item);
    const bool result = LocalFileSystem::shared().isDirectory(item);
    leave(call, item);
    return result;
}

bool FaultInjectingFileSystem::isRegularFile(const path& item) {
    const int call = enter(Operation::isRegularFile, item);
    const bool result = LocalFileSystem::shared().isRegularFile(item);
    leave(call, item);
    return result;
}

std::optional<FileIdentity> FaultInjectingFileSystem::identity(const path& item) {
    const int call = enter(Operation::identity, item);
    const auto result = LocalFileSystem::shared().identity(item);
    leave(call, item);
    return result;
}

void FaultInjectingFileSystem::copyFile(const path& from, const path& to) {
    const int call = enter(Operation::copyFile, from);
    LocalFileSystem::shared().copyFile(from, to);
    leave(call, from);
}

void FaultInjectingFileSystem::move(const path& from, const path& to) {
    const int call = enter(Operation::move, from);
    LocalFileSystem::shared().move(from, to);
    leave(call, from);
}

bool FaultInjectingFileSystem::exchange(const path& first, const path& second) {
    // Never fails after its work: an exchange throws only when nothing was swapped.
    enter(Operation::exchange, first);
    return LocalFileSystem::shared().exchange(first, second);
}

void FaultInjectingFileSystem::remove(const path& item) {
    const int call = enter(Operation::remove, item);
    LocalFileSystem::shared().remove(item);
    leave(call, item);
}

std::vector<fs::path> FaultInjectingFileSystem::list(const path& directory) {
    const int call = enter(Operation::list, directory);
    auto entries = LocalFileSystem::shared().list(directory);
    leave(call, directory);
    return entries;
}

std::string FaultInjectingFileSystem::readFile(const path& file) {
    const int call = enter(Operation::readFile, file);
    auto bytes = LocalFileSystem::shared().readFile(file);
    leave(call, file);
    return bytes;
}

void FaultInjectingFileSystem::writeAtomically(const path& file, std::string_view bytes) {
    const int call = enter(Operation::writeAtomically, file);
    LocalFileSystem::shared().writeAtomically(file, bytes);
    leave(call, file);
}

void runAtEveryFailurePoint(FaultInjectingFileSystem& fileSystem,
                            const std::function<void()>& reset,
                            const std::function<void(FaultInjectingFileSystem&)>& operation,
                            const std::function<void(bool succeeded)>& check) {
    for (bool afterDoing : {false, true}) {
        int call = 1;
        for (;; ++call) {
            SCOPED_TRACE((afterDoing ? "failing after call " : "failing call ") +
                         std::to_string(call));
            reset();
            fileSystem.clearFailures();
            if (afterDoing)
                fileSystem.failCallAfterDoing(call);
            else
                fileSystem.failCall(call);
            bool succeeded = true;
            try {
                operation(fileSystem);
            } catch (const fs::filesystem_error&) {
                succeeded = false;
            }
            // A swallowed failure would hide a lost step.
            EXPECT_EQ(succeeded, !fileSystem.didFail());
            check(succeeded);
            if (!fileSystem.didFail())
                break;
            ASSERT_LT(call, 200) << "never succeeds";
        }
        EXPECT_GT(call, 1) << "the operation made no call, so no failure was tried";
    }
}

TemporaryDirectory::TemporaryDirectory(Place place) {
    std::error_code error;
    const fs::path memory = "/dev/shm";
    const bool inMemory = place == Place::memoryWherePossible && fs::is_directory(memory, error);
    m_path =
        (inMemory ? memory : fs::temp_directory_path()) / ("tavrel-test-" + Uuid::random().text());
    fs::create_directories(m_path);
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

void writeFile(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::set<std::string> entryNames(const fs::path& directory) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

}  // namespace tavrel::test
