#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorlane {

// What a standard sender puts in the TAG block in front of each sentence.
struct tag_fields {
    std::string_view source;       // s:, 1 to 15 letters and digits
    std::uint32_t line_count = 0;  // n:
    std::uint64_t unix_ms = 0;     // c:, milliseconds since 1970
    // g: the line's number within its group (0: the line belongs to no group), the group's size
    // and its identifier.
    int group_line = 0;
    int group_size = 0;
    std::uint32_t group_id = 0;
};

// Appends "\s:GP0001,n:881,c:1683881316755*5D\": the fields, then the XOR of the characters
// between the backslash and the star in upper-case hexadecimal, as the sentence checksum is.
void append_tag_block(std::string& line, const tag_fields& fields);

}  // namespace vorlane
