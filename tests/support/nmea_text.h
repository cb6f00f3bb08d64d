#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vorlane::test {

// "$GPGGA,..." with "*HH" appended: the body after the start character is XORed.
inline std::string with_checksum(std::string_view sentence) {
    unsigned sum = 0;
    for (const char c : sentence.substr(1)) sum ^= static_cast<unsigned char>(c);
    char tail[4];
    std::snprintf(tail, sizeof tail, "*%02X", sum & 0xFF);
    return std::string(sentence) + tail;
}

// "\s:GP0001,n:1*HH\": a TAG block of `fields`, whatever they hold, with their checksum.
inline std::string with_tag_block(std::string_view fields) {
    return with_checksum("\\" + std::string(fields)) + "\\";
}

}  // namespace vorlane::test
