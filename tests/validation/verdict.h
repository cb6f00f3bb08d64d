#pragma once

#include <string>
#include <string_view>

#include "tests/support/nmea_text.h"
#include "validation/nmea_validator.h"

namespace vorlane::test {

// One sentence through the validator as the stream processing calls it, with the fragment
// fields starting at -1 as the caller sets them.
struct verdict {
    bool accepted = false;
    nmea_sentence_info info;
    nmea_error_counts counts;
    nmea_rejection why;
    std::string text;    // what was judged
    std::string buffer;  // the validator's working copy afterwards
};

inline verdict judge_sentence(std::string_view sentence, nmea_editions editions = nmea_editions::current) {
    verdict v;
    v.text = sentence;
    v.buffer.assign(v.text.size() + 1, '\0');
    v.accepted = nmea_validate_sentence(v.text.c_str(), v.buffer.data(), v.info, v.counts, &v.why, editions);
    return v;
}

// `body` without its checksum, which is added first.
inline verdict judge(std::string_view body, nmea_editions editions = nmea_editions::current) {
    return judge_sentence(with_checksum(body), editions);
}

}  // namespace vorlane::test
