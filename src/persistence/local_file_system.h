#pragma once

#include "persistence/file_system.h"

namespace tavrel {

// The real disk. Stateless; one shared instance serves the whole process.
class LocalFileSystem final : public FileSystem {
public:
    static LocalFileSystem& shared();

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
};

}  // namespace tavrel
