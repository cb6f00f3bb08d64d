#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The nine field checks that every sentence rule is written in. Each looks at the characters
// [from, to) of one field; a range that runs past the end of the field fails there, exactly
// as the NUL that ends a C string would fail every character class. An empty range passes
// the character checks.
namespace vorlane {

bool check_digits(std::string_view text, std::size_t from, std::size_t to, bool allow_minus);
bool check_int_range(std::string_view text, std::size_t from, std::size_t to, std::int32_t lo, std::int32_t hi);
bool check_decimal(std::string_view text, std::size_t from, std::size_t to, bool allow_minus);
bool check_decimal_range(std::string_view text, std::size_t from, std::size_t to, double lo, double hi);
bool check_hex(std::string_view text, std::size_t from, std::size_t to);
bool check_upper(std::string_view text, std::size_t from, std::size_t to);
bool check_upper_alnum(std::string_view text, std::size_t from, std::size_t to);
bool check_alnum(std::string_view text, std::size_t from, std::size_t to);
bool check_sixbit(std::string_view text, std::size_t count);

// Conversions behind the range checks, usable once the character check has passed. They do
// not depend on the process locale and do not allocate. The forms a conversion cannot parse
// (empty, a lone "-", a lone ".") give 0; an integer beyond 32 bits gives no value at all.
bool parse_int(std::string_view digits, std::int32_t& value);
double parse_decimal(std::string_view decimal);
bool parse_hex(std::string_view hex, std::int32_t& value);

}  // namespace vorlane
