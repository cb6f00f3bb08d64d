#include "validation/field_checks.h"

#include <charconv>

// The long forms of the conversions; the checks and the short forms are inline in the header.
namespace vorlane {

double parse_decimal(std::string_view decimal) {
    double value = 0.0;
    int points = 0;
    if (field_check_detail::exact_decimal(decimal, value, points)) return value;
    const auto [end, error] =
        std::from_chars(decimal.data(), decimal.data() + decimal.size(), value, std::chars_format::fixed);
    return error == std::errc{} ? value : 0.0;
}

namespace field_check_detail {

bool long_decimal_in_range(std::string_view range, double lo, double hi) {
    if (!check_decimal(range, 0, range.size(), true)) return false;
    const double value = parse_decimal(range);
    return value >= lo && value < hi;
}

}  // namespace field_check_detail

bool parse_hex(std::string_view hex, std::int32_t& value) {
    value = 0;
    if (hex.empty()) return true;
    const auto [end, error] = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
    return error == std::errc{} && end == hex.data() + hex.size();
}

}  // namespace vorlane
