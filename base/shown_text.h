#pragma once

#include <string>
#include <string_view>

namespace vorlane {

// Text from outside (a datagram, a settings file) as a view, a saved file or the log shows it:
// no escape sequence reaches a terminal and no line break forges a line. The Data Monitor's
// rule: a control byte becomes '.'.
inline bool is_control_byte(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

// A byte of a sentence as shown: below 0x20 and from 0x80 up, which no sentence holds. DEL
// stays, as it always has in the Data Monitor: a terminal draws nothing for it.
inline char shown_sentence_byte(unsigned char byte) {
    return byte < 0x20 || byte >= 0x80 ? '.' : static_cast<char>(byte);
}

inline std::string shown_sentence(std::string_view text) {
    std::string shown(text);
    for (char& c : shown) c = shown_sentence_byte(static_cast<unsigned char>(c));
    return shown;
}

// A line of the program's own text with values from outside quoted in it: bytes from 0x80 up
// stay, as they may be UTF-8 of a file name.
inline std::string without_control_bytes(std::string_view text) {
    std::string shown(text);
    for (char& c : shown)
        if (is_control_byte(static_cast<unsigned char>(c))) c = '.';
    return shown;
}

}  // namespace vorlane
