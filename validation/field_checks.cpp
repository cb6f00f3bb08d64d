#include "validation/field_checks.h"

#include <charconv>
#include <climits>

namespace vorlane {

namespace {

// Narrows [from, to) to the field; false when the range reaches past its end.
bool within(std::string_view text, std::size_t from, std::size_t to) { return from >= to || to <= text.size(); }

template <typename Accept>
bool all_of(std::string_view text, std::size_t from, std::size_t to, Accept accept) {
    if (!within(text, from, to)) return false;
    for (std::size_t i = from; i < to; ++i)
        if (!accept(text[i])) return false;
    return true;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_hex(char c) { return is_digit(c) || (c >= 'A' && c <= 'F'); }

std::string_view range_of(std::string_view text, std::size_t from, std::size_t to) {
    return from >= to ? std::string_view{} : text.substr(from, to - from);
}

// The conversion behind parse_int, inline in check_int_range where it runs for every part of a
// time or position.
inline bool read_int(std::string_view digits, std::int32_t& value) {
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
    for (const char c : decimal) {
        if (c == '.') {
            ++points;
            continue;
        }
        if (!is_digit(c)) return false;
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
        fraction_digits += points != 0;
        if (mantissa >= sixteen_digits || fraction_digits > 15) return false;
    }
    const double magnitude = static_cast<double>(mantissa) / powers_of_ten[fraction_digits];
    value = negative ? -magnitude : magnitude;
    return true;
}

}  // namespace

bool check_digits(std::string_view text, std::size_t from, std::size_t to, bool allow_minus) {
    if (!within(text, from, to)) return false;
    for (std::size_t i = from; i < to; ++i) {
        const char c = text[i];
        if (!is_digit(c) && !(allow_minus && i == from && c == '-')) return false;
    }
    return true;
}

bool check_int_range(std::string_view text, std::size_t from, std::size_t to, std::int32_t lo, std::int32_t hi) {
    // The conversion takes exactly the characters check_digits passes with a minus allowed, so
    // its one scan is both the character check and the conversion.
    std::int32_t value = 0;
    return within(text, from, to) && read_int(range_of(text, from, to), value) && value >= lo && value <= hi;
}

bool check_decimal(std::string_view text, std::size_t from, std::size_t to, bool allow_minus) {
    if (!within(text, from, to)) return false;
    bool seen_point = false;
    for (std::size_t i = from; i < to; ++i) {
        const char c = text[i];
        if (c == '.') {
            if (seen_point) return false;
            seen_point = true;
        } else if (!is_digit(c) && !(allow_minus && i == from && c == '-')) {
            return false;
        }
    }
    return true;
}

bool check_decimal_range(std::string_view text, std::size_t from, std::size_t to, double lo, double hi) {
    if (!within(text, from, to)) return false;
    const std::string_view range = range_of(text, from, to);
    double value = 0.0;
    int points = 0;
    // The usual short number is checked and converted in one scan; what that scan cannot judge
    // exactly takes the long way.
    if (exact_decimal(range, value, points)) {
        if (points > 1) return false;
    } else {
        if (!check_decimal(text, from, to, true)) return false;
        value = parse_decimal(range);
    }
    return value >= lo && value < hi;
}

bool check_hex(std::string_view text, std::size_t from, std::size_t to) { return all_of(text, from, to, is_hex); }

bool check_upper(std::string_view text, std::size_t from, std::size_t to) { return all_of(text, from, to, is_upper); }

bool check_upper_alnum(std::string_view text, std::size_t from, std::size_t to) {
    return all_of(text, from, to, [](char c) { return is_digit(c) || is_upper(c); });
}

bool check_alnum(std::string_view text, std::size_t from, std::size_t to) {
    return all_of(text, from, to, [](char c) { return is_digit(c) || is_upper(c) || is_lower(c); });
}

bool check_sixbit(std::string_view text, std::size_t count) {
    return count != 0 && all_of(text, 0, count, [](char c) {
               const auto u = static_cast<unsigned char>(c);
               return (u >= 0x30 && u <= 0x57) || (u >= 0x60 && u <= 0x77);
           });
}

bool parse_int(std::string_view digits, std::int32_t& value) { return read_int(digits, value); }

double parse_decimal(std::string_view decimal) {
    double value = 0.0;
    int points = 0;
    if (exact_decimal(decimal, value, points)) return value;
    const auto [end, error] = std::from_chars(decimal.data(), decimal.data() + decimal.size(), value,
                                              std::chars_format::fixed);
    return error == std::errc{} ? value : 0.0;
}

bool parse_hex(std::string_view hex, std::int32_t& value) {
    value = 0;
    if (hex.empty()) return true;
    const auto [end, error] = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
    return error == std::errc{} && end == hex.data() + hex.size();
}

}  // namespace vorlane
