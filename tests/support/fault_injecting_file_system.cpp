#include "support/fault_injecting_file_system.h"

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

void FaultInjectingFileSystem::failEvery(Operation operation) {
    m_failingOperations.insert(operation);
}

void FaultInjectingFileSystem::failEvery(Operation operation, const std::string& filename) {
    m_failingNames.emplace(operation, filename);
}

void FaultInjectingFileSystem::clearFailures() {
    m_failingCall.reset();
    m_failingOperations.clear();
    m_failingNames.clear();
    m_didFail = false;
}

void FaultInjectingFileSystem::enter(Operation operation, const path& item) {
    ++m_calls;
    m_log.push_back(operation);
    const bool fail = (m_failingCall && *m_failingCall == m_calls) ||
                      m_failingOperations.contains(operation) ||
                      m_failingNames.contains({operation, item.filename().string()});
    if (fail) {
        m_didFail = true;
        throw fs::filesystem_error("injected failure", item,
                                   std::make_error_code(std::errc::io_error));
    }
}

fs::path FaultInjectingFileSystem::applicationDataDirectory() {
    enter(Operation::applicationDataDirectory, m_dataDirectory);
    fs::create_directories(m_dataDirectory);
    return m_dataDirectory;
}

void FaultInjectingFileSystem::createDirectories(const path& directory) {
    enter(Operation::createDirectories, directory);
    LocalFileSystem::shared().createDirectories(directory);
}

bool FaultInjectingFileSystem::exists(const path& item) {
    enter(Operation::exists, item);
    return LocalFileSystem::shared().exists(item);
}

bool FaultInjectingFileSystem::isDirectory(const path& item) {
    enter(Operation::isDirectory, item);
    return LocalFileSystem::shared().isDirectory(item);
}

bool FaultInjectingFileSystem::isRegularFile(const path& item) {
    enter(Operation::isRegularFile, item);
    return LocalFileSystem::shared().isRegularFile(item);
}

void FaultInjectingFileSystem::copyFile(const path& from, const path& to) {
    enter(Operation::copyFile, from);
    LocalFileSystem::shared().copyFile(from, to);
}

void FaultInjectingFileSystem::move(const path& from, const path& to) {
    enter(Operation::move, from);
    LocalFileSystem::shared().move(from, to);
}

void FaultInjectingFileSystem::remove(const path& item) {
    enter(Operation::remove, item);
    LocalFileSystem::shared().remove(item);
}

std::vector<fs::path> FaultInjectingFileSystem::list(const path& directory) {
    enter(Operation::list, directory);
    return LocalFileSystem::shared().list(directory);
}

std::string FaultInjectingFileSystem::readFile(const path& file) {
    enter(Operation::readFile, file);
    return LocalFileSystem::shared().readFile(file);
}

void FaultInjectingFileSystem::writeAtomically(const path& file, std::string_view bytes) {
    enter(Operation::writeAtomically, file);
    LocalFileSystem::shared().writeAtomically(file, bytes);
}

TemporaryDirectory::TemporaryDirectory()
    : m_path(fs::temp_directory_path() / ("tavrel-test-" + Uuid::random().text())) {
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
