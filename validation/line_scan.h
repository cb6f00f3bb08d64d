#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "validation/characters.h"

namespace vorlane {

inline constexpr std::size_t max_sentence_length = 80;

// What one walk over a sentence line learns: its length, the exclusive OR of every character
// after the first, how many characters of each class it holds and where its commas are. The
// framing verdict, the address field and every data field follow from it without reading the
// line again, so each character is looked at once however many checks depend on it. Of a line
// longer than max_sentence_length only the length is of use; the rest is left at zero.
struct line_scan {
    std::size_t length = 0;
    std::uint8_t checksum = 0;  // characters 1 to length - 1, the "*hh" at the end included
    std::size_t forbidden = 0;  // characters 1 to length - 1 of forbidden_character, "*" among them
    std::size_t carets = 0;     // characters 1 to length - 1 of caret_character
    std::size_t comma_count = 0;
    // Positions of the commas, in order; for a line of up to max_sentence_length characters.
    // The positions are stored eight at a time, each group right behind the last, so the array
    // holds one group beyond the longest line.
    std::uint8_t commas[max_sentence_length + 8];
};

// The characters 1 to n - 1 of each class, one at a time.
inline void count_classes(const char* text, std::size_t n, line_scan& scan) {
    scan.forbidden = scan.carets = 0;
    for (std::size_t i = 1; i < n; ++i) {
        const std::uint8_t c = character_classes[static_cast<unsigned char>(text[i])];
        scan.forbidden += c == forbidden_character;
        scan.carets += c == caret_character;
    }
}

#if defined(__SSE2__)

namespace line_scan_detail {

// The commas among eight consecutive characters, as a byte of flags, give their offsets in
// order (packed into a word, the first in the lowest byte) and their number. Recording them is
// then two table lookups and one store, the same work for every byte of flags: a loop over the
// commas themselves would leave the processor guessing where it ends, line after line.
inline constexpr std::array<std::uint64_t, 256> comma_offsets = [] {
    std::array<std::uint64_t, 256> offsets{};
    for (unsigned flags = 0; flags < 256; ++flags) {
        int found = 0;
        for (unsigned bit = 0; bit < 8; ++bit)
            if (flags >> bit & 1u) offsets[flags] |= std::uint64_t{bit} << (8 * found++);
    }
    return offsets;
}();
inline constexpr std::array<std::uint8_t, 256> comma_counts = [] {
    std::array<std::uint8_t, 256> counts{};
    for (unsigned flags = 0; flags < 256; ++flags)
        for (unsigned bit = 0; bit < 8; ++bit) counts[flags] += flags >> bit & 1u;
    return counts;
}();

// Sixteen bytes from `keep_masks + 16 - k`: k zeros, then 0xFF. From `keep_masks + 32 - k`: k bytes
// of 0xFF, then zeros.
alignas(16) inline constexpr std::uint8_t keep_masks[48] = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

inline __m128i load16(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

// What a scan sums up in vector registers until the line is done. Of the character classes
// it keeps one count, of the odd characters: those outside 0x2B-0x7D (the reserved "!", "$"
// and "*" among them) and the two reserved characters inside, "\\" and "^". A sound line has
// one, its "*" in front of the checksum; that settles the counts of the classes, and only for
// any other line are they counted one character at a time. The classes themselves would take
// twice the operations per block, for every line.
struct block_tally {
    __m128i checksum = _mm_setzero_si128();
    // Per byte lane, from lane_start: one up for an odd character inside 0x2B-0x7D, one down
    // for each character inside that range at all. A lane sees at most five blocks.
    __m128i odd = _mm_set1_epi8(lane_start);
    std::size_t comma_count = 0;

    static constexpr char lane_start = 16;
};

inline void record_commas(unsigned flags, std::size_t at, line_scan& scan, block_tally& tally) {
    const std::uint64_t positions = comma_offsets[flags] + at * 0x0101010101010101u;
    std::memcpy(scan.commas + tally.comma_count, &positions, sizeof positions);
    tally.comma_count += comma_counts[flags];
}

// Takes in the sixteen characters of `block`, from line position `at` on. A NUL in it counts as
// an odd character and nothing else.
inline void scan_block(__m128i block, std::size_t at, line_scan& scan, block_tally& tally) {
    tally.checksum = _mm_xor_si128(tally.checksum, block);
    // 0x2B-0x7D moved to the bottom of the signed bytes, -128 to -46: one comparison.
    const __m128i inside = _mm_cmpgt_epi8(_mm_set1_epi8(-45), _mm_add_epi8(block, _mm_set1_epi8(0x55)));
    // "\\" (0x5C) and "^" (0x5E) differ in one bit.
    const __m128i odd_inside = _mm_cmpeq_epi8(_mm_or_si128(block, _mm_set1_epi8(2)), _mm_set1_epi8('^'));
    tally.odd = _mm_sub_epi8(_mm_add_epi8(tally.odd, inside), odd_inside);
    const auto commas = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(','))));
    record_commas(commas & 0xFF, at, scan, tally);
    record_commas(commas >> 8, at + 8, scan, tally);
}

// The same for those characters of `block` that `keep` selects; the others, taken in already or
// outside the line, become NULs.
inline void scan_block(__m128i block, __m128i keep, std::size_t at, line_scan& scan, block_tally& tally) {
    scan_block(_mm_and_si128(block, keep), at, scan, tally);
}

}  // namespace line_scan_detail

// Walks `text` sixteen characters at a time. The length comes first, from the library's own
// vectorised strlen, so that no block is read beyond the NUL: the last block of a line is the
// sixteen characters that end it, of which those seen already are dropped, and a line shorter
// than a block is read from a copy.
inline void scan_line(const char* text, line_scan& scan) {
    using namespace line_scan_detail;
    const std::size_t n = std::strlen(text);
    scan.length = n;
    if (n > max_sentence_length) {
        scan.checksum = 0;
        scan.forbidden = scan.carets = scan.comma_count = 0;
        return;
    }
    block_tally tally;
    // The first character is the start character, outside every sum.
    const __m128i after_first = load16(keep_masks + 15);
    if (n < 16) {
        alignas(16) char copy[16] = {};
        std::memcpy(copy, text, n);
        scan_block(load16(copy), _mm_and_si128(after_first, load16(keep_masks + 32 - n)), 0, scan, tally);
    } else {
        scan_block(load16(text), after_first, 0, scan, tally);
        std::size_t at = 16;
        for (; at + 16 <= n; at += 16) scan_block(load16(text + at), at, scan, tally);
        if (at < n)
            scan_block(load16(text + n - 16), load16(keep_masks + 16 - (at - (n - 16))), n - 16, scan, tally);
    }
    scan.comma_count = tally.comma_count;
    __m128i sum = _mm_xor_si128(tally.checksum, _mm_srli_si128(tally.checksum, 8));
    sum = _mm_xor_si128(sum, _mm_srli_si128(sum, 4));
    sum = _mm_xor_si128(sum, _mm_srli_si128(sum, 2));
    sum = _mm_xor_si128(sum, _mm_srli_si128(sum, 1));
    scan.checksum = static_cast<std::uint8_t>(_mm_cvtsi128_si32(sum));

    const __m128i lane_sums = _mm_sad_epu8(tally.odd, _mm_setzero_si128());
    const auto lanes =
        static_cast<std::size_t>(_mm_cvtsi128_si64(_mm_add_epi64(lane_sums, _mm_srli_si128(lane_sums, 8))));
    // Characters 1 to n - 1, all odd but those the lanes counted down.
    const std::size_t odd = (n == 0 ? 0 : n - 1) + lanes - sizeof(__m128i) * block_tally::lane_start;
    if (odd == 1 && n > 3 && text[n - 3] == '*') {
        scan.forbidden = 1;
        scan.carets = 0;
    } else {
        count_classes(text, n, scan);
    }
}

#else

// Walks `text` up to its NUL, one character at a time.
inline void scan_line(const char* text, line_scan& scan) {
    const std::size_t n = std::strlen(text);
    scan.length = n;
    std::uint8_t sum = 0;
    std::size_t commas = 0;
    if (n <= max_sentence_length) {
        for (std::size_t i = 1; i < n; ++i) {
            sum ^= static_cast<unsigned char>(text[i]);
            // Written at every character and kept only at a comma: no branch to mispredict.
            scan.commas[commas] = static_cast<std::uint8_t>(i);
            commas += text[i] == ',';
        }
        count_classes(text, n, scan);
    } else {
        scan.forbidden = scan.carets = 0;
    }
    scan.checksum = sum;
    scan.comma_count = commas;
}

#endif

}  // namespace vorlane
