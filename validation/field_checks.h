#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// The nine field checks that every sentence rule is written in. Each looks at the characters
// [from, to) of one field; a range that runs past the end of the field fails there, exactly
// as the NUL that ends a C string would fail every character class. An empty range passes
// the character checks.
//
// They are defined here, inline, because the rule interpreter runs them on every field of every
// sentence, mostly on fixed parts of a field (the hours of a time, the degrees of a position):
// inlined there, such a check folds into a few comparisons.
namespace vorlane {

inline bool check_digits(std::string_view text, std::size_t from, std::size_t to, bool allow_minus);
inline bool check_int_range(std::string_view text, std::size_t from, std::size_t to, std::int32_t lo,
                            std::int32_t hi);
inline bool check_decimal(std::string_view text, std::size_t from, std::size_t to, bool allow_minus);
inline bool check_decimal_range(std::string_view text, std::size_t from, std::size_t to, double lo,
                                double hi);
inline bool check_hex(std::string_view text, std::size_t from, std::size_t to);
inline bool check_upper(std::string_view text, std::size_t from, std::size_t to);
inline bool check_upper_alnum(std::string_view text, std::size_t from, std::size_t to);
inline bool check_alnum(std::string_view text, std::size_t from, std::size_t to);
inline bool check_sixbit(std::string_view text, std::size_t count);

// Conversions behind the range checks, usable once the character check has passed. They do
// not depend on the process locale and do not allocate. The forms a conversion cannot parse
// (empty, a lone "-", a lone ".") give 0; an integer beyond 32 bits gives no value at all.
inline bool parse_int(std::string_view digits, std::int32_t& value);
double parse_decimal(std::string_view decimal);
bool parse_hex(std::string_view hex, std::int32_t& value);

namespace field_check_detail {

// Narrows [from, to) to the field; false when the range reaches past its end.
inline bool within(std::string_view text, std::size_t from, std::size_t to) {
    return from >= to || to <= text.size();
}

// The range once `within` has passed.
inline std::string_view range_of(std::string_view text, std::size_t from, std::size_t to) {
    return from >= to ? std::string_view{} : std::string_view(text.data() + from, to - from);
}

// The character sets of the field checks, a bit each, so that a set is checked with one table
// lookup per character and no branch: the characters of an armoured AIS payload or an
// identifier fall into a set's ranges at random, and a test per range would be mispredicted on
// about every other one.
enum : std::uint8_t {
    digit_set = 1u << 0,
    hex_set = 1u << 1,
    upper_set = 1u << 2,
    upper_alnum_set = 1u << 3,
    alnum_set = 1u << 4,
    sixbit_set = 1u << 5,  // the 64 characters of six-bit armouring, "0" to "W" and "`" to "w"
};
inline constexpr std::array<std::uint8_t, 256> character_sets = [] {
    std::array<std::uint8_t, 256> sets{};
    for (int c = '0'; c <= '9'; ++c) sets[c] |= digit_set | hex_set | upper_alnum_set | alnum_set;
    for (int c = 'A'; c <= 'F'; ++c) sets[c] |= hex_set;
    for (int c = 'A'; c <= 'Z'; ++c) sets[c] |= upper_set | upper_alnum_set | alnum_set;
    for (int c = 'a'; c <= 'z'; ++c) sets[c] |= alnum_set;
    for (int c = 0x30; c <= 0x57; ++c) sets[c] |= sixbit_set;
    for (int c = 0x60; c <= 0x77; ++c) sets[c] |= sixbit_set;
    return sets;
}();

inline bool all_in(std::string_view text, std::size_t from, std::size_t to, std::uint8_t set) {
    if (!within(text, from, to)) return false;
    std::uint8_t in = set;
    for (std::size_t i = from; i < to; ++i) in &= character_sets[static_cast<unsigned char>(text[i])];
    return in != 0;
}

inline bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// An optional "-", then digits and points (counted in `points`; every one of them moves the
// rest into the fraction). Up to 15 significant digits (a mantissa below 10^15), at most 15 of
// them after the point, the mantissa and the power of ten are exact doubles, and one correctly
// rounded division gives the same double as a full conversion would. False, with `value` unset,
// for a longer number or any other character.
inline bool exact_decimal(std::string_view decimal, double& value, int& points) {
    static constexpr double powers_of_ten[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    constexpr std::uint64_t sixteen_digits = 1'000'000'000'000'000;
    const bool negative = !decimal.empty() && decimal[0] == '-';
    if (negative) decimal.remove_prefix(1);
    std::uint64_t mantissa = 0;
    int fraction_digits = 0;
    // Without a branch per character: where the point falls differs from one value to the
    // next, and a test for it would be mispredicted about once a field. Once the mantissa is
    // too long it is flagged, so that what it wraps to later cannot pass.
    bool other = false;
    bool too_long = false;
    for (const char c : decimal) {
        const unsigned digit = static_cast<unsigned char>(c) - unsigned{'0'};
        const bool point = c == '.';
        other |= !point & (digit >= 10);
        // At a point the mantissa is kept, by a mask: as a choice, the compiler makes it a branch.
        const std::uint64_t keep = std::uint64_t{0} - point;
        mantissa = (mantissa & keep) | ((mantissa * 10 + digit) & ~keep);
        fraction_digits += !point & (points != 0);
        points += point;
        too_long |= mantissa >= sixteen_digits;
    }
    if (other | too_long | (fraction_digits > 15)) return false;
    const double magnitude = static_cast<double>(mantissa) / powers_of_ten[fraction_digits];
    value = negative ? -magnitude : magnitude;
    return true;
}

// check_decimal_range for the numbers exact_decimal leaves to a full conversion; out of line.
bool long_decimal_in_range(std::string_view range, double lo, double hi);

}  // namespace field_check_detail

inline bool check_digits(std::string_view text, std::size_t from, std::size_t to, bool allow_minus) {
    using namespace field_check_detail;
    if (!within(text, from, to)) return false;
    for (std::size_t i = from; i < to; ++i) {
        const char c = text[i];
        if (!is_digit(c) && !(allow_minus && i == from && c == '-')) return false;
    }
    return true;
}

inline bool check_int_range(std::string_view text, std::size_t from, std::size_t to, std::int32_t lo,
                            std::int32_t hi) {
    using namespace field_check_detail;
    // parse_int takes exactly the characters check_digits passes with a minus allowed, so its
    // one scan is both the character check and the conversion.
    std::int32_t value = 0;
    return within(text, from, to) && parse_int(range_of(text, from, to), value) && value >= lo && value <= hi;
}

inline bool check_decimal(std::string_view text, std::size_t from, std::size_t to, bool allow_minus) {
    using namespace field_check_detail;
    if (!within(text, from, to)) return false;
    std::size_t i = from;
    if (allow_minus && i < to && text[i] == '-') ++i;
    // One addition a character instead of tests and branches: digits weigh nothing, a point one,
    // anything else more than all the points a field can hold.
    static constexpr auto weights = [] {
        std::array<std::uint16_t, 256> w{};
        w.fill(256);
        for (char c = '0'; c <= '9'; ++c) w[static_cast<unsigned char>(c)] = 0;
        w['.'] = 1;
        return w;
    }();
    unsigned weight = 0;
    for (; i < to; ++i) weight += weights[static_cast<unsigned char>(text[i])];
    return weight <= 1;
}

inline bool check_decimal_range(std::string_view text, std::size_t from, std::size_t to, double lo,
                                double hi) {
    using namespace field_check_detail;
    if (!within(text, from, to)) return false;
    const std::string_view range = range_of(text, from, to);
    double value = 0.0;
    int points = 0;
    // The usual short number is checked and converted in one scan; what that scan cannot judge
    // exactly takes the long way.
    if (!exact_decimal(range, value, points)) return long_decimal_in_range(range, lo, hi);
    return points <= 1 && value >= lo && value < hi;
}

inline bool check_hex(std::string_view text, std::size_t from, std::size_t to) {
    return field_check_detail::all_in(text, from, to, field_check_detail::hex_set);
}

inline bool check_upper(std::string_view text, std::size_t from, std::size_t to) {
    return field_check_detail::all_in(text, from, to, field_check_detail::upper_set);
}

inline bool check_upper_alnum(std::string_view text, std::size_t from, std::size_t to) {
    return field_check_detail::all_in(text, from, to, field_check_detail::upper_alnum_set);
}

inline bool check_alnum(std::string_view text, std::size_t from, std::size_t to) {
    return field_check_detail::all_in(text, from, to, field_check_detail::alnum_set);
}

inline bool check_sixbit(std::string_view text, std::size_t count) {
    return count != 0 && field_check_detail::all_in(text, 0, count, field_check_detail::sixbit_set);
}

inline bool parse_int(std::string_view digits, std::int32_t& value) {
    value = 0;
    const bool negative = !digits.empty() && digits[0] == '-';
    if (negative) digits.remove_prefix(1);
    // Accumulates in 64 bits and stops as soon as the value leaves 32 bits, so leading zeros
    // of any length are fine and an overflow is a defined "no value".
    std::int64_t v = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > std::int64_t{INT32_MAX} + 1) return false;
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

}  // namespace vorlane
