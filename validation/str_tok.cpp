#include "validation/str_tok.h"

#include <cstring>

namespace vorlane {

namespace {

// Delimiter sets are a character or two and the gap between tokens is as short (the CR LF
// between lines): a plain loop ends before a library scan has set itself up.
bool is_delimiter(char c, const char* delimiters) {
    for (const char* d = delimiters; *d != 0; ++d)
        if (*d == c) return true;
    return false;
}

}  // namespace

char* CStrTok::first_token(char* text, const char* delimiters) {
    clear();
    cursor = text;
    return next_token(delimiters);
}

void CStrTok::restart(char* text) {
    if (cursor != nullptr && saved_char != 0) *cursor = saved_char;
    saved_char = 0;
    cursor = text;
}

char* CStrTok::next_token(const char* delimiters) {
    if (cursor == nullptr) return nullptr;
    const bool continuing = saved_char != 0;
    if (continuing) *cursor = saved_char;

    char* start = cursor;
    if (!keep_empty) {
        while (is_delimiter(*start, delimiters)) ++start;
    } else if (continuing && is_delimiter(*start, delimiters)) {
        ++start;
    }
    // A single delimiter (the point of a dotted address) is found by the library's own scan.
    char* const end = delimiters[0] != 0 && delimiters[1] == 0 ? strchrnul(start, delimiters[0])
                                                               : start + std::strcspn(start, delimiters);

    if (*end != 0) {
        saved_char = *end;
        *end = 0;
        cursor = end;
    } else {
        saved_char = 0;
        cursor = nullptr;
    }
    return (end != start || keep_empty) ? start : nullptr;
}

}  // namespace vorlane
