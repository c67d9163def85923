#include "persistence/sets_fixture.h"

#include <regex>

namespace tavrel::test {

namespace fs = std::filesystem;

TreeSnapshot snapshotTree(const fs::path& folder) {
    TreeSnapshot tree;
    if (!fs::exists(fs::symlink_status(folder)))
        return tree;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).string();
        const auto status = entry.symlink_status();
        if (fs::is_symlink(status))
            tree[name] = "link:" + fs::read_symlink(entry.path()).string();
        else if (fs::is_directory(status))
            tree[name] = "dir";
        else
            tree[name] = "file:" + readFile(entry.path());
    }
    return tree;
}

bool isNewMediaName(const std::string& name, const std::string& kind,
                    const std::string& extension) {
    return std::regex_match(
        name, std::regex(kind + "-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}" + extension));
}

std::optional<CuePersistenceError> persistenceErrorOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const CuePersistenceError& error) {
        return error;
    }
    return std::nullopt;
}

}  // namespace tavrel::test
