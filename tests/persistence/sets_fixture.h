#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "persistence/cue_persistence.h"
#include "persistence/local_file_system.h"
#include "support/fault_injecting_file_system.h"

namespace tavrel::test {

inline FileSystem& disk() {
    return LocalFileSystem::shared();
}

// Every entry below a folder, by relative path: "dir", "file:" + bytes or
// "link:" + target. Links are recorded, never followed.
using TreeSnapshot = std::map<std::string, std::string>;
TreeSnapshot snapshotTree(const std::filesystem::path& folder);

// A name the library gives a copy: kind, "-", an upper-case UUID, then the
// extension with its dot.
bool isNewMediaName(const std::string& name, const std::string& kind, const std::string& extension);

// The CuePersistenceError that `operation` throws; absent when it returns
// normally. Any other exception escapes and fails the test.
std::optional<CuePersistenceError> persistenceErrorOf(const std::function<void()>& operation);

}  // namespace tavrel::test
