#pragma once

#include <array>
#include <cstdint>

namespace vorlane {

// The characters of IEC 61162-1 lines, shared by the sentence framing and the TAG block check.

inline bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}
inline int hex_value(char c) {
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

// Character classes of a framing pass, one table lookup per character.
enum : std::uint8_t { plain_character = 0, forbidden_character = 1, caret_character = 2 };
inline constexpr std::array<std::uint8_t, 256> character_classes = [] {
    std::array<std::uint8_t, 256> classes{};
    for (int c = 0; c < 256; ++c)
        // Reserved characters, and everything outside the printable range.
        if (c < 0x20 || c >= 0x7E || c == '$' || c == '!' || c == '\\' || c == '*')
            classes[c] = forbidden_character;
    classes['^'] = caret_character;
    return classes;
}();

}  // namespace vorlane
