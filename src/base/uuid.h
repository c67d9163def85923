#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tavrel {

// A 128-bit identifier. Text form: upper-case 8-4-4-4-12 hexadecimal.
class Uuid {
public:
    Uuid() = default;  // all zero
    explicit Uuid(const std::array<std::uint8_t, 16>& bytes) : m_bytes(bytes) {}

    // A new random (version 4) UUID.
    static Uuid random();
    // Accepts either letter case; nothing but 8-4-4-4-12 hexadecimal digits.
    static std::optional<Uuid> parse(std::string_view text);

    std::string text() const;
    const std::array<std::uint8_t, 16>& bytes() const { return m_bytes; }

    auto operator<=>(const Uuid&) const = default;

private:
    std::array<std::uint8_t, 16> m_bytes{};
};

}  // namespace tavrel

template <>
struct std::hash<tavrel::Uuid> {
    std::size_t operator()(const tavrel::Uuid& uuid) const noexcept;
};
