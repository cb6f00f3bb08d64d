#pragma once

#include <cstddef>
#include <string_view>

namespace vorlane {

// Re-entrant in-place tokenizer. It writes a NUL behind each token it returns and puts the
// overwritten character back on the next call, so at any moment at most one character of the
// caller's text is altered. keep_empty mode returns the empty fields that NMEA sentences
// carry between adjacent commas.
class CStrTok {
  public:
    CStrTok() = default;
    virtual ~CStrTok() = default;
    CStrTok(const CStrTok&) = delete;
    CStrTok& operator=(const CStrTok&) = delete;

    char* first_token(char* text, const char* delimiters);
    char* next_token(const char* delimiters);
    void restart(char* text);
    void clear() { restart(nullptr); }

    // keep_empty mode: the next token for this single delimiter, as next_token would find it,
    // answered as a view (false when there is none). It writes nothing into the text and leaves
    // the cursor behind the delimiter. Inline and write-free because sentence rules draw every
    // field through it: a call, a library scan and a NUL store per field cost more than the
    // short fields do.
    bool next_field(char delimiter, std::string_view& field);

    // keep_empty mode: draws every remaining token in one scan, as repeated next_token calls
    // with this single delimiter would, and answers how many there were; `last` receives the
    // last of them. The text is whole again afterwards and the tokenizer is exhausted.
    std::size_t skip_remaining(char delimiter, std::string_view& last);

    bool keep_empty = false;

  private:
    char* cursor = nullptr;
    char saved_char = 0;
};

inline bool CStrTok::next_field(char delimiter, std::string_view& field) {
    if (cursor == nullptr) return false;
    char* start = cursor;
    if (saved_char != 0) {
        *start = saved_char;
        saved_char = 0;
        if (*start == delimiter) ++start;
    }
    char* end = start;
    while (*end != 0 && *end != delimiter) ++end;
    field = std::string_view(start, static_cast<std::size_t>(end - start));
    cursor = *end != 0 ? end + 1 : nullptr;
    return true;
}

}  // namespace vorlane
