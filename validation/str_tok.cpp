#include "validation/str_tok.h"

#include <cstring>

namespace vorlane {

namespace {
bool is_delimiter(char c, const char* delimiters) { return c != 0 && std::strchr(delimiters, c) != nullptr; }
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
    char* end = start;
    while (*end != 0 && !is_delimiter(*end, delimiters)) ++end;

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
