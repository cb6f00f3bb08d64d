#pragma once

#include <cstddef>

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

    bool keep_empty = false;

  private:
    char* cursor = nullptr;
    char saved_char = 0;
};

}  // namespace vorlane
