#pragma once

#include <stdexcept>

namespace tavrel {

// The store's one error: it has no library storage.
class CueStoreError : public std::runtime_error {
public:
    enum class Kind { persistenceUnavailable };

    explicit CueStoreError(Kind kind = Kind::persistenceUnavailable)
        : std::runtime_error(message(kind)), m_kind(kind) {}

    Kind kind() const { return m_kind; }

    static const char* message(Kind) { return "Application Support 저장소를 사용할 수 없습니다."; }

private:
    Kind m_kind;
};

}  // namespace tavrel
