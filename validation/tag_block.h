#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "validation/rejection.h"

namespace vorlane {

// The longest TAG block, counted from its opening to its closing backslash.
inline constexpr std::size_t max_tag_block_length = 80;
// The longest source (s:) or destination (d:) identifier.
inline constexpr std::size_t max_tag_identifier_length = 15;

// What the gateway uses of the TAG blocks in front of a sentence. The other fields (c:, d:, r:,
// t:, x:) are checked and then left alone.
struct nmea_tag_block {
    char source[max_tag_identifier_length + 1] = {};  // s:, empty without one
    // n: the sender's running line count; -1 without one.
    std::int64_t line_count = -1;
    // g: the line's number within its group, the group's size and its identifier; the number
    // is 0 for a line that belongs to no group.
    std::int32_t group_line = 0;
    std::int32_t group_size = 0;
    std::uint32_t group_id = 0;
};

// A source or destination identifier: 1 to 15 letters and digits.
bool is_tag_identifier(std::string_view text);

// `line` starts with the backslash of a TAG block, which may be followed by further blocks
// (`\d:HE0002*hh\\s:HE0001*hh\$HEHDT,...`). Checks each block as the sentence framing checks a
// sentence (checksum in upper-case hexadecimal, characters, length), then each of its fields,
// every field code at most once across all the blocks, and answers where the sentence behind the
// last block begins; nullptr with `why` set when a block is rejected. The line is only read;
// nothing is allocated.
const char* read_tag_block(const char* line, nmea_tag_block& tag, nmea_rejection& why);

}  // namespace vorlane
