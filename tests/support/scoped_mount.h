#pragma once

#include <sys/mount.h>

#include <filesystem>

namespace tavrel::test {

// A mount for the length of a test, where the test runs as root: a bind mount
// (another name for a folder) or an empty tmpfs (another file system).
// mounted() is false where mounting is not allowed; the test then skips.
class ScopedMount {
public:
    enum class Kind { bind, tmpfs };

    ScopedMount(Kind kind, const std::filesystem::path& source, const std::filesystem::path& target)
        : m_target(target) {
        const int result = kind == Kind::bind
                               ? ::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr)
                               : ::mount("tmpfs", target.c_str(), "tmpfs", 0, "size=64m");
        m_mounted = result == 0;
    }
    ~ScopedMount() {
        if (m_mounted)
            ::umount2(m_target.c_str(), MNT_DETACH);
    }
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;

    bool mounted() const { return m_mounted; }

private:
    std::filesystem::path m_target;
    bool m_mounted = false;
};

}  // namespace tavrel::test
