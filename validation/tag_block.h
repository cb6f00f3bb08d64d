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

// What a sender puts in the TAG block in front of a sentence; a field at its "none" value is
// left out.
struct tag_fields {
    std::string_view source;       // s:, 1 to 15 letters and digits; empty for none
    std::int64_t line_count = -1;  // n:; -1 for none
    // c:, seconds or milliseconds since 1970 as the sender keeps time; -1 for none.
    std::int64_t unix_time = -1;
    // g: the line's number within its group (0: the line belongs to no group), the group's size
    // and its identifier.
    std::int32_t group_line = 0;
    std::int32_t group_size = 0;
    std::uint32_t group_id = 0;
};

// Writes "\s:GP0001,n:881,c:1683881316755*5D\": the fields present in that order, then the
// XOR of the characters between the backslash and the star in upper-case hexadecimal, as the
// sentence checksum is. Answers the number of characters written to `out`, which has room for
// `room`; 0, with nothing written, when the block does not fit or has no field. Nothing is
// allocated, so the output path may tag every line it serves.
std::size_t write_tag_block(char* out, std::size_t room, const tag_fields& fields);

}  // namespace vorlane
