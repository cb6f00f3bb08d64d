// Feeds arbitrary bytes to the validator as one line and checks what every caller relies on:
// it reads nothing beyond the text, an accepted sentence leaves the buffer equal to the text,
// and a rejection raises exactly one counter.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "validation/nmea_validator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Exactly sized heap copies, so AddressSanitizer sees any read past the NUL.
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = 0;
    const std::size_t length = std::strlen(text.get());
    std::unique_ptr<char[]> buffer(new char[length + 1]);

    vorlane::nmea_sentence_info info;
    vorlane::nmea_error_counts counts;
    vorlane::nmea_rejection why;
    const bool accepted = vorlane::nmea_validate_sentence(text.get(), buffer.get(), info, counts, &why);

    const int raised = counts.nmea_syntax_error + counts.nmea_checksum_error;
    if (accepted) {
        if (raised != 0 || std::strcmp(buffer.get(), text.get()) != 0) std::abort();
        if (info.formatter_index > 114 && info.formatter_index != 777 && info.formatter_index != 888)
            std::abort();
    } else {
        if (raised != 1 || counts.nmea_syntax_error < 0 || counts.nmea_checksum_error < 0) std::abort();
        if (why.reason == vorlane::rejection::none) std::abort();
    }

    // The same line validated in place, as the stream processing does, must get the same verdict.
    vorlane::nmea_sentence_info in_place_info;
    vorlane::nmea_error_counts in_place_counts;
    if (vorlane::nmea_validate_sentence(text.get(), text.get(), in_place_info, in_place_counts) != accepted)
        std::abort();

    // Every edition's layouts only widen the count: what the current layout takes is taken alike,
    // and a sentence taken in an earlier layout alone was refused for its count and nothing else.
    vorlane::nmea_sentence_info all_info;
    vorlane::nmea_error_counts all_counts;
    const bool accepted_by_all = vorlane::nmea_validate_sentence(
        text.get(), buffer.get(), all_info, all_counts, nullptr, vorlane::nmea_editions::all);
    if (accepted &&
        (!accepted_by_all || all_info.earlier_layout || all_info.formatter_index != info.formatter_index ||
         all_info.talker_index != info.talker_index))
        std::abort();
    if (accepted_by_all && !accepted &&
        (!all_info.earlier_layout || (why.reason != vorlane::rejection::too_few_fields &&
                                      why.reason != vorlane::rejection::field_count_not_in_groups)))
        std::abort();
    return 0;
}
