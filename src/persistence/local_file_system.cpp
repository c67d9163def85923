#include "persistence/local_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "base/uuid.h"

namespace tavrel {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void throwErrno(const char* what, const fs::path& item) {
    throw fs::filesystem_error(what, item, std::error_code(errno, std::generic_category()));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    // Close errors matter for writes: a delayed write error shows up here.
    void close(const fs::path& item) {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            throwErrno("cannot close file", item);
    }

private:
    int m_fd = -1;
};

void syncPath(const fs::path& item, int flags) {
    FileDescriptor fd(::open(item.c_str(), flags | O_CLOEXEC));
    if (fd.get() < 0)
        throwErrno("cannot open for sync", item);
    if (::fsync(fd.get()) != 0)
        throwErrno("cannot sync", item);
}

void syncDirectory(const fs::path& directory) {
    syncPath(directory.empty() ? fs::path(".") : directory, O_RDONLY | O_DIRECTORY);
}

}  // namespace

LocalFileSystem& LocalFileSystem::shared() {
    static LocalFileSystem instance;
    return instance;
}

fs::path LocalFileSystem::applicationDataDirectory() {
    fs::path directory;
#if defined(__APPLE__)
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        throw fs::filesystem_error("HOME is not set",
                                   std::make_error_code(std::errc::no_such_file_or_directory));
    directory = fs::path(home) / "Library" / "Application Support";
#elif defined(_WIN32)
    const char* appData = std::getenv("APPDATA");
    if (!appData || !*appData)
        throw fs::filesystem_error("APPDATA is not set",
                                   std::make_error_code(std::errc::no_such_file_or_directory));
    directory = fs::path(appData);
#else
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && *dataHome && fs::path(dataHome).is_absolute()) {
        directory = dataHome;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            throw fs::filesystem_error("HOME is not set",
                                       std::make_error_code(std::errc::no_such_file_or_directory));
        }
        directory = fs::path(home) / ".local" / "share";
    }
#endif
    fs::create_directories(directory);
    return directory;
}

void LocalFileSystem::createDirectories(const path& directory) {
    fs::create_directories(directory);
}

bool LocalFileSystem::exists(const path& item) {
    std::error_code error;
    const auto status = fs::symlink_status(item, error);
    return !error && status.type() != fs::file_type::not_found;
}

bool LocalFileSystem::isDirectory(const path& item) {
    return fs::symlink_status(item).type() == fs::file_type::directory;
}

bool LocalFileSystem::isRegularFile(const path& item) {
    return fs::symlink_status(item).type() == fs::file_type::regular;
}

std::optional<FileIdentity> LocalFileSystem::identity(const path& item) {
    struct stat info {};
    if (::stat(item.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        throwErrno("cannot read file properties", item);
    }
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                        static_cast<std::uint64_t>(info.st_ino)};
}

void LocalFileSystem::copyFile(const path& from, const path& to) {
    fs::copy_file(from, to, fs::copy_options::none);
    syncPath(to, O_RDONLY);
    // The new name too: a set folder renamed into place must not lose entries
    // of its "Media" in a power cut.
    syncDirectory(to.parent_path());
}

void LocalFileSystem::move(const path& from, const path& to) {
    fs::rename(from, to);
    syncDirectory(to.parent_path());
    if (from.parent_path() != to.parent_path())
        syncDirectory(from.parent_path());
}

bool LocalFileSystem::exchange(const path& first, const path& second) {
#if defined(__linux__) && defined(RENAME_EXCHANGE)
    if (::renameat2(AT_FDCWD, first.c_str(), AT_FDCWD, second.c_str(), RENAME_EXCHANGE) != 0) {
        if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP)
            return false;
        throw fs::filesystem_error("cannot exchange", first, second,
                                   std::error_code(errno, std::generic_category()));
    }
    try {
        syncDirectory(second.parent_path());
        if (first.parent_path() != second.parent_path())
            syncDirectory(first.parent_path());
    } catch (const fs::filesystem_error&) {
        // Already swapped: see the promise in file_system.h.
    }
    return true;
#else
    (void)first;
    (void)second;
    return false;
#endif
}

void LocalFileSystem::remove(const path& item) {
    fs::remove_all(item);
}

std::vector<fs::path> LocalFileSystem::list(const path& directory) {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(directory)) {
        entries.push_back(entry.path());
    }
    return entries;
}

std::string LocalFileSystem::readFile(const path& file) {
    // A link is never followed out of the library: reading one fails (ELOOP).
    // Non-blocking, so opening a FIFO returns at once instead of waiting for a writer.
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (fd.get() < 0)
        throwErrno("cannot open file", file);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        throwErrno("cannot read file", file);
    if (S_ISDIR(info.st_mode)) {
        throw fs::filesystem_error("cannot read file", file,
                                   std::make_error_code(std::errc::is_a_directory));
    }
    if (!S_ISREG(info.st_mode)) {
        throw fs::filesystem_error("not a regular file", file,
                                   std::make_error_code(std::errc::invalid_argument));
    }
    std::string bytes;
    if (info.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            throwErrno("cannot read file", file);
        }
        if (count == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    return bytes;
}

void LocalFileSystem::writeAtomically(const path& file, std::string_view bytes) {
    // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on a chain of +.
    std::string name = ".";
    name.append(file.filename().string()).append(".tmp-").append(Uuid::random().text());
    const fs::path temporary = file.parent_path() / name;
    try {
        FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (fd.get() < 0)
            throwErrno("cannot create file", temporary);
        std::size_t written = 0;
        while (written < bytes.size()) {
            const ssize_t count = ::write(fd.get(), bytes.data() + written, bytes.size() - written);
            if (count < 0) {
                if (errno == EINTR)
                    continue;
                throwErrno("cannot write file", temporary);
            }
            written += static_cast<std::size_t>(count);
        }
        if (::fsync(fd.get()) != 0)
            throwErrno("cannot sync", temporary);
        fd.close(temporary);
        fs::rename(temporary, file);
    } catch (...) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw;
    }
    syncDirectory(file.parent_path());
}

}  // namespace tavrel
