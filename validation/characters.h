#pragma once

#include <array>
#include <cstdint>

namespace vorlane {

// The characters of IEC 61162-1 lines, shared by the sentence framing and the TAG block check.

// The value of each hex digit (upper case only), not_hex_digit for every other character: a
// checksum's digits are then read without a branch that the mix of digits and letters in
// checksums would keep mispredicting.
inline constexpr std::uint8_t not_hex_digit = 0xFF;
inline constexpr std::array<std::uint8_t, 256> hex_digit_values = [] {
    std::array<std::uint8_t, 256> values{};
    values.fill(not_hex_digit);
    for (int c = '0'; c <= '9'; ++c) values[c] = static_cast<std::uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) values[c] = static_cast<std::uint8_t>(c - 'A' + 10);
    return values;
}();

inline bool is_hex_digit(char c) {
    return hex_digit_values[static_cast<unsigned char>(c)] != not_hex_digit;
}
inline int hex_value(char c) {
    return hex_digit_values[static_cast<unsigned char>(c)];
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
