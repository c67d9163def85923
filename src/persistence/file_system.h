#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// What makes two names one file: the same device and inode.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    bool operator==(const FileIdentity&) const = default;
};

// Every disk operation of the persistence layer goes through this seam, so
// tests can fail any single call. Failures throw std::filesystem::filesystem_error.
//
// File-kind queries never follow symbolic links: a link is neither a directory
// nor a regular file, and exists() is true for a dangling link.
class FileSystem {
public:
    using path = std::filesystem::path;

    virtual ~FileSystem() = default;

    // The per-user folder for application data, created when missing.
    virtual path applicationDataDirectory() = 0;
    // With all missing intermediate folders; an existing folder is not an error.
    virtual void createDirectories(const path& directory) = 0;
    virtual bool exists(const path& item) = 0;
    virtual bool isDirectory(const path& item) = 0;
    virtual bool isRegularFile(const path& item) = 0;
    // Follows links, so every name of one folder (a link, a bind mount) gives
    // the same identity; empty when nothing is there.
    virtual std::optional<FileIdentity> identity(const path& item) = 0;
    // Copies a regular file to a new name and flushes the copy to disk before
    // returning. Fails when `to` exists.
    virtual void copyFile(const path& from, const path& to) = 0;
    // Renames within one file system and flushes the folder(s) involved.
    virtual void move(const path& from, const path& to) = 0;
    // Swaps two existing entries in one step, so neither name is ever missing.
    // False when the platform or file system cannot; the caller then moves.
    // Throws only when nothing was swapped: once the swap is visible, a failed
    // folder flush is not reported, as the caller could not tell the states apart.
    virtual bool exchange(const path& first, const path& second) = 0;
    // Removes a file, or a folder with everything in it; links are removed, not followed.
    virtual void remove(const path& item) = 0;
    // The direct entries of a folder.
    virtual std::vector<path> list(const path& directory) = 0;
    virtual std::string readFile(const path& file) = 0;
    // Temporary file in the same folder, fsync, rename over `file`, fsync the
    // folder: `file` is always either the old or the new complete content.
    virtual void writeAtomically(const path& file, std::string_view bytes) = 0;
};

}  // namespace tavrel
