#include "persistence/library_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

namespace tavrel {

namespace {

std::string describe(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// The locked descriptor still names the file at `path`: nobody removed or
// replaced it between our open and our flock.
bool stillAtPath(int descriptor, const std::filesystem::path& path) {
    struct stat opened {};
    struct stat named {};
    if (::fstat(descriptor, &opened) != 0 || ::lstat(path.c_str(), &named) != 0)
        return false;
    return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace

LibraryLock LibraryLock::acquire(const std::filesystem::path& libraryRoot) {
    LibraryLock lock;
    std::error_code error;
    std::filesystem::create_directories(libraryRoot, error);
    if (error) {
        lock.m_problem = libraryRoot.string() + ": " + error.message();
        return lock;
    }
    const auto path = libraryRoot / fileName;
    // A link in its place is refused rather than followed out of the library.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int descriptor =
            ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (descriptor < 0) {
            lock.m_problem = describe(path.string(), errno);
            return lock;
        }
        if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            const int flockError = errno;
            ::close(descriptor);
            if (flockError == EWOULDBLOCK) {
                lock.m_outcome = Outcome::heldElsewhere;
            } else {
                lock.m_problem = describe(path.string(), flockError);
            }
            return lock;
        }
        if (stillAtPath(descriptor, path)) {
            lock.m_descriptor = descriptor;
            lock.m_outcome = Outcome::acquired;
            return lock;
        }
        // Removed while we opened it: lock whatever is there now.
        ::close(descriptor);
    }
    lock.m_problem = path.string() + ": 잠금 파일이 계속 바뀝니다.";
    return lock;
}

LibraryLock::LibraryLock(LibraryLock&& other) noexcept
    : m_outcome(other.m_outcome),
      m_problem(std::move(other.m_problem)),
      m_descriptor(std::exchange(other.m_descriptor, -1)) {
    other.m_outcome = Outcome::unavailable;
}

LibraryLock& LibraryLock::operator=(LibraryLock&& other) noexcept {
    if (this != &other) {
        release();
        m_outcome = std::exchange(other.m_outcome, Outcome::unavailable);
        m_problem = std::move(other.m_problem);
        m_descriptor = std::exchange(other.m_descriptor, -1);
    }
    return *this;
}

LibraryLock::~LibraryLock() {
    release();
}

void LibraryLock::release() {
    // Closing the last descriptor of the open file drops the flock.
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
}

}  // namespace tavrel
