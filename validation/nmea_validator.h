#pragma once

#include "validation/nmea_sentence.h"
#include "validation/rejection.h"

namespace vorlane {

// Judges one sentence line (without CR LF). `text` is copied into `buffer` (at least
// strlen(text) + 1 bytes; the two may be the same storage) and the work is done there in
// place: the buffer holds the text again afterwards, whether the sentence was accepted or not,
// so a caller may quote a rejected line from it. On rejection exactly one counter of `counts` has been raised
// and, when `why` is given, it names the reason. With `editions` all, a formatter whose layout
// grew is also accepted in an earlier edition's layout, which info.earlier_layout then tells.
// Nothing is allocated.
bool nmea_validate_sentence(const char* text, char* buffer, nmea_sentence_info& info,
                            nmea_error_counts& counts, nmea_rejection* why = nullptr,
                            nmea_editions editions = nmea_editions::current);

}  // namespace vorlane
