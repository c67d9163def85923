#include "support/fault_injecting_file_system.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <system_error>

#include "base/uuid.h"
#include "persistence/local_file_system.h"

namespace tavrel::test {

namespace fs = std::filesystem;
using Op = FaultInjectingFileSystem::Operation;

FileSystem& FaultInjectingFileSystem::disk() {
    return LocalFileSystem::shared();
}

namespace {
void injectFailure(bool& didFail, const fs::path& item) {
    didFail = true;
    throw fs::filesystem_error("injected failure", item, std::make_error_code(std::errc::io_error));
}
}  // namespace

int FaultInjectingFileSystem::enter(Operation operation, const path& item) {
    m_log.push_back(operation);
    if (m_armed.call == ++m_calls || m_armed.operations.contains(operation))
        injectFailure(m_armed.didFail, item);
    return m_calls;
}

void FaultInjectingFileSystem::leave(int call, Operation operation, const path& item) {
    // An exchange throws only when nothing was swapped, so it never fails after its work.
    if (m_armed.callAfter == call && operation != Op::exchange)
        injectFailure(m_armed.didFail, item);
}

fs::path FaultInjectingFileSystem::applicationDataDirectory() {
    const int call = enter(Op::applicationDataDirectory, m_dataDirectory);
    fs::create_directories(m_dataDirectory);
    leave(call, Op::applicationDataDirectory, m_dataDirectory);
    return m_dataDirectory;
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
            afterDoing ? fileSystem.failCallAfterDoing(call) : fileSystem.failCall(call);
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
    const bool inMemory =
        place == Place::memoryWherePossible && fs::is_directory("/dev/shm", error);
    m_path = (inMemory ? fs::path("/dev/shm") : fs::temp_directory_path()) /
             ("tavrel-test-" + Uuid::random().text());
    fs::create_directories(m_path);
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

void writeFile(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

std::string readFile(const fs::path& file) {
    std::ostringstream bytes;
    bytes << std::ifstream(file, std::ios::binary).rdbuf();
    return bytes.str();
}

std::set<std::string> entryNames(const fs::path& directory) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error))
        names.insert(entry.path().filename().string());
    return names;
}

}  // namespace tavrel::test
