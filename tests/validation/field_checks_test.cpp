#include "validation/field_checks.h"

#include <gtest/gtest.h>

#include <charconv>
#include <climits>
#include <clocale>
#include <functional>
#include <string>

namespace vorlane {
namespace {

struct check_case {
    const char* name;
    std::function<bool()> check;
    bool passes;
};

void PrintTo(const check_case& c, std::ostream* os) {
    *os << c.name;
}

class FieldChecks : public testing::TestWithParam<check_case> {};

TEST_P(FieldChecks, Judges) {
    EXPECT_EQ(GetParam().check(), GetParam().passes);
}

// Each check over a whole field, the usual way the rules call them.
bool digits(std::string_view f, bool minus) {
    return check_digits(f, 0, f.size(), minus);
}
bool int_range(std::string_view f, int lo, int hi) {
    return check_int_range(f, 0, f.size(), lo, hi);
}
bool decimal(std::string_view f, bool minus) {
    return check_decimal(f, 0, f.size(), minus);
}
bool decimal_range(std::string_view f, double lo, double hi) {
    return check_decimal_range(f, 0, f.size(), lo, hi);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FieldChecks,
    testing::Values(
        check_case{"digits_plain", [] { return digits("0123456789", false); }, true},
        check_case{"digits_empty_passes", [] { return digits("", false); }, true},
        check_case{"digits_minus_refused_without_flag", [] { return digits("-1", false); }, false},
        check_case{"digits_minus_first_only", [] { return digits("1-", true); }, false},
        check_case{"digits_point_refused", [] { return digits("1.0", true); }, false},
        check_case{"int_negative_below_range", [] { return int_range("-5", 0, 23); }, false},
        check_case{"int_lone_minus_is_zero", [] { return int_range("-", 0, 23); }, true},
        check_case{"int_empty_is_zero", [] { return int_range("", 0, 23); }, true},
        check_case{"int_upper_bound_included", [] { return int_range("23", 0, 23); }, true},
        check_case{"int_above", [] { return int_range("24", 0, 23); }, false},
        check_case{"int_leading_zeros", [] { return int_range("0007", 0, 23); }, true},
        check_case{"int_overflow_32_bits_fails", [] { return int_range("99999999999", INT_MIN, INT_MAX); },
                   false},
        check_case{"int_max_passes", [] { return int_range("2147483647", 0, INT_MAX); }, true},
        check_case{"int_min_passes", [] { return int_range("-2147483648", INT_MIN, 0); }, true},
        check_case{"decimal_second_point", [] { return decimal("1.2.3", false); }, false},
        check_case{"decimal_trailing_point", [] { return decimal("12.", false); }, true},
        check_case{"decimal_leading_point", [] { return decimal(".5", false); }, true},
        check_case{"decimal_minus_without_flag", [] { return decimal("-1", false); }, false},
        check_case{"decimal_lone_point", [] { return decimal(".", false); }, true},
        check_case{"decimal_lone_minus", [] { return decimal("-", true); }, true},
        check_case{"decimal_exponent_refused", [] { return decimal("1e5", true); }, false},
        check_case{"decimal_range_just_below", [] { return decimal_range("59.999", 0, 60); }, true},
        check_case{"decimal_range_upper_excluded", [] { return decimal_range("60", 0, 60); }, false},
        check_case{"decimal_range_upper_excluded_point", [] { return decimal_range("60.0", 0, 60); }, false},
        check_case{"decimal_range_lone_point_is_zero", [] { return decimal_range(".", 0, 60); }, true},
        check_case{"decimal_range_lone_minus_is_zero", [] { return decimal_range("-", 0, 60); }, true},
        check_case{"decimal_range_negative", [] { return decimal_range("-0.1", 0, 60); }, false},
        check_case{"hex_lower_refused", [] { return check_hex("1f", 0, 2); }, false},
        check_case{"hex_upper", [] { return check_hex("1F", 0, 2); }, true},
        check_case{"upper_letters", [] { return check_upper("AZ", 0, 2); }, true},
        check_case{"upper_digit_refused", [] { return check_upper("A1", 0, 2); }, false},
        check_case{"upper_alnum", [] { return check_upper_alnum("W84", 0, 3); }, true},
        check_case{"upper_alnum_lower_refused", [] { return check_upper_alnum("w84", 0, 3); }, false},
        check_case{"alnum_mixed_case", [] { return check_alnum("aZ9", 0, 3); }, true},
        check_case{"alnum_punctuation_refused", [] { return check_alnum("a-9", 0, 3); }, false},
        check_case{"sixbit_empty_fails", [] { return check_sixbit("", 0); }, false},
        check_case{"sixbit_boundaries", [] { return check_sixbit("0W`w", 4); }, true},
        check_case{"sixbit_X_fails", [] { return check_sixbit("X", 1); }, false},
        check_case{"sixbit_x_fails", [] { return check_sixbit("x", 1); }, false},
        check_case{"sixbit_slash_fails", [] { return check_sixbit("/", 1); }, false},
        check_case{"sixbit_count_past_end_fails", [] { return check_sixbit("00", 3); }, false},
        check_case{"range_past_end_fails", [] { return check_digits("12", 0, 3, false); }, false},
        check_case{"empty_range_past_end_passes", [] { return check_digits("12", 5, 5, false); }, true},
        check_case{"int_range_past_end_fails", [] { return check_int_range("1", 0, 2, 0, 99); }, false}),
    [](const testing::TestParamInfo<check_case>& row) { return row.param.name; });

// Qt sets the C locale from the environment; a decimal comma locale must not change the result.
TEST(FieldChecks, DecimalConversionIgnoresTheProcessLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    const bool switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr ||
                          std::setlocale(LC_NUMERIC, "de_DE") != nullptr;
    EXPECT_DOUBLE_EQ(parse_decimal("12.5"), 12.5);
    EXPECT_TRUE(check_decimal_range("359.9", 0, 5, 0, 360));
    EXPECT_FALSE(check_decimal_range("360.5", 0, 5, 0, 360));
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!switched) GTEST_SKIP() << "no German locale installed; checked under the C locale only";
}

}  // namespace
}  // namespace vorlane

namespace vorlane {
namespace {

// The short-cut conversion must give the very double a full conversion gives, or range
// bounds such as 60 and 360 would judge the same text differently.
TEST(FieldChecks, DecimalConversionMatchesAFullConversion) {
    unsigned state = 12345;
    auto next = [&state] { return state = state * 1103515245u + 12345u; };
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        if (next() % 4 == 0) text += '-';
        const int length = 1 + static_cast<int>(next() % 20);
        const int point = static_cast<int>(next() % (length + 1));
        for (int k = 0; k < length; ++k) {
            if (k == point) text += '.';
            text += static_cast<char>('0' + next() % 10);
        }
        double expected = 0.0;
        std::from_chars(text.data(), text.data() + text.size(), expected, std::chars_format::fixed);
        EXPECT_EQ(parse_decimal(text), expected) << text;
    }
    EXPECT_EQ(parse_decimal("59.99999999999999999999"), 60.0) << "rounding of long fractions is kept";
    EXPECT_EQ(parse_decimal("-."), 0.0);
}

}  // namespace
}  // namespace vorlane
