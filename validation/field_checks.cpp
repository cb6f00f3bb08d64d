#include "validation/field_checks.h"

#include <charconv>

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
    if (!check_digits(text, from, to, true)) return false;
    std::int32_t value = 0;
    return parse_int(range_of(text, from, to), value) && value >= lo && value <= hi;
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
    if (!check_decimal(text, from, to, true)) return false;
    const double value = parse_decimal(range_of(text, from, to));
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

bool parse_int(std::string_view digits, std::int32_t& value) {
    value = 0;
    if (digits.empty() || digits == "-") return true;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return error == std::errc{} && end == digits.data() + digits.size();
}

double parse_decimal(std::string_view decimal) {
    double value = 0.0;
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
