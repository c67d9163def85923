#pragma once

#include <filesystem>
#include <string>

namespace tavrel {

// One window per library: an exclusive flock on ".tavrel-lock" in the library
// folder, held as long as the object lives. The kernel drops it when the
// process ends, however it ends, so a crash never leaves the library locked.
// The file stays after release: removing it could let two windows lock two
// different files. Readers such as the pre-show check take no lock.
class LibraryLock {
public:
    enum class Outcome {
        acquired,
        // Another process holds it: a window is open on this library.
        heldElsewhere,
        // No lock file could be made (a read-only library, say): see problem().
        unavailable,
    };

    static constexpr const char* fileName = ".tavrel-lock";

    // Creates the library folder if needed; never blocks.
    static LibraryLock acquire(const std::filesystem::path& libraryRoot);

    LibraryLock() = default;
    LibraryLock(LibraryLock&& other) noexcept;
    LibraryLock& operator=(LibraryLock&& other) noexcept;
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;
    ~LibraryLock();

    Outcome outcome() const { return m_outcome; }
    bool held() const { return m_outcome == Outcome::acquired; }
    // The platform's description of why the lock is unavailable.
    const std::string& problem() const { return m_problem; }

private:
    void release();

    Outcome m_outcome = Outcome::unavailable;
    std::string m_problem;
    int m_descriptor = -1;
};

}  // namespace tavrel
