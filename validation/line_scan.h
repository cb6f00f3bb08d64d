#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "validation/characters.h"

namespace vorlane {

inline constexpr std::size_t max_sentence_length = 80;

// What one walk over a sentence line learns: its length, the exclusive OR of every character
// after the first, how many characters of each class it holds and where its commas are. The
// framing verdict, the address field and every data field follow from it without reading the
// line again, so each character is looked at once however many checks depend on it. Of a line
// longer than max_sentence_length only the length is of use; the rest covers its beginning.
struct line_scan {
    std::size_t length = 0;
    std::uint8_t checksum = 0;  // characters 1 to length - 1, the "*hh" at the end included
    std::size_t forbidden = 0;  // characters 1 to length - 1 of forbidden_character, "*" among them
    std::size_t carets = 0;     // characters 1 to length - 1 of caret_character
    std::size_t comma_count = 0;
    // Positions of the commas, in order; for a line of up to max_sentence_length characters.
    std::uint8_t commas[max_sentence_length];
};

namespace line_scan_detail {

// The counts travel in one word, a byte each, so a character costs one table lookup and one
// addition: commas, forbidden characters, carets. A line of max_sentence_length characters has
// fewer than 256 of each.
inline constexpr int forbidden_shift = 8;
inline constexpr int caret_shift = 16;
inline constexpr std::array<std::uint32_t, 256> tallies = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::size_t c = 0; c < 256; ++c) {
        if (character_classes[c] == forbidden_character) t[c] = 1u << forbidden_shift;
        if (character_classes[c] == caret_character) t[c] = 1u << caret_shift;
    }
    t[','] = 1;
    return t;
}();

}  // namespace line_scan_detail

// Walks `text` up to its NUL. Beyond max_sentence_length characters nothing but the length is
// of use, which the rest of the line gets in one library call.
inline void scan_line(const char* text, line_scan& scan) {
    using namespace line_scan_detail;
    if (text[0] == 0) {
        scan = {};
        return;
    }
    std::uint32_t tally = 0;
    std::uint8_t sum = 0;
    std::size_t i = 1;
    // Unrolled, the loop's own counting no longer costs as much as the work on a character.
#pragma GCC unroll 8
    for (; i <= max_sentence_length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0) break;
        sum ^= c;
        // Written at every character and kept only at a comma: no branch to mispredict.
        scan.commas[tally & 0xFF] = static_cast<std::uint8_t>(i);
        tally += tallies[c];
    }
    scan.length = i > max_sentence_length ? i + std::strlen(text + i) : i;
    scan.checksum = sum;
    scan.comma_count = tally & 0xFF;
    scan.forbidden = (tally >> forbidden_shift) & 0xFF;
    scan.carets = tally >> caret_shift;
}

}  // namespace vorlane
