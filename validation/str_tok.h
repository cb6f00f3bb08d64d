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

    // Where the last returned token ends: the NUL written behind it, or null when it ran to the
    // end of the text. Lets a caller take the token's length without scanning it again.
    const char* token_end() const { return cursor; }

    // keep_empty mode: draws every remaining token in one scan, as repeated next_token calls
    // with this single delimiter would, and answers how many there were; `last` receives the
    // last of them. The text is whole again afterwards and the tokenizer is exhausted.
    std::size_t skip_remaining(char delimiter, std::string_view& last);

    bool keep_empty = false;

private:
    char* cursor = nullptr;
    char saved_char = 0;
};

}  // namespace vorlane
