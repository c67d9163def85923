#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace tavrel::test {

// Sets (or, given no value, unsets) an environment variable until destroyed,
// then puts back what was there.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        set(name, value);
    }
    ~ScopedEnvironmentVariable() { set(m_name.c_str(), m_old ? m_old->c_str() : nullptr); }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    static void set(const char* name, const char* value) {
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    std::string m_name;
    std::optional<std::string> m_old;
};

}  // namespace tavrel::test
